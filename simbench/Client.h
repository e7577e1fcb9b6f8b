#pragma once
// A small blocking SCPI client for raw sockets, for programs that drive the
// bench (its benchmark, tests): LF-terminated messages out, LF-terminated
// answers and definite-length blocks in, every wait bounded.

#include <optional>
#include <string>
#include <string_view>

namespace simbench {

class ScpiClient {
public:
    ScpiClient() = default;
    ~ScpiClient();
    ScpiClient(const ScpiClient&) = delete;
    ScpiClient& operator=(const ScpiClient&) = delete;

    bool Connect(const std::string& host, int port, int timeoutMs = 2000);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // True once the peer has closed the connection.
    bool PeerClosed() const { return peerClosed_; }

    // Sends the message followed by a line feed.
    bool Write(std::string_view message);
    // Sends the bytes as they are.
    bool WriteRaw(std::string_view bytes);
    // The next answer up to its line feed (excluded); nullopt on time-out or
    // when the connection ends first.
    std::optional<std::string> ReadLine(int timeoutMs = 2000);
    std::optional<std::string> Query(std::string_view query, int timeoutMs = 2000);
    // The data of a definite-length block answer ("#<n><len><data>" and its
    // line feed).
    std::optional<std::string> ReadBlock(int timeoutMs = 5000);

private:
    // Waits until at least `count` bytes are buffered.
    bool Fill(std::size_t count, int timeoutMs);

    int fd_ = -1;
    bool peerClosed_ = false;
    std::string buffer_;
    std::size_t pos_ = 0;
};

} // namespace simbench
