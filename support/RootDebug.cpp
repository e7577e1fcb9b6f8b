#include "RootDebug.h"

#include "INIIO.h"
#include "Services.h"
#include "SetHandle.h"

#include <algorithm>

namespace {

constexpr int kInitialFrames = 11;
constexpr int kGrowth = 10;
const std::string kIndent(10, ' ');

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Two(int value) {
    return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
}

} // namespace

RootDebug::RootDebug() : stack_(kInitialFrames) {
    const QDateTime now = Services::Clock().Now();
    const QDate d = now.date();
    const QTime t = now.time();
    fileName_ = SetHandle::ProgramFolder() + "/ELOG_" + std::to_string(d.year()) + "_" +
                Two(d.month()) + "_" + Two(d.day()) + "_" + Two(t.hour()) + "_" + Two(t.minute()) +
                "_" + Two(t.second()) + ".log";
}

RootDebug::~RootDebug() {
    CloseStream();
}

void RootDebug::SetFileLogEnabled(bool enabled) {
    fileLogEnabled_ = enabled;
    MarkLogFileNamed();
}

void RootDebug::SetFileName(const std::string& name) {
    fileName_ = name;
    MarkLogFileNamed();
}

std::string RootDebug::GetLevelText(std::int32_t level) {
    static const char* const kTexts[] = {"Debug", "Info",     "Notice", "Warning",
                                         "Error", "Critical", "Alert",  "Fatal"};
    if (level < 0 || level > 7) return "Unknown";
    return kTexts[level];
}

std::string RootDebug::FormatStackFrame(const DebugFrame& frame) {
    std::string text = frame.ObjectName + ".";
    if (!frame.SubName.empty()) text += frame.SubName + "_";
    text += frame.ProcName;
    if (!frame.Info.empty()) text += " <" + frame.Info + ">";
    return text;
}

void RootDebug::Push(const std::string& objectName, const std::string& subName,
                     const std::string& procName) {
    ++depth_;
    if (depth_ > StackUpperBound()) stack_.resize(stack_.size() + kGrowth);
    DebugFrame& frame = stack_[static_cast<std::size_t>(depth_)];
    frame.ObjectName = objectName;
    frame.SubName = subName;
    frame.ProcName = procName;
    // A note belongs to the procedure it was attached to, never to a later
    // frame that happens to reuse the slot.
    frame.Info.clear();
    frame.Time = KTStandard::GetNowTimeRecord();
    if (logPushPop_)
        WriteLogLine(std::string(static_cast<std::size_t>(depth_) + 9, ' ') + ">" +
                     FormatStackFrame(frame));
}

void RootDebug::PushInfo(const std::string& text) {
    if (depth_ >= 0) stack_[static_cast<std::size_t>(depth_)].Info = text;
}

void RootDebug::Pop() {
    if (depth_ < 0) return;
    --depth_;
    if (logPushPop_) WriteLogLine(std::string(static_cast<std::size_t>(depth_ + 10), ' ') + "<");
}

void RootDebug::LogRuntimeError(const std::string& objectName, const std::string& subName,
                                const std::string& procName, const std::string& info,
                                const RuntimeError& error) {
    WriteLogEntry(LevelFatal, DebugFrame{objectName, subName, procName, info, {}}, error);
}

void RootDebug::LogMessage(std::int32_t level, const std::string& source,
                           const std::string& description) {
    // A message is never a run-time error: a level above the highest is an
    // alert, not a fatal entry that opens the "needs to close" window.
    if (level > LevelFatal) level = LevelAlert;
    WriteLogEntry(level, DebugFrame{"", "", source, description, {}}, RuntimeError{});
}

void RootDebug::WriteLogEntry(std::int32_t level, const DebugFrame& entry,
                              const RuntimeError& error) {
    level = std::clamp<std::int32_t>(level, LevelDebug, LevelFatal);
    std::string timeText;
    if (fileTimeStamping_)
        timeText = KTStandard::GetISOTimeString(KTStandard::GetNowTimeRecord(), *this);
    if (!configured_) {
        emit DebuggerError("Could not access debugger file " + fileName_);
        return;
    }
    ++entryNesting_;
    const bool outerErrorRaised = fileErrorRaised_;
    fileErrorRaised_ = false;
    if (!stream_ && fileLogEnabled_ && !OpenStream()) RaiseFileError();

    std::string marks(static_cast<std::size_t>(level), level >= firstCritic_ ? '*' : '.');
    marks.insert(0, 7 - marks.size(), ' ');

    bool pushed = false;
    if (depth_ < 0 || stack_[static_cast<std::size_t>(depth_)].ObjectName != entry.ObjectName ||
        stack_[static_cast<std::size_t>(depth_)].SubName != entry.SubName ||
        stack_[static_cast<std::size_t>(depth_)].ProcName != entry.ProcName) {
        Push(entry.ObjectName, entry.SubName, entry.ProcName);
        pushed = true;
    }

    WriteLogLine(marks + GetLevelText(level));
    if (!timeText.empty()) WriteLogLine(kIndent + "TIME        : " + timeText);
    if (level != LevelFatal) {
        WriteLogLine(kIndent + "SOURCE      : " + entry.ProcName);
        WriteLogLine(kIndent + "DESCRIPTION : " + entry.Info);
    } else {
        WriteLogLine(kIndent +
                     "SOURCE      : " + stack_[static_cast<std::size_t>(depth_)].ProcName);
        WriteLogLine(kIndent + "DESCRIPTION : " + entry.Info);
        WriteLogLine(kIndent + "ERROR NUMBER: " + INIIO::TrimStr(error.Number) + "(" +
                     TrimBlanks(error.Description) + ")");
        WriteLogLine(kIndent + "ERROR SOURCE: " + TrimBlanks(error.Source));
        WriteCallerStack(std::string(24, ' '));
        ShowErrorWindow(error);
    }

    if (pushed) Pop();
    --entryNesting_;
    fileErrorRaised_ = outerErrorRaised;
    if (fileSafeLogMode_ && fileLogEnabled_) CloseStream();
}

void RootDebug::WriteLogLine(const std::string& text) {
    if (fileLogEnabled_) {
        // A trace line may come before the first entry, or between entries in
        // safe mode: the stream is opened as the entry writer would.
        if (!stream_ && !OpenStream()) {
            RaiseFileError();
        } else {
            const std::string line = text + "\r\n";
            if (std::fwrite(line.data(), 1, line.size(), stream_) != line.size() ||
                std::fflush(stream_) != 0)
                RaiseFileError();
        }
        if (entryNesting_ == 0 && fileSafeLogMode_) CloseStream();
    }
    if (debuggerLogEnabled_) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
    }
}

void RootDebug::WriteCallerStack(const std::string& prefix) {
    for (int i = 0; i <= depth_; ++i)
        WriteLogLine(prefix + std::string(static_cast<std::size_t>(i), ' ') + ">" +
                     FormatStackFrame(stack_[static_cast<std::size_t>(i)]));
}

void RootDebug::ShowErrorWindow(const RuntimeError& error) {
    std::vector<std::string> callers;
    for (int i = 0; i <= depth_; ++i)
        callers.push_back(FormatStackFrame(stack_[static_cast<std::size_t>(i)]));
    Services::ErrorReport().DisplayError(error, callers);
}

bool RootDebug::OpenStream() {
    stream_ = std::fopen(fileName_.c_str(), "ab");
    return stream_ != nullptr;
}

void RootDebug::CloseStream() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
}

void RootDebug::RaiseFileError() {
    // one report per entry; trace lines outside an entry report each failure
    if (entryNesting_ > 0) {
        if (fileErrorRaised_) return;
        fileErrorRaised_ = true;
    }
    emit DebuggerError("Could not access debugger file " + fileName_);
}

namespace General {

RootDebug& RootDebugInstance() {
    static RootDebug instance;
    return instance;
}

} // namespace General
