// Instrument session: lifecycle, text I/O, error polling and synchronisation
// against the scripted loopback instrument.

#include "General.h"
#include "PollAnswers.h"
#include "RootDebug.h"
#include "bench.h"
#include "patient_session.h"
#include "visa/visa.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// The instrument session number the command log reported for the last open.
std::int32_t LoggedHandle(const std::string& log) {
    std::int32_t h = -1;
    const std::string prefix = "  >> instrumentHandle: ";
    for (const std::string& line : LogLines(log))
        if (line.rfind(prefix, 0) == 0) h = std::stoi(line.substr(prefix.size()));
    return h;
}

TEST(VIFSession, WithoutTheLibraryNothingIsSentAndTheCreatorHearsWhy) {
    VisaLibrary::OverridePresent(false);
    Bench bench;
    {
        VIF vif;
        Events ev(vif);
        QCoreApplication::processEvents();
        ASSERT_EQ(ev.lines, std::vector<std::string>{"VIF||VISA DLL could not be found."});
        EXPECT_FALSE(vif.VISAFound());
        EXPECT_EQ(vif.GetHandle(), -1);
        EXPECT_FALSE(vif.OpenDevice(bench.Resource()));
        EXPECT_EQ(vif.GetHandle(), 0);
        EXPECT_FALSE(vif.InstOpen());
        std::string answer = "kept";
        EXPECT_FALSE(vif.WriteString("*RST"));
        EXPECT_FALSE(vif.ReadString("*IDN?", answer));
        EXPECT_FALSE(vif.PollErrors(answer));
        EXPECT_EQ(answer, "");
        EXPECT_EQ(ev.lines.size(), 1u);
    }
    VisaLibrary::OverridePresent(std::nullopt);
    EXPECT_TRUE(VisaLibrary::Present());
    EXPECT_EQ(bench.server.Received(), "");
}

TEST(VIFSession, OpenResetsDrainsErrorsQuietlyAndNeverLeaksSessions) {
    TempFolder tmp;
    Bench bench;
    bench.inst->QueueErrors({"-113,\"Undefined header\""});
    VIF vif;
    Events ev(vif);
    EXPECT_FALSE(vif.InstOpen());
    vif.ConfigDebugMode(2, false, tmp.File("open.log"));
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), true, true, 1000, false));
    EXPECT_GE(vif.GetHandle(), 1);
    EXPECT_TRUE(vif.InstOpen());
    ASSERT_TRUE(bench.server.WaitAnswered(3));
    EXPECT_EQ(bench.server.Received(), "*RST;*CLS\nSYST:ERR?\nSYST:ERR?\n");
    // The drain raises no SCPI error, only the reset's own executed event.
    EXPECT_EQ(ev.lines, std::vector<std::string>{"EXEC|*RST;*CLS|1"});

    // Opening again closes the earlier session first.
    const std::int32_t first = vif.GetHandle();
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    EXPECT_NE(vif.GetHandle(), first);
    EXPECT_EQ(viClose(static_cast<ViSession>(first)), VI_ERROR_INV_OBJECT);

    // A status byte that cannot be read fails the open and closes the session.
    bench.inst->On("*STB?", {"garbage\n"});
    EXPECT_FALSE(vif.OpenDevice(bench.Resource(), false, false, 1000, true));
    EXPECT_EQ(vif.GetHandle(), 0);
    const std::int32_t failed = LoggedHandle(tmp.File("open.log"));
    ASSERT_GT(failed, 0);
    EXPECT_EQ(viClose(static_cast<ViSession>(failed)), VI_ERROR_INV_OBJECT);

    // CloseIfError: a failed write marks the session closed and closes it.
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    const std::int32_t live = vif.GetHandle();
    vif.CloseIfError(true);
    EXPECT_TRUE(vif.CloseIfError());
    EXPECT_EQ(vif.VIFviSetAttribute(live, static_cast<std::int32_t>(VI_ATTR_TMO_VALUE), 100), 0);
    std::string answer;
    EXPECT_FALSE(vif.ReadString("NO:ANSWER?", answer)); // times out
    EXPECT_EQ(vif.GetHandle(), 0);
    EXPECT_EQ(viClose(static_cast<ViSession>(live)), VI_ERROR_INV_OBJECT);
    // A closed session's write still reaches VISA, which refuses it.
    ev.lines.clear();
    EXPECT_FALSE(vif.WriteString("*CLS"));
    EXPECT_EQ(ev.lines, std::vector<std::string>{"EXEC|*CLS|0"});

    // Destruction closes the session.
    auto other = std::make_unique<VIF>();
    ASSERT_TRUE(other->OpenDevice(bench.Resource(), false));
    const std::int32_t last = other->GetHandle();
    other.reset();
    EXPECT_EQ(viClose(static_cast<ViSession>(last)), VI_ERROR_INV_OBJECT);
}

TEST(VIFSession, ReadsTrimCutAndGatherAnswers) {
    Bench bench;
    bench.inst->On("VAL?", {"  1.5E+01\r\n"});
    bench.inst->On("LONG?", {"ABCDEFGHIJKLMNOPQRSTUVWX\n"}); // 25 bytes
    bench.inst->On("EXACT?", {"ABCDEFGHIJKLMNOPQRS\n"});     // 20 bytes
    bench.inst->On("TAB?", {"\tA\tB\r\n"});
    bench.inst->On("UNENDED?", {"ABCDEFGHIJ"});
    VIF vif;
    Events ev(vif);
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    MakePatient(vif); // answers come at once; only the unended and silent ones wait

    std::string answer;
    ASSERT_TRUE(vif.ReadString("VAL?", answer));
    EXPECT_EQ(answer, "1.5E+01");
    double value = -1;
    ASSERT_TRUE(vif.ReadFloat("VAL?", value));
    EXPECT_EQ(value, 15.0);
    ASSERT_TRUE(vif.ReadString("TAB?", answer));
    EXPECT_EQ(answer, "A\tB");

    // A blank query only reads: the rest of a cut answer.
    ASSERT_TRUE(vif.ReadString("LONG?", answer, 10));
    EXPECT_EQ(answer, "ABCDEFGHIJ");
    ASSERT_TRUE(vif.ReadString("   ", answer, 10));
    EXPECT_EQ(answer, "KLMNOPQRST");

    ASSERT_TRUE(vif.ReadStringLong("LONG?", answer, 10));
    EXPECT_EQ(answer, "ABCDEFGHIJKLMNOPQRSTUVWX\n");
    // the long read names its own command, not the read before it
    EXPECT_EQ(ev.lines.back(), "EXEC|LONG?|1");
    // An answer that fills the last piece exactly is not followed by a read
    // that could only wait out the time-out.
    auto t0 = Clock::now();
    ASSERT_TRUE(vif.ReadStringLong("EXACT?", answer, 10));
    EXPECT_EQ(answer, "ABCDEFGHIJKLMNOPQRS\n");
    EXPECT_LT(MsSince(t0), kLateMs);
    // An answer without an end that fills the first piece: the read after it
    // gets nothing and adds nothing. That read waits out the time-out, so the
    // answer is asked first and lies at the session before the reads begin.
    const std::size_t sent = bench.server.Received().size();
    ASSERT_TRUE(vif.WriteString("UNENDED?", 0));
    ASSERT_TRUE(bench.server.WaitReceived(sent + std::string("UNENDED?\n").size()));
    const std::string received = bench.server.Received();
    ASSERT_TRUE(bench.server.WaitAnswered(
        static_cast<std::size_t>(std::count(received.begin(), received.end(), '\n'))));
    vif.VIFviSetAttribute(vif.GetHandle(), static_cast<std::int32_t>(VI_ATTR_TMO_VALUE), 1000);
    ASSERT_TRUE(vif.ReadStringLong("   ", answer, 10));
    EXPECT_EQ(answer, "ABCDEFGHIJ");

    ev.lines.clear();
    EXPECT_FALSE(vif.ReadStringLong("LONG?", answer, 0));
    EXPECT_TRUE(ev.lines.empty());

    // A failed read leaves the raw buffer; a failed write leaves it alone.
    EXPECT_FALSE(vif.ReadString("SILENT?", answer, 4));
    EXPECT_EQ(answer, "    ");
    EXPECT_EQ(ev.lines.back(), "EXEC|SILENT?|0");
}

TEST(VIFSession, LongReadsAreCapped) {
    Bench bench;
    // A stream that never ends its answer.
    bench.inst->On("ENDLESS?", {std::string(VIF::MaxLongAnswer + 4096, 'x')});
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    MakePatient(vif); // no piece of the 16 MiB may time out
    std::string answer;
    EXPECT_FALSE(vif.ReadStringLong("ENDLESS?", answer, 65536));
    EXPECT_EQ(static_cast<std::int64_t>(answer.size()), VIF::MaxLongAnswer);
}

TEST(VIFSession, WriteSyncModes) {
    Bench bench;
    bench.inst->On("*STB?", {"0\n", "0\n", "32\n"});
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    MakePatient(vif);
    ASSERT_TRUE(vif.WriteString("FREQ 1E9", 0));
    ASSERT_TRUE(vif.WriteString("FREQ 2E9", 1));
    ASSERT_TRUE(vif.WriteString("FREQ 3E9", 3));
    ASSERT_TRUE(vif.WriteString("INIT", 2));
    EXPECT_EQ(bench.server.Received(),
              "FREQ 1E9\nFREQ 2E9;*WAI\nFREQ 3E9\n*CLS\nINIT;*OPC\n*STB?\n*STB?\n*STB?\n");

    // The count is taken before the call: its writes may have arrived by
    // the time it returns.
    const std::size_t before = bench.server.Received().size();
    vif.PrepareSRQ();
    const std::string srq = "*CLS\n\n*ESE 1\n\n*SRE 32\n\n";
    ASSERT_TRUE(bench.server.WaitReceived(before + srq.size()));
    EXPECT_EQ(bench.server.Received().substr(before), srq);
}

TEST(VIFSession, ServiceRequestWaitsAreBounded) {
    Bench bench;
    bench.inst->On("*STB?", {"0\n"});
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    const std::int32_t tmo = static_cast<std::int32_t>(VI_ATTR_TMO_VALUE);

    // An instrument that never requests service: the wait ends with the
    // session's time-out, and not before it.
    vif.VIFviSetAttribute(vif.GetHandle(), tmo, 300);
    auto t0 = Clock::now();
    vif.WaitSRQ();
    EXPECT_GE(MsSince(t0), 300);
    EXPECT_LT(MsSince(t0), 300 + kLateMs);

    // The abort flag ends it at once, long before its time-out.
    vif.VIFviSetAttribute(vif.GetHandle(), tmo, kPatientMs);
    General::MeasureRunAbort = true;
    t0 = Clock::now();
    vif.WaitSRQ();
    General::MeasureRunAbort = false;
    EXPECT_LT(MsSince(t0), kLateMs);

    // A status read that fails ends it: an answer that is no status byte
    // fails at once, while the wait's time-out is far off.
    bench.inst->On("*STB?", {"0\n", "0\n", "garbage\n"});
    t0 = Clock::now();
    vif.WaitSRQ();
    EXPECT_LT(MsSince(t0), kLateMs);
}

TEST(VIFSession, ErrorQueuePolling) {
    Bench bench;
    VIF vif;
    Events ev(vif);
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    std::string errors = "old";

    // Empty queue: one query, no text, no event.
    EXPECT_FALSE(vif.PollErrors(errors));
    EXPECT_EQ(errors, "");
    EXPECT_TRUE(ev.lines.empty());

    // Several entries, raised with the last command.
    bench.inst->On("FREQ?", {"1E9\n"});
    std::string answer;
    ASSERT_TRUE(vif.ReadString("FREQ?", answer));
    bench.inst->QueueErrors({"-113,\"Undefined header\"", "-222,\"Data out of range\""});
    ev.lines.clear();
    EXPECT_TRUE(vif.PollErrors(errors));
    EXPECT_EQ(errors, "-113,\"Undefined header\"\r\n-222,\"Data out of range\"");
    EXPECT_EQ(ev.lines, std::vector<std::string>{"SCPI|FREQ?|" + errors});

    // An answer without a code ends the poll (it is not an entry).
    bench.inst->QueueErrors({"-100,\"Command error\"", "garbage"});
    ev.lines.clear();
    EXPECT_TRUE(vif.PollErrors(errors, "SYST:ERR?", false));
    EXPECT_EQ(errors, "-100,\"Command error\"");
    EXPECT_TRUE(ev.lines.empty());

    // An instrument that never answers 0 is asked a bounded number of times.
    bench.inst->On("SYST:ERR?", {"-350,\"Queue overflow\"\n"});
    const std::size_t before = bench.server.Received().size();
    EXPECT_TRUE(vif.PollErrors(errors, "SYST:ERR?", false));
    const std::string sent = bench.server.Received().substr(before);
    EXPECT_EQ(static_cast<int>(std::count(sent.begin(), sent.end(), '\n')), VIF::MaxErrorAnswers);
    EXPECT_EQ(static_cast<int>(std::count(errors.begin(), errors.end(), '\n')),
              VIF::MaxErrorAnswers - 1);
}

TEST(VIFSession, AutomaticPollingAndFailOnError) {
    Bench bench;
    bench.inst->ErrorAfter("BAD", "-113,\"Undefined header\"");
    VIF vif;
    Events ev(vif);
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), true, false, 1000, false));
    vif.ConfigErrorProcessor(true, false);
    EXPECT_TRUE(vif.WriteString("BAD"));
    EXPECT_EQ(ev.lines,
              (std::vector<std::string>{"SCPI|BAD|-113,\"Undefined header\"", "EXEC|BAD|1"}));

    vif.ConfigErrorProcessor(true, true);
    ev.lines.clear();
    EXPECT_FALSE(vif.WriteString("BAD"));
    EXPECT_EQ(ev.lines.back(), "EXEC|BAD|0");
    ev.lines.clear();
    EXPECT_TRUE(vif.WriteString("GOOD"));
    EXPECT_EQ(ev.lines, std::vector<std::string>{"EXEC|GOOD|1"});

    // Device clear ends with "*CLS", polled like any command.
    const std::size_t before = bench.server.Received().size();
    vif.ClearDevice();
    EXPECT_EQ(bench.server.Received().substr(before), "*CLS\nSYST:ERR?\n");
    vif.SetRENState(2); // accepted, nothing sent
    EXPECT_EQ(bench.server.Received().substr(before), "*CLS\nSYST:ERR?\n");
}

TEST(VIFSession, TracedOnTheDiagnosticsObjectAndNeverThrowing) {
    Bench bench;
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    RootDebug& debug = General::RootDebugInstance();
    const int depth = debug.Depth();
    std::vector<std::string> frames;
    QObject::connect(&vif, &VIF::VIFCommandExecuted, [&](const std::string& command, bool) {
        frames.push_back(RootDebug::FormatStackFrame(debug.Frame(debug.Depth())));
        if (command == "THROW") throw std::runtime_error("handler failed");
    });
    int reports = 0;
    QObject::connect(&debug, &RootDebug::DebuggerError, [&](const std::string&) { ++reports; });

    EXPECT_TRUE(vif.WriteString("*CLS"));
    EXPECT_EQ(frames, std::vector<std::string>{"VIF.WriteString"});
    // A run-time error inside an operation is reported, not passed on.
    bool result = true;
    EXPECT_NO_THROW(result = vif.WriteString("THROW"));
    EXPECT_FALSE(result);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(debug.Depth(), depth);
}

} // namespace

TEST(VIFSession, EveryTransferLetsTheRemotePollsBeAnswered) {
    Bench bench;
    bench.inst->On("VAL?", {"1\n"});
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    MakePatient(vif);
    int answered = 0;
    PollAnswers::SetHook([&answered] { ++answered; });
    std::string answer;
    ASSERT_TRUE(vif.WriteString("FREQ 1E9", 0));
    EXPECT_EQ(answered, 1) << "after the write";
    ASSERT_TRUE(vif.ReadString("VAL?", answer));
    EXPECT_GE(answered, 3) << "after the query's write and its read";
    PollAnswers::SetHook({});
}
