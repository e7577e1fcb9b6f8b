#pragma once
// What the program asks of its surroundings: dialogs, the clock, sleeping,
// the clipboard, the error report window and the status display. Each sits
// behind a small interface, so that code without widgets (instruments, signal
// processing, tests) can use them and tests can answer questions and skip
// waits without real time passing.
//
// Until something is installed the defaults answer: the clock, sleeping and
// the clipboard are the real ones; dialogs, error reports and status lines go
// to standard error, and a question gets its cautious answer (No, Cancel; an
// input box is cancelled).
// The window library installs its windows (WindowServices::Install), tests
// put fakes in place with Services::Scoped.

#include "ErrorReport.h"

#include <QDateTime>
#include <chrono>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace Services {

enum class MsgIcon { None, Information, Question, Warning, Critical };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgAnswer { OK, Cancel, Yes, No };

// Standard message boxes.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MsgAnswer Message(const std::string& title, const std::string& text, MsgIcon icon,
                              MsgButtons buttons) = 0;
};

// Input boxes: one line of text with a prompt, a title and a default.
// Returns the text typed, or the empty text when the operator cancelled.
class InputBoxService {
public:
    virtual ~InputBoxService() = default;
    virtual std::string InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
};

// The program's large message box: `sign` 0 question, 1 notice, 3 please
// wait; `timeout` in seconds, 0 for none. Returns the reply: false only for NO.
class BigMessageService {
public:
    virtual ~BigMessageService() = default;
    virtual bool ShowMessage(const std::string& text, int sign, int timeout, bool yesNo,
                             bool showButtons, bool wait) = 0;
    virtual void HideMessage() = 0;
};

// Local date and time with milliseconds, read once per call.
class ClockService {
public:
    virtual ~ClockService() = default;
    virtual QDateTime Now() = 0;
    // A clock that only moves forward, for measuring how long something took;
    // unrelated to the date and time.
    virtual std::chrono::steady_clock::time_point Monotonic() {
        return std::chrono::steady_clock::now();
    }
};

// Suspends the calling thread; window events do not run meanwhile.
class SleepService {
public:
    virtual ~SleepService() = default;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    // Replaces whatever the clipboard held by the text (8-bit characters).
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() = 0;
};

// Shows a run-time error with the traced callers (outermost first) and
// returns when the operator has acknowledged it.
class ErrorReportService {
public:
    virtual ~ErrorReportService() = default;
    virtual void DisplayError(const RuntimeError& error,
                              const std::vector<std::string>& callers) = 0;
};

// Open and save file dialogs. `filter` lists patterns as Qt does
// ("Waveforms (*.wv);;All files (*)"); `initialPath` is a folder or a file.
// Returns the chosen path, or the empty text when the operator cancelled.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    virtual std::string OpenFile(const std::string& title, const std::string& initialPath,
                                 const std::string& filter) = 0;
    virtual std::string SaveFile(const std::string& title, const std::string& initialPath,
                                 const std::string& filter) = 0;
};

// Hands a URL (a local file or a web address) to the desktop's opener and
// returns at once: false when no opener could be started. One that started
// answers later, from the event loop, when it ends, however long it takes:
// `answer` (may be empty) then learns whether it opened a viewer.
class UrlOpenerService {
public:
    virtual ~UrlOpenerService() = default;
    virtual bool Open(const std::string& url, std::function<void(bool opened)> answer) = 0;
};

// The status log and current-point display of the progress window.
class StatusDisplayService {
public:
    virtual ~StatusDisplayService() = default;
    virtual void AddStatus(const std::string& line) = 0;
    virtual void ClearStatus() = 0;
    virtual void ShowCurrentPoint(const std::string& genFreq, const std::string& anaFreq,
                                  const std::string& anaLevel) = 0;
};

namespace detail {
template <class S> inline S* installed = nullptr;
template <class S> S& Default();
template <> MessageBoxService& Default<MessageBoxService>();
template <> InputBoxService& Default<InputBoxService>();
template <> BigMessageService& Default<BigMessageService>();
template <> ClockService& Default<ClockService>();
template <> SleepService& Default<SleepService>();
template <> ClipboardService& Default<ClipboardService>();
template <> ErrorReportService& Default<ErrorReportService>();
template <> StatusDisplayService& Default<StatusDisplayService>();
template <> FileDialogService& Default<FileDialogService>();
template <> UrlOpenerService& Default<UrlOpenerService>();
} // namespace detail

// The service in force: the installed one, or the default.
template <class S> S& Get() {
    S* s = detail::installed<S>;
    return s ? *s : detail::Default<S>();
}

// Installs a service (nullptr: the default again); returns the one it replaces.
// The caller keeps ownership and keeps the object alive while installed.
template <class S> S* Install(S* service) {
    S* previous = detail::installed<S>;
    detail::installed<S> = service;
    return previous;
}

// Installs a service for the lifetime of the guard. The interface must be
// named: Scoped<ClockService> guard(fakeClock).
template <class S> class Scoped {
public:
    explicit Scoped(std::type_identity_t<S>& service) : previous_(Install<S>(&service)) {}
    ~Scoped() { Install<S>(previous_); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    S* previous_;
};

inline MessageBoxService& Messages() {
    return Get<MessageBoxService>();
}
inline InputBoxService& InputBoxes() {
    return Get<InputBoxService>();
}
inline BigMessageService& BigMessage() {
    return Get<BigMessageService>();
}
inline ClockService& Clock() {
    return Get<ClockService>();
}
inline SleepService& Sleeper() {
    return Get<SleepService>();
}
inline ClipboardService& Clipboard() {
    return Get<ClipboardService>();
}
inline ErrorReportService& ErrorReport() {
    return Get<ErrorReportService>();
}
inline StatusDisplayService& StatusDisplay() {
    return Get<StatusDisplayService>();
}
inline FileDialogService& FileDialogs() {
    return Get<FileDialogService>();
}
inline UrlOpenerService& UrlOpener() {
    return Get<UrlOpenerService>();
}

} // namespace Services
