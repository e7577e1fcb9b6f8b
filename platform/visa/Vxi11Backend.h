#pragma once
// VXI-11 instruments (TCPIP::host[::name]::INSTR) through liblxi. liblxi ends
// every write with END, so writes made with END off are held here and go out
// with the write that carries END, as one message.

#include "Backend.h"

#include <memory>
#include <string>
#include <vector>

namespace Visa {

// The liblxi calls a link uses once it is connected (replaceable in tests).
struct LxiCalls {
    int (*send)(int device, const char* message, int length, int timeout);
    int (*receive)(int device, char* message, int length, int timeout);
    int (*disconnect)(int device);
};

class Vxi11Backend : public MessageBackend {
public:
    // Creates the link to `deviceName` ("inst0", "gpib0,5", ...) on `host`.
    // VI_ERROR_RSRC_NFOUND when no link can be made within the time-out.
    static ViStatus Connect(const std::string& host, const std::string& deviceName,
                            ViUInt32 openTimeoutMs, std::unique_ptr<Backend>& out);

    Vxi11Backend(int device, const LxiCalls& calls) : device_(device), lxi_(calls) {}
    ~Vxi11Backend() override;

    IoResult Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) override;
    ViStatus Clear(const Deadline& d) override;
    ViStatus ReadStb(ViUInt16& stb, const Deadline& d) override;

protected:
    IoResult Receive(ViByte* buf, ViUInt32 size, const Deadline& d) override;

private:
    int device_;
    LxiCalls lxi_;
    std::vector<ViByte> pending_; // written with END off, not yet sent
};

// Descriptors ("TCPIP0::<address>::inst0::INSTR") of the VXI-11 instruments
// that answer a broadcast on each network interface within `timeoutMs` (the
// wait is per interface).
std::vector<std::string> DiscoverVxi11(int timeoutMs);

} // namespace Visa
