// The windows and desktop services that stand behind Services.h in the program.

#include "WindowServices.h"

#include "Current.h"
#include "ErrorForm.h"
#include "FrontWindow.h"
#include "LauncherProcess.h"
#include "MsgBig.h"
#include "Services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace WindowServices {

namespace {

// Room the window manager's frame takes beside the title: its icon and its
// minimise, maximise and close buttons.
constexpr int kTitleBarButtons = 96;

// Set on a message box once it has room for its title.
constexpr const char* kTitleRoom = "quillonTitleRoom";

// The window manager writes the title in its own, bold, font beside its
// buttons and cuts what does not fit; a message box is made wide enough for
// the whole title.
void MakeRoomForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid || box.property(kTitleRoom).toBool()) return;
    box.setProperty(kTitleRoom, true);
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const int width = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + kTitleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// Every message box gets that room as it is shown, just before it sizes
// itself: the services' own and those Qt's dialogs ask in, such as a file
// dialog's question whether to replace a file, which carries the dialog's
// title.
class TitleRoomOnShow final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched)) MakeRoomForTitle(*box);
        return QObject::eventFilter(watched, event);
    }
};

class DialogMessages final : public Services::MessageBoxService {
public:
    Services::MsgAnswer Message(const std::string& title, const std::string& text,
                                Services::MsgIcon icon, Services::MsgButtons buttons) override {
        using Services::MsgAnswer;
        using Services::MsgButtons;
        using Services::MsgIcon;
        QMessageBox box(FrontWindow::Owner());
        FrontWindow::Keep(&box);
        box.setWindowTitle(QString::fromLatin1(title));
        box.setText(QString::fromLatin1(text));
        switch (icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        }
        switch (buttons) {
        case MsgButtons::OK:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Ok:
            return MsgAnswer::OK;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
        }
    }
};

class DialogInputBox final : public Services::InputBoxService {
public:
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        QInputDialog box(FrontWindow::Owner());
        FrontWindow::Keep(&box);
        box.setWindowTitle(QString::fromLatin1(title));
        box.setLabelText(QString::fromLatin1(prompt));
        box.setTextValue(QString::fromLatin1(defaultText));
        if (box.exec() != QDialog::Accepted) return {};
        return box.textValue().toLatin1().toStdString();
    }
};

class QtFileDialogs final : public Services::FileDialogService {
public:
    std::string OpenFile(const std::string& title, const std::string& initialPath,
                         const std::string& filter) override {
        return Ask(QFileDialog::AcceptOpen, title, initialPath, filter);
    }
    std::string SaveFile(const std::string& title, const std::string& initialPath,
                         const std::string& filter) override {
        return Ask(QFileDialog::AcceptSave, title, initialPath, filter);
    }

private:
    static std::string Ask(QFileDialog::AcceptMode mode, const std::string& title,
                           const std::string& initialPath, const std::string& filter) {
        QFileDialog dialog(FrontWindow::Owner(), QString::fromLatin1(title),
                           QString::fromLocal8Bit(initialPath), QString::fromLatin1(filter));
        FrontWindow::Keep(&dialog);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst().toLocal8Bit().toStdString();
    }
};

// A plain path is a local file; anything with a scheme goes as it stands.
//
// QDesktopServices answers true as soon as the desktop's launcher (xdg-open)
// has started, even when the launcher then finds no viewer and ends with a
// failure, seconds later. So xdg-open is run here and watched to its end
// without waiting for it: a launcher that ends with a failure found no
// viewer. The launcher and the viewer it starts are the operator's: they
// run on when the program ends, which then answers nothing for them.
class DesktopUrlOpener final : public Services::UrlOpenerService {
public:
    bool Open(const std::string& url, std::function<void(bool)> answer) override {
        const QString text = QString::fromLocal8Bit(url);
        const QUrl target =
            text.contains(QLatin1String("://")) ? QUrl(text) : QUrl::fromLocalFile(text);
        const QString launcher = QStandardPaths::findExecutable("xdg-open");
        if (launcher.isEmpty()) return OpenWithoutLauncher(target, std::move(answer));
        return LauncherProcess::Start(
            launcher,
            {target.isLocalFile() ? target.toLocalFile() : target.toString(QUrl::FullyEncoded)},
            std::move(answer));
    }

private:
    // Qt's own opener answers at once; its answer still comes from the event
    // loop, as the launcher's would.
    static bool OpenWithoutLauncher(const QUrl& target, std::function<void(bool)> answer) {
        if (!QDesktopServices::openUrl(target)) return false;
        if (answer) QTimer::singleShot(0, QCoreApplication::instance(), [answer] { answer(true); });
        return true;
    }
};

// The progress window is created by its first status line.
class ProgressWindowStatus final : public Services::StatusDisplayService {
public:
    void AddStatus(const std::string& line) override { Current::Instance().AddStatus(line); }
    void ClearStatus() override { Current::Instance().ClearStatus(); }
    void ShowCurrentPoint(const std::string& genFreq, const std::string& anaFreq,
                          const std::string& anaLevel) override {
        Current::Instance().ShowCurrentPoint(genFreq, anaFreq, anaLevel);
    }
};

// A new window for every report.
class ErrorWindowReport final : public Services::ErrorReportService {
public:
    void DisplayError(const RuntimeError& error, const std::vector<std::string>& callers) override {
        ErrorForm form;
        FrontWindow::Keep(&form);
        form.DisplayError(error, callers);
    }
};

} // namespace

void Install() {
    // One for the application, however often the services are installed.
    static QPointer<TitleRoomOnShow> titleRoom;
    if (!titleRoom) titleRoom = new TitleRoomOnShow(qApp);
    qApp->installEventFilter(titleRoom);
    static DialogMessages messages;
    static DialogInputBox inputs;
    static ProgressWindowStatus status;
    static ErrorWindowReport reports;
    static QtFileDialogs files;
    static DesktopUrlOpener urls;
    Services::Install<Services::MessageBoxService>(&messages);
    Services::Install<Services::InputBoxService>(&inputs);
    Services::Install<Services::StatusDisplayService>(&status);
    Services::Install<Services::ErrorReportService>(&reports);
    Services::Install<Services::BigMessageService>(&MsgBig::Instance());
    Services::Install<Services::FileDialogService>(&files);
    Services::Install<Services::UrlOpenerService>(&urls);
}

} // namespace WindowServices
