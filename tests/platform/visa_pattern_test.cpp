#include "visa/SearchPattern.h"

#include <gtest/gtest.h>
#include <string>

namespace {

bool Match(const std::string& expr, const std::string& text) {
    Visa::SearchPattern p;
    EXPECT_TRUE(p.Compile(expr)) << expr;
    return p.Matches(text);
}

TEST(VisaPattern, WildcardsRepeatsAndCase) {
    EXPECT_TRUE(Match("GPIB0::?*::INSTR", "GPIB0::20::INSTR"));
    EXPECT_TRUE(Match("gpib0::?*::instr", "GPIB0::20::INSTR"));
    EXPECT_FALSE(Match("GPIB0::?*::INSTR", "GPIB1::20::INSTR"));
    EXPECT_TRUE(Match("GPIB0::?*::INSTR", "GPIB0::::INSTR")); // ?* is any text, even none
    EXPECT_FALSE(Match("GPIB0::?::INSTR", "GPIB0::::INSTR"));
    EXPECT_TRUE(Match("?*", ""));
    EXPECT_TRUE(Match("?*INSTR", "USB0::0x0957::0x1796::MY1::0::INSTR"));
    // * and + repeat the item before them; the whole text must match.
    EXPECT_TRUE(Match("ASRL1+::INSTR", "ASRL11::INSTR"));
    EXPECT_FALSE(Match("ASRL1+::INSTR", "ASRL::INSTR"));
    EXPECT_TRUE(Match("ASRL1*::INSTR", "ASRL::INSTR"));
    EXPECT_FALSE(Match("TCPIP", "TCPIP0::host::INSTR"));
}

TEST(VisaPattern, ListsAlternativesGroupsAndEscapes) {
    EXPECT_TRUE(Match("GPIB[0-9]::?*", "GPIB3::1::INSTR"));
    EXPECT_FALSE(Match("GPIB[^0]::?*", "GPIB0::1::INSTR"));
    EXPECT_FALSE(Match("GPIB[!0]::?*", "GPIB0::1::INSTR"));
    EXPECT_TRUE(Match("GPIB[!0]::?*", "GPIB1::1::INSTR"));
    EXPECT_TRUE(Match("usb[a-c]", "USBB")); // lists ignore case too
    EXPECT_FALSE(Match("X[^a-c]", "XB"));
    EXPECT_TRUE(Match("[]x]", "]")); // "]" first is a member
    EXPECT_TRUE(Match("(GPIB|TCPIP)?*INSTR", "TCPIP0::h::INSTR"));
    EXPECT_TRUE(Match("VXI|GPIB?*", "VXI")); // | splits whole sides
    EXPECT_FALSE(Match("VXI|GPIB?*", "VXIGPIB0"));
    EXPECT_TRUE(Match("(ab)+", "ababab"));
    EXPECT_FALSE(Match("(ab)+", "aba"));
    EXPECT_TRUE(Match("a\\?b", "a?b"));
    EXPECT_FALSE(Match("a\\?b", "axb"));
    EXPECT_TRUE(Match("(a*)*b", "aaab"));                  // nested repeats stay finite
    EXPECT_FALSE(Match("(a|aa)*c", std::string(40, 'a'))); // and fast
}

TEST(VisaPattern, MalformedExpressionsAreRefused) {
    Visa::SearchPattern p;
    for (const char* bad : {"*abc", "a|+b", "(abc", "abc)", "[abc", "abc\\", "[z-a]", "a(*)"})
        EXPECT_FALSE(p.Compile(bad)) << bad;
    EXPECT_FALSE(p.Matches("")); // a refused expression matches nothing
}

TEST(VisaPattern, NestingIsBoundedNotAStackOverflow) {
    const int limit = Visa::SearchPattern::kMaxNesting;
    auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "GPIB?*" +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    Visa::SearchPattern p;
    EXPECT_TRUE(p.Compile(nested(limit)));
    EXPECT_TRUE(p.Matches("GPIB0::1::INSTR"));
    EXPECT_TRUE(p.Compile("(a)(b)" + nested(limit))); // siblings do not add up
    EXPECT_FALSE(p.Compile(nested(limit + 1)));
    EXPECT_FALSE(p.Compile(nested(20000)));
    EXPECT_FALSE(p.Compile(std::string(20000, '(')));
}

TEST(VisaPattern, PrefixViability) {
    Visa::SearchPattern p;
    ASSERT_TRUE(p.Compile("?*::INSTR"));
    EXPECT_TRUE(p.CanMatchPrefix("TCPIP"));
    ASSERT_TRUE(p.Compile("GPIB0::?*::INSTR"));
    EXPECT_FALSE(p.CanMatchPrefix("TCPIP"));
    ASSERT_TRUE(p.Compile("tcp?*"));
    EXPECT_TRUE(p.CanMatchPrefix("TCPIP"));
    ASSERT_TRUE(p.Compile("(USB|TCPIP)0::?*"));
    EXPECT_TRUE(p.CanMatchPrefix("TCPIP"));
}

} // namespace
