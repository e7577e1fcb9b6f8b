#include "Vxi11Backend.h"

#include <lxi.h>

#include <algorithm>
#include <climits>
#include <mutex>

namespace Visa {

namespace {

int LxiTimeout(const Deadline& d) {
    return static_cast<int>(std::min<ViUInt32>(d.RemainingMs(), INT_MAX));
}

// liblxi keeps its links in one table that lxi_init empties: once only.
void EnsureLxi() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { lxi_init(); });
}

// The discovery callback has no user argument; discoveries run one at a time.
std::mutex discoveryLock;
std::vector<std::string>* discovered = nullptr;

void OnDevice(const char* address, const char*) {
    std::string name = std::string("TCPIP0::") + address + "::inst0::INSTR";
    for (const std::string& known : *discovered)
        if (known == name) return;
    discovered->push_back(std::move(name));
}

} // namespace

std::vector<std::string> DiscoverVxi11(int timeoutMs) {
    EnsureLxi();
    std::lock_guard<std::mutex> guard(discoveryLock);
    std::vector<std::string> found;
    discovered = &found;
    lxi_info_t info{};
    info.device = OnDevice;
    lxi_discover(&info, timeoutMs, DISCOVER_VXI11);
    discovered = nullptr;
    return found;
}

ViStatus Vxi11Backend::Connect(const std::string& host, const std::string& deviceName,
                               ViUInt32 openTimeoutMs, std::unique_ptr<Backend>& out) {
    EnsureLxi();
    // liblxi waits for the link with whole seconds only (a fraction of a
    // second is taken as microseconds), so give it whole seconds, rounded up.
    std::uint64_t seconds = (static_cast<std::uint64_t>(openTimeoutMs) + 999) / 1000;
    seconds = std::clamp<std::uint64_t>(seconds, 1, 3600);
    int device = lxi_connect(host.c_str(), 0, deviceName.c_str(), static_cast<int>(seconds * 1000),
                             VXI11);
    if (device < 0) return VI_ERROR_RSRC_NFOUND;
    out = std::make_unique<Vxi11Backend>(device, LxiCalls{lxi_send, lxi_receive, lxi_disconnect});
    return VI_SUCCESS;
}

Vxi11Backend::~Vxi11Backend() { lxi_.disconnect(device_); }

IoResult Vxi11Backend::Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) {
    std::size_t earlier = pending_.size();
    if (earlier + count > static_cast<std::size_t>(INT_MAX)) {
        pending_.clear();
        return {VI_ERROR_INV_LENGTH, 0};
    }
    pending_.insert(pending_.end(), data, data + count);
    if (!end) return {VI_SUCCESS, count};

    DiscardRest(d);
    std::vector<ViByte> message;
    message.swap(pending_);
    int sent = lxi_.send(device_, reinterpret_cast<const char*>(message.data()),
                         static_cast<int>(message.size()), LxiTimeout(d));
    if (sent < 0) return {VI_ERROR_IO, 0};
    if (static_cast<std::size_t>(sent) < message.size()) {
        // The device took only part of it before its time-out ran out.
        std::size_t got = static_cast<std::size_t>(sent);
        std::size_t mine = got > earlier ? got - earlier : 0;
        return {VI_ERROR_TMO, static_cast<ViUInt32>(mine)};
    }
    return {VI_SUCCESS, count};
}

IoResult Vxi11Backend::Receive(ViByte* buf, ViUInt32 size, const Deadline& d) {
    int n = lxi_.receive(device_, reinterpret_cast<char*>(buf),
                         static_cast<int>(std::min<ViUInt32>(size, INT_MAX)), LxiTimeout(d));
    // liblxi reports every failed read alike; nearly always it is the device's
    // time-out.
    if (n < 0) return {VI_ERROR_TMO, 0};
    return {VI_SUCCESS, static_cast<ViUInt32>(n)};
}

ViStatus Vxi11Backend::Clear(const Deadline&) {
    // liblxi offers no device clear: forget what is buffered on our side.
    pending_.clear();
    DropInput();
    return VI_SUCCESS;
}

ViStatus Vxi11Backend::ReadStb(ViUInt16& stb, const Deadline& d) {
    // The query is a message of its own; a message still being built waits.
    std::vector<ViByte> held;
    held.swap(pending_);
    ViStatus status = QueryStatusByte(*this, stb, d);
    pending_.swap(held);
    return status;
}

} // namespace Visa
