#pragma once
// The window that reports a run-time error caught by a traced procedure: its
// source, number, description and the call stack, with a plain-text report
// the operator can copy and mail to support. A new window is made for every
// report; DisplayError returns when the operator presses OK or closes it.

#include "ErrorReport.h"

#include <QWidget>
#include <array>
#include <string>
#include <vector>

class QEventLoop;
class QLabel;
class QListWidget;
class QPushButton;

class ErrorForm : public QWidget {
    Q_OBJECT

public:
    // Where reports are to be mailed.
    static constexpr const char* kSupportMail = "quillon-support@korva-tellin.com";

    explicit ErrorForm(QWidget* parent = nullptr);

    // Shows the report and waits, letting other windows' events run, until
    // OK is pressed or the window is closed; then hides the window.
    void DisplayError(const RuntimeError& error, const std::vector<std::string>& callerList);
    void ButtonOK_Click();
    // Puts the report on the clipboard and says so; the window stays.
    void CopyToClipboard_Click();

    bool Waiting() const { return waiting_; }
    const std::string& ReportText() const { return report_; }

    // A label caption the way a label shows it: "&&" is one "&", a single
    // "&" only marks the access key, CR LF is one line break.
    static QString Shown(const std::string& caption);

    std::array<QLabel*, 11> Label{};
    std::array<QLabel*, 3> Info{};
    QListWidget* CallerList = nullptr;
    QLabel* ErrirPicture = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* CopyToClipboard = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool waiting_ = false;
    std::string report_;
    QEventLoop* loop_ = nullptr;
};
