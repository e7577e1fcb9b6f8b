// The external I/Q file reader: names, header checks against the file,
// block reads, refusals and the information texts.

#include "IQFileReader.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>

using namespace IQFileReader;

namespace {

struct IQFileReaderTest : ::testing::Test {
    TempDir dir;
    WaveFileHeader header;
    std::vector<double> I, Q;
    std::int32_t got = -1;
    void TearDown() override { CloseWaveFile(); }
    std::int32_t Open(const std::string& file) {
        std::int32_t status = -1;
        OpenWaveFile(header, file, status);
        return status;
    }
    std::int32_t Read(std::int32_t count) { return ReadWaveData(I, Q, count, got); }
};

std::vector<float> Ramp(int n, float start) {
    std::vector<float> v;
    for (int k = 0; k < n; ++k)
        v.push_back(start + static_cast<float>(k) * 0.5f);
    return v;
}

TEST_F(IQFileReaderTest, NamesAreCheckedBeforeTheDisk) {
    for (const char* name : {"upper.IBN", "lower.ibn", "signal.bin", "x.ibnx"})
        WriteIbn(dir, name, {1}, {2});
    EXPECT_EQ(Open(dir.File("upper.IBN")), StatusOK);
    EXPECT_EQ(Open(dir.File("lower.ibn")), StatusOK);
    EXPECT_EQ(Open(dir.File("signal.bin")), StatusNotIBN);
    EXPECT_EQ(Open(dir.File("x.ibnx")), StatusNotIBN);
    EXPECT_EQ(Open("ab"), StatusNotIBN);
    EXPECT_EQ(Open(dir.File("missing.ibn")), StatusNotFound);
    EXPECT_FALSE(IsOpen());
}

TEST_F(IQFileReaderTest, LayoutAndBlockReads) {
    // n = 2: I(0) at bytes 40-43, I(1) at 44-47, Q(0) at 48-51, Q(1) at 52-55.
    const std::string bytes = IbnBytes(40, 2, 7, 12.5e6, {0.25f, -0.5f}, {0.75f, 1.5f});
    WriteFile(dir.File("two.ibn"), bytes);
    ASSERT_EQ(Open(dir.File("two.ibn")), StatusOK);
    EXPECT_EQ(header.PairCount, 2);
    EXPECT_EQ(header.Oversampling, 7);
    EXPECT_EQ(header.ClockHz, 12.5e6); // the double at byte 28
    ASSERT_EQ(Read(2), StatusOK);
    EXPECT_EQ(I, (std::vector<double>{0.25, -0.5}));
    EXPECT_EQ(Q, (std::vector<double>{0.75, 1.5}));
    std::uint8_t raw[40];
    header.ToBytes(raw);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), 40), bytes.substr(0, 40));

    // n = 1000 read as 600 then 400 pairs: the second read starts at pair 600
    // of both blocks; a third read is past the end and changes nothing.
    const auto i = Ramp(1000, 0), q = Ramp(1000, -1000);
    ASSERT_EQ(Open(WriteIbn(dir, "long.ibn", i, q)), StatusOK);
    ASSERT_EQ(Read(600), StatusOK);
    ASSERT_EQ(Read(400), StatusOK);
    EXPECT_EQ(got, 400);
    EXPECT_EQ(I.front(), i[600]);
    EXPECT_EQ(Q.front(), q[600]);
    EXPECT_EQ(Q.back(), q[999]);
    const auto keep = I;
    EXPECT_EQ(Read(1), StatusPastEnd);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(I, keep);
    EXPECT_EQ(Read(-1), StatusPastEnd);
    EXPECT_EQ(Read(0), StatusOK);
}

TEST_F(IQFileReaderTest, DamagedFilesHaveStatusesOfTheirOwn) {
    ASSERT_EQ(Open(WriteIbn(dir, "good.ibn", {1, 2}, {3, 4})), StatusOK);
    struct Case {
        const char* name;
        std::string bytes;
        std::int32_t status;
    } cases[] = {
        {"short.ibn", std::string(39, '\0'), StatusShortHeader},
        {"len44.ibn", IbnBytes(44, 1, 1, 1e6, {1}, {1}), StatusNotIBN},
        {"negative.ibn", IbnBytes(40, -5, 1, 1e6, {}, {}), StatusBadPairCount},
        // 2^31 - 1 pairs claimed by a file of a few bytes: nothing is allocated.
        {"huge.ibn", IbnBytes(40, 0x7FFFFFFF, 1, 1e6, {1}, {1}), StatusTruncated},
        {"cut.ibn", IbnBytes(40, 3, 1, 1e6, {1, 2, 3}, {4, 5, 6}).substr(0, 63), StatusTruncated},
    };
    for (const Case& c : cases) {
        WriteFile(dir.File(c.name), c.bytes);
        EXPECT_EQ(Open(dir.File(c.name)), c.status) << c.name;
        EXPECT_FALSE(IsOpen()) << c.name;
        I = {9};
        got = 7;
        EXPECT_EQ(Read(0), StatusNotOpen) << c.name;
        EXPECT_EQ(got, 7);
        EXPECT_EQ(I, std::vector<double>{9});
    }
    // Too short to hold a header: the last header read is handed out.
    Open(dir.File("short.ibn"));
    EXPECT_EQ(header.PairCount, 3);
    std::filesystem::create_directory(dir.File("folder.ibn"));
    EXPECT_EQ(Open(dir.File("folder.ibn")), StatusCannotOpen);
    WriteFile(dir.File("tail.ibn"), IbnBytes(40, 1, 1, 1e6, {1}, {2}) + "more");
    EXPECT_EQ(Open(dir.File("tail.ibn")), StatusOK);
}

TEST_F(IQFileReaderTest, ReadsNeedAnOpenFile) {
    EXPECT_EQ(Read(1), StatusNotOpen);
    const std::string a = WriteIbn(dir, "a.ibn", {1, 2}, {3, 4});
    ASSERT_EQ(Open(a), StatusOK);
    ASSERT_EQ(Read(1), StatusOK);
    // Another open replaces the file and starts at its first pair.
    ASSERT_EQ(Open(WriteIbn(dir, "b.ibn", {5, 6, 7}, {8, 9, 10})), StatusOK);
    ASSERT_EQ(Read(3), StatusOK);
    EXPECT_EQ(I, (std::vector<double>{5, 6, 7}));
    EXPECT_EQ(CloseWaveFile(), StatusOK);
    EXPECT_EQ(Read(1), StatusNotOpen);
    ASSERT_EQ(Open(a), StatusOK);
    EXPECT_EQ(Open(dir.File("gone.ibn")), StatusNotFound);
    EXPECT_EQ(Read(1), StatusNotOpen);

    // A file cut after it was opened: the read fails, the position stays.
    const std::string cut = WriteIbn(dir, "cut.ibn", Ramp(100, 0), Ramp(100, 1));
    ASSERT_EQ(Open(cut), StatusOK);
    ASSERT_EQ(Read(10), StatusOK);
    std::filesystem::resize_file(cut, 40 + 4 * 150);
    EXPECT_EQ(Read(90), StatusReadFailed);
    EXPECT_TRUE(I.empty() && Q.empty());
    ASSERT_EQ(Read(40), StatusOK);
    EXPECT_EQ(I.front(), 5.0);
    EXPECT_EQ(Q.back(), 25.5);
}

TEST(IQFileInfo, TextAndLine) {
    WaveFileHeader h;
    h.PairCount = 16384;
    h.ClockHz = 16000000;
    h.Oversampling = 4;
    EXPECT_EQ(WaveFileInfoLine(h), "16384 samples, clock 16.00 MHz, OS 4");
    EXPECT_EQ(WaveFileInfoText(h),
              "number of IQ pairs:\t16384\r\nsampling rate:\t16.00 MHz\r\noversampling: \t4\r\n");
    h.ClockHz = 4000;
    EXPECT_EQ(WaveFileInfoLine(h), "16384 samples, clock 0.00 MHz, OS 4");
}

} // namespace
