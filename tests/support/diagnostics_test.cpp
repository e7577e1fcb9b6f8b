#include "KTStandard.h"
#include "RootDebug.h"
#include "SetHandle.h"
#include "fakes.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
}

std::string Sp(std::size_t n) {
    return std::string(n, ' ');
}

class Diagnostics : public ::testing::Test {
protected:
    FakeClock clock;
    FakeErrorReport reports;
    Services::Scoped<Services::ClockService> useClock{clock};
    Services::Scoped<Services::ErrorReportService> useReports{reports};
    QTemporaryDir dir;
    std::string path = dir.filePath("diag.log").toStdString();
    std::vector<std::string> events;

    // A debugger object writing to the temporary file.
    void Configure(RootDebug& debug) {
        debug.SetFileName(path);
        debug.SetFileLogEnabled(true);
    }
    void Listen(RootDebug& debug) {
        QObject::connect(&debug, &RootDebug::DebuggerError,
                         [this](const std::string& text) { events.push_back(text); });
    }
};

} // namespace

TEST_F(Diagnostics, FrameTextsAndLevelTexts) {
    EXPECT_EQ(RootDebug::FormatStackFrame({"VIF", "Class", "Initialize", "", {}}),
              "VIF.Class_Initialize");
    EXPECT_EQ(RootDebug::FormatStackFrame({"VIF", "Class", "Initialize", "x", {}}),
              "VIF.Class_Initialize <x>");
    EXPECT_EQ(RootDebug::FormatStackFrame({"", "", "WVLoader", "", {}}), ".WVLoader");
    EXPECT_EQ(RootDebug::GetLevelText(8), "Unknown");
}

TEST_F(Diagnostics, DefaultsAndLogFileNameFromCreationTime) {
    SetHandle::SetProgramFolder(dir.path().toStdString());
    RootDebug debug;
    SetHandle::SetProgramFolder("");
    Listen(debug);
    EXPECT_EQ(debug.Depth(), -1);
    EXPECT_EQ(debug.StackUpperBound(), 10);
    EXPECT_TRUE(debug.FileSafeLogMode());
    const std::string own = dir.filePath("ELOG_2005_10_25_14_03_07.log").toStdString();
    EXPECT_EQ(debug.FileName(), own);
    // Switched on without a name, the log goes to that file, and a line
    // written raises nothing.
    debug.SetFileLogEnabled(true);
    debug.LogMessage(1, "S", "D");
    EXPECT_EQ(ReadLines(own), (std::vector<std::string>{Sp(6) + ".Info", Sp(10) + "SOURCE      : S",
                                                        Sp(10) + "DESCRIPTION : D"}));
    EXPECT_EQ(events, std::vector<std::string>{});
    debug.SetFileSafeLogMode(false);
    debug.SetFileLogLevel(2);
    EXPECT_FALSE(debug.FileSafeLogMode());
}

TEST_F(Diagnostics, StackGrowsByTenAndKeepsFrames) {
    RootDebug debug;
    for (int i = 0; i < 11; ++i)
        debug.Push("VIF", "", "P" + std::to_string(i));
    EXPECT_EQ(debug.StackUpperBound(), 10);
    clock.now = clock.now.addSecs(60);
    debug.Push("VIF", "", "P11");
    EXPECT_EQ(debug.Depth(), 11);
    EXPECT_EQ(debug.StackUpperBound(), 20);
    EXPECT_EQ(debug.Frame(0).ProcName, "P0");
    EXPECT_EQ(debug.Frame(10).ProcName, "P10");
    EXPECT_EQ(debug.Frame(0).Time.Minute, 3);
    EXPECT_EQ(debug.Frame(11).Time.Minute, 4);
    EXPECT_EQ(debug.Frame(11).Time.Milliseconds, 123);
    for (int i = 0; i < 12; ++i)
        debug.Pop();
    EXPECT_EQ(debug.Depth(), -1);
    EXPECT_EQ(debug.StackUpperBound(), 20); // never shrinks
}

TEST_F(Diagnostics, UnpairedPopAndStaleNotesAreHarmless) {
    RootDebug debug;
    Configure(debug);
    debug.SetLogPushPop(true);
    debug.Pop(); // nothing to close: no line, no change
    debug.PushInfo("lost");
    EXPECT_EQ(debug.Depth(), -1);
    debug.Push("VIF", "", "WriteString");
    debug.PushInfo("*IDN?");
    debug.Pop();
    debug.Push("VIF", "", "ReadString");
    // the note belonged to WriteString, not to whatever reuses the slot
    EXPECT_EQ(RootDebug::FormatStackFrame(debug.Frame(0)), "VIF.ReadString");
    debug.Pop();
    EXPECT_EQ(ReadLines(path), (std::vector<std::string>{Sp(9) + ">VIF.WriteString", Sp(9) + "<",
                                                         Sp(9) + ">VIF.ReadString", Sp(9) + "<"}));
}

TEST_F(Diagnostics, UnconfiguredObjectOnlyRaisesOneEvent) {
    RootDebug debug;
    Listen(debug);
    debug.Push("VIF", "", "ReadString");
    debug.LogRuntimeError("VIF", "", "ReadString", "", RuntimeError{5, "VISA", "bad"});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], "Could not access debugger file " + debug.FileName());
    EXPECT_EQ(debug.Depth(), 0);
    EXPECT_TRUE(reports.errors.empty());
    debug.LogMessage(1, "src", "text");
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(debug.Depth(), 0);
}

TEST_F(Diagnostics, NoticeEntryPushesAndPopsItsSource) {
    RootDebug debug;
    Configure(debug);
    debug.SetLogPushPop(true);
    debug.LogMessage(2, "WVLoader", "D");
    EXPECT_EQ(debug.Depth(), -1);
    EXPECT_EQ(ReadLines(path), (std::vector<std::string>{Sp(9) + ">.WVLoader", Sp(5) + "..Notice",
                                                         Sp(10) + "SOURCE      : WVLoader",
                                                         Sp(10) + "DESCRIPTION : D", Sp(9) + "<"}));
}

TEST_F(Diagnostics, MarksFollowFirstCriticAndLevelsAreClamped) {
    RootDebug debug;
    Configure(debug);
    debug.LogMessage(0, "a", "");
    debug.SetFirstCritic(0);
    debug.LogMessage(3, "b", "");
    debug.LogMessage(-4, "c", "");
    debug.LogMessage(9, "d", "x");
    auto lines = ReadLines(path);
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], Sp(7) + "Debug");
    EXPECT_EQ(lines[3], Sp(4) + "***Warning");
    EXPECT_EQ(lines[6], Sp(7) + "Debug");
    // above the highest level is an ordinary alert: no fatal entry, no report
    EXPECT_EQ(lines[9], Sp(1) + "******Alert");
    EXPECT_EQ(lines[11], Sp(10) + "DESCRIPTION : x");
    EXPECT_TRUE(reports.errors.empty());
    debug.LogMessage(std::numeric_limits<std::int32_t>::max(), "e", "y");
    EXPECT_EQ(ReadLines(path)[12], Sp(1) + "******Alert");
    EXPECT_TRUE(reports.errors.empty());
}

TEST_F(Diagnostics, FatalEntryLayout) {
    RootDebug debug;
    Configure(debug);
    debug.SetFileTimeStamping(true);
    debug.Push("IEC", "", "Initialize");
    debug.Push("VIF", "", "ReadString");
    debug.LogRuntimeError("VIF", "", "ReadString", "",
                          RuntimeError{-5, "  VISA ", " Timeout expired "});
    EXPECT_EQ(debug.Depth(), 1); // the entry was the top frame: no second frame
    const std::vector<std::string> expected{"*******Fatal",
                                            Sp(10) + "TIME        : 2005-10-25 14:03:07.0123",
                                            Sp(10) + "SOURCE      : ReadString",
                                            Sp(10) + "DESCRIPTION : ",
                                            Sp(10) + "ERROR NUMBER: -5(Timeout expired)",
                                            Sp(10) + "ERROR SOURCE: VISA",
                                            Sp(24) + ">IEC.Initialize",
                                            Sp(25) + ">VIF.ReadString"};
    EXPECT_EQ(ReadLines(path), expected);
    ASSERT_EQ(reports.errors.size(), 1u);
    EXPECT_EQ(reports.errors[0].Number, -5);
    EXPECT_EQ(reports.callers[0], (std::vector<std::string>{"IEC.Initialize", "VIF.ReadString"}));
}

TEST_F(Diagnostics, TimeStampIsTracedBeforeTheEntry) {
    RootDebug debug;
    Configure(debug);
    debug.SetFileTimeStamping(true);
    debug.SetLogPushPop(true);
    debug.LogMessage(1, "S", "D");
    EXPECT_EQ(ReadLines(path),
              (std::vector<std::string>{
                  Sp(9) + ">KTStandard.GetISOTimeString", Sp(9) + "<", Sp(9) + ">.S",
                  Sp(6) + ".Info", Sp(10) + "TIME        : 2005-10-25 14:03:07.0123",
                  Sp(10) + "SOURCE      : S", Sp(10) + "DESCRIPTION : D", Sp(9) + "<"}));
}

TEST_F(Diagnostics, UnopenableOrUnwritableLogFileRaisesTheEventOncePerEntry) {
    RootDebug debug;
    Listen(debug);
    debug.SetFileName(dir.filePath("missing/dir/x.log").toStdString());
    debug.SetFileLogEnabled(true);
    debug.LogMessage(1, "S", "D");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], "Could not access debugger file " + debug.FileName());
    EXPECT_EQ(debug.Depth(), -1);
    debug.LogRuntimeError("X", "", "Y", "", RuntimeError{1, "s", "d"});
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(reports.errors.size(), 1u); // the report still reaches the operator

    // opened, but the device is full: every line is lost
    events.clear();
    debug.SetFileName("/dev/full");
    debug.LogMessage(1, "S", "D");
    EXPECT_EQ(events, std::vector<std::string>{"Could not access debugger file /dev/full"});
}

TEST(KTStandard, TimeTexts) {
    KTStandard::TimeRecord t{2006, 1, 0, 1, 0, 0, 0, 5};
    RootDebug local;
    EXPECT_EQ(KTStandard::GetISOTimeString(t, local), "2006-01-01 00:00:00.0005");
    EXPECT_EQ(local.Depth(), -1);
    t = KTStandard::ToTimeRecord(QDateTime(QDate(2005, 10, 25), QTime(14, 3, 7, 999)));
    EXPECT_EQ(KTStandard::GetISOTimeString(t, local), "2005-10-25 14:03:07.0999");

    FakeClock clock;
    clock.now = QDateTime(QDate(2006, 1, 2), QTime(0, 0, 0, 1)); // just after midnight
    Services::Scoped<Services::ClockService> use(clock);
    const auto now = KTStandard::GetNowTimeRecord();
    EXPECT_EQ(now.Day, 2);
    EXPECT_EQ(now.Milliseconds, 1);
    EXPECT_EQ(now.DayOfWeek, 0);
}

TEST(KTStandard, AboutVersionForms) {
    const QDateTime t(QDate(2005, 10, 25), QTime(14, 3, 7));
    EXPECT_EQ(KTStandard::AboutVersionText(3, 2, 0, t), "Version 3.2 from 25.10.2005");
    EXPECT_EQ(KTStandard::AboutVersionText(3, 2, 7, t),
              "Version 3.2 BETA 7 from 25.10.2005 14:03:07");
    EXPECT_EQ(KTStandard::AboutVersionText(0, 9, 0, t), "ALPHA 9 from 25.10.2005");
    EXPECT_EQ(KTStandard::AboutVersionText(0, 9, 4, t), "ALPHA 9 from 25.10.2005 14:03:07");
    EXPECT_EQ(KTStandard::AboutVersionText(1, 0, 0, QDateTime(QDate(1899, 12, 30), QTime(0, 0))),
              "Version 1.0 from 30.12.1899");
    // the running program: its own version and its file's date
    const std::string own = KTStandard::GetAboutFormVersion();
    EXPECT_TRUE(own.rfind("Version ", 0) == 0 || own.rfind("ALPHA ", 0) == 0) << own;
    EXPECT_EQ(own.find("30.12.1899"), std::string::npos) << own;
    EXPECT_EQ(General::RootDebugInstance().Depth(), -1);
}
