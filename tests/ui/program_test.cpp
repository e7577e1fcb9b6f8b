// The quillon program itself, as a test program drives it over TCP against
// the simulated bench, with its files and registry in a temporary folder.

#include "../instruments/simbench_process.h"
#include "../support/free_port.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace {

QProcessEnvironment Environment(const QTemporaryDir& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUILLON_FOLDER", folder.path());
    env.insert("QUILLON_REGISTRY_FILE", folder.filePath("registry.txt"));
    env.insert("QUILLON_VISA_LAN_DISCOVERY", "off");
    return env;
}

} // namespace

TEST(Program, HelpNamesTheFoldersItUses) {
    QTemporaryDir folder;
    QProcess quillon;
    quillon.setProcessEnvironment(Environment(folder));
    quillon.start(QUILLON_APP, {"--help"});
    ASSERT_TRUE(quillon.waitForFinished(30000));
    EXPECT_EQ(quillon.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quillon.exitCode(), 0);
    const QString text = QString::fromUtf8(quillon.readAllStandardOutput());
    EXPECT_TRUE(text.contains(folder.path())) << text.toStdString();
    EXPECT_TRUE(text.contains(folder.filePath("registry.txt"))) << text.toStdString();
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
    {
        std::ofstream reg(folder.filePath("registry.txt").toStdString());
        reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korva&Tellin\\VISADeviceCache]\n";
        int n = 0;
        for (const char* role : {"modsource", "rf", "analyzer"})
            reg << "\"DEVICE" << ++n << "\"=sz:\"" << bench.Resource(role) << "\"\n";
    }
    const int port = FreeSettingsPort();
    std::ofstream(folder.filePath("Quillon.INI").toStdString())
        << "[Measure]\r\nTCPIPActive=1\r\nTCPIPPort=" << port << "\r\nTargetLevel=-5\r\n";

    QProcess quillon;
    quillon.setProcessEnvironment(Environment(folder));
    quillon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quillon.start(QUILLON_APP, {});
    ASSERT_TRUE(quillon.waitForStarted(30000));

    QTcpSocket client;
    QDeadlineTimer connecting(60000);
    do {
        client.abort();
        client.connectToHost(QHostAddress::LocalHost, quint16(port));
    } while (!client.waitForConnected(500) && !connecting.hasExpired());
    ASSERT_EQ(client.state(), QAbstractSocket::ConnectedState);
    auto ask = [&](const char* query) {
        client.write(query);
        client.waitForBytesWritten(5000);
        std::string reply;
        QDeadlineTimer t(30000);
        while (reply.size() < 11 && !t.hasExpired() && client.waitForReadyRead(1000))
            reply += client.readAll().toStdString();
        return reply;
    };
    EXPECT_EQ(ask("IS_READY?;"), "IS_READY:0;");
    client.write("SETUP;");
    std::string reply;
    for (QDeadlineTimer t(60000); !t.hasExpired() && reply != "IS_READY:1;";)
        reply = ask("IS_READY?;");
    ASSERT_EQ(reply, "IS_READY:1;");
    client.write("START;");
    client.waitForBytesWritten(5000);
    bool busySeen = false;
    for (QDeadlineTimer t(240000); !t.hasExpired();) {
        reply = ask("FINISHED?;");
        if (reply == "FINISHED:1;") break;
        busySeen = busySeen || reply == "FINISHED:0;";
    }
    EXPECT_EQ(reply, "FINISHED:1;");
    EXPECT_TRUE(busySeen) << "the queries were answered during the run";

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
    quillon.terminate();
    if (!quillon.waitForFinished(10000)) quillon.kill();
}
