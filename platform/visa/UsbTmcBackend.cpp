#include "UsbTmcBackend.h"

#include <linux/usb/tmc.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Visa {

namespace {

namespace fs = std::filesystem;

// The driver refuses time-outs below 100 ms.
constexpr ViUInt32 kMinTimeoutMs = 100;
// Stands in for an infinite time-out (one day).
constexpr ViUInt32 kLongestTimeoutMs = 86400000;

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

bool ReadHex(const fs::path& file, unsigned& value) {
    std::string text = ReadLine(file);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

void AppendHex4(std::string& out, unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    out += "0x";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(value >> shift) & 0xF];
}

unsigned NodeNumber(const std::string& node) {
    unsigned n = 0;
    std::from_chars(node.data() + 6, node.data() + node.size(), n); // after "usbtmc"
    return n;
}

ViStatus MapErrno(int err) {
    switch (err) {
    case ETIMEDOUT:
        return VI_ERROR_TMO;
    case ENODEV:
    case ESHUTDOWN:
        return VI_ERROR_CONN_LOST;
    default:
        return VI_ERROR_IO;
    }
}

} // namespace

std::string UsbTmcDevice::ResourceName() const {
    std::string name = "USB0::";
    AppendHex4(name, vendorId);
    name += "::";
    AppendHex4(name, productId);
    name += "::" + serial + "::" + std::to_string(interfaceNumber) + "::INSTR";
    return name;
}

std::vector<UsbTmcDevice> EnumerateUsbTmc(const std::string& classDir) {
    std::vector<UsbTmcDevice> found;
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), last; !ec && it != last; it.increment(ec)) {
        std::string node = it->path().filename().string();
        if (node.size() <= 6 || node.compare(0, 6, "usbtmc") != 0) continue;
        std::error_code linkError;
        // device -> the USB interface; its parent is the USB device.
        fs::path intf = fs::canonical(it->path() / "device", linkError);
        if (linkError) continue;
        fs::path usb = intf.parent_path();
        UsbTmcDevice dev;
        dev.node = node;
        if (!ReadHex(usb / "idVendor", dev.vendorId) || !ReadHex(usb / "idProduct", dev.productId))
            continue;
        dev.serial = ReadLine(usb / "serial");
        if (dev.serial.empty() || dev.serial.find("::") != std::string::npos) continue;
        if (!ReadHex(intf / "bInterfaceNumber", dev.interfaceNumber)) dev.interfaceNumber = 0;
        found.push_back(std::move(dev));
    }
    std::sort(found.begin(), found.end(), [](const UsbTmcDevice& a, const UsbTmcDevice& b) {
        return NodeNumber(a.node) < NodeNumber(b.node);
    });
    return found;
}

ViStatus UsbTmcBackend::Open(const std::string& devicePath, std::unique_ptr<Backend>& out) {
    int fd = ::open(devicePath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return VI_ERROR_NPERMISSION;
        if (errno == EBUSY) return VI_ERROR_RSRC_BUSY;
        return VI_ERROR_RSRC_NFOUND;
    }
    out.reset(new UsbTmcBackend(fd));
    return VI_SUCCESS;
}

UsbTmcBackend::~UsbTmcBackend() { ::close(fd_); }

void UsbTmcBackend::ApplyTimeout(const Deadline& d) {
    __u32 ms = std::min(d.RemainingMs(kMinTimeoutMs), kLongestTimeoutMs);
    if (ms == timeoutSet_) return;
    // Older drivers have a fixed time-out and refuse this; they keep theirs.
    if (::ioctl(fd_, USBTMC_IOCTL_SET_TIMEOUT, &ms) == 0) timeoutSet_ = ms;
}

IoResult UsbTmcBackend::Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) {
    DiscardRest(d);
    ApplyTimeout(d);
    if (endSet_ != static_cast<int>(end)) {
        __u8 eom = end ? 1 : 0;
        if (::ioctl(fd_, USBTMC_IOCTL_EOM_ENABLE, &eom) == 0) endSet_ = eom;
    }
    ViUInt32 sent = 0;
    while (sent < count) {
        ssize_t k = ::write(fd_, data + sent, count - sent);
        if (k < 0) {
            if (errno == EINTR) continue;
            return {MapErrno(errno), sent};
        }
        sent += static_cast<ViUInt32>(k);
    }
    return {VI_SUCCESS, count};
}

IoResult UsbTmcBackend::Receive(ViByte* buf, ViUInt32 size, const Deadline& d) {
    ApplyTimeout(d);
    for (;;) {
        ssize_t n = ::read(fd_, buf, size);
        if (n >= 0) return {VI_SUCCESS, static_cast<ViUInt32>(n)};
        if (errno != EINTR) return {MapErrno(errno), 0};
    }
}

ViStatus UsbTmcBackend::Clear(const Deadline&) {
    DropInput();
    return ::ioctl(fd_, USBTMC_IOCTL_CLEAR) == 0 ? VI_SUCCESS : MapErrno(errno);
}

ViStatus UsbTmcBackend::ReadStb(ViUInt16& stb, const Deadline& d) {
    ApplyTimeout(d);
    unsigned char value = 0;
    if (::ioctl(fd_, USBTMC488_IOCTL_READ_STB, &value) != 0) return MapErrno(errno);
    stb = value;
    return VI_SUCCESS;
}

} // namespace Visa
