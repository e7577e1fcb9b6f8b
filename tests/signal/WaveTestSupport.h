#pragma once
// Helpers of the waveform, file-reader and test-signal tests: a private
// folder, external I/Q files written byte by byte, and whole files read back.

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
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon_wave_XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

inline std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

template <typename T> void PutLE(std::string& s, std::size_t at, T value) {
    if (s.size() < at + sizeof value) s.resize(at + sizeof value);
    std::memcpy(s.data() + at, &value, sizeof value);
}

// An external I/Q file: the 40-byte header (length, pair count, oversampling
// at byte 20, clock at byte 28), then the I and the Q singles.
inline std::string IbnBytes(std::int32_t headerLength, std::int32_t pairCount, std::int32_t oversampling,
                            double clockHz, const std::vector<float>& i, const std::vector<float>& q) {
    std::string s(40, '\0');
    PutLE(s, 0, headerLength);
    PutLE(s, 4, pairCount);
    PutLE(s, 20, oversampling);
    PutLE(s, 28, clockHz);
    for (float v : i)
        PutLE(s, s.size(), v);
    for (float v : q)
        PutLE(s, s.size(), v);
    return s;
}

inline std::string WriteIbn(const TempDir& dir, const std::string& name, const std::vector<float>& i,
                            const std::vector<float>& q, double clockHz = 16e6, std::int32_t os = 4) {
    const std::string file = dir.File(name);
    WriteFile(file, IbnBytes(40, static_cast<std::int32_t>(i.size()), os, clockHz, i, q));
    return file;
}
