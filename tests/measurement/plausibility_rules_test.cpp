// The colour and question of each result row for values inside, at and
// outside its limits.

#include "PlausibilityRules.h"
#include "RTFGen.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace PlausibilityRules;

namespace {
struct Case {
    int row;
    float value;
    std::optional<float> extra;
    std::int32_t color;
    const char* warning; // "" for none
};
constexpr std::int32_t G = RTFGen::kGreen, O = RTFGen::kOrange, R = RTFGen::kRed,
                       B = RTFGen::kBlack;
} // namespace

TEST(PlausibilityRules, EachRowColoursItsLimitsAndWarnsOnlyWhenRed) {
    const char* cw = "Crest factor very low (like CW).";
    const Case cases[] = {
        {3, 5.01f, {}, G, ""},
        {3, 5, {}, O, ""},
        {3, 2, {}, O, ""},
        {3, 1.99f, {}, R, cw},
        {3, 0, {}, R, cw},
        {3, -1, {}, B, ""},
        {13, 1.99f, {}, R, cw},
        {14, 6, {}, G, ""},
        {14, 0, {}, R, cw},
        // row 8 tests the distance from the target
        {8, -12, -10, G, ""},
        {8, -15, -10, O, ""},
        {8, 5, -10, O, ""},
        {8, 5.5f, -10, R, "RMS Level error 3. stage too high."},
        {8, -10, -10, G, ""},
        {9, 29.9f, {}, G, ""},
        {9, 30, {}, O, ""},
        {9, 50, {}, O, ""},
        {9, 50.1f, {}, R, "Gain 3. leveling step very high/low."},
        {9, 0, {}, G, ""},
        {9, -3, {}, B, ""},
        {11, -120.1f, {}, G, ""},
        {11, -120, {}, O, ""},
        {11, -100, {}, O, ""},
        {11, -99.9f, {}, R, "Noise level is too high."},
        {12, 0, {}, G, ""},
        {12, 2, {}, O, ""},
        {12, 5, {}, O, ""},
        {12, 6, {}, R, "A/D converter underrange (low level)."},
        {12, -0.5f, {}, R, "A/D converter overrange."},
        {15, 1234.4f, {}, G, ""},
        {15, -1e9f, {}, G, ""},
        {18, 12.345f, 50, G, ""},
        {16, 2, {}, G, ""},
        {16, 2.01f, {}, O, ""},
        {16, 5, {}, O, ""},
        {16, 5.5f, {}, R, "timing difference critical!"},
        {17, 0.1f, {}, G, ""},
        {17, 0.11f, {}, O, ""},
        {17, 1, {}, O, ""},
        {17, 1.5f, {}, R, "Waveforms not synchronized!"},
        // a lag is judged by its size: a large negative lag is no better
        {16, -3, {}, O, ""},
        {16, -6, {}, R, "timing difference critical!"},
        {17, -0.05f, {}, G, ""},
        {17, -2, {}, R, "Waveforms not synchronized!"},
    };
    for (const Case& c : cases) {
        const Verdict v = Judge(c.row, TestedValue(c.row, c.value, c.extra));
        EXPECT_EQ(v.color, c.color) << "row " << c.row << " value " << c.value;
        EXPECT_EQ(v.warning, c.warning) << "row " << c.row << " value " << c.value;
    }
}

TEST(PlausibilityRules, RowsWithoutRuleAndValuesThatAreNoNumbers) {
    for (int row : {0, 1, 2, 4, 5, 6, 7, 10, 19, 20, -1}) {
        EXPECT_FALSE(Style(row)) << row;
        EXPECT_TRUE(Judge(row, 1).warning.empty()) << row;
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int row : {3, 8, 9, 11, 12, 13, 14, 16, 17}) {
        for (float v : {nan, inf, -inf}) {
            const Verdict verdict = Judge(row, v);
            EXPECT_EQ(verdict.color, R) << row;
            EXPECT_EQ(verdict.warning,
                      std::string(Style(row)->caption) + " could not be measured.");
        }
    }
    EXPECT_EQ(Judge(18, nan).color, G); // shown, not tested
    EXPECT_EQ(std::string(Style(11)->unit), " dBm/Hz");
    EXPECT_EQ(std::string(Style(16)->caption), "Timing difference reference <-> measured signal");
}
