// Times the bench's own work (framing, decoding, signal chain, block layout)
// for a 2^24-sample waveform upload and a 2^21-sample capture over loopback,
// next to the end-to-end times a client sees.

#include "Bench.h"
#include "Client.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// An offset-binary waveform file of a slowly turning phasor at 0.7 of full scale.
std::string WaveformFile(std::size_t samples) {
    std::string file = "{TYPE: WV,0}{CLOCK: 16000000}{MARKER LIST 1: 0-10:1;11:0}{WAVEFORM-" +
                       std::to_string(4 * samples + 3) + ": 0,#";
    const std::size_t header = file.size();
    file.resize(header + 4 * samples + 1);
    for (std::size_t k = 0; k < samples; ++k) {
        const double phase = 2 * 3.141592653589793 * static_cast<double>(k % 4096) / 4096;
        for (int ch = 0; ch < 2; ++ch) {
            const double x = 0.7 * (ch == 0 ? std::cos(phase) : std::sin(phase));
            const auto v = static_cast<unsigned>(std::nearbyint(x * 32000 + 32768));
            file[header + 4 * k + 2 * static_cast<std::size_t>(ch)] = static_cast<char>(v & 252);
            file[header + 4 * k + 2 * static_cast<std::size_t>(ch) + 1] = static_cast<char>(v >> 8);
        }
    }
    file.back() = '}';
    return file;
}

bool Check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "simbench_benchmark: %s failed\n", what);
    return ok;
}

} // namespace

int main() {
    simbench::BenchConfig config;
    simbench::Bench bench(config);
    std::string why;
    if (!bench.Listen(why)) {
        std::fprintf(stderr, "simbench_benchmark: %s\n", why.c_str());
        return 1;
    }
    std::thread server([&] { bench.Run(); });
    const auto endpoints = bench.Endpoints();
    simbench::ScpiClient mod, rf, ana;
    bool ok = Check(mod.Connect("127.0.0.1", endpoints[0].port), "connect") &&
              Check(rf.Connect("127.0.0.1", endpoints[1].port), "connect") &&
              Check(ana.Connect("127.0.0.1", endpoints[2].port), "connect");

    const std::size_t uploadSamples = std::size_t(1) << 24;
    const long captureSamples = 1L << 21;
    if (ok) {
        const std::string file = WaveformFile(uploadSamples);
        const std::string digits = std::to_string(file.size());
        const std::string message =
            "MMEM:DATA 'BENCH',#" + std::to_string(digits.size()) + digits + file;
        const double busy0 = bench.BusySeconds(simbench::ModSourceRole);
        const auto t0 = Clock::now();
        ok = Check(mod.Write(message), "upload") &&
             Check(mod.Query("*OPC?", 60000) == std::optional<std::string>("1"), "upload");
        const double total = Since(t0);
        const double busy = bench.BusySeconds(simbench::ModSourceRole) - busy0;
        std::printf("upload  %9zu pairs %10zu bytes: bench %.3f s, end to end %.3f s\n",
                    uploadSamples, message.size(), busy, total);
    }
    if (ok) {
        for (const char* m : {"MMEM:LOAD RAM,'BENCH'", "SOUR:CLOCK 16MHZ", "TRIG:MODE CONT",
                              "ARM;:TRIG", "OUTP:MARK1:STAT ON"})
            mod.Write(m);
        for (const char* m :
             {"SOUR:FREQ 1000MHz", "SOUR:POW:LEV -30dBm", "SOUR:DM:IQ:STAT ON", "OUTP:STAT ON"})
            rf.Write(m);
        ok = Check(mod.Query("*OPC?") && rf.Query("*OPC?"), "set-up");
        ana.Write("FREQ:CENT 1000 MHz;:DISP:TRAC:Y:RLEV 0dBm;:TRAC:IQ ON;:FORM REAL,32");
        ana.Write("TRAC:IQ:SET NORM,10000000Hz,16000000Hz,EXT,POS,0," +
                  std::to_string(captureSamples));
        ok = ok && Check(ana.Query("*OPC?").has_value(), "capture set-up");
        const double busy0 = bench.BusySeconds(simbench::AnalyzerRole);
        const auto t0 = Clock::now();
        ana.Write("ABOR;INIT:IMM;*WAI");
        ana.Write("TRAC:IQ:DATA?");
        const auto block = ana.ReadBlock(60000);
        const double total = Since(t0);
        const double busy = bench.BusySeconds(simbench::AnalyzerRole) - busy0;
        ok = ok && Check(block && block->size() == 8 * static_cast<std::size_t>(captureSamples),
                         "capture block");
        std::printf("capture %9ld pairs %10zu bytes: bench %.3f s, end to end %.3f s\n",
                    captureSamples, block ? block->size() : 0, busy, total);
    }
    bench.Stop();
    server.join();
    return ok ? 0 : 1;
}
