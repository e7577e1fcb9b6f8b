// The command log: levels, line formats, buffer dumps and status texts.

#include "bench.h"
#include "visa/visa.h"

#include <gtest/gtest.h>

namespace {

const std::string kAddr = "0x<A>";

::testing::AssertionResult Matches(const std::string& line, const std::string& pattern) {
    if (Like(line, pattern)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << line << "' does not match '" << pattern << "'";
}

// The number after `prefix` in a line that starts with it, or -1.
std::int32_t After(const std::string& line, const std::string& prefix) {
    if (line.rfind(prefix, 0) != 0 || !Like(line.substr(prefix.size()), "<N>")) return -1;
    return std::stoi(line.substr(prefix.size()));
}

// A dump line's hex part, blank-padded to its fixed width.
std::string Hex59(std::string text) {
    text.resize(59, ' ');
    return text;
}

TEST(VIFLog, LevelsDecideWhatIsWritten) {
    TempFolder tmp;
    Bench bench;
    {
        VIF vif;
        vif.ConfigDebugMode(0, false, tmp.File("zero.log"));
        EXPECT_FALSE(vif.OpenDevice("GPIB0::5::INSTR"));
        ASSERT_TRUE(vif.OpenDevice(bench.Resource()));
    }
    EXPECT_FALSE(std::filesystem::exists(tmp.File("zero.log")));

    VIF vif;
    vif.ConfigDebugMode(1, false, tmp.File("one.log"));
    ASSERT_TRUE(vif.OpenDevice(bench.Resource()));
    EXPECT_FALSE(std::filesystem::exists(tmp.File("one.log")));
    EXPECT_FALSE(vif.OpenDevice("GPIB0::5::INSTR"));
    std::vector<std::string> lines = LogLines(tmp.File("one.log"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "!!>> 0xBFFF00A5: The interface type is valid but the specified interface "
                        "number is not configured.");
}

TEST(VIFLog, CallAndResultLinesAtLevelTwo) {
    TempFolder tmp;
    Bench bench;
    bench.inst->On("*STB?", {"32\n"});
    const std::string log = tmp.File("two.log");
    std::int32_t rm = 0, vi = 0;
    {
        VIF vif;
        vif.ConfigDebugMode(2, false, log, 100);
        ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false, false, 1000, true));
        vi = vif.GetHandle();
        const std::int32_t tmo = static_cast<std::int32_t>(VI_ATTR_TMO_VALUE);
        vif.VIFviSetAttribute(vi, tmo, 150);
        vif.SetRENState(1);
        std::string answer;
        EXPECT_FALSE(vif.ReadString("Q?", answer));
        std::int32_t got = 0;
        std::string buf(8, ' ');
        VIFTestPeer::BufRead(vif, buf, 8, got);
    }
    std::vector<std::string> l = LogLines(log);
    ASSERT_EQ(l.size(), 32u);
    std::size_t i = 0;
    EXPECT_TRUE(Matches(l[i++], "  viOpenDefaultRM(" + kAddr + ")"));
    rm = After(l[i++], "  >> rsrcManagerHandle: ");
    ASSERT_GT(rm, 0);
    EXPECT_EQ(l[i++], "");
    EXPECT_TRUE(Matches(l[i++], "  viOpen(" + std::to_string(rm) + ",\"" + bench.Resource() +
                                    "\",0,1000," + kAddr + ")"));
    EXPECT_EQ(l[i++], "  >> instrumentHandle: " + std::to_string(vi));
    EXPECT_EQ(l[i++], "");
    const std::string h = std::to_string(vi);
    EXPECT_EQ(l[i++], "  viClear(" + h + ")");
    EXPECT_EQ(l[i++], "");
    EXPECT_TRUE(Matches(l[i++], "  viReadSTB(" + h + "," + kAddr + ")"));
    EXPECT_EQ(l[i++], "  >> statusByte: 32");
    EXPECT_EQ(l[i++], "");
    EXPECT_EQ(l[i++], "  viSetAttribute(" + h + ",1073676314,150)");
    EXPECT_EQ(l[i++], "");
    // No line for the remote-enable call; then the failed query.
    EXPECT_TRUE(Matches(l[i++], "  viWrite(" + h + ",<BUFFER>,2," + kAddr + ")"));
    EXPECT_EQ(l[i++], "  >> returnCount: 2");
    EXPECT_EQ(l[i++], "  >> Buffer Content");
    EXPECT_EQ(l[i++], "  >>" + Hex59("00000000:  51 3F ") + " Q?");
    EXPECT_EQ(l[i++], "");
    EXPECT_TRUE(Matches(l[i++], "  viRead(" + h + "," + kAddr + ",1000," + kAddr + ")"));
    EXPECT_EQ(l[i++], "  >> returnCount: 0");
    EXPECT_EQ(l[i++], "  >> Buffer Content");
    EXPECT_EQ(l[i++], "!!>> 0xBFFF0015: Timeout expired before operation completed.");
    EXPECT_EQ(l[i++], "");
    EXPECT_TRUE(Matches(l[i++], "  VIFviBufRead(" + h + "," + kAddr + ",8," + kAddr + ")"));
    // ... then the device clear with its "*CLS", and the closes.
    i = l.size() - 4;
    EXPECT_EQ(l[i++], "  viClose(" + h + ")");
    EXPECT_EQ(l[i++], "");
    EXPECT_EQ(l[i++], "  viClose(" + std::to_string(rm) + ")");
    EXPECT_EQ(l[i++], "");
    EXPECT_EQ(i, l.size());
}

TEST(VIFLog, BufferDumpsAndTheirLimit) {
    TempFolder tmp;
    Bench bench;
    std::string answer250;
    for (int k = 0; k < 249; ++k)
        answer250 += static_cast<char>('A' + k % 26);
    answer250 += '\n';
    bench.inst->On("BIG?", {answer250});
    bench.inst->On("RAW?", {std::string("\x00"
                                        "A\x7f\xe9\n",
                                        5)});
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    std::string answer;

    auto dumpOf = [&](int level, const std::string& query) {
        const std::string log = tmp.File("dump" + std::to_string(level) + query + ".log");
        vif.ConfigDebugMode(level, false, log, 100);
        EXPECT_TRUE(vif.ReadString(query, answer, 1000));
        vif.ConfigDebugMode(0);
        std::vector<std::string> dump;
        bool inRead = false;
        for (const std::string& line : LogLines(log)) {
            if (line.rfind("  viRead(", 0) == 0) inRead = true;
            if (inRead && line.rfind("  >>0", 0) == 0) dump.push_back(line);
        }
        return dump;
    };

    std::vector<std::string> two = dumpOf(2, "BIG?");
    ASSERT_EQ(two.size(), 7u);
    EXPECT_EQ(two[0],
              "  >>00000000:  41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  ABCDEFGHIJKLMNOP");
    EXPECT_EQ(two[6], "  >>" + Hex59("00000060:  53 54 55 56 ") + " STUV");
    for (const std::string& line : two)
        EXPECT_EQ(line[63], ' ') << line;
    std::vector<std::string> three = dumpOf(3, "BIG?");
    ASSERT_EQ(three.size(), 16u);
    EXPECT_EQ(three[15],
              "  >>" + Hex59("000000F0:  47 48 49 4A 4B 4C 4D 4E 4F 0A ") + " GHIJKLMNO.");
    // Level 4 limits like level 2.
    EXPECT_EQ(dumpOf(4, "BIG?").size(), 7u);

    std::vector<std::string> raw = dumpOf(2, "RAW?");
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0], "  >>" + Hex59("00000000:  00 41 7F E9 0A ") + " .A.\xe9.");
}

TEST(VIFLog, TimeStampsAndKeptFileName) {
    TempFolder tmp;
    Bench bench;
    VIF vif;
    vif.ConfigDebugMode(2, true, tmp.File("stamped.log"));
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    vif.ConfigDebugMode(2, false, "");
    ASSERT_TRUE(vif.WriteString("X"));
    std::vector<std::string> l = LogLines(tmp.File("stamped.log"));
    const std::string stamp = "<N>-<N>-<N>;<N>:<N>:<N>:";
    EXPECT_TRUE(Matches(l[0], stamp + "  viOpenDefaultRM(" + kAddr + ")"));
    EXPECT_TRUE(Matches(l[2], stamp));
    EXPECT_EQ(l[2].size(), 20u); // four-digit year, two digits for the rest
    // The empty file name kept the file; time stamps are off now.
    EXPECT_TRUE(Matches(l[l.size() - 5], "  viWrite(<N>,<BUFFER>,1," + kAddr + ")"));
}

TEST(VIFLog, StatusTexts) {
    EXPECT_EQ(VIFTestPeer::Decode(VI_ERROR_SYSTEM_ERROR),
              "Unknown system error (miscellaneouserror).");
    EXPECT_EQ(VIFTestPeer::Decode(VI_ERROR_RSRC_LOCKED).substr(0, 10), " Specified");
    EXPECT_EQ(VIFTestPeer::Decode(VI_ERROR_INV_PARAMETER),
              "The value of some parameter\x97which parameter is not known\x97is invalid.");
    EXPECT_EQ(VIFTestPeer::Decode(0), "Unknown VISA error (0x0)");
    EXPECT_EQ(VIFTestPeer::Decode(VI_SUCCESS_MAX_CNT), "Unknown VISA error (0x3FFF0006)");
    EXPECT_EQ(VIFTestPeer::Decode(VisaError(0xBFFF0039u)), "Unknown VISA error (0xBFFF0039)");
}

} // namespace
