#pragma once
// The quillon program as an operator starts it against the simulated bench:
// the bench's instruments in its resource cache, remote control on a free
// port, its files and registry in a temporary folder and its standard error
// in a file there; and a remote client of it whose queries end with the
// connection.

#include "../instruments/simbench_process.h"
#include "../support/free_port.h"
#include "../support/patience.h"
#include "SetHandle.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <fstream>
#include <string>

class ProgramOnTheBench {
public:
    // `env` is the environment the program starts with; the folders are added.
    ProgramOnTheBench(const QTemporaryDir& folder, const SimBench& bench,
                      QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
        : errors_(folder.filePath("stderr.txt")) {
        {
            std::ofstream reg(folder.filePath("registry.txt").toStdString());
            reg << "[HKEY_LOCAL_MACHINE\\" << SetHandle::kDefaultDeviceRegEntry << "]\n";
            int n = 0;
            for (const char* role : {"modsource", "rf", "analyzer"})
                reg << "\"DEVICE" << ++n << "\"=sz:\"" << bench.Resource(role) << "\"\n";
        }
        const int port = FreeSettingsPort();
        std::ofstream(folder.filePath("Quillon.INI").toStdString())
            << "[Measure]\r\nTCPIPActive=1\r\nTCPIPPort=" << port << "\r\nTargetLevel=-5\r\n";
        env.insert("QUILLON_FOLDER", folder.path());
        env.insert("QUILLON_REGISTRY_FILE", folder.filePath("registry.txt"));
        env.insert("QUILLON_VISA_LAN_DISCOVERY", "off");
        // A runtime folder of its own, or Qt says on standard error that it has none.
        env.insert("XDG_RUNTIME_DIR", runtime_.path());
        process.setProcessEnvironment(env);
        process.setStandardErrorFile(errors_);
        process.start(QUILLON_APP, {});
        if (!process.waitForStarted(kPatientMs)) return;
        for (QDeadlineTimer t(kPatientMs); !t.hasExpired();) {
            client.abort();
            client.connectToHost(QHostAddress::LocalHost, quint16(port));
            if (client.waitForConnected(500)) return;
        }
    }
    ~ProgramOnTheBench() {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished(kPatientMs);
    }

    bool Connected() const { return client.state() == QAbstractSocket::ConnectedState; }
    // The answer to a query, up to and with its ";"; empty once the
    // connection is gone, so that no loop of queries outlives it.
    std::string Ask(const char* query) {
        if (!Connected()) return {};
        client.write(query);
        for (QDeadlineTimer t(kPatientMs);;) {
            received_ += client.readAll().toStdString();
            if (received_.find(';') != std::string::npos || !Connected() || t.hasExpired()) break;
            client.waitForReadyRead(1000);
        }
        const std::size_t end = received_.find(';');
        if (end == std::string::npos) return {};
        const std::string reply = received_.substr(0, end + 1);
        received_.erase(0, end + 1);
        return reply;
    }
    // Finds the instruments; whether the program is ready to start.
    bool Setup() {
        client.write("SETUP;");
        std::string reply;
        for (QDeadlineTimer t(kPatientMs);
             !t.hasExpired() && Connected() && reply != "IS_READY:1;";)
            reply = Ask("IS_READY?;");
        return reply == "IS_READY:1;";
    }
    // Finds the instruments and starts a run; whether it is under way.
    bool Start() {
        if (!Setup()) return false;
        client.write("START;");
        return Ask("FINISHED?;") == "FINISHED:0;";
    }
    // Waits for the run under way to end; whether it did.
    bool Finish() {
        std::string reply;
        for (QDeadlineTimer t(240000); !t.hasExpired() && Connected() && reply != "FINISHED:1;";)
            reply = Ask("FINISHED?;");
        return reply == "FINISHED:1;";
    }
    // Finds the instruments and measures; whether the run finished.
    bool Run() { return Start() && Finish(); }
    // What it wrote on standard error.
    QString Errors() const {
        QFile file(errors_);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    QProcess process;
    QTcpSocket client;

private:
    QTemporaryDir runtime_;
    QString errors_;
    std::string received_;
};
