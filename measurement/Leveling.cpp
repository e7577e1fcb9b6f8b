// The automatic and the manual leveling loop.

#include "Leveling.h"

#include "CrossMix.h"
#include "General.h"
#include "LevelingMeter.h"
#include "NumberText.h"
#include "PlausibilityRules.h"
#include "ResultSink.h"
#include "Services.h"
#include "StringOp.h"

#include <algorithm>
#include <cmath>

namespace Leveling {
namespace {

// A step limit beyond any sensible setting still ends the loop.
constexpr double kMostSteps = 1000;
constexpr double kTolerance = 0.1; // dB

Outcome Failed(std::string error) {
    return {false, std::move(error)};
}

std::optional<std::string> SettingsFault() {
    const double l0 = General::GainMeasLev0, l1 = General::GainMeasLev1;
    if (!std::isfinite(l0) || !std::isfinite(l1) || l1 == 0 || !std::isfinite(General::TargetLevel))
        return "The leveling settings need a finite start distance and a step other than 0 dB "
               "(GainMeasLev0 " +
               NumberText::Plain(l0) + ", GainMeasLev1 " + NumberText::Plain(l1) + ").";
    return std::nullopt;
}

// The limit holds the peak envelope power, whatever the generator's level means.
std::optional<std::string> LimitFault(double level) {
    const double peak = FullScaleLevel(level);
    if (peak <= General::MaximumPeakGeneratorLevel) return std::nullopt;
    std::string text =
        "Leveling would need a generator level of " + StringOp::FormatDot(level, "0.00") + " dBm";
    if (peak != level)
        text += " (a peak envelope power of " + StringOp::FormatDot(peak, "0.00") + " dBm)";
    return text + ", above the power limit of " +
           StringOp::FormatDot(General::MaximumPeakGeneratorLevel, "0.00") + " dBm.";
}

// The measured level of a step, or the reason there is none.
std::optional<double> Level(const MeasureOutput& measure, std::string& error) {
    std::optional<double> out = measure(error);
    if (out && !std::isfinite(*out)) {
        error = "The amplifier output level could not be measured while leveling.";
        return std::nullopt;
    }
    return out;
}

std::string Unreached(int steps, double output) {
    return "Leveling did not reach the target of " +
           StringOp::FormatDot(General::TargetLevel, "0.00") + " dBm within " +
           std::to_string(steps) + " steps: the amplifier gave " +
           StringOp::FormatDot(output, "0.00") + " dBm at a generator level of " +
           StringOp::FormatDot(General::GenRMSLevel, "0.00") + " dBm.";
}

void ShowAutomaticResult(int k, double e) {
    ResultSink& sink = ResultSink::Get();
    const auto sk = std::size_t(k);
    sink.DisplayResult("DUT Output level", General::LevelOutput[sk], "0.00", "dBm");
    sink.DisplayResult("DUT Gain", General::LevelGain[sk], "0.00", "dB");
    sink.DisplayResult("Leveling error (" + std::to_string(k + 1) + " steps)", e, "0.00", "dB");
}

// Shows each measured level until OK; Stop and closing the meter end it early.
Outcome UntilOK(LevelingMeter& meter, const MeasureOutput& measure) {
    do {
        std::string error;
        const std::optional<double> out = Level(measure, error);
        if (!out) return Failed(error);
        General::LevelOutput[0] = *out;
        General::LevelGain[0] = *out - General::GenRMSLevel;
        meter.ShowValue(*out);
        if (General::MeasureRunAbort) return {};
        if (meter.Closed()) return Failed("Manual leveling was closed before OK.");
    } while (!meter.CheckOK());
    return {true, {}};
}

} // namespace

bool LevelIsRMS() {
    return General::ModulatorType == 1 && General::RFConverterType == 1;
}

double InputRMSLevel(double level) {
    return LevelIsRMS() ? level : level - double(General::TestSignalCrest);
}

double FullScaleLevel(double level) {
    return LevelIsRMS() ? level + double(General::TestSignalCrest) : level;
}

std::string LevelCommand(double level) {
    return "SOUR:POW:LEV " + StringOp::FormatDot(level, "0.00") + "dBm";
}

double CorrectedLevel(double level, double error, double step) {
    if (std::fabs(step) < std::fabs(error)) return error < 0 ? level + step : level - step;
    return level - error;
}

Outcome Automatic(const SetLevel& setLevel, const MeasureOutput& measure) {
    if (auto fault = SettingsFault()) return Failed(*fault);
    const double step = General::GainMeasLev1;
    const double target = General::TargetLevel;
    const double n =
        std::min(NumberText::RoundHalfEven(std::fabs(General::GainMeasLev0 / step)), kMostSteps);
    double level = target - General::GainMeasLev0 - step;
    General::LevelOutput.assign(1, 0.0);
    General::LevelGain.assign(1, 0.0);
    int k = -1;
    double e = 0;
    do {
        ++k;
        CrossMix::AddStatus("leveling amplifier - " + std::to_string(k + 1) + ". step");
        if (k > 0) level = CorrectedLevel(level, e, step);
        if (auto fault = LimitFault(level)) return Failed(*fault);
        General::GenRMSLevel = level;
        std::string error;
        if (!setLevel(level, error)) return Failed(error);
        const std::optional<double> out = Level(measure, error);
        if (!out) return Failed(error);
        General::LevelOutput.resize(std::size_t(k) + 1);
        General::LevelGain.resize(std::size_t(k) + 1);
        General::LevelOutput[std::size_t(k)] = *out;
        General::LevelGain[std::size_t(k)] = *out - InputRMSLevel(level);
        e = *out - target;
        if (General::MeasureRunAbort) return {};
    } while (std::fabs(e) >= kTolerance && k < n + 3);
    if (std::fabs(e) >= kTolerance) return Failed(Unreached(k + 1, target + e));
    ShowAutomaticResult(k, e);
    return {true, {}};
}

Outcome Manual(const MeasureOutput& measure) {
    Services::BigMessage().ShowMessage("Please switch on the IQ to RF converter", 1, 0, false, true,
                                       true);
    General::GenRMSLevel = General::TargetLevel;
    LevelingMeter& meter = LevelingMeter::Get();
    meter.Begin(General::GenRMSLevel);
    General::LevelOutput.assign(1, 0.0);
    General::LevelGain.assign(1, 0.0);
    Outcome outcome = UntilOK(meter, measure);
    if (outcome.completed) {
        ResultSink& sink = ResultSink::Get();
        const auto output = float(General::LevelOutput[0]);
        const auto gain = float(General::LevelGain[0]);
        outcome.completed = sink.ShowValue(PlausibilityRules::RowLevelingLevel, output, output,
                                           General::TargetLevel) &&
                            sink.ShowValue(PlausibilityRules::RowLevelingGain, gain, gain);
    }
    meter.End();
    return outcome;
}

} // namespace Leveling
