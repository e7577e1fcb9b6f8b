#include "Backend.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

namespace Visa {

namespace {
// Largest piece asked of a transport at once; also the most a backend holds.
constexpr std::size_t kChunk = 65536;
} // namespace

Deadline Deadline::After(ViUInt32 timeoutMs) {
    Deadline d;
    if (timeoutMs == VI_TMO_INFINITE) {
        d.infinite_ = true;
    } else {
        d.at_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    return d;
}

int Deadline::PollMs() const {
    if (infinite_) return -1;
    auto left = at_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

ViUInt32 Deadline::RemainingMs(ViUInt32 floorMs) const {
    if (infinite_) return VI_TMO_INFINITE;
    int ms = PollMs();
    return std::max(static_cast<ViUInt32>(ms), floorMs);
}

bool ParseStatusByte(const ViByte* answer, std::size_t length, ViUInt16& stb) {
    const char* p = reinterpret_cast<const char*>(answer);
    const char* end = p + length;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p < end && *p == '+') ++p;
    unsigned value = 0;
    auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || next == p || value > 255) return false;
    stb = static_cast<ViUInt16>(value);
    return true;
}

ViStatus QueryStatusByte(Backend& backend, ViUInt16& stb, const Deadline& d) {
    static const ViByte query[] = {'*', 'S', 'T', 'B', '?'};
    IoResult w = backend.Write(query, sizeof query, true, d);
    if (w.status < 0) return w.status;
    ViByte answer[64];
    IoResult r = backend.Read(answer, sizeof answer, d);
    if (r.status < 0) return r.status;
    // A longer answer's rest is dropped before the next write.
    return ParseStatusByte(answer, r.count, stb) ? VI_SUCCESS : VI_ERROR_IO;
}

IoResult MessageBackend::Read(ViByte* buf, ViUInt32 count, const Deadline& d) {
    ViUInt32 out = 0;
    for (;;) {
        std::size_t k = std::min<std::size_t>(count - out, held_.size());
        if (k > 0) {
            std::memcpy(buf + out, held_.data(), k);
            held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(k));
            out += static_cast<ViUInt32>(k);
        }
        if (held_.empty() && heldEnds_) {
            heldEnds_ = false;
            inResponse_ = false;
            return {VI_SUCCESS, out};
        }
        if (out == count) {
            if (out > 0) inResponse_ = true;
            return {VI_SUCCESS_MAX_CNT, out};
        }
        // held_ is empty here: ask for one byte more than is still wanted.
        std::size_t want = std::min<std::size_t>(count - out, kChunk);
        held_.resize(want + 1);
        IoResult got = Receive(held_.data(), static_cast<ViUInt32>(want + 1), d);
        held_.resize(std::min<std::size_t>(got.count, want + 1));
        if (got.status < 0) {
            std::size_t n = std::min<std::size_t>(held_.size(), count - out);
            std::memcpy(buf + out, held_.data(), n);
            out += static_cast<ViUInt32>(n);
            held_.clear();
            if (out > 0) inResponse_ = true;
            return {got.status, out};
        }
        heldEnds_ = held_.size() <= want;
    }
}

void MessageBackend::DiscardRest(const Deadline& d) {
    if (!inResponse_) return;
    bool ended = heldEnds_;
    held_.clear();
    heldEnds_ = false;
    inResponse_ = false;
    if (ended) return;
    std::vector<ViByte> scratch(4097);
    // A device that never stops sending is cut off at the deadline.
    do {
        IoResult got = Receive(scratch.data(), static_cast<ViUInt32>(scratch.size()), d);
        if (got.status < 0 || got.count < scratch.size()) return;
    } while (d.PollMs() != 0);
}

void MessageBackend::DropInput() {
    held_.clear();
    heldEnds_ = false;
    inResponse_ = false;
}

} // namespace Visa
