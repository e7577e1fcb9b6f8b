#pragma once
// USBTMC instruments through the kernel's usbtmc driver (/dev/usbtmcN), found
// through sysfs.

#include "Backend.h"

#include <memory>
#include <string>
#include <vector>

namespace Visa {

struct UsbTmcDevice {
    std::string node; // "usbtmc0": the device file is /dev/<node>
    unsigned vendorId = 0;
    unsigned productId = 0;
    std::string serial;
    unsigned interfaceNumber = 0;

    // "USB0::0x0957::0x1796::MY123::0::INSTR"
    std::string ResourceName() const;
};

// The usbtmc devices listed under `classDir` (/sys/class/usbmisc on a live
// system), in node order. Devices without a serial number cannot be named and
// are left out.
std::vector<UsbTmcDevice> EnumerateUsbTmc(const std::string& classDir = "/sys/class/usbmisc");

class UsbTmcBackend : public MessageBackend {
public:
    static ViStatus Open(const std::string& devicePath, std::unique_ptr<Backend>& out);
    ~UsbTmcBackend() override;

    IoResult Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) override;
    ViStatus Clear(const Deadline& d) override;
    ViStatus ReadStb(ViUInt16& stb, const Deadline& d) override;

protected:
    IoResult Receive(ViByte* buf, ViUInt32 size, const Deadline& d) override;

private:
    explicit UsbTmcBackend(int fd) : fd_(fd) {}
    void ApplyTimeout(const Deadline& d);

    int fd_;
    ViUInt32 timeoutSet_ = 0; // 0: not set yet
    int endSet_ = -1;         // -1: not set yet
};

} // namespace Visa
