// The row table and the colour chains of the result window's plausibility
// checks.

#include "PlausibilityRules.h"

#include "RTFGen.h"

#include <cmath>

namespace PlausibilityRules {
namespace {

using RTFGen::kBlack;
using RTFGen::kGreen;
using RTFGen::kOrange;
using RTFGen::kRed;

Verdict Crest(float v) {
    if (v > 5) return {kGreen, {}};
    if (v >= 2) return {kOrange, {}};
    if (v >= 0) return {kRed, "Crest factor very low (like CW)."};
    return {kBlack, {}};
}

// Rows whose values rise from green through orange to red.
Verdict Rising(float v, float orangeFrom, float redAbove, const char* warning) {
    if (v > redAbove) return {kRed, warning};
    if (v >= orangeFrom) return {kOrange, {}};
    if (v >= 0) return {kGreen, {}};
    return {kBlack, {}};
}

Verdict NoiseLevel(float v) {
    if (v > -100) return {kRed, "Noise level is too high."};
    if (v >= -120) return {kOrange, {}};
    return {kGreen, {}};
}

Verdict DynamicMargin(float v) {
    if (v > 5) return {kRed, "A/D converter underrange (low level)."};
    if (v < 0) return {kRed, "A/D converter overrange."};
    if (v >= 2) return {kOrange, {}};
    return {kGreen, {}};
}

// Green up to and including the first limit, orange up to and including the
// second, red beyond.
Verdict Lag(float v, float greenTo, float orangeTo, const char* warning) {
    if (v < 0) return {kBlack, {}};
    if (v <= greenTo) return {kGreen, {}};
    if (v <= orangeTo) return {kOrange, {}};
    return {kRed, warning};
}

} // namespace

std::optional<RowStyle> Style(int row) {
    switch (row) {
    case RowCrestReference:
        return RowStyle{"Crest Factor Reference Signal", "00.00", " dB", true};
    case RowLevelingLevel:
        return RowStyle{"RMS Level 3. leveling step", "##0.00", " dBm", true};
    case RowLevelingGain:
        return RowStyle{"Gain 3. leveling step", "##0.00", " dB", true};
    case RowNoiseLevel:
        return RowStyle{"Noise Level, RF generator OFF", "##0.0", " dBm/Hz", true};
    case RowDynamicMargin:
        return RowStyle{"Analyzer dynamic margin", "##0.00", " dBfs", true};
    case RowCrestIn:
        return RowStyle{"Crest factor Reference Signal", "00.00", " dB", true};
    case RowCrestOut:
        return RowStyle{"Crest factor Measured Signal", "00.00", " dB", true};
    case RowFirstTiming:
        return RowStyle{"First timing estimation", "0", " samples", false};
    case RowTimingDifference:
        return RowStyle{"Timing difference reference <-> measured signal", "00.00", " samples",
                        true};
    case RowRemainingTiming:
        return RowStyle{"Remaining timing difference after correction", "00.00", " samples", true};
    case RowGroupDelay:
        return RowStyle{"Group delay", "0.00", " ns", false};
    default:
        return std::nullopt;
    }
}

float TestedValue(int row, float value, std::optional<float> extra) {
    if (extra) return std::fabs(value - *extra);
    if (row == RowTimingDifference || row == RowRemainingTiming) return std::fabs(value);
    return value;
}

Verdict Judge(int row, float v) {
    const std::optional<RowStyle> style = Style(row);
    if (!style) return {};
    if (!style->tested) return {kGreen, {}};
    if (!std::isfinite(v)) return {kRed, std::string(style->caption) + " could not be measured."};
    switch (row) {
    case RowCrestReference:
    case RowCrestIn:
    case RowCrestOut:
        return Crest(v);
    case RowLevelingLevel:
        return Rising(v, 5, 15, "RMS Level error 3. stage too high.");
    case RowLevelingGain:
        return Rising(v, 30, 50, "Gain 3. leveling step very high/low.");
    case RowNoiseLevel:
        return NoiseLevel(v);
    case RowDynamicMargin:
        return DynamicMargin(v);
    case RowTimingDifference:
        return Lag(v, 2, 5, "timing difference critical!");
    case RowRemainingTiming:
        return Lag(v, 0.1f, 1, "Waveforms not synchronized!");
    default:
        return {};
    }
}

} // namespace PlausibilityRules
