// Programs started for the operator: how each ended is told, whether or not
// the system gives a descriptor to watch it, and once it has ended it is
// collected and no descriptor for it is left open.

#include "../event_pump.h"
#include "../fake_launcher.h"
#include "LauncherProcess.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

// How many process descriptors this process holds open.
int OpenProcessDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(entry.path(), ec);
        if (!ec && target.string() == "anon_inode:[pidfd]") ++count;
    }
    return count;
}

// Starts a shell that notes its process in `folder` and then runs `script`;
// how it ended, once it has; nullopt when it could not be started or gave no
// answer in time.
std::optional<bool> RunToItsEnd(const QTemporaryDir& folder, const QString& script) {
    std::optional<bool> answer;
    const QString noted = folder.filePath("pid");
    if (!LauncherProcess::Start("/bin/sh", {"-c", "echo $$ > '" + noted + "'; " + script},
                                [&answer](bool succeeded) { answer = succeeded; }))
        return std::nullopt;
    PumpUntil([&answer] { return answer.has_value(); });
    return answer;
}

std::int64_t NotedProcess(const QTemporaryDir& folder) {
    QFile noted(folder.filePath("pid"));
    return noted.open(QIODevice::ReadOnly) ? noted.readAll().trimmed().toLongLong() : 0;
}

} // namespace

TEST(LauncherProcess, WithoutAProcessDescriptorHowTheProgramEndedIsToldAndItIsCollected) {
    LauncherProcess::RefuseProcessDescriptors(true);
    const auto watchAsBefore =
        qScopeGuard([] { LauncherProcess::RefuseProcessDescriptors(false); });
    struct Case {
        const char* script;
        bool succeeded;
    };
    const Case cases[] = {
        {"exit 0", true},
        {"exit 3", false},
        {"sleep 1; exit 4", false},
        {"kill -9 $$", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        QTemporaryDir folder;
        EXPECT_EQ(RunToItsEnd(folder, c.script), std::optional<bool>(c.succeeded));
        const std::int64_t pid = NotedProcess(folder);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(FakeLauncher::Gone(pid)) << "left as a zombie";
    }
}

TEST(LauncherProcess, AnEndedProgramLeavesNoDescriptorOpen) {
    for (const char* script : {"exit 0", "exit 3"}) {
        SCOPED_TRACE(script);
        QTemporaryDir folder;
        ASSERT_TRUE(RunToItsEnd(folder, script).has_value());
        EXPECT_TRUE(FakeLauncher::Gone(NotedProcess(folder))) << "left as a zombie";
        EXPECT_EQ(OpenProcessDescriptors(), 0);
    }
}
