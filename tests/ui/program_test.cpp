// The quillon program itself, as a test program drives it over TCP against
// the simulated bench, with its files and registry in a temporary folder.

#include "../instruments/simbench_process.h"
#include "../support/free_port.h"
#include "program_on_the_bench.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QProcessEnvironment Environment(const QTemporaryDir& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUILLON_FOLDER", folder.path());
    env.insert("QUILLON_REGISTRY_FILE", folder.filePath("registry.txt"));
    env.insert("QUILLON_VISA_LAN_DISCOVERY", "off");
    return env;
}

// Whether the process still runs (a crashed one is gone or a zombie).
bool Alive(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] != 'Z';
}

// Open sockets, pipes and files (not the event objects that come and go
// with the threads of the libraries).
long OpenFiles(qint64 pid) {
    long n = 0;
    std::error_code error;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code gone; // closed meanwhile
        const std::string target = std::filesystem::read_symlink(fd, gone).string();
        n += !gone && target.rfind("anon_inode:", 0) != 0;
    }
    return error ? -1 : n;
}

// Resident memory in kB.
long ResidentKB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

enum class Leave { Close, Reset, HalfClose };

// One client of the remote control: connects (retrying while the program
// lives, until `until`), waits for its first answer so that it is the one
// being served, sends queries and leaves without reading their answers.
// Whether it got in.
bool Visit(quint16 port, qint64 pid, Leave how, const QDeadlineTimer& until) {
    const std::string queries = "IS_READY?;FOO;IS_READY?;FOO;IS_READY?;FOO;IS_READY?;FOO;"
                                "IS_READY?;FOO;";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (!until.hasExpired() && Alive(pid)) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        // A client that takes the place of this one ends the wait early.
        const timeval patience{30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        char reply[64];
        send(fd, "IS_READY?;", 10, MSG_NOSIGNAL);
        for (size_t got = 0; got < 11;) {
            const ssize_t n = recv(fd, reply, 11 - got, 0);
            if (n <= 0) break;
            got += size_t(n);
        }
        send(fd, queries.data(), queries.size(), MSG_NOSIGNAL);
        if (how == Leave::Reset) {
            const linger now{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        } else if (how == Leave::HalfClose) {
            shutdown(fd, SHUT_WR);
            while (recv(fd, reply, sizeof reply, 0) > 0) {
            }
        }
        ::close(fd);
        return true;
    }
    return false;
}

} // namespace

TEST(Program, HelpNamesTheFoldersItUses) {
    QTemporaryDir folder;
    for (const char* option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        QProcess quillon;
        quillon.setProcessEnvironment(Environment(folder));
        quillon.start(QUILLON_APP, {option});
        ASSERT_TRUE(quillon.waitForFinished(kPatientMs));
        EXPECT_EQ(quillon.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(quillon.exitCode(), 0);
        const QString text = QString::fromUtf8(quillon.readAllStandardOutput());
        EXPECT_TRUE(text.contains(folder.path())) << text.toStdString();
        EXPECT_TRUE(text.contains(folder.filePath("registry.txt"))) << text.toStdString();
    }
}

// A "CVI" line the about box cannot use ends the program at once with code 2
// and one line that says why.
TEST(Program, AMalformedCVILineEndsWithCode2AndSaysWhy) {
    QTemporaryDir folder;
    for (const QString& line :
         {QString("CVI,\"Probe\",\"2.1\""), QString("CVI,\"Probe\",\"2.1\",\"d\",\"e\",\"f\",\"g"),
          QString("CVI,,\"2.1\",\"d\",\"e\",\"f\",\"g\"")}) {
        SCOPED_TRACE(line.toStdString());
        QProcess quillon;
        quillon.setProcessEnvironment(Environment(folder));
        quillon.start(QUILLON_APP, {line});
        ASSERT_TRUE(quillon.waitForFinished(30000));
        EXPECT_EQ(quillon.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(quillon.exitCode(), 2);
        const QString errors = QString::fromUtf8(quillon.readAllStandardError());
        const QStringList said = errors.split('\n').filter(QRegularExpression("^quillon: \\S"));
        EXPECT_EQ(said.size(), 1) << errors.toStdString();
    }
}

TEST(Program, ARemoteRunOnTheBenchEndsWithTheRFOff) {
    QTemporaryDir folder;
    SimBench bench(Args(""));
    ASSERT_TRUE(bench.ready);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    ProgramOnTheBench quillon(folder, bench, env);
    // What the program said, a sanitizer's report among it, when it failed.
    const auto said = qScopeGuard([&] {
        if (::testing::Test::HasFailure()) std::cerr << quillon.Errors().toStdString();
    });
    ASSERT_TRUE(quillon.Connected());
    EXPECT_EQ(quillon.Ask("IS_READY?;"), "IS_READY:0;");
    ASSERT_TRUE(quillon.Setup()) << (quillon.Connected() ? ""
                                                         : "the program closed the connection");
    // The polls begin once the bench hears from the run, so that they are
    // answered while it is under way.
    auto heard = [&] {
        std::size_t lines = 0;
        for (const char* role : {"modsource", "rf", "analyzer"})
            lines += bench.Log(role).size();
        return lines;
    };
    const std::size_t beforeRun = heard();
    quillon.client.write("START;");
    quillon.client.waitForBytesWritten(kPatientMs);
    for (QDeadlineTimer t(kPatientMs);
         heard() == beforeRun && quillon.Connected() && !t.hasExpired();)
        quillon.client.waitForReadyRead(10); // which also sees the connection end
    ASSERT_GT(heard(), beforeRun) << (quillon.Connected() ? "the run never began"
                                                          : "the program closed the connection");
    EXPECT_EQ(quillon.Ask("FINISHED?;"), "FINISHED:0;")
        << "the queries are answered during the run";
    ASSERT_TRUE(quillon.Finish()) << (quillon.Connected() ? ""
                                                          : "the program closed the connection");

    const auto rf = bench.Log("rf");
    std::vector<std::string> commands;
    for (const std::string& l : rf)
        if (l != "SYST:ERR?") commands.push_back(l);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "OUTP:STAT OFF");
    const auto mod = bench.Log("modsource");
    EXPECT_TRUE(std::any_of(mod.begin(), mod.end(), [](const std::string& l) {
        return l.rfind("MMEM:DATA", 0) == 0;
    })) << "the test signal was uploaded";
}

// Clients that leave before their answers are written, by closing, by
// resetting the connection or by shutting their sending side, one after
// another and several at once, leave the program running and serving, with
// no sockets or memory left behind.
TEST(Program, ClientsThatLeaveBeforeTheirAnswersLeaveItServing) {
    QTemporaryDir folder;
    const int port = FreeSettingsPort();
    std::ofstream(folder.filePath("Quillon.INI").toStdString())
        << "[Measure]\r\nTCPIPActive=1\r\nTCPIPPort=" << port << "\r\n";
    QProcessEnvironment env = Environment(folder);
    // The sanitizer holds freed memory back for a while, which would read as
    // growth; the fault looked for is a crash, which it still reports.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=0");
    QProcess quillon;
    quillon.setProcessEnvironment(env);
    quillon.setProcessChannelMode(QProcess::ForwardedChannels);
    quillon.start(QUILLON_APP, {});
    ASSERT_TRUE(quillon.waitForStarted(30000));
    const qint64 pid = quillon.processId();
    // 1,000 clients: 700 one after another, then 300 from 6 threads at once.
    auto visits = [&] {
        const QDeadlineTimer until(120000);
        std::atomic<int> in = 0;
        auto some = [&](int count, int threads) {
            std::vector<std::thread> running;
            for (int t = 0; t < threads; ++t)
                running.emplace_back([&, t, count, threads] {
                    for (int i = t; i < count; i += threads)
                        if (Visit(quint16(port), pid, Leave(i % 3), until)) ++in;
                });
            for (auto& thread : running)
                thread.join();
        };
        some(700, 1);
        some(300, 6);
        return in.load();
    };
    // A client that asks whether the program is ready, and its answer.
    auto ask = [&](QTcpSocket& client) {
        client.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (!client.waitForConnected(kPatientMs)) return std::string("not connected");
        client.write("IS_READY?;");
        std::string reply;
        for (QDeadlineTimer answer(kPatientMs);
             reply.size() < 11 && client.waitForReadyRead(int(answer.remainingTime()));)
            reply += client.readAll().toStdString();
        return reply;
    };
    // A first thousand lets the memory pools and queues grow to the size
    // they work at; the counts are taken with one client being served.
    ASSERT_EQ(visits(), 1000);
    long files = 0, memory = 0;
    {
        QTcpSocket first;
        ASSERT_EQ(ask(first), "IS_READY:0;");
        files = OpenFiles(pid);
    }
    // A second thousand takes the allocator past the jump it still makes
    // after the first.
    EXPECT_EQ(visits(), 1000);
    {
        QTcpSocket settled;
        ASSERT_EQ(ask(settled), "IS_READY:0;");
        memory = ResidentKB(pid);
    }

    // Each socket object kept would add about 2 kB: over three thousand
    // clients 6 MB, where the allocator drifts by a few hundred kB.
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(visits(), 1000);
    ASSERT_TRUE(Alive(pid));
    QTcpSocket last;
    EXPECT_EQ(ask(last), "IS_READY:0;");
    // The sockets of the clients it replaced close as it drops them.
    QDeadlineTimer closing(kPatientMs);
    while (OpenFiles(pid) > files && !closing.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(OpenFiles(pid), files);
    EXPECT_LT(ResidentKB(pid), memory + 1536) << "kB, from " << memory;
    EXPECT_TRUE(Alive(pid));
    quillon.terminate();
    if (!quillon.waitForFinished(10000)) quillon.kill();
}
