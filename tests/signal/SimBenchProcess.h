#pragma once
// The simulated bench as a child process: started with options, the
// modulation source's resource read from its start-up lines, ended with
// SIGTERM when the object goes.

#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimBenchProcess {
public:
    explicit SimBenchProcess(std::vector<std::string> args) {
        args.insert(args.begin(), QUILLON_SIMBENCH);
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = ::fdopen(out[0], "r");
        // The bench prints its instruments, then READY (or ends on an error).
        char line[512];
        while (output_ != nullptr && std::fgets(line, sizeof line, output_) != nullptr) {
            std::istringstream words(line);
            std::string tag, roles, family, resource;
            words >> tag >> roles >> family >> resource;
            if (tag == "READY") break;
            if (tag == "INSTRUMENT" && roles.find("modsource") != std::string::npos)
                modSource_ = resource;
        }
    }
    ~SimBenchProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ != nullptr) std::fclose(output_);
    }
    SimBenchProcess(const SimBenchProcess&) = delete;
    SimBenchProcess& operator=(const SimBenchProcess&) = delete;

    // "TCPIP0::127.0.0.1::<port>::SOCKET", empty when the bench did not start.
    const std::string& ModSource() const { return modSource_; }

private:
    pid_t pid_ = -1;
    std::FILE* output_ = nullptr;
    std::string modSource_;
};
