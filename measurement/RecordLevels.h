#pragma once
// Levels of an I/Q record from the amplitudes of its samples: the peak, the
// arithmetic mean and the RMS amplitude, and the crest factor the measurement
// reports (peak over mean amplitude, not over RMS).

#include <optional>
#include <vector>

namespace RecordLevels {

struct Amplitudes {
    double peak = 0;
    double mean = 0;
    double rms = 0;
};

// nullopt for an empty record or I and Q of different length.
std::optional<Amplitudes> Measure(const std::vector<double>& I, const std::vector<double>& Q);

// ConvertPowerToDB(peak²) - ConvertPowerToDB(mean²), in dB.
double CrestFactor(const Amplitudes& a);

} // namespace RecordLevels
