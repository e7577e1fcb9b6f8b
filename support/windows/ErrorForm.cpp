#include "ErrorForm.h"

#include "Services.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

ErrorForm::ErrorForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("ERROR");
    static const char* const kCaptions[11] = {"RUNTIME ERROR",
                                              "Source",
                                              "Error Code",
                                              "Description",
                                              "Stack History",
                                              "DETAILED ERROR INFORMATION",
                                              "",
                                              "",
                                              "",
                                              "",
                                              ""};
    for (std::size_t i = 0; i < Label.size(); ++i) {
        Label[i] = new QLabel(Shown(kCaptions[i]));
        Label[i]->setWordWrap(true);
    }
    QFont bold = Label[0]->font();
    bold.setBold(true);
    Label[0]->setFont(bold);
    Label[5]->setFont(bold);

    QFont courier("Courier");
    courier.setStyleHint(QFont::TypeWriter);
    for (auto& info : Info) {
        info = new QLabel("---");
        info->setFont(courier);
        info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    CallerList = new QListWidget;
    CallerList->setFont(courier);
    ErrirPicture = new QLabel;
    ErrirPicture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    ButtonOK = new QPushButton("&OK");
    CopyToClipboard = new QPushButton("&Copy to clipboard");
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);

    auto* grid = new QGridLayout(this);
    grid->addWidget(ErrirPicture, 0, 0, Qt::AlignTop);
    grid->addWidget(Label[0], 0, 1, 1, 2);
    grid->addWidget(Label[7], 1, 1, 1, 2);
    grid->addWidget(Label[8], 2, 1, 1, 2);
    grid->addWidget(Label[10], 3, 1, 1, 2);
    grid->addWidget(Label[6], 4, 1, 1, 2);
    grid->addWidget(line, 5, 0, 1, 3);
    grid->addWidget(Label[5], 6, 0, 1, 3);
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(Label[static_cast<std::size_t>(i) + 1], 7 + i, 0, 1, 2);
        grid->addWidget(Info[static_cast<std::size_t>(i)], 7 + i, 2);
    }
    grid->addWidget(Label[4], 10, 0, 1, 3);
    grid->addWidget(CallerList, 11, 0, 1, 3);
    grid->addWidget(Label[9], 12, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CopyToClipboard);
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    grid->addLayout(buttons, 13, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    connect(ButtonOK, &QPushButton::clicked, this, &ErrorForm::ButtonOK_Click);
    connect(CopyToClipboard, &QPushButton::clicked, this, &ErrorForm::CopyToClipboard_Click);
}

QString ErrorForm::Shown(const std::string& caption) {
    QString shown;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '\r') continue; // CR LF breaks the line once
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                shown += '&';
                ++i;
            }
            continue;
        }
        shown += QChar::fromLatin1(caption[i]);
    }
    return shown;
}

void ErrorForm::DisplayError(const RuntimeError& error,
                             const std::vector<std::string>& callerList) {
    show();
    const std::string title = kApplicationTitle;
    setWindowTitle(QString::fromLatin1(title));
    waiting_ = true;
    report_.clear();
    Label[0]->setText(Shown(title +
                            " has encounted a problem and needs to close. We are sorry for the "
                            "inconvenience."));
    Label[7]->setText(Shown("Please tell Korva && Tellin about this problem:"));
    Label[8]->setText(Shown(
        "We have created an error report that you can send to help us improve " + title + "."));
    Label[10]->setText(
        Shown("Please press the button \"&Copy to clipboard\". You can use any application "
              "to paste the report using <Ctrl-V>.\r\nSend this mail to " +
              std::string(kSupportMail) + "."));

    Info[0]->setText(QString::fromLatin1(error.Source));
    Info[1]->setText(Shown(ErrorReport::ErrorNumberText(error.Number)));
    Info[2]->setText(QString::fromLatin1(error.Description));
    CallerList->clear();
    for (const auto& caller : ErrorReport::CallerLines(callerList))
        CallerList->addItem(QString::fromLatin1(caller));
    report_ = ErrorReport::ReportText(error, callerList);

    QEventLoop loop;
    loop_ = &loop;
    while (waiting_)
        loop.exec();
    loop_ = nullptr;
    hide();
}

void ErrorForm::ButtonOK_Click() {
    waiting_ = false;
    if (loop_) loop_->quit();
}

void ErrorForm::CopyToClipboard_Click() {
    Services::Clipboard().SetText(report_);
    Services::Messages().Message(
        kApplicationTitle,
        std::string("Support informations copied to clipboard.\r\n  Please mail to ") +
            kSupportMail,
        Services::MsgIcon::Information, Services::MsgButtons::OKCancel);
}

void ErrorForm::closeEvent(QCloseEvent* event) {
    // However the window is closed, the report ends as with OK.
    ButtonOK_Click();
    event->accept();
}
