#pragma once
// Stand-ins for the services, so tests neither wait nor show anything.

#include "Services.h"

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct FakeClock : Services::ClockService {
    QDateTime now{QDate(2005, 10, 25), QTime(14, 3, 7, 123)};
    QDateTime Now() override { return now; }
    // Stands still until a test moves it.
    std::chrono::steady_clock::time_point monotonic{};
    std::chrono::steady_clock::time_point Monotonic() override { return monotonic; }
};

struct FakeSleep : Services::SleepService {
    std::vector<std::chrono::milliseconds> sleeps;
    void Sleep(std::chrono::milliseconds duration) override { sleeps.push_back(duration); }
};

struct FakeStatus : Services::StatusDisplayService {
    std::vector<std::string> lines;
    std::string genFreq, anaFreq, anaLevel;
    int clears = 0;
    void AddStatus(const std::string& line) override { lines.push_back(line); }
    void ClearStatus() override {
        lines.clear();
        ++clears;
    }
    void ShowCurrentPoint(const std::string& g, const std::string& a,
                          const std::string& l) override {
        genFreq = g;
        anaFreq = a;
        anaLevel = l;
    }
};

struct FakeErrorReport : Services::ErrorReportService {
    std::vector<RuntimeError> errors;
    std::vector<std::vector<std::string>> callers;
    void DisplayError(const RuntimeError& error, const std::vector<std::string>& c) override {
        errors.push_back(error);
        callers.push_back(c);
    }
};

// Answers input boxes from a queue (an empty queue cancels) and keeps what
// was asked as "title|prompt|default".
struct FakeInputBox : Services::InputBoxService {
    std::vector<std::string> answers;
    std::vector<std::string> asked;
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        asked.push_back(title + "|" + prompt + "|" + defaultText);
        if (answers.empty()) return {};
        std::string a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

// Answers message boxes with a fixed reply and keeps what was shown as
// "title|text".
struct FakeMessageBox : Services::MessageBoxService {
    Services::MsgAnswer reply = Services::MsgAnswer::OK;
    std::vector<std::string> shown;
    std::vector<Services::MsgIcon> icons;
    std::vector<Services::MsgButtons> buttons;
    Services::MsgAnswer Message(const std::string& title, const std::string& text,
                                Services::MsgIcon icon, Services::MsgButtons b) override {
        shown.push_back(title + "|" + text);
        icons.push_back(icon);
        buttons.push_back(b);
        return reply;
    }
};

// Answers file dialogs from a queue (empty: cancelled) and keeps what was
// asked as "open|title|initialPath|filter" or "save|...".
struct FakeFileDialog : Services::FileDialogService {
    std::vector<std::string> answers;
    std::vector<std::string> asked;
    std::string OpenFile(const std::string& title, const std::string& initialPath,
                         const std::string& filter) override {
        return Answer("open|" + title + "|" + initialPath + "|" + filter);
    }
    std::string SaveFile(const std::string& title, const std::string& initialPath,
                         const std::string& filter) override {
        return Answer("save|" + title + "|" + initialPath + "|" + filter);
    }

private:
    std::string Answer(std::string question) {
        asked.push_back(std::move(question));
        if (answers.empty()) return {};
        std::string a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

// Records the URLs handed to the desktop and answers with `result`; the
// later answers wait in `answers` for the test to give them.
struct FakeUrlOpener : Services::UrlOpenerService {
    bool result = true;
    std::vector<std::string> opened;
    std::vector<std::function<void(bool)>> answers;
    bool Open(const std::string& url, std::function<void(bool)> answer) override {
        opened.push_back(url);
        answers.push_back(std::move(answer));
        return result;
    }
};

// Answers the large message box with `reply`; keeps each text in `shown` and
// "sign|timeout|text" in `shownWith`, and runs `onShow` after each.
struct FakeBigMessage : Services::BigMessageService {
    bool reply = true;
    std::vector<std::string> shown, shownWith;
    std::function<void()> onShow;
    int hides = 0;
    bool ShowMessage(const std::string& text, int sign, int timeout, bool, bool, bool) override {
        shown.push_back(text);
        shownWith.push_back(std::to_string(sign) + "|" + std::to_string(timeout) + "|" + text);
        if (onShow) onShow();
        return reply;
    }
    void HideMessage() override { ++hides; }
};
