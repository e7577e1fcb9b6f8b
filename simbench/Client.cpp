#include "Client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simbench {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

} // namespace

ScpiClient::~ScpiClient() {
    Close();
}

bool ScpiClient::Connect(const std::string& host, int port, int timeoutMs) {
    Close();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) return false;
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (poll(&p, 1, timeoutMs) != 1 ||
            getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            Close();
            return false;
        }
    }
    return true;
}

void ScpiClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    peerClosed_ = false;
    buffer_.clear();
    pos_ = 0;
}

bool ScpiClient::WriteRaw(std::string_view bytes) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, Remaining(deadline)) != 1) return false;
            continue;
        }
        peerClosed_ = true; // reset or broken pipe: the peer has gone
        return false;
    }
    return true;
}

bool ScpiClient::Write(std::string_view message) {
    std::string m(message);
    m += '\n';
    return WriteRaw(m);
}

bool ScpiClient::Fill(std::size_t count, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (pos_ > 0 && pos_ == buffer_.size()) {
        buffer_.clear();
        pos_ = 0;
    }
    while (buffer_.size() - pos_ < count) {
        if (fd_ < 0 || peerClosed_) return false;
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, Remaining(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r != 1) return false;
        char chunk[1 << 16];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n == 0) {
            peerClosed_ = true;
            return false;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            peerClosed_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> ScpiClient::ReadLine(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t lf = buffer_.find('\n', pos_);
        if (lf != std::string::npos) {
            std::string line = buffer_.substr(pos_, lf - pos_);
            pos_ = lf + 1;
            return line;
        }
        if (!Fill(buffer_.size() - pos_ + 1, Remaining(deadline))) return std::nullopt;
    }
}

std::optional<std::string> ScpiClient::Query(std::string_view query, int timeoutMs) {
    if (!Write(query)) return std::nullopt;
    return ReadLine(timeoutMs);
}

std::optional<std::string> ScpiClient::ReadBlock(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!Fill(2, Remaining(deadline)) || buffer_[pos_] != '#') return std::nullopt;
    const int digits = buffer_[pos_ + 1] - '0';
    if (digits < 1 || digits > 9 ||
        !Fill(2 + static_cast<std::size_t>(digits), Remaining(deadline)))
        return std::nullopt;
    std::size_t length = 0;
    for (int k = 0; k < digits; ++k) {
        const char c = buffer_[pos_ + 2 + static_cast<std::size_t>(k)];
        if (c < '0' || c > '9') return std::nullopt;
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    const std::size_t header = 2 + static_cast<std::size_t>(digits);
    if (!Fill(header + length + 1, Remaining(deadline))) return std::nullopt;
    std::string data = buffer_.substr(pos_ + header, length);
    pos_ += header + length;
    if (buffer_[pos_] == '\n') ++pos_;
    return data;
}

} // namespace simbench
