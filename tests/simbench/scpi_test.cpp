// The SCPI pieces of the bench on their own: framing, units, patterns and numbers.

#include "Scpi.h"

#include <gtest/gtest.h>
#include <string>

using namespace simbench::scpi;

namespace {

std::vector<std::string> Frame(const std::string& stream, std::size_t piece) {
    MessageFramer f;
    std::vector<std::string> out;
    for (std::size_t k = 0; k < stream.size(); k += piece) {
        f.Append(stream.data() + k, std::min(piece, stream.size() - k));
        std::string m;
        while (f.Next(m))
            out.push_back(m);
    }
    return out;
}

} // namespace

TEST(ScpiFramer, BlocksCarryAnyBytesWhateverTheReadSizes) {
    const std::string data("a;b\nc\r\n#9\0'\"", 13);
    const std::string stream = "*CLS\r\nMMEM:DATA 'X;#1',#213" + data + "\n*IDN?;*OPT?\n";
    for (std::size_t piece : {1, 2, 3, 7, 64, 4096}) {
        const auto messages = Frame(stream, piece);
        ASSERT_EQ(messages.size(), 3u) << "piece " << piece;
        EXPECT_EQ(messages[0], "*CLS");
        EXPECT_EQ(messages[1], "MMEM:DATA 'X;#1',#213" + data);
        EXPECT_EQ(messages[2], "*IDN?;*OPT?");
    }
}

TEST(ScpiFramer, CarriageReturnEndingABlockIsData) {
    const auto messages = Frame("X #12a\r\nY\r\n", 1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "X #12a\r");
    EXPECT_EQ(messages[1], "Y");
}

TEST(ScpiFramer, LineFeedEndsAnUnterminatedStringAndIndefiniteBlocks) {
    const auto messages = Frame("SEL 'abc\n*IDN?\nD #0xy;z\nE\n", 5);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "SEL 'abc");
    EXPECT_EQ(messages[1], "*IDN?");
    EXPECT_EQ(messages[2], "D #0xy;z");
}

TEST(ScpiFramer, OverlongMessageIsDroppedAndReported) {
    MessageFramer f(16);
    f.Append("0123456789ABCDEFGHIJ", 20);
    EXPECT_TRUE(f.TakeOverrun());
    EXPECT_FALSE(f.TakeOverrun());
    f.Append("\n*OPC?\n", 7);
    std::string m;
    ASSERT_TRUE(f.Next(m));
    EXPECT_EQ(m, "");
    ASSERT_TRUE(f.Next(m));
    EXPECT_EQ(m, "*OPC?");
    // A block longer than the limit is not waited for.
    f.Append("A #3999\n", 8);
    EXPECT_TRUE(f.Next(m));
}

TEST(ScpiUnits, SplitAndParse) {
    const std::string msg = "INP:ATT:AUTO OFF;:INP:ATT 10dB;*WAI;SEL 'a;b''c',\"d\";X #13;;y";
    const auto units = SplitUnits(msg);
    ASSERT_EQ(units.size(), 5u);
    Unit u;
    ASSERT_EQ(ParseUnit(units[1], u), NoError);
    EXPECT_TRUE(u.rooted);
    EXPECT_EQ(u.nodes, (std::vector<std::string>{"INP", "ATT"}));
    ASSERT_EQ(u.params.size(), 1u);
    EXPECT_EQ(u.params[0].text, "10dB");
    ASSERT_EQ(ParseUnit(units[2], u), NoError);
    EXPECT_TRUE(u.common);
    ASSERT_EQ(ParseUnit(units[3], u), NoError);
    ASSERT_EQ(u.params.size(), 2u);
    EXPECT_EQ(u.params[0].kind, Param::String);
    EXPECT_EQ(u.params[0].text, "a;b'c");
    EXPECT_EQ(u.params[1].text, "d");
    ASSERT_EQ(ParseUnit(units[4], u), NoError);
    EXPECT_EQ(u.params[0].kind, Param::Block);
    EXPECT_EQ(u.params[0].block, ";;y");

    ASSERT_EQ(ParseUnit("TRAC:IQ:DATA?", u), NoError);
    EXPECT_TRUE(u.query);
    ASSERT_EQ(ParseUnit("FREQ:CENT 1000 MHz", u), NoError);
    EXPECT_EQ(u.params[0].text, "1000 MHz");
}

TEST(ScpiUnits, Faults) {
    Unit u;
    EXPECT_EQ(ParseUnit("SEL 'abc", u), SyntaxError);
    EXPECT_EQ(ParseUnit("A::B", u), SyntaxError);
    EXPECT_EQ(ParseUnit("A 1,,2", u), SyntaxError);
    EXPECT_EQ(ParseUnit("D #15ab", u), InvalidBlockData);
    EXPECT_EQ(ParseUnit("D #12abc", u), InvalidBlockData);
    EXPECT_EQ(ParseUnit("D #1", u), InvalidBlockData);
    EXPECT_EQ(ParseUnit("OUTP$ ON", u), CommandError);
    EXPECT_EQ(ParseUnit("*ID:N?", u), SyntaxError);
}

TEST(ScpiPatterns, ShortLongCaseOptionalAndSuffix) {
    const Pattern p("[SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]");
    std::vector<int> s;
    for (auto h : {std::vector<std::string>{"SOUR", "POW", "LEV"},
                   {"pow"},
                   {"Source", "Power"},
                   {"POW", "IMM", "AMPL"}})
        EXPECT_TRUE(p.Match(h, s));
    for (auto h : {std::vector<std::string>{"SOU", "POW"},
                   {"POW", "LIM"},
                   {"SOUR"},
                   {"POW", "LEV", "LEV"},
                   {"POW1"}})
        EXPECT_FALSE(p.Match(h, s));

    const Pattern q("[SOURce]:ARBitrary:TRIGger:OUTPut#:ONTime");
    ASSERT_TRUE(q.Match({"ARB", "TRIG", "OUTP3", "ONT"}, s));
    EXPECT_EQ(s, std::vector<int>{3});
    ASSERT_TRUE(q.Match({"ARB", "TRIG", "OUTPUT", "ONTIME"}, s));
    EXPECT_EQ(s, std::vector<int>{1});

    EXPECT_TRUE(MnemonicMatches("INTernal", "int"));
    EXPECT_TRUE(MnemonicMatches("INTernal", "INTERNAL"));
    EXPECT_FALSE(MnemonicMatches("INTernal", "INTE"));
}

TEST(ScpiNumbers, UnitsAndFaults) {
    double v = 0;
    const struct {
        const char* text;
        UnitKind kind;
        double value;
    } good[] = {{"16MHZ", UnitKind::Frequency, 16e6},
                {".5MHZ", UnitKind::Frequency, 5e5},
                {"1000 MHz", UnitKind::Frequency, 1e9},
                {"850kHz", UnitKind::Frequency, 850e3},
                {"10000000Hz", UnitKind::Frequency, 1e7},
                {"2GHZ", UnitKind::Frequency, 2e9},
                {"-10dBm", UnitKind::PowerDbm, -10},
                {"-4.5", UnitKind::PowerDbm, -4.5},
                {"10dB", UnitKind::RatioDb, 10},
                {"0.99V", UnitKind::Voltage, 0.99},
                {"500mV", UnitKind::Voltage, 0.5},
                {"+1.5E+01", UnitKind::None, 15},
                {"3.", UnitKind::None, 3}};
    for (const auto& g : good) {
        ASSERT_EQ(ParseNumber(g.text, g.kind, v), NoError) << g.text;
        EXPECT_DOUBLE_EQ(v, g.value) << g.text;
    }
    EXPECT_EQ(ParseNumber("ON", UnitKind::None, v), DataTypeError);
    EXPECT_EQ(ParseNumber("inf", UnitKind::None, v), DataTypeError);
    EXPECT_EQ(ParseNumber("10dBm", UnitKind::Frequency, v), InvalidSuffix);
    EXPECT_EQ(ParseNumber("1E", UnitKind::None, v), InvalidSuffix);
    EXPECT_EQ(ParseNumber("5", UnitKind::Voltage, v), NoError);

    EXPECT_EQ(ErrorAnswer(0), "0,\"No error\"");
    EXPECT_EQ(ErrorAnswer(-113), "-113,\"Undefined header\"");
    EXPECT_EQ(BlockHeader(217), "#3217");
    EXPECT_EQ(BlockHeader(0), "#10");
    EXPECT_EQ(FormatNumber(32), "32");
    EXPECT_EQ(FormatNumber(-1.25), "-1.25");
}

TEST(ScpiFramer, ManyMessagesInOneChunkAllComeOutInOrder) {
    // A million messages in one received chunk: taking each one must not
    // move the ones behind it, or this never ends.
    constexpr std::size_t count = std::size_t(1) << 20;
    std::string stream;
    for (std::size_t k = 0; k < count; ++k)
        stream += k % 2 ? "\n" : "A\n";
    MessageFramer f;
    f.Append(stream.data(), stream.size());
    std::string m;
    std::size_t taken = 0;
    bool inOrder = true;
    while (f.Next(m))
        inOrder = inOrder && m == (taken++ % 2 ? "" : "A");
    EXPECT_EQ(taken, count);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(f.Buffered(), 0u);
}

TEST(ScpiFramer, BudgetBelowTheLimitDropsTheMessageBeingBuilt) {
    MessageFramer f(1000);
    f.SetBudget(8);
    f.Append("*OPC?\n0123456789", 16);
    EXPECT_TRUE(f.TakeOverrun());
    std::string m;
    ASSERT_TRUE(f.Next(m));
    EXPECT_EQ(m, "*OPC?"); // complete messages are kept
    EXPECT_FALSE(f.HasMessage());
    // A budget above the constructor's limit does not raise it.
    f.SetBudget(5000);
    const std::string big(1001, 'x');
    f.Append(big.data(), big.size());
    EXPECT_TRUE(f.TakeOverrun());
}

TEST(ScpiUnits, EmptyQuotedStringFollowedByMoreText) {
    const struct {
        const char* text;
        std::vector<std::string> params;
    } cases[] = {
        {"SEL '',1", {"", "1"}},        {"SEL \"\",'b'", {"", "b"}},
        {"SEL '','',''", {"", "", ""}}, {"SEL \"\" , x", {"", "x"}},
        {"SEL '''',''", {"'", ""}},     {"MMEM:DATA '',#14abcd", {"", ""}},
    };
    for (const auto& c : cases) {
        Unit u;
        ASSERT_EQ(ParseUnit(c.text, u), NoError) << c.text;
        std::vector<std::string> texts;
        for (const Param& p : u.params)
            texts.push_back(p.text);
        EXPECT_EQ(texts, c.params) << c.text;
    }
    const auto units = SplitUnits("SEL '';*IDN?;SEL \"\";X");
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[1], "*IDN?");
    EXPECT_EQ(units[3], "X");
    const auto framed = Frame("SEL '';*IDN?\nX \"\"\nY\n", 1);
    EXPECT_EQ(framed, (std::vector<std::string>{"SEL '';*IDN?", "X \"\"", "Y"}));
}

// Backtracking over every way to skip the optional nodes would take longer
// than the test's time-out for these; each (node, word) pair is tried once.
TEST(ScpiPatterns, ManyOptionalNodesMatchInLinearTime) {
    std::vector<int> s;
    std::string named, empty;
    for (int k = 0; k < 64; ++k) {
        named += "[:NODe#]";
        empty += "[]";
    }
    std::vector<std::string> words(32, "NOD"), blanks(32, "");
    EXPECT_TRUE(Pattern(named).Match(words, s));
    EXPECT_EQ(s.size(), 64u);
    words.push_back("X");
    blanks.push_back("X");
    EXPECT_FALSE(Pattern(named).Match(words, s));
    EXPECT_FALSE(Pattern(empty).Match(blanks, s));
}

TEST(ScpiPatterns, UnclosedOptionalNodeIsRefused) {
    std::vector<int> s;
    for (const char* text : {"[SOURce", "[SOURce]:POWer[:LEVel", "OUTPut[", "["}) {
        const Pattern p(text);
        EXPECT_FALSE(p.Valid()) << text;
        EXPECT_FALSE(p.Match({"SOUR"}, s)) << text;
        EXPECT_FALSE(p.Match({"POW"}, s)) << text;
        EXPECT_FALSE(p.Match({}, s)) << text;
    }
    EXPECT_TRUE(Pattern("[SOURce]:POWer[:LEVel]").Valid());
    EXPECT_TRUE(Pattern("DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:RLEVel").Valid());
}
