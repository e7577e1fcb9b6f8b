#include "SocketBackend.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace Visa {

namespace {

// One receive at most; the input buffer never holds more.
constexpr std::size_t kChunk = 65536;

bool IsDigit(ViByte c) {
    return c >= '0' && c <= '9';
}

PollCall& CurrentPoll() {
    static PollCall call = nullptr;
    return call;
}

// poll() until something happens (> 0), the deadline passes (0) or poll fails
// (< 0). Only an interruption is retried, and never past the deadline, so a
// flood of signals cannot hold a bounded call.
int PollFor(int fd, short events, const Deadline& d, short& revents) {
    PollCall call = CurrentPoll() ? CurrentPoll() : &::poll;
    for (;;) {
        pollfd p{fd, events, 0};
        const int waitMs = d.PollMs();
        int r = call(&p, 1, waitMs);
        if (r < 0 && errno == EINTR) {
            if (waitMs == 0) return 0;
            continue;
        }
        revents = p.revents;
        return r;
    }
}

} // namespace

void SetPollCallForTest(PollCall call) {
    CurrentPoll() = call;
}

std::size_t ResponseFramer::Consume(const ViByte* data, std::size_t n, bool& ended) {
    ended = false;
    std::size_t i = 0;
    while (i < n) {
        switch (phase_) {
        case Phase::Start: {
            ViByte c = data[i++];
            if (c == '#') {
                phase_ = Phase::Hash;
            } else if (c == '\n') {
                ended = true;
                return i;
            } else {
                phase_ = Phase::Text;
            }
            break;
        }
        case Phase::Hash: {
            ViByte c = data[i++];
            if (c >= '1' && c <= '9') {
                digitsLeft_ = c - '0';
                dataLeft_ = 0;
                phase_ = Phase::Digits;
            } else if (c == '\n') {
                phase_ = Phase::Start;
                ended = true;
                return i;
            } else {
                // "#0" (indefinite length) and anything else run to the newline.
                phase_ = Phase::Text;
            }
            break;
        }
        case Phase::Digits: {
            ViByte c = data[i++];
            if (IsDigit(c)) {
                dataLeft_ = dataLeft_ * 10 + static_cast<unsigned>(c - '0');
                if (--digitsLeft_ == 0) phase_ = dataLeft_ > 0 ? Phase::Data : Phase::Text;
            } else if (c == '\n') {
                phase_ = Phase::Start;
                ended = true;
                return i;
            } else {
                // Not a length after all: the response is plain text.
                phase_ = Phase::Text;
            }
            break;
        }
        case Phase::Data: {
            std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n - i, dataLeft_));
            i += k;
            dataLeft_ -= k;
            if (dataLeft_ == 0) phase_ = Phase::Text;
            break;
        }
        case Phase::Text: {
            const void* lf = std::memchr(data + i, '\n', n - i);
            if (lf == nullptr) return n;
            phase_ = Phase::Start;
            ended = true;
            return static_cast<std::size_t>(static_cast<const ViByte*>(lf) - data) + 1;
        }
        }
    }
    return i;
}

ViStatus SocketBackend::Connect(const std::string& host, unsigned port, ViUInt32 openTimeoutMs,
                                std::unique_ptr<Backend>& out) {
    Deadline d = Deadline::After(openTimeoutMs);
    char service[8] = {};
    std::to_chars(service, service + sizeof service - 1, port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), service, &hints, &list) != 0 || list == nullptr)
        return VI_ERROR_RSRC_NFOUND;

    ViStatus status = VI_ERROR_MACHINE_NAVAIL;
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            short revents = 0;
            if (PollFor(fd, POLLOUT, d, revents) == 0) {
                ::close(fd);
                status = VI_ERROR_TMO;
                break;
            }
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            rc = err == 0 ? 0 : -1;
        }
        if (rc == 0) {
            // Commands are short and answered at once: do not hold them back.
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            out.reset(new SocketBackend(fd));
            ::freeaddrinfo(list);
            return VI_SUCCESS;
        }
        ::close(fd);
    }
    ::freeaddrinfo(list);
    return status;
}

SocketBackend::SocketBackend(int fd) : fd_(fd), in_(new ViByte[kChunk]) {}

SocketBackend::~SocketBackend() {
    ::close(fd_);
}

ViStatus SocketBackend::Fill(const Deadline& d) {
    if (lost_) return VI_ERROR_CONN_LOST;
    inPos_ = inEnd_ = 0;
    for (;;) {
        short revents = 0;
        int r = PollFor(fd_, POLLIN, d, revents);
        if (r == 0) return VI_ERROR_TMO;
        if (r > 0) {
            ssize_t n = ::recv(fd_, in_.get(), kChunk, 0);
            if (n > 0) {
                inEnd_ = static_cast<std::size_t>(n);
                return VI_SUCCESS;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        }
        lost_ = true;
        return VI_ERROR_CONN_LOST;
    }
}

IoResult SocketBackend::Read(ViByte* buf, ViUInt32 count, const Deadline& d) {
    ViUInt32 out = 0;
    for (;;) {
        if (Available() > 0 && out < count) {
            bool ended = false;
            std::size_t k = framer_.Consume(in_.get() + inPos_,
                                            std::min<std::size_t>(Available(), count - out), ended);
            std::memcpy(buf + out, in_.get() + inPos_, k);
            inPos_ += k;
            out += static_cast<ViUInt32>(k);
            if (ended) return {VI_SUCCESS, out};
            continue;
        }
        if (out == count) return {VI_SUCCESS_MAX_CNT, out};
        ViStatus s = Fill(d);
        if (s < 0) return {s, out};
    }
}

void SocketBackend::DiscardRest(const Deadline& d) {
    if (!framer_.InResponse()) return;
    bool late = false; // the deadline passed: what is there is the last taken
    for (;;) {
        if (Available() > 0) {
            bool ended = false;
            inPos_ += framer_.Consume(in_.get() + inPos_, Available(), ended);
            if (ended) return;
            continue;
        }
        // The rest never came in time (or the peer left): start afresh.
        if (late || Fill(d) < 0) {
            framer_.Reset();
            return;
        }
        late = !d.Infinite() && d.PollMs() == 0;
    }
}

IoResult SocketBackend::Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) {
    DiscardRest(d);
    if (lost_) return {VI_ERROR_CONN_LOST, 0};
    short revents = 0;
    if (PollFor(fd_, POLLRDHUP, Deadline::Now(), revents) > 0 &&
        (revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
        return {VI_ERROR_CONN_LOST, 0}; // what it sent before leaving can still be read

    static const ViByte lf = '\n';
    const std::size_t total = static_cast<std::size_t>(count) + (end ? 1 : 0);
    std::size_t sent = 0;
    while (sent < total) {
        iovec iov[2];
        int parts = 0;
        if (sent < count) iov[parts++] = {const_cast<ViByte*>(data) + sent, count - sent};
        if (end) iov[parts++] = {const_cast<ViByte*>(&lf), 1};
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = static_cast<std::size_t>(parts);
        ssize_t k = ::sendmsg(fd_, &msg, MSG_NOSIGNAL);
        if (k > 0) {
            sent += static_cast<std::size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int r = PollFor(fd_, POLLOUT, d, revents);
            if (r == 0)
                return {VI_ERROR_TMO, static_cast<ViUInt32>(std::min<std::size_t>(sent, count))};
            if (r > 0) continue;
            // poll itself failed: waiting again would only fail again
        }
        lost_ = true;
        return {VI_ERROR_CONN_LOST, static_cast<ViUInt32>(std::min<std::size_t>(sent, count))};
    }
    return {VI_SUCCESS, count};
}

ViStatus SocketBackend::Clear(const Deadline&) {
    framer_.Reset();
    inPos_ = inEnd_ = 0;
    // Drop what has already arrived without waiting for more; bounded so a
    // device that streams without end cannot hold the call.
    for (int i = 0; i < 256; ++i) {
        ViStatus s = Fill(Deadline::Now());
        if (s == VI_ERROR_TMO) break;
        if (s < 0) return s;
    }
    inPos_ = inEnd_ = 0;
    return VI_SUCCESS;
}

ViStatus SocketBackend::ReadStb(ViUInt16& stb, const Deadline& d) {
    return QueryStatusByte(*this, stb, d);
}

} // namespace Visa
