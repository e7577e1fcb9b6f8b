// The reader of a number typed for a setting: one number and nothing else,
// and a number too large told from a text that is no number.

#include "SettingNumber.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using SettingNumber::Reading;

TEST(SettingNumber, TakesOneNumberAndTellsTooLargeFromNoNumber) {
    const std::string tinyDecimal = "0." + std::string(330, '0') + "1";
    struct Case {
        std::string text;
        Reading reading;
        std::optional<double> value;
        bool tooLarge;
    };
    const Case cases[] = {
        {"2.5", Reading::Regional, 2.5, false},
        {"2.5", Reading::Plain, 2.5, false},
        {"1,5", Reading::Regional, 1.5, false},
        {"1,5", Reading::Plain, std::nullopt, false},
        {"-10dBm", Reading::Regional, std::nullopt, false},
        {"-10dBm", Reading::Plain, std::nullopt, false},
        {"1e400", Reading::Regional, std::nullopt, true},
        {"-1e400", Reading::Plain, std::nullopt, true},
        {"1e400x", Reading::Regional, std::nullopt, false},
        {"1e400 dBm", Reading::Regional, std::nullopt, false},
        {"1e400 dBm", Reading::Plain, std::nullopt, false},
        {"1e-330", Reading::Regional, 0.0, false},
        {tinyDecimal, Reading::Regional, 0.0, false},
        {tinyDecimal, Reading::Plain, 0.0, false},
        {"-" + tinyDecimal + "e5", Reading::Plain, 0.0, false},
        {"1" + std::string(400, '0') + "e-5", Reading::Plain, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + (c.reading == Reading::Plain ? " plain" : " regional"));
        const SettingNumber::Read<double> read = SettingNumber::ReadAs<double>(c.text, c.reading);
        EXPECT_EQ(read.value, c.value);
        EXPECT_EQ(read.tooLarge, c.tooLarge);
    }
}
