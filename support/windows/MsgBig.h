#pragma once
// The program's large message box: one of four sign pictures, a message and
// up to two buttons. Blocking notices and questions run a local event loop,
// so other windows, timers and the remote-control socket keep working while
// it waits. Created on first use, it lives to the end of the process.
// Callers reach it through Services::BigMessage(), where tests put fakes.

#include "Services.h"

#include <QDeadlineTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QEventLoop;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

class MsgBig : public QWidget, public Services::BigMessageService {
    Q_OBJECT

public:
    enum Reply : std::int16_t { NoReply = 0, ReplyOK = 1, ReplyNo = 2, ReplyTimedOut = 10 };

    static MsgBig& Instance();

    // sign: picture 0..3 (0 question, 1 notice, 3 please wait); timeout in
    // seconds, 0 for none; yesNo: YES and No buttons instead of OK. With
    // `wait` it returns the reply once answered (false only for No; a
    // timeout counts as yes) and hides; without, it returns true at once and
    // stays up until HideMessage. A blocking box without buttons and without
    // timeout still gets its OK button, so it can be answered.
    bool ShowMessage(const std::string& text, int sign, int timeout, bool yesNo, bool showButtons,
                     bool wait) override;
    void HideMessage() override;

    void OKButton_Click();
    void NoButton_Click();
    void ShutIt_Timer();
    // The last reply given: 0 none yet, 1 OK or YES, 2 NO, 10 timed out.
    std::int16_t ReplyCode() const { return replyCode_; }

    QLabel* Message = nullptr;
    std::array<QLabel*, 4> Sign{};
    QPushButton* OKButton = nullptr;
    QPushButton* NoButton = nullptr;
    QFrame* Rahmen = nullptr;
    QTimer* ShutIt = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter presses OK (YES); Escape presses No where it is shown, else OK.
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Request {
        std::string text;
        int sign = 0;
        int timeout = 0;
        bool yesNo = false;
        bool showButtons = false;
        bool wait = false;
        std::int16_t reply = NoReply;
        QDeadlineTimer deadline;
        QEventLoop* loop = nullptr;
    };

    MsgBig();
    void Present(const Request& request);
    void StartTimer(std::int64_t milliseconds);
    void Answer(std::int16_t code);
    // Shows the innermost blocking message still waiting again, if any.
    void RestoreWaiting();

    std::int16_t replyCode_ = NoReply;
    // Blocking calls still waiting, innermost last.
    std::vector<Request*> waiting_;
};
