#include "INIIO.h"
#include "NumberText.h"
#include "StringOp.h"
#include "locale_guard.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <utility>

using NumberText::FormatNumber;

TEST(RoundHalfEven, HalvesGoToEvenNeighbour) {
    EXPECT_EQ(NumberText::RoundHalfEven(2.5), 2);
    EXPECT_EQ(NumberText::RoundHalfEven(3.5), 4);
    EXPECT_EQ(NumberText::RoundHalfEven(-2.5), -2);
    EXPECT_EQ(NumberText::RoundHalfEven(9.5), 10);
    EXPECT_EQ(NumberText::RoundHalfEven(10.5), 10);
    std::int16_t v = 0;
    EXPECT_FALSE(NumberText::ToInt16(70000, v));
    EXPECT_FALSE(NumberText::ToInt16(32767.5, v)); // rounds to 32768
    EXPECT_TRUE(NumberText::ToInt16(32766.5, v));
    EXPECT_EQ(v, 32766);
    std::int32_t w = 0;
    EXPECT_FALSE(NumberText::ToInt32(std::numeric_limits<double>::infinity(), w));
    // A float setting takes what a float holds; beyond that the cast is undefined.
    float f = 0;
    EXPECT_FALSE(NumberText::ToSingle(1e39, f));
    EXPECT_FALSE(NumberText::ToSingle(-1e39, f));
    EXPECT_FALSE(NumberText::ToSingle(std::nan(""), f));
    EXPECT_TRUE(NumberText::ToSingle(-3.4e38, f));
    EXPECT_TRUE(NumberText::ToSingle(1e-50, f));
    EXPECT_EQ(f, 0.0f);
}

TEST(PlainText, InstrumentCommandForm) {
    EXPECT_EQ(INIIO::TrimStr(0.5), ".5");
    EXPECT_EQ(INIIO::TrimStr(-0.25), "-.25");
    EXPECT_EQ(INIIO::TrimStr(16000000.0), "16000000");
    EXPECT_EQ(INIIO::TrimStr(-20.0), "-20");
    EXPECT_EQ(INIIO::TrimStr(0.1), ".1");
    EXPECT_EQ(INIIO::TrimStr(3.3), "3.3");
    EXPECT_EQ(INIIO::TrimStr(0.0), "0");
    EXPECT_EQ(INIIO::TrimStr(1.0 / 3.0), ".333333333333333");
    EXPECT_EQ(INIIO::TrimStr(-10.3f), "-10.3"); // a single from its own value
    EXPECT_EQ(INIIO::TrimStr(1.0f / 3.0f), ".3333333");
    EXPECT_EQ(INIIO::TrimStr(1e20), "1E+20");
    EXPECT_EQ(INIIO::TrimStr(1.5e-7), "1.5E-07");
    EXPECT_EQ(INIIO::TrimStr(std::int32_t{-7}), "-7");
    // a single's special values read as a double's do
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, const char*> specials[] = {
        {inf, "Inf"}, {-inf, "-Inf"}, {std::nanf(""), "NaN"}, {-0.0f, "0"}};
    for (const auto& [value, text] : specials) {
        EXPECT_EQ(NumberText::Plain(value), text) << text;
        EXPECT_EQ(NumberText::Plain(static_cast<double>(value)), text) << text;
    }
}

TEST(FormatNumber, PatternsInUse) {
    EXPECT_EQ(FormatNumber(1234.5678, "0.00"), "1234.57");
    EXPECT_EQ(FormatNumber(5.25, "##0.0"), "5.3"); // halves away from zero in text
    EXPECT_EQ(FormatNumber(0.04, "##0.0"), "0.0");
    EXPECT_EQ(FormatNumber(3.14159, "#0.00"), "3.14");
    EXPECT_EQ(FormatNumber(1000.5, "000.00"), "1000.50");
    EXPECT_EQ(FormatNumber(5.5, "000.00"), "005.50");
    EXPECT_EQ(FormatNumber(-0.001, "0.00"), "0.00");
    EXPECT_EQ(FormatNumber(1.005, "0.00"), "1.01"); // the number as typed, not its binary neighbour
    EXPECT_EQ(FormatNumber(12345.678, "0.00000E+0"), "1.23457E+4");
    EXPECT_EQ(FormatNumber(0.000123, "0.0000000E+00"), "1.2300000E-04");
    EXPECT_EQ(FormatNumber(9.999999, "0.00E+0"), "1.00E+1");
    EXPECT_EQ(FormatNumber(0, "0.00E+00"), "0.00E+00");
    EXPECT_EQ(FormatNumber(12.0, "#####"), "12");
    EXPECT_EQ(FormatNumber(0.4, "#####"), "");
    EXPECT_EQ(FormatNumber(2.5, "0.0", ','), "2,5");
    EXPECT_EQ(FormatNumber(1.25, "0.##"), "1.25");
    EXPECT_EQ(FormatNumber(1.5, "0.##"), "1.5");
}

TEST(FormatDateTime, PatternsInUse) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_wday = 3;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(NumberText::FormatDateTime(t, "yyyy-mm-dd"), "2026-12-09");
    EXPECT_EQ(NumberText::FormatDateTime(t, "mmm dd, yyyy hh:nn:ss"), "Dec 09, 2026 07:05:03");
    EXPECT_EQ(NumberText::FormatDateTime(t, "dd.mm.yyyy"), "09.12.2026");
    EXPECT_EQ(NumberText::FormatDateTime(t, "mm/dd/yyyy"), "12/09/2026"); // no hour before it
    EXPECT_EQ(NumberText::FormatDateTime(t, "hh:mm:ss"), "07:05:03");
}

TEST(FormatDateTime, YearRuns) {
    std::tm t{};
    t.tm_year = 2005 - 1900;
    t.tm_mon = 9;
    t.tm_mday = 25;
    // one or two letters give the two-digit year (with its leading zero), three
    // or more the whole year; a lone "y" is never taken as anything else
    const std::pair<const char*, const char*> cases[] = {
        {"y", "05"},      {"Y", "05"},           {"yy", "05"},      {"yyy", "2005"},
        {"yyyy", "2005"}, {"d.m.y", "25.10.05"}, {"y-mm", "05-10"}, {"xy", "x05"},
    };
    for (const auto& [pattern, expected] : cases)
        EXPECT_EQ(NumberText::FormatDateTime(t, pattern), expected) << pattern;
}

TEST(LocaleIndependence, GermanProcessLocaleChangesNothing) {
    LocaleGuard locale;
    ASSERT_TRUE(locale.Use(LocaleGuard::kComma));
    EXPECT_EQ(INIIO::TrimStr(0.1), ".1");
    EXPECT_EQ(INIIO::TrimStr(-10.3f), "-10.3");
    EXPECT_EQ(FormatNumber(3.25, "0.00"), "3.25");
    EXPECT_DOUBLE_EQ(StringOp::StrToDbl("0.1"), 0.1);
}
