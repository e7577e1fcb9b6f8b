#include "Services.h"

#include <QClipboard>
#include <QGuiApplication>
#include <cstdio>
#include <thread>

namespace Services {

namespace {

void ToStderr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}

class ConsoleMessageBox final : public MessageBoxService {
public:
    MsgAnswer Message(const std::string& title, const std::string& text, MsgIcon,
                      MsgButtons buttons) override {
        ToStderr(title + ": " + text);
        // Nobody can answer: a choice gets the answer that changes nothing.
        switch (buttons) {
        case MsgButtons::OK:
            return MsgAnswer::OK;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        case MsgButtons::OKCancel:
        case MsgButtons::YesNoCancel:
            break;
        }
        return MsgAnswer::Cancel;
    }
};

class ConsoleInputBox final : public InputBoxService {
public:
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string&) override {
        ToStderr(title + ": " + prompt);
        return {};
    }
};

class ConsoleBigMessage final : public BigMessageService {
public:
    bool ShowMessage(const std::string& text, int, int, bool yesNo, bool, bool wait) override {
        ToStderr(text);
        return !(wait && yesNo);
    }
    void HideMessage() override {}
};

class SystemClock final : public ClockService {
public:
    QDateTime Now() override { return QDateTime::currentDateTime(); }
};

class ThreadSleep final : public SleepService {
public:
    void Sleep(std::chrono::milliseconds duration) override {
        if (duration.count() > 0) std::this_thread::sleep_for(duration);
    }
};

// The desktop clipboard when there is a GUI application; without one (a
// console host) the text is kept here so copy and paste still pair up.
class SystemClipboard final : public ClipboardService {
public:
    void SetText(const std::string& text) override {
        if (auto* board = Board()) {
            board->clear();
            board->setText(QString::fromLatin1(text));
        } else {
            text_ = text;
        }
    }
    std::string Text() override {
        if (auto* board = Board()) return board->text().toLatin1().toStdString();
        return text_;
    }

private:
    static QClipboard* Board() {
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                   ? QGuiApplication::clipboard()
                   : nullptr;
    }
    std::string text_;
};

class ConsoleErrorReport final : public ErrorReportService {
public:
    void DisplayError(const RuntimeError& error, const std::vector<std::string>& callers) override {
        ToStderr(std::string(kApplicationTitle) + " RUNTIME ERROR\r\n" +
                 ErrorReport::ReportText(error, callers));
    }
};

class ConsoleStatus final : public StatusDisplayService {
public:
    void AddStatus(const std::string& line) override { ToStderr("status: " + line); }
    void ClearStatus() override {}
    void ShowCurrentPoint(const std::string&, const std::string&, const std::string&) override {}
};

class ConsoleFileDialog final : public FileDialogService {
public:
    std::string OpenFile(const std::string& title, const std::string&,
                         const std::string&) override {
        ToStderr(title + ": no file chosen");
        return {};
    }
    std::string SaveFile(const std::string& title, const std::string&,
                         const std::string&) override {
        ToStderr(title + ": no file chosen");
        return {};
    }
};

// Without a desktop session the address is only shown.
class ConsoleUrlOpener final : public UrlOpenerService {
public:
    bool Open(const std::string& url, std::function<void(bool)>) override {
        ToStderr("open: " + url);
        return false;
    }
};

} // namespace

namespace detail {

template <> MessageBoxService& Default<MessageBoxService>() {
    static ConsoleMessageBox s;
    return s;
}
template <> InputBoxService& Default<InputBoxService>() {
    static ConsoleInputBox s;
    return s;
}
template <> BigMessageService& Default<BigMessageService>() {
    static ConsoleBigMessage s;
    return s;
}
template <> ClockService& Default<ClockService>() {
    static SystemClock s;
    return s;
}
template <> SleepService& Default<SleepService>() {
    static ThreadSleep s;
    return s;
}
template <> ClipboardService& Default<ClipboardService>() {
    static SystemClipboard s;
    return s;
}
template <> ErrorReportService& Default<ErrorReportService>() {
    static ConsoleErrorReport s;
    return s;
}
template <> StatusDisplayService& Default<StatusDisplayService>() {
    static ConsoleStatus s;
    return s;
}
template <> FileDialogService& Default<FileDialogService>() {
    static ConsoleFileDialog s;
    return s;
}
template <> UrlOpenerService& Default<UrlOpenerService>() {
    static ConsoleUrlOpener s;
    return s;
}

} // namespace detail

} // namespace Services
