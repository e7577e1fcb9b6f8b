#include "ByteCast.h"
#include "SpecColor.h"
#include "StringOp.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

using namespace StringOp;

TEST(StrToDbl, SeparatorRules) {
    EXPECT_DOUBLE_EQ(StrToDbl("1,234,567.5"), 1234567.5);
    EXPECT_DOUBLE_EQ(StrToDbl("1.234.567,5"), 1234567.5);
    EXPECT_DOUBLE_EQ(StrToDbl("1,234.5"), 1234.5);
    EXPECT_DOUBLE_EQ(StrToDbl("1.234,5"), 1234.5);
    EXPECT_DOUBLE_EQ(StrToDbl("1,5"), 1.5);
    EXPECT_DOUBLE_EQ(StrToDbl("-0,25"), -0.25);
    EXPECT_DOUBLE_EQ(StrToDbl("abc"), 0.0);
    EXPECT_DOUBLE_EQ(StrToDbl(""), 0.0);
    EXPECT_DOUBLE_EQ(StrToDbl(" 12 MHz"), 12.0);
    EXPECT_DOUBLE_EQ(StrToDbl("2.5e3"), 2500.0);
    EXPECT_DOUBLE_EQ(StrToDbl("1e999"), 0.0); // overflow is not a number here
    // ... but a setting can tell it from a typed 0 and refuse it
    EXPECT_FALSE(StrToDblChecked("1e400").has_value());
    EXPECT_FALSE(StrToDblChecked("-1,5e400").has_value());
    EXPECT_DOUBLE_EQ(StrToDblChecked("1,5e3").value(), 1500.0);
    EXPECT_DOUBLE_EQ(StrToDblChecked("abc").value(), 0.0);
}

// A sign or a separator alone is no number: taken as 0 it would set a level
// or a limit nobody typed.
TEST(BeginsWithNumber, NeedsADigitAfterSignAndSeparator) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"5", ".,", true},    {" -5 ", ".,", true}, {".5", ".,", true},   {"-,5", ".,", true},
        {"+1e3", ".,", true}, {".", ".,", false},   {",", ".,", false},   {"-.", ".,", false},
        {"-,", ".,", false},  {"+", ".,", false},   {"", ".,", false},    {"- 5", ".,", false},
        {",5", ".", false},   {"e5", ".,", false},  {"..5", ".,", false}, {"\t.5", ".", true},
    };
    for (const auto& [text, separators, expected] : cases)
        EXPECT_EQ(BeginsWithNumber(text, separators), expected) << text << " / " << separators;
}

TEST(LeadingNumber, StopsAtFirstForeignCharacter) {
    EXPECT_DOUBLE_EQ(LeadingNumber("1,1").value(), 1.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5").value(), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("-.5x").value(), -0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber(" 1 2 3").value(), 123.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e").value(), 1.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1E+2").value(), 100.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1D2").value(), 100.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("+").value(), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e-999").value(), 0.0);
    EXPECT_FALSE(LeadingNumber("1e999").has_value());
}

TEST(FormatDot, AlwaysWritesPointAndReadsTextLikeNumbers) {
    EXPECT_EQ(FormatDot(3.14, "00.000000"), "03.140000");
    EXPECT_EQ(FormatDot(std::string_view("3,14"), "00.000000"), "03.140000");
    EXPECT_EQ(FormatDot(1.5, "00.00000"), "01.50000");
    EXPECT_EQ(FormatDot(1234567.0, "#,##0.000"), "1234567.000");
    EXPECT_EQ(FormatDot(42.0, "00000000"), "00000042");
    EXPECT_EQ(FormatDot(0.0005, "0.000"), "0.001");
    EXPECT_EQ(FormatDot(-2.0, "0.000"), "-2.000");
}

TEST(StripLineEnds, RemovesOnlyOuterLineEnds) {
    EXPECT_EQ(StripLineEnds("\r\nA\r\nB\r\n"), "A\r\nB");
    EXPECT_EQ(StripLineEnds("\r\n\r\n"), "");
    EXPECT_EQ(StripLineEnds(""), "");
    EXPECT_EQ(StripLineEnds("  val\n  "), "val");
    EXPECT_EQ(StripLineEnds(std::string("x\0\n", 3)), "x");
    EXPECT_EQ(StripLineEnds("\tA\t"), "\tA\t");
}

TEST(TrimWhite, TabsAndLineEndsButUncoveredBlanksStay) {
    EXPECT_EQ(TrimWhite("\t\tX\t"), "X");
    EXPECT_EQ(TrimWhite("\tX\tY"), "X\tY");
    EXPECT_EQ(TrimWhite("abc \t"), "abc ");
    EXPECT_TRUE(IsWhiteSpace("\r\n"));
    EXPECT_FALSE(IsWhiteSpace(" "));
}

TEST(SplitTrim, KeepsEmptyParts) {
    auto parts = SplitTrim("A, B,,C", ",");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0], "A");
    EXPECT_EQ(parts[1], "B");
    EXPECT_EQ(parts[2], "");
    EXPECT_EQ(parts[3], "C");
    EXPECT_EQ(SplitTrim("a::b", "::").size(), 2u);
    EXPECT_EQ(SplitTrim("x\t, y ", ",")[0], "x");
}

TEST(PadString, AlignmentsAndHalfToEven) {
    EXPECT_EQ(PadString("abc", 2, 2, "*"), "abc");
    EXPECT_EQ(PadString("abc", 6, 2, "*"), "**abc*");   // n = 3: 1.5 rounds to 2
    EXPECT_EQ(PadString("abc", 8, 2, "*"), "**abc***"); // n = 5: 2.5 rounds to 2
    EXPECT_EQ(PadString("Product:", 12, 0, " "), "Product:    ");
    EXPECT_EQ(PadString("42", 8, 1, "0"), "00000042");
    EXPECT_EQ(PadString("x", 3, 0, ""), "x  ");
    EXPECT_EQ(PadString("x", 3, 1, "ab"), "aax");
}

TEST(ByteCast, LittleEndianCopies) {
    std::vector<std::uint8_t> b;
    ByteCast::IntegerToBytes(static_cast<std::int16_t>(-2), b);
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0xFE, 0xFF}));
    ByteCast::LongToBytes(0x12345678, b);
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_FLOAT_EQ(ByteCast::BytesToSingle({0x00, 0x00, 0x80, 0x3F}), 1.0f);
    EXPECT_EQ(ByteCast::BytesToSingle({0x00, 0x00, 0x80}), 0.0f);
    EXPECT_EQ(ByteCast::BytesToSingle({0, 0, 0x80, 0x3F, 0}), 0.0f);
}

TEST(SpecColor, PrimaryHuesGreyAndUnwrappedBlue) {
    double r, g, b;
    SpecColor::HSLToRGB(0, 0.5, 1, r, g, b);
    EXPECT_DOUBLE_EQ(r, 1);
    EXPECT_DOUBLE_EQ(g, 0);
    EXPECT_DOUBLE_EQ(b, 0);
    SpecColor::HSLToRGB(120, 0.5, 1, r, g, b);
    EXPECT_DOUBLE_EQ(g, 1);
    EXPECT_DOUBLE_EQ(r, 0);
    // H = 240: red is computed at h = 360, which stays unwrapped and gives m1
    SpecColor::HSLToRGB(240, 0.5, 1, r, g, b);
    EXPECT_DOUBLE_EQ(b, 1);
    EXPECT_DOUBLE_EQ(r, 0);
    SpecColor::HSLToRGB(77, 0.3, 0, r, g, b);
    EXPECT_DOUBLE_EQ(r, 0.3);
    EXPECT_DOUBLE_EQ(g, 0.3);
    EXPECT_DOUBLE_EQ(b, 0.3);
    SpecColor::HSLToRGB(0, 0.75, 1, r, g, b);
    EXPECT_DOUBLE_EQ(r, 1);
    EXPECT_DOUBLE_EQ(g, 0.5);
    EXPECT_DOUBLE_EQ(b, 0.5);
}
