#pragma once
// Leveling of the amplifier's output to General::TargetLevel before the main
// capture: automatically, by stepping the RF generator's level, or by hand
// with the external converter while the leveling meter shows each level.
//
// The bench is reached through two small functions, so that the loops can be
// checked without instruments. Results go to General::GenRMSLevel,
// General::LevelOutput and General::LevelGain and to the result window.

#include <functional>
#include <optional>
#include <string>

namespace Leveling {

// Sets the RF generator to `level` dBm with its output on; false (with
// `error`) when the generator did not take it.
using SetLevel = std::function<bool(double level, std::string& error)>;
// Captures the amplifier output: its RMS level in dBm, or nullopt (with
// `error`) when the capture brought no usable level.
using MeasureOutput = std::function<std::optional<double>(std::string& error)>;

struct Outcome {
    bool completed = false;
    // Why leveling ended early; empty when the operator stopped or declined.
    std::string error;
};

// How a generator level (dBm) reads at the amplifier's input. A VRTA that
// plays its own ARB (General::ModulatorType and RFConverterType both 1) takes
// its level as the RMS level of the waveform; every other generator takes it
// as the peak envelope power of full scale (|I + jQ| = 1), the test signal's
// crest factor General::TestSignalCrest (peak over RMS) above its RMS level.
double InputRMSLevel(double level);
double FullScaleLevel(double level);
// Whether the generator reads its level as the RMS level of the waveform.
bool LevelIsRMS();
// The RF generator's command for a level in dBm.
std::string LevelCommand(double level);

// The level of step k > 0 from the level and error of the step before: a
// move of at most `step` dB towards the target.
double CorrectedLevel(double level, double error, double step);

// The stepping loop. Refuses a step size of 0 or a non-finite setting, and a
// level above General::MaximumPeakGeneratorLevel, before anything is sent.
// Honours General::MeasureRunAbort after each step. A target the loop has
// not reached within its steps ends it with the reason.
Outcome Automatic(const SetLevel& setLevel, const MeasureOutput& measure);

// The operator levels the external converter. Ends with the OK of the meter;
// Stop, closing the meter or a declined plausibility question end it early.
Outcome Manual(const MeasureOutput& measure);

} // namespace Leveling
