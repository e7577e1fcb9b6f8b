#pragma once
// Helpers of the waveform, file-reader and test-signal tests: a private
// folder, whole files, and external I/Q files written byte by byte.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string p = (std::filesystem::temp_directory_path() / "quillon_wave_XXXXXX").string();
        path = ::mkdtemp(p.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

inline std::string ReadFile(const std::string& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// The 40-byte header (length, pair count, oversampling at byte 20, clock at
// byte 28), then the I and the Q singles, little-endian.
inline std::string IbnBytes(std::int32_t headerLength, std::int32_t pairs, std::int32_t os,
                            double clockHz, const std::vector<float>& i,
                            const std::vector<float>& q) {
    std::string s(40, '\0');
    const auto put = [&s](std::size_t at, const auto& v) {
        s.resize(std::max(s.size(), at + sizeof v));
        std::memcpy(s.data() + at, &v, sizeof v);
    };
    put(0, headerLength);
    put(4, pairs);
    put(20, os);
    put(28, clockHz);
    for (const auto* block : {&i, &q})
        for (float v : *block)
            put(s.size(), v);
    return s;
}

inline std::string WriteIbn(const TempDir& dir, const std::string& name,
                            const std::vector<float>& i, const std::vector<float>& q,
                            double clockHz = 16e6, std::int32_t os = 4) {
    WriteFile(dir.File(name), IbnBytes(40, static_cast<std::int32_t>(i.size()), os, clockHz, i, q));
    return dir.File(name);
}
