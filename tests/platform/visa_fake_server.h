#pragma once
// A scripted SCPI instrument on a loopback TCP port: every line it receives
// (up to "\n") is handed to the script, whose steps send bytes (each send a
// TCP segment of its own), pause or close the connection. A step that sends
// or closes ends when the client's side has taken it in, so once the script
// has answered a line, its bytes and its end lie at the client. Everything
// received is recorded. One connection at a time; every wait is bounded.

#include "../support/delivered.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct FakeStep {
    enum Kind { Send, Pause, Close } kind;
    std::string bytes;
    int ms = 0;
};
inline FakeStep Send(std::string bytes) {
    return {FakeStep::Send, std::move(bytes), 0};
}
inline FakeStep Pause(int ms) {
    return {FakeStep::Pause, {}, ms};
}
inline FakeStep Close() {
    return {FakeStep::Close, {}, 0};
}

class FakeScpiServer {
public:
    using Script = std::function<std::vector<FakeStep>(const std::string& line)>;

    explicit FakeScpiServer(Script script) : script_(std::move(script)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listen_, 4);
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }

    ~FakeScpiServer() {
        stop_ = true;
        thread_.join();
        if (client_ >= 0) Hangup([] { return false; });
        ::close(listen_);
    }

    unsigned Port() const { return port_; }
    std::string Resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
    }

    std::string Received() {
        std::lock_guard<std::mutex> g(lock_);
        return received_;
    }

    // Waits (at most `ms`) until `n` bytes have arrived in all.
    bool WaitReceived(std::size_t n, int ms = kPatientMs) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(ms),
                                 [&] { return received_.size() >= n; });
    }

    // Waits (at most `ms`) until the script has run all steps for `n` lines.
    bool WaitAnswered(std::size_t n, int ms = kPatientMs) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(ms), [&] { return answered_ >= n; });
    }

private:
    void Run() {
        std::string line;
        while (!stop_) {
            pollfd p{client_ >= 0 ? client_ : listen_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            if (client_ < 0) {
                client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                int on = 1;
                if (client_ >= 0) ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                line.clear();
                continue;
            }
            char buf[4096];
            ssize_t n = ::recv(client_, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(client_);
                client_ = -1;
                continue;
            }
            {
                std::lock_guard<std::mutex> g(lock_);
                received_.append(buf, static_cast<std::size_t>(n));
            }
            changed_.notify_all();
            for (ssize_t i = 0; i < n && client_ >= 0; ++i) {
                if (buf[i] != '\n') {
                    line += buf[i];
                    continue;
                }
                for (const FakeStep& step : script_(line))
                    Perform(step);
                line.clear();
                {
                    std::lock_guard<std::mutex> g(lock_);
                    ++answered_;
                }
                changed_.notify_all();
            }
        }
    }

    void Perform(const FakeStep& step) {
        if (client_ < 0 || stop_) return;
        switch (step.kind) {
        case FakeStep::Send:
            ::send(client_, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
            Delivered(client_, [this] { return stop_.load(); });
            break;
        case FakeStep::Pause:
            for (int t = 0; t < step.ms && !stop_; t += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            break;
        case FakeStep::Close:
            Hangup([this] { return stop_.load(); });
            break;
        }
    }

    // Closes the connection once the client has seen its end.
    void Hangup(const std::function<bool()>& giveUp) {
        ::shutdown(client_, SHUT_WR);
        Delivered(client_, giveUp);
        ::close(client_);
        client_ = -1;
    }

    Script script_;
    int listen_ = -1;
    int client_ = -1;
    unsigned port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::string received_;
    std::size_t answered_ = 0;
};
