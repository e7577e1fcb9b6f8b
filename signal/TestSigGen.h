#pragma once
// The baseband test signal and the simulation of the amplifier and its
// predistortion. Everything read and written is shared state: the settings
// (General::NoiseLength, NoiseBandwidth, NoiseClock, NoiseSeed,
// PlenwavePath, AMBeforePM, CurveScale and the fitted coefficients), the
// test signal General::TestSignalI/Q with its crest factor, the
// predistortion marks General::NoiseAMUsed/NoisePMUsed and the waveform
// object General::TestSignal(), whose clock, length and crest factor the
// makers fill. Each operation writes its progress to the status log.

#include <cstdint>
#include <string>
#include <vector>

namespace TestSigGen {

using Array = std::vector<double>;

// Band-limited noise of NoiseBandwidth around the carrier at NoiseClock
// (both MHz), NoiseLength pairs, the same for the same seed; peak 1.0.
void MakeNoiseSignal();
// A real sine of NoiseBandwidth / 2: two tones NoiseBandwidth apart on the
// I/Q modulator; peak 1.0.
void MakeDualToneSignal();
// The whole external I/Q file PlenwavePath, normalised to a peak of 1.0; its
// header goes to General::WaveHeader, the clock stays NoiseClock. Returns 0,
// or the reader's status (IQFileReader::Status) when the file cannot be
// read, or NoSignal when it holds no samples or only zeros; on failure the
// test signal, its header and the waveform object keep what they held.
std::int32_t LoadSimulatedSignal();
// Status of LoadSimulatedSignal for a record that cannot be normalised.
inline constexpr std::int32_t NoSignal = -1;

// The amplifier's output for the input: its AM/AM and AM/PM curves.
void SimulateDUT(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout);
// The amplifier's output for the input predistorted by mode (0 AM only, 1 PM
// only, 2 both, other none).
void SimulateDistortion(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                        std::int16_t mode);
// The input predistorted by mode, with the marks of what it carries.
void DistortTestSignal(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                       std::int16_t mode);
// "QUIL" + "AM"/"--" + "PM"/"--": the waveform's name on the generator.
std::string SignalTag();

} // namespace TestSigGen

namespace General {
// Crest factor (dB) of the last simulated or predistorted record.
inline float DistortedSignalCrest = 0;
} // namespace General
