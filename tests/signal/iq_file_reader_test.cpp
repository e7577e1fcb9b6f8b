// The external I/Q file reader: names, header checks against the file,
// block reads, the refusal statuses and the information texts.

#include "IQFileReader.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>

using namespace IQFileReader;

namespace {

class IQFileReaderTest : public ::testing::Test {
protected:
    void TearDown() override { CloseWaveFile(); }

    std::int32_t Open(const std::string& file, WaveFileHeader* out = nullptr) {
        WaveFileHeader h;
        std::int32_t status = -1;
        OpenWaveFile(h, file, status);
        if (out != nullptr) *out = h;
        return status;
    }

    TempDir dir;
};

std::vector<float> Ramp(int n, float start) {
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        v[static_cast<std::size_t>(k)] = start + static_cast<float>(k) * 0.5f;
    return v;
}

TEST_F(IQFileReaderTest, NamesAreCheckedBeforeTheDisk) {
    WriteIbn(dir, "upper.IBN", {1}, {2});
    WriteIbn(dir, "lower.ibn", {1}, {2});
    EXPECT_EQ(Open(dir.File("upper.IBN")), StatusOK);
    EXPECT_EQ(Open(dir.File("lower.ibn")), StatusOK);
    // These exist on disk, but their names rule them out.
    WriteIbn(dir, "signal.bin", {1}, {2});
    WriteIbn(dir, "x.ibnx", {1}, {2});
    EXPECT_EQ(Open(dir.File("signal.bin")), StatusNotIBN);
    EXPECT_EQ(Open(dir.File("x.ibnx")), StatusNotIBN);
    EXPECT_EQ(Open("ab"), StatusNotIBN);
    EXPECT_EQ(Open(dir.File("missing.ibn")), StatusNotFound);
    EXPECT_FALSE(IsOpen());
}

TEST_F(IQFileReaderTest, LayoutOfHeaderAndBlocks) {
    // n = 2: I(0) at bytes 40-43, I(1) at 44-47, Q(0) at 48-51, Q(1) at 52-55;
    // the clock is the double at byte 28.
    std::string bytes = IbnBytes(40, 2, 7, 12.5e6, {0.25f, -0.5f}, {0.75f, 1.5f});
    ASSERT_EQ(bytes.size(), 56u);
    double clock = 0;
    std::memcpy(&clock, bytes.data() + 28, 8);
    ASSERT_EQ(clock, 12.5e6);
    WriteFile(dir.File("two.ibn"), bytes);

    WaveFileHeader h;
    ASSERT_EQ(Open(dir.File("two.ibn"), &h), StatusOK);
    EXPECT_EQ(h.HeaderLength, 40);
    EXPECT_EQ(h.PairCount, 2);
    EXPECT_EQ(h.Oversampling, 7);
    EXPECT_EQ(h.ClockHz, 12.5e6);
    std::vector<double> I, Q;
    std::int32_t got = -1;
    ASSERT_EQ(ReadWaveData(I, Q, 2, got), StatusOK);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(I, (std::vector<double>{0.25, -0.5}));
    EXPECT_EQ(Q, (std::vector<double>{0.75, 1.5}));

    // The record round-trips through its 40 bytes.
    std::uint8_t raw[40];
    h.ToBytes(raw);
    EXPECT_EQ(std::memcmp(raw, bytes.data(), 40), 0);
}

TEST_F(IQFileReaderTest, ReadsWalkThroughBothBlocks) {
    const auto i = Ramp(1000, 0), q = Ramp(1000, -1000);
    WaveFileHeader h;
    ASSERT_EQ(Open(WriteIbn(dir, "long.ibn", i, q), &h), StatusOK);
    std::vector<double> I, Q;
    std::int32_t got = 0;
    ASSERT_EQ(ReadWaveData(I, Q, 600, got), StatusOK);
    EXPECT_EQ(got, 600);
    ASSERT_EQ(ReadWaveData(I, Q, 400, got), StatusOK);
    ASSERT_EQ(I.size(), 400u);
    EXPECT_EQ(I[0], i[600]);
    EXPECT_EQ(Q[0], q[600]);
    EXPECT_EQ(I[399], i[999]);
    EXPECT_EQ(Q[399], q[999]);

    // Past the end: refused, got 0, arrays and position as they were.
    const auto keepI = I;
    got = 5;
    EXPECT_EQ(ReadWaveData(I, Q, 1, got), StatusPastEnd);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(I, keepI);
    got = 5;
    EXPECT_EQ(ReadWaveData(I, Q, -1, got), StatusPastEnd);
    EXPECT_EQ(got, 0);
    // A zero count still succeeds at the end.
    EXPECT_EQ(ReadWaveData(I, Q, 0, got), StatusOK);
    EXPECT_TRUE(I.empty());
}

TEST_F(IQFileReaderTest, DamagedFilesHaveStatusesOfTheirOwn) {
    WaveFileHeader good;
    ASSERT_EQ(Open(WriteIbn(dir, "good.ibn", {1, 2}, {3, 4}), &good), StatusOK);
    CloseWaveFile();

    // Shorter than the header: nothing read, the last header handed out.
    WriteFile(dir.File("short.ibn"), std::string(39, '\0'));
    WaveFileHeader h;
    EXPECT_EQ(Open(dir.File("short.ibn"), &h), StatusShortHeader);
    EXPECT_EQ(h.PairCount, good.PairCount);
    EXPECT_FALSE(IsOpen());

    struct Case {
        const char* name;
        std::string bytes;
        std::int32_t status;
    } cases[] = {
        {"len44.ibn", IbnBytes(44, 1, 1, 1e6, {1}, {1}), StatusNotIBN},
        {"negative.ibn", IbnBytes(40, -5, 1, 1e6, {}, {}), StatusBadPairCount},
        // A claim of 2^31 - 1 pairs (16 GiB) against a few bytes: nothing is
        // allocated for it.
        {"huge.ibn", IbnBytes(40, 0x7FFFFFFF, 1, 1e6, {1}, {1}), StatusTruncated},
        {"cut.ibn", IbnBytes(40, 3, 1, 1e6, {1, 2, 3}, {4, 5, 6}).substr(0, 63), StatusTruncated},
    };
    for (const Case& c : cases) {
        WriteFile(dir.File(c.name), c.bytes);
        EXPECT_EQ(Open(dir.File(c.name), &h), c.status) << c.name;
        EXPECT_FALSE(IsOpen()) << c.name;
        std::vector<double> I{9}, Q{9};
        std::int32_t got = 7;
        EXPECT_EQ(ReadWaveData(I, Q, 0, got), StatusNotOpen) << c.name;
        EXPECT_EQ(got, 7);
        EXPECT_EQ(I, std::vector<double>{9});
    }
    std::filesystem::create_directory(dir.File("folder.ibn"));
    EXPECT_EQ(Open(dir.File("folder.ibn")), StatusCannotOpen);

    // A longer file than announced is fine: the rest is not read.
    WriteFile(dir.File("tail.ibn"), IbnBytes(40, 1, 1, 1e6, {1}, {2}) + "trailing");
    EXPECT_EQ(Open(dir.File("tail.ibn")), StatusOK);
}

TEST_F(IQFileReaderTest, ReadsNeedAnOpenFile) {
    std::vector<double> I, Q;
    std::int32_t got = 3;
    EXPECT_EQ(ReadWaveData(I, Q, 1, got), StatusNotOpen);
    const std::string a = WriteIbn(dir, "a.ibn", {1, 2}, {3, 4});
    const std::string b = WriteIbn(dir, "b.ibn", {5, 6, 7}, {8, 9, 10});
    ASSERT_EQ(Open(a), StatusOK);
    ASSERT_EQ(ReadWaveData(I, Q, 1, got), StatusOK);
    // Opening another file replaces the first and starts at its first pair.
    ASSERT_EQ(Open(b), StatusOK);
    ASSERT_EQ(ReadWaveData(I, Q, 3, got), StatusOK);
    EXPECT_EQ(I, (std::vector<double>{5, 6, 7}));
    EXPECT_EQ(CloseWaveFile(), StatusOK);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(ReadWaveData(I, Q, 1, got), StatusNotOpen);
    // A failed open after a good one refuses reads as well.
    ASSERT_EQ(Open(a), StatusOK);
    EXPECT_EQ(Open(dir.File("gone.ibn")), StatusNotFound);
    EXPECT_EQ(ReadWaveData(I, Q, 1, got), StatusNotOpen);
}

TEST_F(IQFileReaderTest, FileCutAfterItWasOpened) {
    const std::string file = WriteIbn(dir, "cut.ibn", Ramp(100, 0), Ramp(100, 1));
    ASSERT_EQ(Open(file), StatusOK);
    std::vector<double> I, Q;
    std::int32_t got = 0;
    ASSERT_EQ(ReadWaveData(I, Q, 10, got), StatusOK);
    std::filesystem::resize_file(file, 40 + 4 * 100 + 4 * 50);
    got = 3;
    EXPECT_EQ(ReadWaveData(I, Q, 90, got), StatusReadFailed);
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(I.empty());
    EXPECT_TRUE(Q.empty());
    // The position stayed: what is still there can be read.
    ASSERT_EQ(ReadWaveData(I, Q, 40, got), StatusOK);
    EXPECT_EQ(I.front(), 5.0);
    EXPECT_EQ(Q.back(), 1 + 49 * 0.5);
}

TEST(IQFileInfo, TextAndLine) {
    WaveFileHeader h;
    h.PairCount = 16384;
    h.ClockHz = 16000000;
    h.Oversampling = 4;
    EXPECT_EQ(WaveFileInfoLine(h), "16384 samples, clock 16.00 MHz, OS 4");
    EXPECT_EQ(WaveFileInfoText(h),
              "number of IQ pairs:\t16384\r\nsampling rate:\t16.00 MHz\r\noversampling: \t4\r\n");
    h.PairCount = 0;
    h.ClockHz = 123456789.0;
    h.Oversampling = -1;
    EXPECT_EQ(WaveFileInfoLine(h), "0 samples, clock 123.46 MHz, OS -1");
    h.ClockHz = 4000; // at least one integer digit
    EXPECT_EQ(WaveFileInfoLine(h), "0 samples, clock 0.00 MHz, OS -1");
}

} // namespace
