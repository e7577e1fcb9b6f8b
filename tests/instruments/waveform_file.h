#pragma once
// Waveform files as the generators take them, built byte by byte, and their
// upload with "MMEM:DATA".

#include "VIF.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

// BOXW and VRTA: TYPE "WV,0", offset binary (32000 per full scale around
// 32768, two lowest bits clear). KLD: TYPE "KLD-WV,0" with SAMPLES, signed
// words of 32767 per full scale.
inline std::vector<std::uint8_t> WaveformFile(const std::vector<std::complex<double>>& s, bool kld,
                                              long clockHz) {
    std::string f;
    if (kld) f += "{SAMPLES: " + std::to_string(s.size()) + "}";
    f += kld ? "{TYPE: KLD-WV,0}" : "{TYPE: WV,0}";
    f += "{CLOCK: " + std::to_string(clockHz) + "}";
    f += "{MARKER LIST 1: 0-10:1;11:0}";
    f += "{WAVEFORM-" + std::to_string(4 * s.size() + 3) + ": 0,#";
    auto put = [&f](long word) {
        const auto u = static_cast<unsigned long>(word) & 0xFFFFu;
        f += static_cast<char>(u & 0xFFu);
        f += static_cast<char>(u >> 8);
    };
    for (const auto& v : s) {
        for (double x : {v.real(), v.imag()}) {
            if (kld)
                put(std::lround(x * 32767));
            else
                put(std::lround(x * 32000 + 32768) & ~3L);
        }
    }
    f += "}";
    return {f.begin(), f.end()};
}

inline bool Upload(VIF& vif, const std::string& name, const std::vector<std::uint8_t>& file) {
    const std::string digits = std::to_string(file.size());
    return vif.WriteByteArray("MMEM:DATA '" + name + "',#" + std::to_string(digits.size()) + digits,
                              file, "");
}
