#pragma once
// The simulated bench's truth file: the amplifier's true gain and phase
// against input power, one row per 0.25 dB.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct TruthRow {
    double pin, gain, phase; // dBm, dB, degrees
};

inline std::vector<TruthRow> ReadTruth(const std::string& file) {
    std::vector<TruthRow> rows;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        TruthRow r{};
        double pout = 0;
        if (words >> r.pin >> pout >> r.gain >> r.phase) rows.push_back(r);
    }
    return rows;
}
