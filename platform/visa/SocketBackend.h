#pragma once
// Raw SCPI over a TCP socket (TCPIP::host::port::SOCKET). A stream has no
// message boundaries, so responses are framed here: a response ends at "\n",
// except inside an IEEE 488.2 definite-length block ("#<n><len><data>") at
// the start of the response, whose data bytes are counted, not searched.

#include "Backend.h"

#include <cstdint>
#include <memory>
#include <poll.h>
#include <string>

namespace Visa {

// Follows one response byte by byte (data bytes of a block in bulk).
class ResponseFramer {
public:
    // How many of the `n` bytes belong to the current response; `ended` is set
    // when the last of them is its terminator.
    std::size_t Consume(const ViByte* data, std::size_t n, bool& ended);
    // Part of a response has been consumed, its terminator not yet.
    bool InResponse() const { return phase_ != Phase::Start; }
    void Reset() { phase_ = Phase::Start; }

private:
    enum class Phase { Start, Hash, Digits, Data, Text };
    Phase phase_ = Phase::Start;
    int digitsLeft_ = 0;
    std::uint64_t dataLeft_ = 0;
};

// The poll() the socket waits with; tests put one here that fails or is
// interrupted. nullptr restores the system's.
using PollCall = int (*)(pollfd* fds, nfds_t count, int timeoutMs);
void SetPollCallForTest(PollCall call);

class SocketBackend : public Backend {
public:
    // Connects within `openTimeoutMs`. VI_ERROR_RSRC_NFOUND when the host name
    // does not resolve, VI_ERROR_MACHINE_NAVAIL when the connection is refused
    // or unreachable, VI_ERROR_TMO when it cannot be made in time.
    static ViStatus Connect(const std::string& host, unsigned port, ViUInt32 openTimeoutMs,
                            std::unique_ptr<Backend>& out);
    ~SocketBackend() override;

    IoResult Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) override;
    IoResult Read(ViByte* buf, ViUInt32 count, const Deadline& d) override;
    ViStatus Clear(const Deadline& d) override;
    ViStatus ReadStb(ViUInt16& stb, const Deadline& d) override;

private:
    explicit SocketBackend(int fd);
    // Receives what is there into the empty input buffer, waiting until `d`.
    ViStatus Fill(const Deadline& d);
    void DiscardRest(const Deadline& d);
    std::size_t Available() const { return inEnd_ - inPos_; }

    int fd_;
    bool lost_ = false; // the peer closed or the connection broke
    ResponseFramer framer_;
    std::unique_ptr<ViByte[]> in_; // received; unconsumed from inPos_ to inEnd_
    std::size_t inPos_ = 0;
    std::size_t inEnd_ = 0;
};

} // namespace Visa
