#pragma once
// The diagnostics object: a call stack of the traced procedures and levelled
// log entries to a log file and to the debugger output (standard error).
//
// Traced code pairs Push and Pop (RootDebug::Scope does it for a block) and
// reports a caught run-time error with LogRuntimeError:
//
//     RootDebug::Scope trace(General::RootDebugInstance(), "VIF", "", "WriteString");
//     ...
//     General::RootDebugInstance().LogRuntimeError("VIF", "", "WriteString", "",
//                                                  RuntimeError{number, source, text});
//
// Nothing is written until a host assigns FileName or FileLogEnabled; until
// then every entry only raises DebuggerError.

#include "ErrorReport.h"
#include "KTStandard.h"

#include <QObject>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class RootDebug : public QObject {
    Q_OBJECT

public:
    // One stack frame; the same record carries one log entry.
    struct DebugFrame {
        std::string ObjectName;
        std::string SubName;
        std::string ProcName;
        std::string Info;
        KTStandard::TimeRecord Time;
    };

    enum LogLevel : std::int32_t {
        LevelDebug = 0,
        LevelInfo = 1,
        LevelNotice = 2,
        LevelWarning = 3,
        LevelError = 4,
        LevelCritical = 5,
        LevelAlert = 6,
        LevelFatal = 7
    };

    // Pushes on construction, pops on destruction.
    class Scope {
    public:
        Scope(RootDebug& debug, const std::string& objectName, const std::string& subName,
              const std::string& procName)
            : debug_(debug) {
            debug_.Push(objectName, subName, procName);
        }
        ~Scope() { debug_.Pop(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        RootDebug& debug_;
    };

    RootDebug();
    ~RootDebug() override;

    bool FileLogEnabled() const { return fileLogEnabled_; }
    void SetFileLogEnabled(bool enabled);
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& name);
    bool FileTimeStamping() const { return fileTimeStamping_; }
    void SetFileTimeStamping(bool on) { fileTimeStamping_ = on; }
    std::int32_t FileLogLevel() const { return fileLogLevel_; }
    void SetFileLogLevel(std::int32_t level) { fileLogLevel_ = level; }
    bool FileSafeLogMode() const { return fileSafeLogMode_; }
    void SetFileSafeLogMode(bool on) { fileSafeLogMode_ = on; }
    std::int32_t FirstCritic() const { return firstCritic_; }
    void SetFirstCritic(std::int32_t level) { firstCritic_ = level; }
    bool DebuggerLogEnabled() const { return debuggerLogEnabled_; }
    void SetDebuggerLogEnabled(bool on) { debuggerLogEnabled_ = on; }
    bool LogPushPop() const { return logPushPop_; }
    void SetLogPushPop(bool on) { logPushPop_ = on; }
    bool ShowRuntimeWindow() const { return showRuntimeWindow_; }
    void SetShowRuntimeWindow(bool on) { showRuntimeWindow_ = on; }

    // A level-7 entry about `error`, with the call stack; opens the error
    // report window and returns when the operator has acknowledged it.
    void LogRuntimeError(const std::string& objectName, const std::string& subName,
                         const std::string& procName, const std::string& info,
                         const RuntimeError& error);
    // One entry; a level below 0 is taken as 0, one above 7 as an alert (6):
    // only a real run-time error, or an explicit 7, makes a fatal entry.
    void LogMessage(std::int32_t level, const std::string& source, const std::string& description);

    void Push(const std::string& objectName, const std::string& subName,
              const std::string& procName);
    // A note on the top frame; nothing on an empty stack.
    void PushInfo(const std::string& text);
    // Closes the top frame; nothing on an empty stack.
    void Pop();

    static std::string GetLevelText(std::int32_t level);
    // "VIF.Class_Initialize <x>", ".WVLoader"
    static std::string FormatStackFrame(const DebugFrame& frame);

    // The stack as it stands: index of the top frame (-1 when empty), the
    // frames 0..Depth(), and the highest index the stack holds without growing.
    int Depth() const { return depth_; }
    const DebugFrame& Frame(int index) const { return stack_.at(static_cast<std::size_t>(index)); }
    int StackUpperBound() const { return static_cast<int>(stack_.size()) - 1; }

signals:
    void DebuggerError(const std::string& text);

private:
    void WriteLogEntry(std::int32_t level, const DebugFrame& entry, const RuntimeError& error);
    void WriteLogLine(const std::string& text);
    void WriteCallerStack(const std::string& prefix);
    void ShowErrorWindow(const RuntimeError& error);
    void MarkLogFileNamed() { configured_ = true; }
    bool OpenStream();
    void CloseStream();
    void RaiseFileError();

    std::FILE* stream_ = nullptr;
    bool configured_ = false;
    int depth_ = -1;
    bool fileLogEnabled_ = false;
    std::string fileName_;
    std::int32_t fileLogLevel_ = 7;
    bool fileTimeStamping_ = false;
    bool fileSafeLogMode_ = true;
    bool debuggerLogEnabled_ = false;
    std::int32_t firstCritic_ = 4;
    bool logPushPop_ = false;
    bool showRuntimeWindow_ = true;
    std::vector<DebugFrame> stack_;
    // Entries being written (an error window lets further entries run inside
    // one), and whether the current one has reported a file failure.
    int entryNesting_ = 0;
    bool fileErrorRaised_ = false;
};

namespace General {
// The program's one diagnostics object, created on first use.
RootDebug& RootDebugInstance();
} // namespace General
