#pragma once
// The plausibility rules of the result window's rows: each row's caption,
// number format and unit, and the colour and warning a tested value earns.
// Kept apart from the window so that the rules can be checked headless.

#include <cstdint>
#include <optional>
#include <string>

namespace PlausibilityRules {

// The rows that carry a rule; every other row number writes nothing.
enum ResultRow : int {
    RowCrestReference = 3,
    RowLevelingLevel = 8,
    RowLevelingGain = 9,
    RowNoiseLevel = 11,
    RowDynamicMargin = 12,
    RowCrestIn = 13,
    RowCrestOut = 14,
    RowFirstTiming = 15,
    RowTimingDifference = 16,
    RowRemainingTiming = 17,
    RowGroupDelay = 18,
};

struct RowStyle {
    const char* caption;
    const char* format; // digit-placeholder pattern of the value line
    const char* unit;   // with its leading blank
    bool tested;        // false: always green, never a question
};

// The row's style, or nullopt for a row number without a rule.
std::optional<RowStyle> Style(int row);

// The number a row tests: |value - extra| when a reference is given, the
// magnitude for the lag rows (a lag is as bad late as early), else the value.
float TestedValue(int row, float value, std::optional<float> extra);

struct Verdict {
    std::int32_t color = 0; // RTF colour: black, green, orange or red
    std::string warning;    // empty: no question
};

// The colour and warning for the tested number v of a row with a rule. A
// number that is not finite is red with a warning: nothing was measured.
Verdict Judge(int row, float v);

} // namespace PlausibilityRules
