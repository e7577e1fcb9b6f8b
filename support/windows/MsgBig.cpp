#include "MsgBig.h"

#include "FrontWindow.h"
#include "KTStandardWindows.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace {

MsgBig* g_msgBig = nullptr;

// The least size in twips, at which a short message and its buttons are not
// cut at the default font.
constexpr int kWidthTwips = 4770;
constexpr int kHeightWithButtons = 1450;
constexpr int kHeightWithoutButtons = 1028;

} // namespace

MsgBig& MsgBig::Instance() {
    // Lives to the end of the process, like the program's other singletons.
    if (!g_msgBig) g_msgBig = new MsgBig;
    return *g_msgBig;
}

MsgBig::MsgBig() {
    setWindowTitle("Message Box");
    setWindowFlag(Qt::Dialog);
    FrontWindow::Keep(this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    Rahmen = new QFrame;
    Rahmen->setFrameShape(QFrame::Box);
    outer->addWidget(Rahmen);

    auto* content = new QVBoxLayout(Rahmen);
    auto* row = new QHBoxLayout;
    const QStyle::StandardPixmap pictures[4] = {
        QStyle::SP_MessageBoxQuestion, QStyle::SP_MessageBoxInformation,
        QStyle::SP_MessageBoxWarning, QStyle::SP_BrowserReload};
    for (std::size_t i = 0; i < Sign.size(); ++i) {
        Sign[i] = new QLabel;
        Sign[i]->setPixmap(style()->standardIcon(pictures[i]).pixmap(32, 32));
        Sign[i]->setAlignment(Qt::AlignTop);
        row->addWidget(Sign[i]);
    }
    Message = new QLabel;
    Message->setWordWrap(true);
    Message->setTextFormat(Qt::PlainText);
    QFont big = Message->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.25);
    Message->setFont(big);
    row->addWidget(Message, 1);
    content->addLayout(row);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OKButton = new QPushButton("OK");
    NoButton = new QPushButton("No");
    OKButton->setDefault(true);
    buttons->addWidget(OKButton);
    buttons->addWidget(NoButton);
    content->addLayout(buttons);

    ShutIt = new QTimer(this);
    ShutIt->setSingleShot(true);
    connect(OKButton, &QPushButton::clicked, this, &MsgBig::OKButton_Click);
    connect(NoButton, &QPushButton::clicked, this, &MsgBig::NoButton_Click);
    connect(ShutIt, &QTimer::timeout, this, &MsgBig::ShutIt_Timer);
}

void MsgBig::Present(const Request& r) {
    for (std::size_t i = 0; i < Sign.size(); ++i)
        Sign[i]->setVisible(static_cast<int>(i) == r.sign);
    OKButton->setText(r.yesNo ? "YES" : "OK");
    NoButton->setVisible(r.yesNo);
    // A blocking box must be answerable: without buttons it needs a timeout.
    const bool buttons = r.showButtons || (r.wait && r.timeout <= 0);
    OKButton->setVisible(buttons);
    Message->setText(QString::fromLatin1(r.text));

    // The least size, or what the text asks for when that is more: as
    // wide as the message prefers (a long one wraps), as high as it then is.
    // The layout keeps its sizes for a text shown before at the same width:
    // they are thrown away first.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    Rahmen->updateGeometry();
    for (QLayout* inner : findChildren<QLayout*>())
        inner->invalidate();
    layout()->invalidate();
    layout()->activate();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() * 9 / 10 : INT_MAX;
    const int width = std::max(KTStandard::TwipsToPixels(kWidthTwips),
                               std::min(layout()->sizeHint().width(), widest));
    const int needed = layout()->totalHeightForWidth(width);
    setFixedSize(width, std::max(KTStandard::TwipsToPixels(buttons ? kHeightWithButtons
                                                                   : kHeightWithoutButtons),
                                 needed));
    if (screen) {
        const QRect s = screen->geometry();
        move(s.x() + s.width() / 2 - this->width() / 2,
             s.y() + s.height() / 2 - this->height() / 2);
    }
    show();
    if (buttons) OKButton->setFocus();
    // A new text in a box already shown comes to the front as well.
    FrontWindow::Front(this);
}

void MsgBig::StartTimer(std::int64_t milliseconds) {
    // int milliseconds reach 24 days: far beyond any 16-bit count of seconds
    ShutIt->start(static_cast<int>(std::clamp<std::int64_t>(milliseconds, 0, INT_MAX)));
}

bool MsgBig::ShowMessage(const std::string& text, int sign, int timeout, bool yesNo,
                         bool showButtons, bool wait) {
    Request request{text, sign, timeout, yesNo, showButtons, wait, NoReply, {}, nullptr};
    ShutIt->stop();
    Present(request);
    replyCode_ = NoReply;
    if (timeout > 0) {
        const std::int64_t ms = std::int64_t{timeout} * 1000;
        request.deadline = QDeadlineTimer(ms);
        StartTimer(ms);
    }
    if (!wait) return true;

    QEventLoop loop;
    request.loop = &loop;
    waiting_.push_back(&request);
    while (request.reply == NoReply)
        loop.exec();
    waiting_.pop_back();
    hide();
    // A message asked from inside the wait has had its answer: the one it
    // interrupted comes back.
    RestoreWaiting();
    return request.reply != ReplyNo;
}

void MsgBig::HideMessage() {
    hide();
    // A notice shown while a blocking message waits took its place; hiding the
    // notice must not leave the waiting message hidden, with no way to answer.
    RestoreWaiting();
}

void MsgBig::RestoreWaiting() {
    if (waiting_.empty()) return;
    const Request& outer = *waiting_.back();
    ShutIt->stop();
    Present(outer);
    // with what is left of its time
    if (outer.timeout > 0) StartTimer(std::max<std::int64_t>(outer.deadline.remainingTime(), 0));
}

void MsgBig::Answer(std::int16_t code) {
    replyCode_ = code;
    if (waiting_.empty()) return;
    ShutIt->stop();
    Request* request = waiting_.back();
    request->reply = code;
    request->loop->quit();
}

void MsgBig::OKButton_Click() {
    Answer(ReplyOK);
}

void MsgBig::NoButton_Click() {
    Answer(ReplyNo);
}

void MsgBig::ShutIt_Timer() {
    Answer(ReplyTimedOut);
}

void MsgBig::keyPressEvent(QKeyEvent* event) {
    QPushButton* pressed = nullptr;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        pressed = OKButton;
    else if (event->key() == Qt::Key_Escape)
        pressed = NoButton->isVisibleTo(this) ? NoButton : OKButton;
    if (!pressed || !pressed->isVisibleTo(this)) {
        QWidget::keyPressEvent(event);
        return;
    }
    pressed->click();
}

void MsgBig::closeEvent(QCloseEvent* event) {
    if (waiting_.empty()) {
        event->accept();
        return;
    }
    // Closed by the frame: a question is declined, a notice acknowledged.
    event->ignore();
    Answer(waiting_.back()->yesNo ? ReplyNo : ReplyOK);
}
