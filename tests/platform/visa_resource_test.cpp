// Resource names, USBTMC enumeration and the statuses of opening resources
// that cannot be reached.

#include "visa/ResourceName.h"
#include "visa/UsbTmcBackend.h"
#include "visa/visa.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using Visa::ParseResourceName;
using Visa::ResourceName;
using Kind = ResourceName::Kind;

TEST(VisaResourceName, ParsesTheFourForms) {
    ResourceName r;
    ASSERT_EQ(ParseResourceName("TCPIP0::192.168.1.5::5025::SOCKET", r), VI_SUCCESS);
    EXPECT_EQ(r.kind, Kind::TcpipSocket);
    EXPECT_EQ(r.host, "192.168.1.5");
    EXPECT_EQ(r.port, 5025u);

    ASSERT_EQ(ParseResourceName(" tcpip3::[fe80::1]::5025::socket ", r), VI_SUCCESS);
    EXPECT_EQ(r.board, 3u);
    EXPECT_EQ(r.host, "fe80::1");

    ASSERT_EQ(ParseResourceName("TCPIP::analyzer.lab", r), VI_SUCCESS);
    EXPECT_EQ(r.kind, Kind::TcpipInstr);
    EXPECT_EQ(r.lanDeviceName, "inst0");
    ASSERT_EQ(ParseResourceName("TCPIP::10.0.0.7::gpib0,5::INSTR", r), VI_SUCCESS);
    EXPECT_EQ(r.lanDeviceName, "gpib0,5");

    ASSERT_EQ(ParseResourceName("USB::0x0957::5910::MY123::INSTR", r), VI_SUCCESS);
    EXPECT_EQ(r.kind, Kind::UsbInstr);
    EXPECT_EQ(r.vendorId, 0x0957u);
    EXPECT_EQ(r.productId, 5910u);
    EXPECT_EQ(r.serial, "MY123");
    EXPECT_EQ(r.interfaceNumber, -1);
    ASSERT_EQ(ParseResourceName("usb1::0X957::0x1796::my123::2", r), VI_SUCCESS);
    EXPECT_EQ(r.interfaceNumber, 2);

    ASSERT_EQ(ParseResourceName("GPIB0::20::INSTR", r), VI_SUCCESS);
    EXPECT_EQ(r.kind, Kind::GpibInstr);
    EXPECT_EQ(r.primary, 20u);
    ASSERT_EQ(ParseResourceName("gpib1::5::31", r), VI_SUCCESS);
    EXPECT_EQ(r.secondary, 31);
}

TEST(VisaResourceName, RefusesMalformedAndUnknownNames) {
    ResourceName r;
    for (const char* bad :
         {"TCPIP::localhost::::SOCKET", "TCPIP::host::0::SOCKET", "TCPIP::host::65536::SOCKET",
          "TCPIP::host::5025::x::SOCKET", "TCPIP::[fe80::1::5025::SOCKET", "TCPIP0",
          "TCPIP::a::b::c::INSTR", "GPIB0::::INSTR", "GPIB0::?*::INSTR", "GPIB0::31",
          "GPIB0::1::32", "USB::0x10000::1::S", "USB::1::2::INSTR", "USB::1::2::S::256"})
        EXPECT_EQ(ParseResourceName(bad, r), VI_ERROR_INV_RSRC_NAME) << bad;
    for (const char* other : {"ASRL1::INSTR", "KTIB::host::INSTR", "GPIB-VXI0::1::INSTR",
                              "visa://lab/GPIB0::1::INSTR", "", "nonsense"})
        EXPECT_EQ(ParseResourceName(other, r), VI_ERROR_RSRC_NFOUND) << other;
}

TEST(VisaResourceName, OpeningWhatThisPlatformCannotReach) {
    ViSession rm = VI_NULL, vi = 5;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(viOpen(rm, "GPIB0::20::INSTR", VI_NO_LOCK, 0, &vi), VI_ERROR_INTF_NUM_NCONFIG);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(viOpen(rm, "visa://labhost/GPIB0::20::INSTR", VI_NO_LOCK, 0, &vi),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viOpen(rm, "GPIB0::?*::INSTR", VI_NO_LOCK, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(viOpen(rm, "USB0::0x1234::0x5678::NOSUCH::INSTR", VI_NO_LOCK, 0, &vi),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viOpen(rm, "TCPIP::127.0.0.1::5025::SOCKET", 1, 0, &vi), VI_ERROR_INV_ACC_MODE);
    EXPECT_EQ(viOpen(rm, nullptr, VI_NO_LOCK, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    viClose(rm);
}

TEST(VisaUsbTmc, EnumeratesFromSysfsInNodeOrder) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("visa_sysfs_" + std::to_string(::getpid()));
    fs::remove_all(root);
    auto device = [&](const std::string& node, const std::string& usb, const char* vid,
                      const char* pid, const char* serial, const char* intf) {
        fs::path dev = root / "devices" / usb;
        fs::path in = dev / (usb + ":1.0");
        fs::create_directories(in);
        std::ofstream(dev / "idVendor") << vid << "\n";
        std::ofstream(dev / "idProduct") << pid << "\n";
        if (serial != nullptr) std::ofstream(dev / "serial") << serial << "\n";
        std::ofstream(in / "bInterfaceNumber") << intf << "\n";
        fs::create_directories(root / "class" / node);
        fs::create_directory_symlink(in, root / "class" / node / "device");
    };
    device("usbtmc10", "1-3", "2a8d", "0001", "MY9", "01");
    device("usbtmc2", "1-2", "0957", "1796", "MY123", "00");
    device("usbtmc3", "1-4", "0957", "1796", nullptr, "00"); // no serial: cannot be named
    fs::create_directories(root / "class" / "usbtmc4");     // no device link

    std::vector<Visa::UsbTmcDevice> found = Visa::EnumerateUsbTmc((root / "class").string());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].node, "usbtmc2");
    EXPECT_EQ(found[0].ResourceName(), "USB0::0x0957::0x1796::MY123::0::INSTR");
    EXPECT_EQ(found[1].ResourceName(), "USB0::0x2A8D::0x0001::MY9::1::INSTR");
    ResourceName r;
    EXPECT_EQ(ParseResourceName(found[1].ResourceName(), r), VI_SUCCESS);
    EXPECT_EQ(r.interfaceNumber, 1);

    EXPECT_TRUE(Visa::EnumerateUsbTmc((root / "missing").string()).empty());
    fs::remove_all(root);
}

} // namespace
