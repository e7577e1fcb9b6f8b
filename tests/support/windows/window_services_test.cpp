// The desktop services behind Services.h: the URL opener answers whether a
// viewer could be started, as the desktop's launcher tells it.

#include "Services.h"
#include "WindowServices.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The desktop's URL opener; every other service is put back to its default.
Services::UrlOpenerService& DesktopOpener() {
    WindowServices::Install();
    Services::UrlOpenerService& opener = Services::UrlOpener();
    Services::Install<Services::MessageBoxService>(nullptr);
    Services::Install<Services::InputBoxService>(nullptr);
    Services::Install<Services::StatusDisplayService>(nullptr);
    Services::Install<Services::ErrorReportService>(nullptr);
    Services::Install<Services::BigMessageService>(nullptr);
    Services::Install<Services::FileDialogService>(nullptr);
    Services::Install<Services::UrlOpenerService>(nullptr);
    return opener;
}

// A stand-in xdg-open first on PATH: it notes what it was asked to open and
// ends with `exitCode`, as xdg-open ends with 3 when it finds no viewer.
class FakeLauncher {
public:
    explicit FakeLauncher(int exitCode) : path_(qgetenv("PATH")) {
        QFile script(bin_.filePath("xdg-open"));
        script.open(QIODevice::WriteOnly);
        script.write(QString("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\nexit %2\n")
                         .arg(bin_.filePath("asked"))
                         .arg(exitCode)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toUtf8() + ":" + path_);
    }
    ~FakeLauncher() { qputenv("PATH", path_); }
    QString Asked() const {
        QFile asked(bin_.filePath("asked"));
        return asked.open(QIODevice::ReadOnly) ? QString::fromUtf8(asked.readAll()) : QString();
    }

private:
    QByteArray path_;
    QTemporaryDir bin_;
};

} // namespace

TEST(WindowServices, UrlOpenerAnswersWhetherAViewerCouldBeStarted) {
    Services::UrlOpenerService& opener = DesktopOpener();
    struct Case {
        int exitCode;
        const char* url;
        const char* asked;
        bool opened;
    };
    const Case cases[] = {
        {0, "file:///tmp/a report/CurrentReport.html", "/tmp/a report/CurrentReport.html", true},
        {3, "file:///tmp/a report/CurrentReport.html", "/tmp/a report/CurrentReport.html", false},
        {0, "/tmp/plain #1.html", "/tmp/plain #1.html", true},
        {4, "https://example.com/a b", "https://example.com/a%20b", false},
    };
    for (const Case& c : cases) {
        FakeLauncher launcher(c.exitCode);
        EXPECT_EQ(opener.Open(c.url), c.opened) << c.url << " " << c.exitCode;
        EXPECT_EQ(launcher.Asked().toStdString(), c.asked);
    }
}
