#include "CrossMix.h"
#include "ErrorReport.h"
#include "General.h"
#include "Logger.h"
#include "fakes.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace std::chrono_literals;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

class StatusLog : public ::testing::Test {
protected:
    FakeStatus status;
    FakeSleep sleep;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    Services::Scoped<Services::SleepService> useSleep{sleep};
};

} // namespace

TEST_F(StatusLog, LinesAreTrimmedAndClearedAndAbortResetsRunState) {
    CrossMix::AddStatus("   starting  ");
    CrossMix::AddStatus("MAIN MEASUREMENT");
    EXPECT_EQ(status.lines, (std::vector<std::string>{"starting", "MAIN MEASUREMENT"}));
    CrossMix::ClearStatus();
    EXPECT_TRUE(status.lines.empty());
    General::MeasureBusy = true;
    General::MeasureRunAbort = true;
    CrossMix::MeasurementAborted();
    EXPECT_EQ(status.lines, std::vector<std::string>{"Measurement Aborted."});
    EXPECT_FALSE(General::MeasureBusy);
    EXPECT_FALSE(General::MeasureRunAbort);
}

TEST_F(StatusLog, WaitSecondsAnnouncesRoundedAndSleepsOnlyForward) {
    CrossMix::WaitSeconds(0);
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(sleep.sleeps.empty());

    CrossMix::WaitSeconds(2.5f);
    CrossMix::WaitSeconds(0.4f);  // rounds to no digits at all
    CrossMix::WaitSeconds(-2.5f); // announced, never waited
    EXPECT_EQ(status.lines,
              (std::vector<std::string>{"waiting 3 s", "waiting  s", "waiting -3 s"}));
    EXPECT_EQ(sleep.sleeps, (std::vector<std::chrono::milliseconds>{2500ms, 400ms}));

    CrossMix::WaitSeconds(1e30f); // far beyond any clock: cut, not wrapped negative
    ASSERT_EQ(sleep.sleeps.size(), 3u);
    EXPECT_GT(sleep.sleeps.back().count(), 0);
}

TEST_F(StatusLog, CurrentPointFormats) {
    General::CurGenFreq = 1000.5;
    General::CurAnaFreq = 98.765;
    General::TargetLevel = -10;
    CrossMix::ShowCurrentPoint();
    EXPECT_EQ(status.genFreq, "1000.50 MHz");
    EXPECT_EQ(status.anaFreq, "098.77 MHz");
    EXPECT_EQ(status.anaLevel, "-10.0 dBm");
}

TEST(ErrorReport, NumbersCallersAndReport) {
    EXPECT_EQ(ErrorReport::ErrorNumberText(5), "5 = &&H5");
    EXPECT_EQ(ErrorReport::ErrorNumberText(-5), "-5 = &&HFFFFFFFB");
    EXPECT_EQ(ErrorReport::ErrorNumberText(48879), "48879 = &&HBEEF");
    EXPECT_EQ(ErrorReport::ReportText(RuntimeError{5, "VIF", "Overflow"}, {"A", "B", "C"}),
              "SOURCE      : VIF\r\nNUMBER      : 5 = &&H5\r\nDESCRIPTION : Overflow\r\n"
              "CALLER STACK:\r\nA\r\n>B\r\n>>C\r\n");
    EXPECT_EQ(ErrorReport::ReportText(RuntimeError{}, {}),
              "SOURCE      : \r\nNUMBER      : 0 = &&H0\r\nDESCRIPTION : \r\nCALLER STACK:\r\n");
}

class LoggerFile : public ::testing::Test {
protected:
    FakeClock clock;
    Services::Scoped<Services::ClockService> useClock{clock};
    QTemporaryDir dir;
    std::string path = dir.filePath("run.log").toStdString();
};

TEST_F(LoggerFile, PiecesMakeOneStampedLine) {
    Logger log;
    EXPECT_TRUE(log.SafeMode());
    EXPECT_TRUE(log.TimeStamp());
    EXPECT_FALSE(log.TimeStampHiRes());
    EXPECT_FALSE(log.Log("early", true)); // no file named yet
    ASSERT_TRUE(log.OpenLog(path, false));
    EXPECT_TRUE(log.Log("a", false));
    EXPECT_TRUE(log.Log("b", true));
    clock.now = clock.now.addSecs(1);
    EXPECT_TRUE(log.Log("c", true));
    EXPECT_EQ(ReadAll(path), "2005-10-25 14:03:07 | ab\r\n2005-10-25 14:03:08 | c\r\n");
    log.CloseLog();
    log.CloseLog();
    EXPECT_EQ(Logger::FormatTimeStamp(QDateTime(QDate(2005, 10, 25), QTime(14, 3, 7, 123)), true),
              "2005-10-25 14:03:07:0123");
}

TEST_F(LoggerFile, OpenKeepsOrEmptiesExistingFile) {
    std::ofstream(path, std::ios::binary) << "old\r\n";
    Logger keep;
    ASSERT_TRUE(keep.OpenLog(path, false));
    keep.Log("new", true);
    EXPECT_EQ(ReadAll(path), "old\r\n2005-10-25 14:03:07 | new\r\n");

    Logger fresh;
    ASSERT_TRUE(fresh.OpenLog(path, true));
    EXPECT_EQ(ReadAll(path), "");
    fresh.Log("x", true); // appending works after emptying
    EXPECT_EQ(ReadAll(path), "2005-10-25 14:03:07 | x\r\n");
}

TEST_F(LoggerFile, UnwritablePathFailsAndDropsTheLine) {
    Logger log;
    ASSERT_TRUE(log.OpenLog(dir.filePath("no/such/dir.log").toStdString(), false));
    log.Log("part", false);
    EXPECT_FALSE(log.Log("rest", true));
    ASSERT_TRUE(log.OpenLog(path, false));
    EXPECT_TRUE(log.Log("next", true));
    EXPECT_EQ(ReadAll(path), "2005-10-25 14:03:07 | next\r\n"); // nothing of the failed line
}
