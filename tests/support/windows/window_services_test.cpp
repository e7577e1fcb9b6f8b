// The desktop services behind Services.h: a message box has room for its
// whole title, a cancelled file dialog gives no file, and the URL opener
// answers whether a viewer could be started, as the desktop's launcher tells
// it when it ends.

#include "../event_pump.h"
#include "../fake_launcher.h"
#include "Services.h"
#include "WindowServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Every service back to its default.
void UninstallDesktopServices() {
    Services::Install<Services::MessageBoxService>(nullptr);
    Services::Install<Services::InputBoxService>(nullptr);
    Services::Install<Services::StatusDisplayService>(nullptr);
    Services::Install<Services::ErrorReportService>(nullptr);
    Services::Install<Services::BigMessageService>(nullptr);
    Services::Install<Services::FileDialogService>(nullptr);
    Services::Install<Services::UrlOpenerService>(nullptr);
}

// The desktop's URL opener; every other service is put back to its default.
Services::UrlOpenerService& DesktopOpener() {
    WindowServices::Install();
    Services::UrlOpenerService& opener = Services::UrlOpener();
    UninstallDesktopServices();
    return opener;
}

// While the test waits in a dialog's event loop, hands the modal dialog in
// front, once there is one, to `look` every 10 ms. When the wait has not
// ended in time, the test fails and every dialog is closed, so that it ends.
class WhileUp {
public:
    explicit WhileUp(std::function<void(QWidget& modal)> look) : look_(std::move(look)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start(10);
    }

private:
    void Look() {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            look_(*modal);
            return;
        }
        if (!deadline_.hasExpired()) return;
        timer_.stop();
        ADD_FAILURE() << "no dialog came up in time";
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->reject();
    }

    std::function<void(QWidget&)> look_;
    QDeadlineTimer deadline_{kPatientMs};
    QTimer timer_;
};

// Sets PATH for as long as it stands.
class PathSetTo {
public:
    explicit PathSetTo(const QString& path) : before_(qgetenv("PATH")) {
        qputenv("PATH", path.toLocal8Bit());
    }
    ~PathSetTo() { qputenv("PATH", before_); }
    PathSetTo(const PathSetTo&) = delete;
    PathSetTo& operator=(const PathSetTo&) = delete;

private:
    QByteArray before_;
};

} // namespace

// The window manager writes a title in its own bold font beside its icon and
// its three buttons, some 80 pixels together, and cuts what does not fit.
TEST(WindowServices, AMessageBoxIsAsWideAsItsTitleBesideTheTitleBarButtons) {
    WindowServices::Install();
    int width = 0;
    WhileUp answer([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        if (!box) return;
        width = box->width();
        box->buttons().front()->click();
    });
    // this title takes some 430 pixels in the window manager's font
    Services::Messages().Message(
        "Measurement report: the folder of its pictures could not be written", "Try again?",
        Services::MsgIcon::Question, Services::MsgButtons::YesNo);
    EXPECT_GE(width, 510);
    UninstallDesktopServices();
}

// A file dialog asks in a box of its own whether to replace a file, under
// the dialog's title.
TEST(WindowServices, AFileDialogsQuestionIsAsWideAsItsTitle) {
    WindowServices::Install();
    QTemporaryDir folder;
    ASSERT_TRUE(QFile(folder.filePath("run 7.html")).open(QIODevice::WriteOnly));
    int width = 0;
    bool typed = false;
    WhileUp answer([&](QWidget& modal) {
        if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
            width = box->width();
            box->button(QMessageBox::No)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(&modal); dialog && width > 0) {
            dialog->reject();
        } else if (dialog && !typed) {
            typed = true;
            // typed as the operator types it; the question then waits for
            // its answer inside the key press
            QTimer::singleShot(0, dialog, [dialog] {
                QWidget* name = dialog->focusWidget();
                QTest::keyClicks(name, "run 7.html");
                QTest::keyClick(name, Qt::Key_Return);
            });
        }
    });
    // "Save Measurement Report" takes some 170 pixels in the window
    // manager's font
    EXPECT_EQ(Services::FileDialogs().SaveFile("Save Measurement Report",
                                               folder.path().toStdString(), "all files (*.*)"),
              "");
    EXPECT_GE(width, 250);
    UninstallDesktopServices();
}

// The folder a dialog shows is no answer: an operator who cancels chose
// nothing.
TEST(WindowServices, ACancelledFileDialogGivesNoFile) {
    WindowServices::Install();
    QTemporaryDir folder;
    WhileUp cancel([](QWidget& modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(&modal)) dialog->reject();
    });
    const std::string path = folder.path().toStdString();
    EXPECT_EQ(Services::FileDialogs().SaveFile("Save Measurement Report", path, "all files (*.*)"),
              "");
    EXPECT_EQ(Services::FileDialogs().OpenFile("Open", path, "all files (*.*)"), "");
    UninstallDesktopServices();
}

// Without the desktop's launcher, Qt's own opener is asked; one that cannot
// open the URL either opened nothing, and says so at once.
TEST(WindowServices, WithoutALauncherAUrlQtCannotOpenIsNotOpened) {
    Services::UrlOpenerService& opener = DesktopOpener();
    QTemporaryDir empty;
    PathSetTo nothing(empty.path());
    std::vector<bool> answers;
    EXPECT_FALSE(opener.Open("https://example.com/",
                             [&answers](bool opened) { answers.push_back(opened); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.empty());
}

TEST(WindowServices, UrlOpenerAnswersWhetherTheLauncherFoundAViewerWhenItEnds) {
    Services::UrlOpenerService& opener = DesktopOpener();
    using Ends = FakeLauncher::Ends;
    struct Case {
        int exitCode;
        Ends ends;
        const char* url;
        const char* asked;
        bool opened;
    };
    const Case cases[] = {
        {0, Ends::AtOnce, "file:///tmp/a report/CurrentReport.html",
         "/tmp/a report/CurrentReport.html", true},
        {3, Ends::AtOnce, "file:///tmp/a report/CurrentReport.html",
         "/tmp/a report/CurrentReport.html", false},
        {0, Ends::AtOnce, "/tmp/plain #1.html", "/tmp/plain #1.html", true},
        {4, Ends::AtOnce, "https://example.com/a b", "https://example.com/a%20b", false},
        // as long as xdg-open takes to find no browser, and longer
        {3, Ends::WhenReleased, "/tmp/plain #1.html", "/tmp/plain #1.html", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + std::string(" ") + std::to_string(c.exitCode));
        FakeLauncher launcher(c.exitCode, c.ends);
        std::vector<bool> answers;
        EXPECT_TRUE(opener.Open(c.url, [&answers](bool opened) { answers.push_back(opened); }));
        // The program goes on while the launcher runs; the answer comes from
        // its event loop.
        EXPECT_TRUE(answers.empty());
        if (c.ends == Ends::WhenReleased) {
            ASSERT_TRUE(PumpUntil([&launcher] { return !launcher.Started().empty(); }));
            EXPECT_TRUE(answers.empty()) << "answered while the launcher runs";
            launcher.Release();
        }
        ASSERT_TRUE(PumpUntil([&answers] { return !answers.empty(); }, 120000));
        EXPECT_EQ(answers, std::vector<bool>{c.opened});
        EXPECT_EQ(launcher.Asked().toStdString(), c.asked);
    }
    // A launcher that cannot be started opened nothing, and says so at once.
    FakeLauncher broken(0, Ends::NeverStarts);
    std::vector<bool> answers;
    EXPECT_FALSE(
        opener.Open("/tmp/plain.html", [&answers](bool opened) { answers.push_back(opened); }));
    EXPECT_TRUE(answers.empty());
    EXPECT_TRUE(broken.Started().empty());
}
