// Block and file transfers: outgoing blocks and files, float and I/Q blocks,
// answers into files, attribute restoring and temporary files.

#include "bench.h"
#include "visa/visa.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const std::int32_t kTmo = static_cast<std::int32_t>(VI_ATTR_TMO_VALUE);

std::string Block(const std::string& data) {
    const std::string len = std::to_string(data.size());
    return "#" + std::to_string(len.size()) + len + data;
}

std::string Singles(const std::vector<float>& values) {
    std::string out;
    for (float v : values) {
        auto w = std::bit_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k)
            out += static_cast<char>((w >> (8 * k)) & 0xFF);
    }
    return out;
}

// The block layout: B values of I, B of Q, and so on.
std::string IQBlock(const std::vector<float>& i, const std::vector<float>& q, std::size_t b) {
    std::string data;
    for (std::size_t s = 0; s < i.size(); s += b) {
        std::size_t n = std::min(b, i.size() - s);
        data += Singles({i.begin() + s, i.begin() + s + n});
        data += Singles({q.begin() + s, q.begin() + s + n});
    }
    return Block(data) + "\n";
}

std::vector<float> Ramp(std::size_t n, float start) {
    std::vector<float> v(n);
    for (std::size_t k = 0; k < n; ++k)
        v[k] = start + static_cast<float>(k);
    return v;
}

std::string Letters(std::size_t n) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k)
        s += static_cast<char>('a' + k % 26);
    return s;
}

std::int32_t Attribute(const VIF& vif, ViAttr attr) {
    ViInt32 v = -99;
    viGetAttribute(static_cast<ViSession>(vif.GetHandle()), attr, &v);
    return v;
}

bool Logged(const std::string& log, const std::string& line) {
    for (const std::string& l : LogLines(log))
        if (l == line) return true;
    return false;
}

// Like Logged, for lines that hold an address ("<A>") or any number ("<N>").
bool LoggedLike(const std::string& log, const std::string& pattern) {
    for (const std::string& l : LogLines(log))
        if (Like(l, pattern)) return true;
    return false;
}

struct Transfer : ::testing::Test {
    TempFolder tmp;
    Bench bench;
    VIF vif;
    Events ev{vif};
    std::string log = tmp.File("session.log");
    void SetUp() override {
        vif.ConfigDebugMode(2, false, log, 0);
        ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    }
    std::string H() const { return std::to_string(vif.GetHandle()); }
    // Everything received after the first `from` bytes, once `n` more came.
    std::string ReceivedFrom(std::size_t from, std::size_t n) {
        bench.server.WaitReceived(from + n);
        return bench.server.Received().substr(from);
    }
    // What arrived after the first `from` bytes, once enough of it came.
    void ExpectReceived(std::size_t from, const std::string& expected) {
        bench.server.WaitReceived(from + expected.size());
        EXPECT_EQ(bench.server.Received().substr(from), expected);
    }
    void ExpectAttributesAsOpened() {
        EXPECT_EQ(Attribute(vif, VI_ATTR_SEND_END_EN), 1);
        EXPECT_EQ(Attribute(vif, VI_ATTR_GPIB_READDR_EN), 1);
        EXPECT_EQ(Attribute(vif, VI_ATTR_TMO_VALUE), 2000);
        EXPECT_EQ(tmp.Count("BIN_IO"), 0);
    }
};

TEST_F(Transfer, FilesGoOutAsBlocksWithEndOnTheLastByte) {
    const std::string small = tmp.File("small.bin"), large = tmp.File("large.bin"),
                      empty = tmp.File("empty.bin");
    std::ofstream(small, std::ios::binary) << Letters(1234);
    std::ofstream(large, std::ios::binary) << Letters(25000);
    std::ofstream(empty, std::ios::binary) << "";

    ASSERT_TRUE(vif.WriteFileToInstrument("MMEM:DATA 'a',", small, ""));
    ExpectReceived(0, "MMEM:DATA 'a',#41234" + Letters(1234) + "\n");
    EXPECT_TRUE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,100)"));
    EXPECT_TRUE(LoggedLike(log, "  viWriteFromFile(" + H() + "," + small + ",1234,0x<A>)"));
    EXPECT_TRUE(Logged(log, "  >> returnCount: 1234"));
    ExpectAttributesAsOpened();

    std::size_t at = bench.server.Received().size();
    ASSERT_TRUE(vif.WriteFileToInstrument("", large, "}"));
    ExpectReceived(at, "#525000" + Letters(25000) + "}\n");
    EXPECT_TRUE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,250)"));

    at = bench.server.Received().size();
    ASSERT_TRUE(vif.WriteFileToInstrument("X ", empty, ""));
    ExpectReceived(at, "X #10\n");
    ExpectAttributesAsOpened();

    const std::string missing = tmp.File("missing.bin");
    EXPECT_FALSE(vif.WriteFileToInstrument("P", missing, "Q"));
    EXPECT_EQ(ev.lines.back(),
              "VIF|P'" + missing + "'Q|File " + missing + " not found on local harddisc");

    VIF closed;
    EXPECT_FALSE(closed.WriteFileToInstrument("P", small, ""));
}

TEST_F(Transfer, ByteBlocksAreSentInChunksWithProgress) {
    struct Case {
        std::size_t n;
        std::vector<float> progress;
    };
    const std::vector<Case> cases = {{100, {}},
                                     {300, {100.f / 3, 200.f / 3, 100.f}},
                                     {205, {100.f * 100 / 205, 200.f * 100 / 205}},
                                     {50, {}}};
    std::size_t at = 0;
    for (const Case& c : cases) {
        const std::string text = Letters(c.n);
        ev.progress.clear();
        ASSERT_TRUE(vif.WriteByteBlock(std::vector<std::uint8_t>(text.begin(), text.end()), 100));
        ASSERT_EQ(ev.progress.size(), c.progress.size()) << c.n;
        for (std::size_t k = 0; k < c.progress.size(); ++k)
            EXPECT_NEAR(ev.progress[k], c.progress[k], 1e-3) << c.n;
        // END stays on: every chunk ends a message.
        std::string got = ReceivedFrom(at, c.n + (c.n + 99) / 100);
        got.erase(std::remove(got.begin(), got.end(), '\n'), got.end());
        EXPECT_EQ(got, text);
        at = bench.server.Received().size();
    }
    // Staged in the temporary folder under the transfer prefix.
    EXPECT_NE(ReadAll(log).find("," + (tmp.path / "BIN_IO").string()), std::string::npos);
    EXPECT_TRUE(vif.WriteByteBlock({}, 100));
    EXPECT_EQ(bench.server.Received().size(), at);
    EXPECT_FALSE(vif.WriteByteBlock({1, 2, 3}, 0));

    const std::string payload = Letters(250);
    ASSERT_TRUE(vif.WriteByteArray(
        "MMEM:DATA 'w',#3250", std::vector<std::uint8_t>(payload.begin(), payload.end()), "}", 64));
    ExpectReceived(at, "MMEM:DATA 'w',#3250" + payload + "}\n");
    ExpectAttributesAsOpened();

    VIF closed;
    EXPECT_FALSE(closed.WriteByteBlock({1}, 10));
    EXPECT_FALSE(closed.WriteByteArrayHeader("A"));
    EXPECT_FALSE(closed.WriteByteArrayEnd("B"));
    EXPECT_FALSE(closed.WriteByteArray("A", {1, 2}, "B"));
    EXPECT_EQ(bench.server.Received().size(), at + 271);
}

TEST_F(Transfer, IQBlocksAreSortedIntoIAndQ) {
    const std::vector<float> i3000 = Ramp(3000, 0.5f), q3000 = Ramp(3000, -4000.25f);
    bench.inst->On("TRAC:IQ:DATA?", {IQBlock(i3000, q3000, 524288)});
    std::vector<float> i, q;
    ASSERT_TRUE(vif.ReadIQArray("TRAC:IQ:DATA?", i, q, 524288, 1024));
    EXPECT_EQ(i, i3000);
    EXPECT_EQ(q, q3000);
    const std::vector<float> expected = {17.066667f, 34.133333f, 50.f,
                                         67.066667f, 84.133333f, 100.f};
    ASSERT_EQ(ev.progress.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(ev.progress[k], expected[k], 1e-3);
    EXPECT_EQ(ev.lines,
              (std::vector<std::string>{"INFO|3000 IQ pairs transfered", "EXEC|TRAC:IQ:DATA?|1"}));
    ExpectReceived(0, "TRAC:IQ:DATA?\n*CLS\n");

    // Blocks of two: I0 I1 Q0 Q1 I2 I3 Q2 Q3 I4 Q4.
    bench.inst->On("SMALL?", {IQBlock({0, 1, 2, 3, 4}, {10, 11, 12, 13, 14}, 2)});
    std::vector<double> di, dq;
    ASSERT_TRUE(vif.ReadIQArray("SMALL?", di, dq, 2, 1024));
    EXPECT_EQ(di, (std::vector<double>{0, 1, 2, 3, 4}));
    EXPECT_EQ(dq, (std::vector<double>{10, 11, 12, 13, 14}));

    // More pairs than one block: a second round of I and Q.
    const std::vector<float> ibig = Ramp(600000, 1.f), qbig = Ramp(600000, -1e6f);
    bench.inst->On("BIG?", {IQBlock(ibig, qbig, 524288)});
    ev.progress.clear();
    ASSERT_TRUE(vif.ReadIQArray("BIG?", i, q, 524288, 1024));
    EXPECT_EQ(i, ibig);
    EXPECT_EQ(q, qbig);
    EXPECT_EQ(ev.progress.size(), 2u * (512 + 74));
    EXPECT_FLOAT_EQ(ev.progress[511], 524288.f / 600000 * 50);
    EXPECT_FLOAT_EQ(ev.progress.back(), 100.f);
    EXPECT_EQ(ev.lines.back(), "EXEC|BIG?|1");

    // An empty block: no pairs, no progress.
    bench.inst->On("NONE?", {"#10\n"});
    ev.progress.clear();
    ASSERT_TRUE(vif.ReadIQArray("NONE?", i, q, 524288, 1024));
    EXPECT_TRUE(i.empty());
    EXPECT_TRUE(ev.progress.empty());
    ExpectAttributesAsOpened();
}

TEST_F(Transfer, IQTimeOutFollowsTheExpectedSizeAndErrorsNameTheQuery) {
    bench.inst->On("TRAC:IQ:DATA?", {IQBlock(Ramp(10, 0), Ramp(10, 0), 524288)});
    bench.inst->ErrorAfter("TRAC:IQ:DATA?", "-221,\"Settings conflict\"");
    vif.ConfigErrorProcessor(true, false);
    std::vector<float> i, q;
    ASSERT_TRUE(vif.ReadIQArray("TRAC:IQ:DATA?", i, q, 524288, 1024, 100000));
    EXPECT_TRUE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,20000)"));
    EXPECT_TRUE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,2000)"));
    ExpectAttributesAsOpened();
    EXPECT_EQ(ev.lines, (std::vector<std::string>{"INFO|10 IQ pairs transfered",
                                                  "SCPI|TRAC:IQ:DATA?|-221,\"Settings conflict\"",
                                                  "EXEC|TRAC:IQ:DATA?|1"}));
    // The errors are read before "*CLS" clears them.
    ExpectReceived(0, "TRAC:IQ:DATA?\nSYST:ERR?\nSYST:ERR?\n*CLS\n");

    vif.ConfigErrorProcessor(true, true);
    ev.lines.clear();
    EXPECT_FALSE(vif.ReadIQArray("TRAC:IQ:DATA?", i, q, 524288, 1024));
    EXPECT_EQ(ev.lines.back(), "EXEC|TRAC:IQ:DATA?|0");
}

TEST_F(Transfer, SmallExpectedSizesNeverShortenTheTimeOut) {
    bench.inst->On("IQ?", {IQBlock(Ramp(4, 0), Ramp(4, 0), 524288)});
    std::vector<float> i, q;
    for (std::int32_t expected : {1, 2, 5000}) { // 0.2, 0.4 and 1000 ms by the rate
        ASSERT_TRUE(vif.ReadIQArray("IQ?", i, q, 524288, 1024, expected)) << expected;
        EXPECT_FALSE(LoggedLike(log, "  viSetAttribute(" + H() + ",1073676314,<N>)")) << expected;
        ExpectAttributesAsOpened();
    }
    // An endless time-out stays endless, whatever the size.
    const std::int32_t endless = static_cast<std::int32_t>(VI_TMO_INFINITE);
    vif.VIFviSetAttribute(vif.GetHandle(), kTmo, endless);
    ASSERT_TRUE(vif.ReadIQArray("IQ?", i, q, 524288, 1024, 100000));
    EXPECT_FALSE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,20000)"));
    EXPECT_EQ(Attribute(vif, VI_ATTR_TMO_VALUE), endless);
}

TEST_F(Transfer, AFailedIQReadLeavesNoEarlierCapture) {
    vif.VIFviSetAttribute(vif.GetHandle(), kTmo, 300);
    bench.inst->On("GOOD?", {IQBlock(Ramp(8, 1), Ramp(8, 2), 524288)});
    bench.inst->On("CUT?", {"#216" + Letters(8) + "\n"});
    bench.inst->On("SILENT?", {""});
    std::vector<float> i, q;
    std::vector<double> di, dq;
    for (const char* failing : {"CUT?", "SILENT?"}) {
        ASSERT_TRUE(vif.ReadIQArray("GOOD?", i, q, 524288, 1024));
        ASSERT_TRUE(vif.ReadIQArray("GOOD?", di, dq, 524288, 1024));
        EXPECT_FALSE(vif.ReadIQArray(failing, i, q, 524288, 1024));
        EXPECT_FALSE(vif.ReadIQArray(failing, di, dq, 524288, 1024));
        EXPECT_TRUE(i.empty() && q.empty() && di.empty() && dq.empty()) << failing;
    }
    i = {1};
    q = {2};
    EXPECT_FALSE(vif.ReadIQArray("GOOD?", i, q, 0, 1024)); // refused before any transfer
    EXPECT_TRUE(i.empty() && q.empty());
}

TEST_F(Transfer, BadIQBlocksFailWithoutLeftovers) {
    vif.VIFviSetAttribute(vif.GetHandle(), kTmo, 300);
    struct Case {
        std::string answer;
        std::string event; // expected VIFVIFError text, empty for none
    };
    const std::vector<Case> cases = {
        {"1.5,2.5\n", ""},
        {"#0" + Singles({1, 2}) + "\n", ""},
        {Block(Letters(12)) + "\n", "Binary block of 12 bytes is not a multiple of 8 bytes"},
        {"#9999999999\n", "Binary block of 999999999 bytes exceeds the limit of 268435456 bytes"},
        {"#216" + Letters(8) + "\n", "Reading binary data FAILED (9 of 16 bytes)"},
        {"", ""}};
    for (const Case& c : cases) {
        bench.inst->On("BAD?", {c.answer});
        ev.lines.clear();
        std::vector<float> i, q;
        EXPECT_FALSE(vif.ReadIQArray("BAD?", i, q, 524288, 1024)) << c.answer;
        EXPECT_TRUE(i.empty());
        std::vector<std::string> expected;
        if (!c.event.empty()) expected.push_back("VIF|BAD?|" + c.event);
        expected.push_back("EXEC|BAD?|0");
        EXPECT_EQ(ev.lines, expected) << c.answer;
        EXPECT_EQ(tmp.Count("BIN_IO"), 0) << c.answer;
        EXPECT_EQ(Attribute(vif, VI_ATTR_GPIB_READDR_EN), 1);
        EXPECT_EQ(Attribute(vif, VI_ATTR_TMO_VALUE), 300);
    }
    // No "*CLS" after a failed read.
    EXPECT_EQ(bench.server.Received().find("*CLS"), std::string::npos);
    std::vector<float> i, q;
    EXPECT_FALSE(vif.ReadIQArray("BAD?", i, q, 0, 1024));
}

TEST_F(Transfer, FloatBlocks) {
    std::vector<float> values = Ramp(1001, -500.75f);
    bench.inst->On("FLT?", {Block(Singles(values)) + "\n"});
    std::vector<float> got;
    ASSERT_TRUE(vif.ReadFloatArray("FLT?", got));
    EXPECT_EQ(got, values);
    EXPECT_EQ(ev.lines,
              (std::vector<std::string>{"INFO|1001 float values transfered", "EXEC|FLT?|1"}));

    vif.VIFviSetAttribute(vif.GetHandle(), kTmo, 300);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1,2,3\n", "Reading binary header FAILED (no # found)"},
        {"", "Reading binary header FAILED"},
        {"#0abcd\n", "Reading binary header length FAILED"},
        {"#15abcde\n", "Binary block of 5 bytes is not a multiple of 4 bytes"},
        {"#18abcd\n", "Reading binary data FAILED"}};
    for (const auto& [answer, error] : cases) {
        bench.inst->On("FLT?", {answer});
        ev.lines.clear();
        std::vector<double> d = {7};
        EXPECT_FALSE(vif.ReadFloatArray("FLT?", d)) << answer;
        EXPECT_EQ(d, std::vector<double>{7});
        EXPECT_EQ(ev.lines, (std::vector<std::string>{"VIF||" + error, "EXEC|FLT?|0"})) << answer;
        EXPECT_EQ(tmp.Count("BIN_IO"), 0) << answer;
        EXPECT_EQ(Attribute(vif, VI_ATTR_GPIB_READDR_EN), 1);
    }
}

TEST_F(Transfer, AnswersAndFilesIntoLocalFiles) {
    const std::string file = tmp.File("answer.txt");
    bench.inst->On("CAT?", {"\"a.wv\",\"b.wv\"\n"});
    std::ofstream(file) << "old content that goes";
    ASSERT_TRUE(vif.ReadAnswerFromInstrument("CAT?", file, 100000));
    EXPECT_EQ(ReadAll(file), "\"a.wv\",\"b.wv\"\n");
    EXPECT_TRUE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,1000)"));
    vif.ReadAnswerFromInstrument("CAT?", file, 1000);
    EXPECT_TRUE(Logged(log, "  viSetAttribute(" + H() + ",1073676314,10)"));
    ExpectAttributesAsOpened();

    bench.inst->On("MMEM:DATA? 'x'", {"#15hello\n"});
    ASSERT_TRUE(vif.ReadFileFromInstrument("MMEM:DATA? 'x'", file));
    EXPECT_EQ(ReadAll(file), "hello");
    bench.inst->On("MMEM:DATA? 'x'", {"#3-1\n"});
    ev.lines.clear();
    EXPECT_FALSE(vif.ReadFileFromInstrument("MMEM:DATA? 'x'", file, 500));
    EXPECT_EQ(ev.lines,
              std::vector<std::string>{"VIF|MMEM:DATA? 'x'|File not found on instrument"});
    // A length that is not all digits reads nothing and leaves the local file.
    // Each answer here is read whole, but for the last, whose rest is never read.
    for (const char* answer : {"#59e99\n", "#3ab\n", "#3+5\n", "#0hello\n"}) {
        std::ofstream(file) << "kept";
        bench.inst->On("MMEM:DATA? 'x'", {answer});
        ev.lines.clear();
        EXPECT_FALSE(vif.ReadFileFromInstrument("MMEM:DATA? 'x'", file)) << answer;
        EXPECT_EQ(ReadAll(file), "kept") << answer;
        EXPECT_TRUE(ev.lines.empty()) << answer;
    }
    vif.VIFviSetAttribute(vif.GetHandle(), kTmo, 2000);
    ExpectAttributesAsOpened();
}

TEST_F(Transfer, ReadsOnAClosedSessionFailAndLeaveTheLocalFile) {
    const std::string file = tmp.File("local.bin");
    std::ofstream(file) << "kept";
    // A read that times out closes the session.
    vif.CloseIfError(true);
    vif.VIFviSetAttribute(vif.GetHandle(), kTmo, 100);
    std::string answer;
    ASSERT_FALSE(vif.ReadString("NO:ANSWER?", answer));
    ASSERT_EQ(vif.GetHandle(), 0);

    std::vector<float> values;
    EXPECT_FALSE(vif.ReadAnswerFromInstrument("DATA?", file));
    EXPECT_FALSE(vif.ReadFileFromInstrument("MMEM:DATA? 'x'", file));
    EXPECT_FALSE(vif.ReadFloatArray("DATA?", values));
    EXPECT_EQ(ReadAll(file), "kept");
}

TEST_F(Transfer, AttributesWhoseReadFailedAreNotRestored) {
    const std::int32_t real = vif.GetHandle();
    VIFTestPeer::SetHandle(vif, 0x7FFFFFF0);
    VIFTestPeer::SaveSet(vif, VI_ATTR_TMO_VALUE, 5);
    const std::size_t lines = LogLines(log).size();
    VIFTestPeer::Restore(vif, VI_ATTR_TMO_VALUE);
    EXPECT_EQ(LogLines(log).size(), lines);
    VIFTestPeer::SetHandle(vif, real);

    // A read that worked is restored once.
    VIFTestPeer::SaveSet(vif, VI_ATTR_TMO_VALUE, 5);
    EXPECT_EQ(Attribute(vif, VI_ATTR_TMO_VALUE), 5);
    VIFTestPeer::Restore(vif, VI_ATTR_TMO_VALUE);
    VIFTestPeer::Restore(vif, VI_ATTR_TMO_VALUE);
    EXPECT_EQ(Attribute(vif, VI_ATTR_TMO_VALUE), 2000);
}

} // namespace
