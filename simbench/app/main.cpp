// simbench: serves a simulated bench until SIGINT or SIGTERM.

#include "Bench.h"
#include "Config.h"

#include <csignal>
#include <cstdio>
#include <string>

namespace {

simbench::Bench* running = nullptr;

extern "C" void OnSignal(int) {
    if (running) running->Stop();
}

} // namespace

int main(int argc, char** argv) {
    simbench::BenchConfig config;
    std::string why;
    switch (simbench::ParseCommandLine(argc, argv, config, why)) {
    case simbench::ParseResult::Help: {
        const std::string help = simbench::HelpText();
        std::fwrite(help.data(), 1, help.size(), stdout);
        return 0;
    }
    case simbench::ParseResult::Error:
        std::fprintf(stderr, "simbench: %s\n", why.c_str());
        return 2;
    case simbench::ParseResult::Run:
        break;
    }

    simbench::Bench bench(config);
    if (!bench.Listen(why)) {
        std::fprintf(stderr, "simbench: %s\n", why.c_str());
        return 1;
    }
    std::string text = bench.StartupText();
    if (!config.truthFile.empty()) {
        const std::string truth = bench.GetAmplifier().TruthTable();
        if (config.truthFile == "-") {
            text += truth;
        } else {
            std::FILE* f = std::fopen(config.truthFile.c_str(), "wb");
            if (!f || std::fwrite(truth.data(), 1, truth.size(), f) != truth.size()) {
                std::fprintf(stderr, "simbench: cannot write %s\n", config.truthFile.c_str());
                if (f) std::fclose(f);
                return 1;
            }
            std::fclose(f);
        }
    }
    text += "READY\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);

    running = &bench;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    bench.Run();
    running = nullptr;
    return 0;
}
