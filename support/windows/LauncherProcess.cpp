// Programs started for the operator, left to run on, and watched to their end
// while Quillon runs.

#include "LauncherProcess.h"

#include <QCoreApplication>
#include <QFile>
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

bool g_refuseDescriptors = false;

// How often a program that cannot be watched through a descriptor is asked
// whether it has ended.
constexpr int kPollMs = 100;

// One started program, watched until it has ended and then collected, so
// that no zombie stays behind. Its process descriptor, where the system
// gives one, turns readable when the program has ended; where it gives none
// (descriptors used up, a sandbox that forbids them, an old kernel), the
// program is asked on a timer. The descriptor refers to the program without
// owning it: closing it, as leaving does, leaves the program running.
class Watch final : public QObject {
public:
    Watch(pid_t pid, int fd, std::function<void(bool)> ended)
        : QObject(QCoreApplication::instance()), pid_(pid), fd_(fd), ended_(std::move(ended)) {
        if (fd_ >= 0) {
            notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
            connect(notifier_, &QSocketNotifier::activated, this, &Watch::Ended);
        } else {
            poll_ = new QTimer(this);
            connect(poll_, &QTimer::timeout, this, &Watch::Ended);
            poll_->start(kPollMs);
        }
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
        if (got == 0) return; // not ended yet
        // Collected elsewhere (got < 0): how it ended is unknown, so no alarm.
        const bool succeeded = got < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::function<void(bool)> ended = std::move(ended_);
        Forget();
        deleteLater();
        if (ended) ended(succeeded);
    }
    void Forget() {
        ended_ = nullptr;
        if (notifier_) notifier_->setEnabled(false);
        if (poll_) poll_->stop();
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    pid_t pid_;
    int fd_;
    std::function<void(bool)> ended_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* poll_ = nullptr;
};

// The file actions and attributes of a spawn, each destroyed only once it
// has been made.
class SpawnSetup {
public:
    SpawnSetup()
        : filesMade_(posix_spawn_file_actions_init(&files) == 0),
          attributesMade_(posix_spawnattr_init(&attributes) == 0) {}
    ~SpawnSetup() {
        if (filesMade_) posix_spawn_file_actions_destroy(&files);
        if (attributesMade_) posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool Made() const { return filesMade_ && attributesMade_; }

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;

private:
    bool filesMade_;
    bool attributesMade_;
};

// The program's standard input, output and error are /dev/null, every other
// descriptor closed; no terminal, no process group and no signal
// dispositions or mask of Quillon's. Any step of that which fails starts
// nothing.
bool Spawn(const QString& program, const QStringList& arguments, pid_t& pid) {
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Made()) return false;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    const bool ready =
        posix_spawn_file_actions_addopen(&setup.files, 0, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addopen(&setup.files, 1, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawn_file_actions_adddup2(&setup.files, 1, 2) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&setup.files, 3) == 0 &&
        posix_spawnattr_setsigmask(&setup.attributes, &none) == 0 &&
        posix_spawnattr_setsigdefault(&setup.attributes, &all) == 0 &&
        posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                        POSIX_SPAWN_SETSIGDEF) == 0;
    return ready &&
           posix_spawn(&pid, argv[0], &setup.files, &setup.attributes, argv.data(), environ) == 0;
}

// A descriptor that watches the program; -1 when the system gives none.
int OpenProcessDescriptor(pid_t pid) {
    if (g_refuseDescriptors) return -1;
    return int(syscall(SYS_pidfd_open, pid, 0));
}

} // namespace

bool Start(const QString& program, const QStringList& arguments, std::function<void(bool)> ended) {
    QCoreApplication* app = QCoreApplication::instance();
    pid_t pid = 0;
    if (!app || !Spawn(program, arguments, pid)) return false;
    // Only this process collects its children, so the number still names
    // the program, ended or not.
    new Watch(pid, OpenProcessDescriptor(pid), std::move(ended));
    return true;
}

void RefuseProcessDescriptors(bool refuse) {
    g_refuseDescriptors = refuse;
}

} // namespace LauncherProcess
