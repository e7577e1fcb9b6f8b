#pragma once
// A stand-in for the desktop's launcher (xdg-open) first on PATH, for this
// process and the programs it starts: it notes what it was asked to open
// and its process, and ends with its exit code at once or when the test
// releases it, as xdg-open ends with 3 when it finds no viewer; or it cannot
// be started at all.

#include "patience.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <signal.h>
#include <string>
#include <vector>

class FakeLauncher {
public:
    enum class Ends { AtOnce, WhenReleased, NeverStarts };

    explicit FakeLauncher(int exitCode, Ends ends = Ends::AtOnce) : path_(qgetenv("PATH")) {
        QFile script(bin_.filePath("xdg-open"));
        script.open(QIODevice::WriteOnly);
        // A held launcher gives up after five minutes by itself, so that a
        // test that fails leaves none behind for long.
        const QString wait = ends == Ends::WhenReleased
                                 ? QString("n=0\nwhile [ ! -e '%1' ] && [ $n -lt 3000 ]; do sleep "
                                           "0.1; n=$((n+1)); done\n")
                                       .arg(bin_.filePath("release"))
                                 : QString();
        script.write(
            QString("#!%1\necho $$ >> '%2'\nprintf '%s' \"$1\" > '%3'\n%4: > '%5'\n"
                    "exit %6\n")
                .arg(ends == Ends::NeverStarts ? bin_.filePath("no-such-shell")
                                               : QString("/bin/sh"))
                .arg(bin_.filePath("started"), bin_.filePath("asked"), wait, bin_.filePath("ended"))
                .arg(exitCode)
                .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toUtf8() + ":" + path_);
    }
    // A held launcher is released and, as it is no child of the test's,
    // waited for through its process entry.
    ~FakeLauncher() {
        Release();
        for (const std::int64_t pid : Started())
            for (QDeadlineTimer t(kPatientMs); Running(pid) && !t.hasExpired();)
                QThread::msleep(10);
        qputenv("PATH", path_);
    }
    FakeLauncher(const FakeLauncher&) = delete;
    FakeLauncher& operator=(const FakeLauncher&) = delete;

    void Release() { QFile(bin_.filePath("release")).open(QIODevice::WriteOnly); }
    bool Ended() const { return QFile::exists(bin_.filePath("ended")); }
    QString Asked() const {
        QFile asked(bin_.filePath("asked"));
        return asked.open(QIODevice::ReadOnly) ? QString::fromUtf8(asked.readAll()) : QString();
    }
    // The process of each start, in order.
    std::vector<std::int64_t> Started() const {
        std::vector<std::int64_t> pids;
        std::ifstream started(bin_.filePath("started").toStdString());
        for (std::int64_t pid = 0; started >> pid;)
            pids.push_back(pid);
        return pids;
    }
    // Whether the process runs (an ended one is gone or a zombie).
    static bool Running(std::int64_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) return false;
        const auto name = line.rfind(')');
        return name != std::string::npos && name + 2 < line.size() && line[name + 2] != 'Z';
    }
    // Whether the process has no entry left: ended and collected by its parent.
    static bool Gone(std::int64_t pid) { return kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

private:
    QByteArray path_;
    QTemporaryDir bin_;
};
