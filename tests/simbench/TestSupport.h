#pragma once
// Helpers of the bench tests: a bench served from a thread, waveform files
// built byte by byte the way the generators' file format describes them, and
// the I/Q block layout read back.

#include "../support/delivered.h"
#include "Bench.h"
#include "Client.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace simbench::test {

// A quiet, linear bench: no noise, no compression, no AM/PM, integer delay,
// a carrier phase of zero, so captured samples can be predicted exactly.
inline BenchConfig QuietConfig() {
    BenchConfig c;
    c.amplifier.gainDb = 20;
    c.amplifier.psatDbm = 200;
    c.amplifier.pmDeg = 0;
    c.amplifier.delaySamples = 3;
    c.amplifier.noiseFigureDb = -500;
    c.analyzerDanl = -500;
    c.carrierPhaseDeg = 0;
    return c;
}

class RunningBench {
public:
    explicit RunningBench(const BenchConfig& config) : bench(config) {
        std::string why;
        listening = bench.Listen(why);
        if (listening) server = std::thread([this] { bench.Run(); });
    }
    ~RunningBench() {
        bench.Stop();
        if (server.joinable()) server.join();
    }
    int Port(Role role) const {
        for (const auto& e : bench.Endpoints())
            if (e.roles & role) return e.port;
        return -1;
    }
    // A new connection to the instrument of a role.
    std::unique_ptr<ScpiClient> Connect(Role role) {
        auto c = std::make_unique<ScpiClient>();
        if (!c->Connect("127.0.0.1", Port(role))) return nullptr;
        return c;
    }

    Bench bench;
    bool listening = false;
    std::thread server;
};

// Offset binary as the BOXW and VRTA take it: 32000 per full scale around
// 32768, the two lowest bits cleared, low byte first.
inline void PutOffsetBinary(std::string& out, double x) {
    const long v = std::lround(x * 32000 + 32768);
    out += static_cast<char>(v & 252);
    out += static_cast<char>(v >> 8);
}

inline void PutSigned(std::string& out, double x) {
    const long w = x >= 1.0 ? 32767 : x <= -1.0 ? -32768 : std::lround(x * 32767);
    const auto u = static_cast<unsigned short>(static_cast<short>(w));
    out += static_cast<char>(u & 255);
    out += static_cast<char>(u >> 8);
}

// A whole waveform file; `signedPacking` gives the KLD variant with its
// SAMPLES tag and four marker lists.
inline std::string WaveformFile(const std::vector<std::complex<double>>& s, bool signedPacking,
                                double clockHz, const std::string& marker1 = "0-10:1;11:0") {
    std::string f;
    if (signedPacking) f += "{SAMPLES: " + std::to_string(s.size()) + "}";
    f += "{FILTER: OFF}{TYPE: ";
    f += signedPacking ? "KLD-WV,0}" : "WV,0}";
    f += "{CLOCK: " + std::to_string(static_cast<long long>(clockHz)) + "}";
    f += "{COPYRIGHT: 2026 by Korva & Tellin}{COMMENT: test; with \n and #3 inside}";
    f += "{DATE: 2026-01-02;03:04:05}{CRESTFACTOR: 3.010}";
    f += "{MARKER LIST 1: " + marker1 + "}{MARKER LIST 2: 0-10:1;11:0}";
    if (signedPacking) f += "{MARKER LIST 3: 0-10:1;11:0}{MARKER LIST 4: 0-10:1;11:0}";
    f += "{WAVEFORM-" + std::to_string(4 * s.size() + 3) + ": 0,#";
    for (const auto& v : s) {
        if (signedPacking) {
            PutSigned(f, v.real());
            PutSigned(f, v.imag());
        } else {
            PutOffsetBinary(f, v.real());
            PutOffsetBinary(f, v.imag());
        }
    }
    return f + "}";
}

inline std::string Block(const std::string& data) {
    const std::string digits = std::to_string(data.size());
    return "#" + std::to_string(digits.size()) + digits + data;
}

// Undoes the I/Q block layout: 524288 I values, 524288 Q values, and so on.
inline std::vector<std::complex<double>> Unpack(const std::string& block) {
    const std::size_t p = block.size() / 8;
    std::vector<std::complex<double>> out(p);
    std::size_t pos = 0;
    for (std::size_t b = 0; b < p; b += 524288) {
        const std::size_t n = std::min<std::size_t>(524288, p - b);
        for (int part = 0; part < 2; ++part) {
            for (std::size_t k = 0; k < n; ++k) {
                float v;
                std::memcpy(&v, block.data() + pos, 4);
                pos += 4;
                if (part == 0)
                    out[b + k].real(v);
                else
                    out[b + k].imag(v);
            }
        }
    }
    return out;
}

// A test signal: a slow phasor plus a second tone, peak below full scale.
inline std::vector<std::complex<double>> TestSignal(std::size_t n) {
    std::vector<std::complex<double>> s(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double t = static_cast<double>(k);
        s[k] = 0.5 * std::polar(1.0, 2 * 3.141592653589793 * t * 7 / static_cast<double>(n)) +
               0.3 * std::polar(1.0, -2 * 3.141592653589793 * t * 3 / static_cast<double>(n));
    }
    return s;
}

} // namespace simbench::test
