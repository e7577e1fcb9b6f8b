// The desktop services behind Services.h: a message box has room for its
// whole title, and the URL opener answers whether a viewer could be started,
// as the desktop's launcher tells it when it ends.

#include "../event_pump.h"
#include "../fake_launcher.h"
#include "Services.h"
#include "WindowServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
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
