#pragma once
// The whole program in this process driven as a test program drives it: the
// bench's instruments in the registry's resource cache, settings in a folder
// of their own with remote control on a free port, "SETUP;" and "START;"
// sent and "IS_READY?;" and "FINISHED?;" polled over TCP.

#include "../instruments/simbench_process.h"
#include "../support/event_pump.h"
#include "../support/fakes.h"
#include "../support/free_port.h"
#include "../support/registry_fixture.h"
#include "EngineWindows.h"
#include "General.h"
#include "IEC.h"
#include "MainForm.h"
#include "RegAccess.h"
#include "RemoteServer.h"
#include "SetHandle.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <set>
#include <string>
#include <vector>

class RemoteRun {
public:
    // Lists the bench's instruments (each once) and writes a settings file
    // with remote control on into `folder`, which must be the program folder
    // already. Loads the main window, which goes with this object.
    RemoteRun(const std::string& folder, const SimBench& bench) : main(MainForm::Instance()) {
        std::set<std::string> listed;
        int n = 0;
        for (const char* role : {"modsource", "rf", "analyzer"}) {
            const std::string resource = bench.Resource(role);
            if (resource.empty() || !listed.insert(resource).second) continue;
            RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE,
                                     SetHandle::kDefaultDeviceRegEntry,
                                     "DEVICE" + std::to_string(++n), resource);
        }
        const int port = FreeSettingsPort();
        std::ofstream(folder + "/Quillon.INI")
            << "[Measure]\r\nTCPIPActive=1\r\nTCPIPPort=" << port << "\r\n";
        main.resize(1400, 950);
        main.MDIForm_Load();
        client.connectToHost(QHostAddress::LocalHost, quint16(port));
        PumpUntil([&] { return client.state() == QAbstractSocket::ConnectedState; });
        QObject::connect(&client, &QTcpSocket::readyRead,
                         [this] { replies += client.readAll().toStdString(); });
    }

    ~RemoteRun() { delete &main; }
    RemoteRun(const RemoteRun&) = delete;
    RemoteRun& operator=(const RemoteRun&) = delete;

    bool Connected() const { return client.state() == QAbstractSocket::ConnectedState; }

    // The answer to a query; what has come once the connection is gone, so
    // that no loop of queries outlives it.
    std::string Ask(const char* query) {
        replies.clear();
        client.write(query);
        PumpUntil([&] { return replies.size() >= 11 || !Connected(); });
        return replies;
    }

    // Sends the commands (ending with "SETUP;") and waits until the program
    // is ready to start; whether it is.
    bool Setup(const std::string& commands) {
        client.write(commands.c_str());
        std::string ready;
        PumpUntil([&] { return (ready = Ask("IS_READY?;")) == "IS_READY:1;" || !Connected(); });
        return ready == "IS_READY:1;";
    }

    // Sends the commands (a START and what a test program sends with it) and
    // polls until the run has finished; whether it did. The run executes
    // inside the handler of START, so the polls are answered meanwhile, as a
    // test program's would be; `busyPolls` counts those.
    bool Start(const std::string& commands = "START;") {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            client.write("FINISHED?;");
            if (General::MeasureBusy) ++busyPolls;
        });
        replies.clear();
        client.write(commands.c_str());
        poll.start(200);
        PumpUntil([&] { return replies.find("FINISHED:1;") != std::string::npos || !Connected(); },
                  240000);
        return replies.find("FINISHED:1;") != std::string::npos;
    }

    MainForm& main;
    QTcpSocket client;
    std::string replies;
    int busyPolls = 0;
};

// Services that answer no question, the registry and the program folder in
// temporary places, the engine's windows installed.
struct RemoteRunFixture : RegistryFixture {
    FakeMessageBox boxes;
    FakeBigMessage big;
    FakeStatus status;
    FakeSleep sleep;
    Services::Scoped<Services::MessageBoxService> s1{boxes};
    Services::Scoped<Services::BigMessageService> s2{big};
    Services::Scoped<Services::StatusDisplayService> s3{status};
    Services::Scoped<Services::SleepService> s4{sleep};
    QTemporaryDir folder;

    void SetUp() override {
        RegistryFixture::SetUp();
        SetHandle::SetProgramFolder(folder.path().toStdString());
        EngineWindows::Install();
    }
    void TearDown() override {
        IEC::Instance().SetModSourVIF(nullptr);
        IEC::Instance().SetRFSourVIF(nullptr);
        IEC::Instance().SetAnaVIF(nullptr);
        EngineWindows::Uninstall();
        SetHandle::SetProgramFolder("");
        RegistryFixture::TearDown();
    }
};
