// Instrument discovery: the resource cache read from the registry, searches
// and their literal fallback, identification of the bench's instruments, and
// the failures that must not stop or corrupt a scan.

#include "../support/registry_fixture.h"
#include "INIIO.h"
#include "KTDevIdent.h"
#include "RegAccess.h"
#include "VISADeviceCache.h"
#include "VISAScan.h"
#include "simbench_process.h"
#include "visa/Search.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string kKey = "SOFTWARE\\Korva&Tellin\\VISADeviceCache";

struct Discovery : RegistryFixture {
    void Set(const std::string& name, const std::string& value) {
        RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey, name, value);
    }
    void Devices(const std::vector<std::string>& patterns) {
        for (std::size_t k = 0; k < patterns.size(); ++k)
            Set("DEVICE" + std::to_string(k + 1), patterns[k]);
    }
};

// The events of a scan as text lines.
struct ScanEvents {
    std::vector<std::string> lines;
    explicit ScanEvents(VISAScan& s) {
        QObject::connect(&s, &VISAScan::ScanStarting, [this] { lines.push_back("START"); });
        QObject::connect(&s, &VISAScan::Exploring,
                         [this](const std::string& w) { lines.push_back("EXPLORE " + w); });
        QObject::connect(&s, &VISAScan::ExploreResult,
                         [this](const std::string& r) { lines.push_back("RESULT " + r); });
    }
    std::vector<std::string> Results() const {
        std::vector<std::string> r;
        for (const auto& l : lines)
            if (l.rfind("RESULT ", 0) == 0) r.push_back(l.substr(7));
        return r;
    }
};

// A resource on which nothing listens.
std::string DeadResource() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return "TCPIP0::127.0.0.1::" + std::to_string(ntohs(addr.sin_port)) + "::SOCKET";
}

// The library's calls with a record of the sessions written to.
struct Recorded {
    std::vector<std::string> calls;
    VISAScan::VisaCalls Calls() {
        VISAScan::VisaCalls c;
        c.Write = [this](ViSession vi, ViConstBuf buf, ViUInt32 n, ViUInt32* sent) {
            calls.push_back("write " + std::string(reinterpret_cast<const char*>(buf), n));
            return viWrite(vi, buf, n, sent);
        };
        c.GpibControlREN = [this](ViSession vi, ViUInt16 mode) {
            calls.push_back("ren " + std::to_string(mode));
            return viGpibControlREN(vi, mode);
        };
        c.Close = [this](ViObject o) {
            calls.push_back("close");
            return viClose(o);
        };
        return c;
    }
};

} // namespace

TEST_F(Discovery, SocketResourcesOfTheCacheAreFoundIdentifiedAndAskedForOptions) {
    SimBench bench(
        {"--modsource", "BOXW", "--rf", "VRTA", "--opt-rf", "R4Q,B10", "--analyzer", "HOB"});
    ASSERT_TRUE(bench.ready);
    Devices({bench.Resource("modsource"), bench.Resource("rf"), bench.Resource("analyzer")});
    Set("SERVER1", "localhost");

    VISAScan scan;
    ScanEvents events(scan);
    EXPECT_TRUE(scan.Scan(kKey, 1000));

    ASSERT_EQ(scan.DeviceCount(), 3);
    EXPECT_EQ(scan.VISAResString(0), bench.Resource("modsource"));
    EXPECT_EQ(scan.DeviceTyp(0), 31);
    EXPECT_EQ(scan.DeviceGroup(0), "300");
    EXPECT_EQ(scan.DeviceInfo(0), "BOXW (3.12)");
    EXPECT_EQ(scan.IDAnswer(0), "Korva&Tellin,BOXW300,10011/001,3.12");
    EXPECT_EQ(scan.OptionList(0), "0");
    EXPECT_EQ(scan.DeviceTyp(1), 21);
    EXPECT_EQ(scan.DeviceInfo(1), "VRTA (5.30)");
    EXPECT_EQ(scan.OptionList(1), "R4Q,B10");
    EXPECT_TRUE(scan.OptionByRes(bench.Resource("rf"), "R4Q"));
    EXPECT_EQ(scan.DeviceTyp(2), 13);
    EXPECT_EQ(scan.DeviceInfo(2), "HOB (1.60)");

    const std::string m = bench.Resource("modsource");
    const std::vector<std::string> start = {"START", "EXPLORE " + m, "EXPLORE " + m,
                                            "RESULT BOXW (3.12)"};
    EXPECT_EQ(std::vector<std::string>(events.lines.begin(), events.lines.begin() + 4), start);
    EXPECT_EQ(events.Results(),
              (std::vector<std::string>{"BOXW (3.12)", "VRTA (5.30)", "HOB (1.60)"}));
    for (const char* log : {"modsource", "rf", "analyzer"})
        EXPECT_EQ(bench.Log(log), (std::vector<std::string>{"*IDN?", "*OPT?"})) << log;
}

TEST_F(Discovery, SearchPatternsListEveryMatch) {
    SimBench bench({"--modsource", "KLD", "--rf", "KLD", "--analyzer", "DANE"});
    ASSERT_TRUE(bench.ready);
    Devices({"TCPIP0::127.0.0.1::?*::SOCKET"});
    Set("SERVER1", "localhost");
    // The bench's sockets stand in for the instruments a search finds.
    VISAScan::VisaCalls calls;
    const std::vector<std::string> present = {bench.Resource("modsource"),
                                              bench.Resource("analyzer"), "USB0::1::2::3::INSTR"};
    calls.FindRsrc = [&](ViSession rm, ViConstString expr, ViFindList* list, ViUInt32* count,
                         ViChar* desc) {
        return Visa::FindAmong(rm, expr, present, list, count, desc);
    };
    VISAScan scan(calls);
    ScanEvents events(scan);
    scan.Scan(kKey, 1000);

    ASSERT_EQ(scan.DeviceCount(), 2);
    EXPECT_EQ(scan.DeviceTyp(0), 24);
    EXPECT_EQ(scan.DeviceGroup(0), "200A");
    EXPECT_EQ(scan.DeviceInfo(0), "KLD (3.2)");
    EXPECT_EQ(scan.OptionList(0), "R2M");
    EXPECT_EQ(scan.DeviceTyp(1), 12);
    EXPECT_EQ(scan.DeviceInfo(1), "DANE (2.51)");
    EXPECT_EQ(scan.OptionList(1), "R7D");
    EXPECT_EQ(events.lines.at(1), "EXPLORE TCPIP0::127.0.0.1::?*::SOCKET");
    EXPECT_EQ(events.lines.at(2), "EXPLORE " + bench.Resource("modsource"));
}

TEST_F(Discovery, ForeignMakersSilentInstrumentsShortAnswersAndUnknownModels) {
    SimBench bench({"--modsource", "BOXW", "--idn-modsource", "korva&tellin,BOXW300,7,2.0", "--rf",
                    "VRTA", "--idn-rf", "Acme Instruments,SG9,77,1.0", "--analyzer", "HOB",
                    "--idn-analyzer", "Korva&Tellin,PLU,1.2,3.4"});
    SimBench quiet({"--modsource", "BOXW", "--idn-modsource", "Korva&Tellin,ZZZ1,1,1", "--rf",
                    "EXTERNAL", "--analyzer", "HOB", "--fault", "mute=analyzer,0"});
    SimBench terse({"--modsource", "KLD", "--rf", "KLD", "--idn-modsource", "Korva&Tellin, KLD200A",
                    "--analyzer", "HOD", "--idn-analyzer", "KORVA"});
    ASSERT_TRUE(bench.ready && quiet.ready && terse.ready);
    const std::string dead = DeadResource();
    Devices({bench.Resource("modsource"), bench.Resource("rf"), bench.Resource("analyzer"),
             quiet.Resource("modsource"), quiet.Resource("analyzer"), dead,
             terse.Resource("modsource"), terse.Resource("analyzer")});
    Set("SERVER1", "localhost");
    // Every pattern is a literal resource (the library's own fallback is
    // shown above); skipping the search keeps the test quick.
    VISAScan::VisaCalls calls;
    calls.FindRsrc = [](ViSession, ViConstString, ViFindList*, ViUInt32*, ViChar*) {
        return VI_ERROR_RSRC_NFOUND;
    };
    VISAScan scan(calls);
    ScanEvents events(scan);
    scan.Scan(kKey, 300);

    ASSERT_EQ(scan.DeviceCount(), 8);
    // The maker's name in lower case is still the maker's.
    EXPECT_EQ(scan.DeviceTyp(0), 31);
    EXPECT_EQ(scan.DeviceInfo(0), "BOXW (2.0)");
    // Another maker: code 99, the answer kept, no option query.
    EXPECT_EQ(scan.DeviceTyp(1), 99);
    EXPECT_EQ(scan.IDAnswer(1), "Acme Instruments,SG9,77,1.0");
    EXPECT_EQ(scan.DeviceInfo(1), "----- (---)");
    EXPECT_EQ(bench.Log("rf"), std::vector<std::string>{"*IDN?"});
    // The PLU is not asked for options.
    EXPECT_EQ(scan.DeviceTyp(2), 33);
    EXPECT_EQ(scan.DeviceInfo(2), "PLU (1.2)");
    EXPECT_EQ(scan.OptionList(2), "");
    EXPECT_EQ(bench.Log("analyzer"), std::vector<std::string>{"*IDN?"});
    // The maker's instrument that no recogniser knows: code 0, no result.
    EXPECT_EQ(scan.DeviceTyp(3), 0);
    EXPECT_EQ(scan.DeviceInfo(3), "----- (---)");
    EXPECT_EQ(scan.IDAnswer(3), "Korva&Tellin,ZZZ1,1,1");
    EXPECT_EQ(quiet.Log("modsource"), std::vector<std::string>{"*IDN?"});
    // No answer, nothing listening.
    EXPECT_EQ(scan.DeviceTyp(4), 0);
    EXPECT_EQ(scan.IDAnswer(4), "");
    EXPECT_EQ(scan.VISAResString(5), dead);
    EXPECT_EQ(scan.DeviceInfo(5), "----- (---)");
    // Answers without serial and version: empty fields, and the scan goes on.
    EXPECT_EQ(scan.DeviceTyp(6), 24);
    EXPECT_EQ(scan.DeviceInfo(6), "KLD ()");
    EXPECT_EQ(scan.OptionList(6), "R2M");
    EXPECT_EQ(scan.DeviceTyp(7), 0);
    EXPECT_EQ(scan.IDAnswer(7), "KORVA");

    EXPECT_EQ(events.Results(),
              (std::vector<std::string>{"BOXW (2.0)", "unknown device", "PLU (1.2)",
                                        "not found (output buffer empty)",
                                        "not found (output buffer empty)", "KLD ()"}));
}

TEST_F(Discovery, AResourceThatCannotBeOpenedIsNotWrittenTo) {
    Devices({"GPIB0::?*::INSTR"});
    Set("SERVER1", "localhost");
    Recorded rec;
    VISAScan scan(rec.Calls());
    ScanEvents events(scan);
    scan.Scan(kKey, 300);
    ASSERT_EQ(scan.DeviceCount(), 1);
    EXPECT_EQ(scan.VISAResString(0), "GPIB0::?*::INSTR");
    EXPECT_EQ(scan.DeviceTyp(0), 0);
    EXPECT_EQ(events.Results(), std::vector<std::string>{"not found (output buffer empty)"});
    // Only the resource manager was closed.
    EXPECT_EQ(rec.calls, std::vector<std::string>{"close"});
}

TEST_F(Discovery, NoListenersSkipsTheResourceSilently) {
    SimBench bench({"--rf", "EXTERNAL"});
    ASSERT_TRUE(bench.ready);
    Devices({bench.Resource("analyzer")});
    Set("SERVER1", "localhost");
    Recorded rec;
    VISAScan::VisaCalls calls = rec.Calls();
    calls.Write = [&](ViSession, ViConstBuf buf, ViUInt32 n, ViUInt32*) {
        rec.calls.push_back("write " + std::string(reinterpret_cast<const char*>(buf), n));
        return VI_ERROR_NLISTENERS;
    };
    calls.Read = [&](ViSession, ViBuf, ViUInt32, ViUInt32*) {
        rec.calls.push_back("read");
        return VI_ERROR_TMO;
    };
    VISAScan scan(calls);
    ScanEvents events(scan);
    scan.Scan(kKey, 300);
    ASSERT_EQ(scan.DeviceCount(), 1);
    EXPECT_EQ(scan.DeviceTyp(0), 0);
    EXPECT_EQ(scan.DeviceInfo(0), "----- (---)");
    EXPECT_TRUE(events.Results().empty());
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"write *IDN?", "ren 2", "close", "close"}));
}

TEST_F(Discovery, ServersPrefixesGapsAndAFailingFindNext) {
    Set("DEVICE1", "A?*");
    Set("DEVICE3", "C");
    Set("SERVER1", "labhost");
    Set("SERVER2", "localhost");
    std::vector<std::string> searched;
    VISAScan::VisaCalls calls;
    calls.FindRsrc = [&](ViSession, ViConstString expr, ViFindList* list, ViUInt32* count,
                         ViChar* desc) -> ViStatus {
        searched.push_back(expr);
        if (std::string(expr) == "visa://labhost/A?*") return VI_ERROR_RSRC_NFOUND;
        // The search promises four, but the list gives out after the third.
        std::strcpy(desc, "A1");
        *count = 4;
        *list = 77;
        return VI_SUCCESS;
    };
    // A descriptor of 256 characters fills the whole buffer a library is
    // given and leaves no room for its end.
    const std::string longest = "A" + std::string(255, '9');
    int next = 0;
    calls.FindNext = [&](ViFindList, ViChar* desc) -> ViStatus {
        switch (next++) {
        case 0:
            std::strcpy(desc, "A2");
            return VI_SUCCESS;
        case 1:
            std::memcpy(desc, longest.data(), longest.size());
            return VI_SUCCESS;
        default:
            std::strcpy(desc, "A2");
            return VI_ERROR_RSRC_NFOUND;
        }
    };
    calls.Open = [](ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession*) {
        return VI_ERROR_RSRC_NFOUND;
    };
    VISAScan scan(calls);
    scan.Scan(kKey, 300);
    EXPECT_EQ(searched, (std::vector<std::string>{"visa://labhost/A?*", "A?*"}));
    ASSERT_EQ(scan.DeviceCount(), 4);
    EXPECT_EQ(scan.VISAResString(0), "visa://labhost/A?*");
    EXPECT_EQ(scan.VISAResString(1), "A1");
    EXPECT_EQ(scan.VISAResString(2), "A2");
    EXPECT_EQ(scan.VISAResString(3), longest);
}

TEST_F(Discovery, MissingKeyScansOneEmptyPatternOnAnUnnamedServer) {
    VISAScan scan;
    ScanEvents events(scan);
    scan.Scan("SOFTWARE\\Nothing\\Here", 300);
    ASSERT_EQ(scan.DeviceCount(), 1);
    EXPECT_EQ(scan.VISAResString(0), "visa:///");
    EXPECT_EQ(events.lines, (std::vector<std::string>{"START", "EXPLORE ", "EXPLORE visa:///",
                                                      "RESULT not found (output buffer empty)"}));
}

TEST_F(Discovery, ScansReplaceTheTableAndDoNotNest) {
    Devices({"GPIB0::1::INSTR", "GPIB0::2::INSTR"});
    Set("SERVER1", "localhost");
    VISAScan scan;
    VISAScan other;
    std::vector<bool> inner;
    QObject::connect(&scan, &VISAScan::Exploring, [&](const std::string&) {
        EXPECT_TRUE(VISAScan::Scanning());
        inner.push_back(scan.Scan(kKey, 300));
        inner.push_back(other.Scan("SOFTWARE\\Nothing\\Here", 300));
    });
    EXPECT_TRUE(scan.Scan(kKey, 300));
    EXPECT_FALSE(VISAScan::Scanning());
    EXPECT_EQ(inner, std::vector<bool>(8, false));
    ASSERT_EQ(scan.DeviceCount(), 2);
    EXPECT_EQ(other.VISAResString(1), "GPIB0::2::INSTR");

    // The next scan starts from an empty table.
    Devices({"GPIB0::3::INSTR"});
    RegAccess::DeleteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey, "DEVICE2");
    EXPECT_TRUE(other.Scan(kKey, 300));
    ASSERT_EQ(scan.DeviceCount(), 1);
    EXPECT_EQ(scan.VISAResString(0), "GPIB0::3::INSTR");
}

TEST_F(Discovery, LookupsByResourceAndIndex) {
    KTDevIdent::DeviceList.assign(3, DeviceRecord{});
    KTDevIdent::DeviceList[0].VISAResString = "TCPIP0::lab::1::SOCKET";
    KTDevIdent::DeviceList[0].OptionList = "R4Q,B10";
    KTDevIdent::DeviceList[1].VISAResString = "TCPIP0::lab::2::SOCKET";
    KTDevIdent::DeviceList[1].OptionList = "R2M";
    KTDevIdent::DeviceList[2].VISAResString = "GPIB0::7::INSTR";
    VISAScan scan;
    EXPECT_EQ(scan.OptionListByRes("TCPIP0::lab"), "R2M");
    EXPECT_EQ(scan.OptionListByRes("TCPIP0::lab::1"), "R4Q,B10");
    EXPECT_EQ(scan.OptionListByRes("tcpip0::lab"), "");
    EXPECT_TRUE(scan.OptionByRes("TCPIP0::lab", "R4Q"));
    EXPECT_TRUE(scan.OptionByRes("TCPIP0::lab", "R2M"));
    EXPECT_FALSE(scan.OptionByRes("GPIB0", "R2M"));
    EXPECT_FALSE(scan.OptionByRes("TCPIP0::lab", "r4q"));
    // Outside the table: nothing, not a fault.
    for (std::int16_t i : {std::int16_t(-1), std::int16_t(3), std::int16_t(32767)}) {
        EXPECT_EQ(scan.VISAResString(i), "");
        EXPECT_EQ(scan.DeviceTyp(i), 0);
        EXPECT_EQ(scan.OptionList(i), "");
    }
}

TEST_F(Discovery, DefaultCacheEntriesAreWrittenOnlyWhereMissing) {
    const auto root = Registry::HKEY_LOCAL_MACHINE;
    auto text = [&](const char* name) {
        return INIIO::TrimStr(RegAccess::ReadRegValue(root, kKey, name));
    };
    VISADeviceCache::InitVISADeviceCache(kKey);
    EXPECT_EQ(text("DEVICE1"), "GPIB0::?*::INSTR");
    EXPECT_EQ(text("SERVER1"), "localhost");

    Set("DEVICE1", "TCPIP0::127.0.0.1::5025::SOCKET");
    RegAccess::DeleteRegValue(root, kKey, "SERVER1");
    VISADeviceCache::InitVISADeviceCache(kKey);
    EXPECT_EQ(text("DEVICE1"), "TCPIP0::127.0.0.1::5025::SOCKET");
    EXPECT_EQ(text("SERVER1"), "localhost");

    // Blanks count as missing.
    Put(root, kKey, "DEVICE1", Registry::REG_SZ, AsBytes("   "));
    VISADeviceCache::InitVISADeviceCache(kKey);
    EXPECT_EQ(text("DEVICE1"), "GPIB0::?*::INSTR");
}
