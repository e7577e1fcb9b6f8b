// Programs started for the operator, left to run on, and watched to their end
// through a process descriptor while Quillon runs.

#include "LauncherProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace LauncherProcess {
namespace {

// One started program. Its descriptor turns readable when the program has
// ended; the program is then collected, so that no zombie stays behind. The
// descriptor refers to the program without owning it: closing it, as
// leaving does, leaves the program running.
class Watch final : public QObject {
public:
    Watch(pid_t pid, int fd, std::function<void(bool)> ended)
        : QObject(QCoreApplication::instance()), pid_(pid), fd_(fd), ended_(std::move(ended)),
          notifier_(fd, QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, &Watch::Ended);
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &Watch::Forget);
    }
    ~Watch() override { Forget(); }

private:
    void Ended() {
        int status = 0;
        pid_t got = 0;
        do
            got = waitpid(pid_, &status, WNOHANG);
        while (got < 0 && errno == EINTR);
        if (got == 0) return; // not ended after all
        // Collected elsewhere (got < 0): how it ended is unknown, so no alarm.
        const bool succeeded = got < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::function<void(bool)> ended = std::move(ended_);
        Forget();
        deleteLater();
        if (ended) ended(succeeded);
    }
    void Forget() {
        ended_ = nullptr;
        notifier_.setEnabled(false);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    pid_t pid_;
    int fd_;
    std::function<void(bool)> ended_;
    QSocketNotifier notifier_;
};

// The program's standard input, output and error are /dev/null, every other
// descriptor closed; no terminal, no process group and no signal
// dispositions or mask of Quillon's.
bool Spawn(const QString& program, const QStringList& arguments, pid_t& pid) {
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    const auto release = qScopeGuard([&] {
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
    });
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    return posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ) == 0;
}

} // namespace

bool Start(const QString& program, const QStringList& arguments, std::function<void(bool)> ended) {
    QCoreApplication* app = QCoreApplication::instance();
    pid_t pid = 0;
    if (!app || !Spawn(program, arguments, pid)) return false;
    // Only this process collects its children, so the number still names
    // the program, ended or not.
    const int fd = int(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        new Watch(pid, fd, std::move(ended));
    } else if (ended) {
        // A system that cannot watch a process (before Linux 5.3).
        QTimer::singleShot(0, app, [ended] { ended(true); });
    }
    return true;
}

} // namespace LauncherProcess
