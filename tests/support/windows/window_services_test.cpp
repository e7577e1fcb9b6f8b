// The desktop services behind Services.h: a message box has room for its
// whole title, and the URL opener answers whether a viewer could be started,
// as the desktop's launcher tells it when it ends.

#include "../event_pump.h"
#include "Services.h"
#include "WindowServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
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

// A stand-in xdg-open first on PATH: it notes what it was asked to open,
// takes `seconds`, notes its end and ends with `exitCode`, as xdg-open ends
// with 3 when it finds no viewer.
class FakeLauncher {
public:
    FakeLauncher(int exitCode, int seconds) : path_(qgetenv("PATH")) {
        QFile script(bin_.filePath("xdg-open"));
        script.open(QIODevice::WriteOnly);
        script.write(QString("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\nsleep %2\n: > '%3'\nexit %4\n")
                         .arg(bin_.filePath("asked"))
                         .arg(seconds)
                         .arg(bin_.filePath("ended"))
                         .arg(exitCode)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toUtf8() + ":" + path_);
    }
    ~FakeLauncher() { qputenv("PATH", path_); }
    bool Ended() const { return QFile::exists(bin_.filePath("ended")); }
    QString Asked() const {
        QFile asked(bin_.filePath("asked"));
        return asked.open(QIODevice::ReadOnly) ? QString::fromUtf8(asked.readAll()) : QString();
    }

private:
    QByteArray path_;
    QTemporaryDir bin_;
};

} // namespace

TEST(WindowServices, AMessageBoxIsAsWideAsItsTitleBesideTheTitleBarButtons) {
    WindowServices::Install();
    const QString title = "Measurement report: the folder of its pictures could not be written";
    int width = 0;
    // Measured once the box is up, then answered.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        width = box->width();
        box->buttons().front()->click();
    });
    look.start(10);
    Services::Messages().Message(title.toStdString(), "Try again?", Services::MsgIcon::Question,
                                 Services::MsgButtons::YesNo);
    // The window manager writes the title in the bold title-bar font beside
    // its icon and its three buttons, some 96 pixels together.
    QFont bold = QApplication::font("QMdiSubWindowTitleBar");
    bold.setBold(true);
    EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(title) + 96);
    UninstallDesktopServices();
}

TEST(WindowServices, UrlOpenerAnswersWhetherTheLauncherFoundAViewerWhenItEnds) {
    Services::UrlOpenerService& opener = DesktopOpener();
    struct Case {
        int exitCode, seconds;
        const char* url;
        const char* asked;
        bool opened;
    };
    const Case cases[] = {
        {0, 0, "file:///tmp/a report/CurrentReport.html", "/tmp/a report/CurrentReport.html", true},
        {3, 0, "file:///tmp/a report/CurrentReport.html", "/tmp/a report/CurrentReport.html",
         false},
        {0, 0, "/tmp/plain #1.html", "/tmp/plain #1.html", true},
        {4, 0, "https://example.com/a b", "https://example.com/a%20b", false},
        // as long as xdg-open takes to find no browser, and longer
        {3, 5, "/tmp/plain #1.html", "/tmp/plain #1.html", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + std::string(" ") + std::to_string(c.exitCode));
        FakeLauncher launcher(c.exitCode, c.seconds);
        std::vector<bool> answers;
        EXPECT_TRUE(opener.Open(c.url, [&answers](bool opened) { answers.push_back(opened); }));
        // The program goes on while the launcher runs; the answer comes from
        // its event loop.
        if (c.seconds > 0) {
            EXPECT_FALSE(launcher.Ended()) << "waited for the launcher";
        }
        EXPECT_TRUE(answers.empty());
        ASSERT_TRUE(PumpUntil([&answers] { return !answers.empty(); }, 120000));
        EXPECT_EQ(answers, std::vector<bool>{c.opened});
        EXPECT_EQ(launcher.Asked().toStdString(), c.asked);
    }
}
