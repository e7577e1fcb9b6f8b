#pragma once
// The simulated bench as a child process: started with options, its
// modulation source's resource taken from the start-up lines, ended with
// SIGTERM when the object goes.

#include <chrono>
#include <csignal>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimBenchProcess {
public:
    explicit SimBenchProcess(std::vector<std::string> options) {
        std::vector<std::string> args{QUILLON_SIMBENCH};
        args.insert(args.end(), options.begin(), options.end());
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        fd_ = out[0];
        ReadStartup();
    }
    ~SimBenchProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    SimBenchProcess(const SimBenchProcess&) = delete;
    SimBenchProcess& operator=(const SimBenchProcess&) = delete;

    bool Ready() const { return ready_; }
    // "TCPIP0::127.0.0.1::<port>::SOCKET" of the instrument with the
    // modulation-source role.
    const std::string& ModSource() const { return modSource_; }

private:
    void ReadStartup() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::string buffer;
        while (std::chrono::steady_clock::now() < deadline) {
            std::size_t lf;
            while ((lf = buffer.find('\n')) != std::string::npos) {
                const std::string line = buffer.substr(0, lf);
                buffer.erase(0, lf + 1);
                if (line == "READY") {
                    ready_ = !modSource_.empty();
                    return;
                }
                std::istringstream words(line);
                std::string tag, roles, family, resource;
                words >> tag >> roles >> family >> resource;
                if (tag == "INSTRUMENT" && roles.find("modsource") != std::string::npos)
                    modSource_ = resource;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 200) != 1) continue;
            char chunk[1024];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) return;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    bool ready_ = false;
    std::string modSource_;
};
