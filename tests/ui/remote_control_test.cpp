// The remote-control protocol and its TCP server, driven by a real client.

#include "../support/delivered.h"
#include "../support/event_pump.h"
#include "../support/fakes.h"
#include "../support/free_port.h"
#include "General.h"
#include "PollAnswers.h"
#include "RemoteActions.h"
#include "RemoteProtocol.h"
#include "RemoteServer.h"
#include "RunState.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FakeActions : RemoteActions {
    std::vector<std::string> calls;
    bool enabled = false;
    std::function<void()> onStart;
    bool SetTargetLevelText(const std::string& t) override {
        calls.push_back("level " + t);
        General::TargetLevel = float(std::stod(t));
        return true;
    }
    void SetSignalType(std::int16_t t) override { calls.push_back("type " + std::to_string(t)); }
    void Setup() override {
        calls.push_back("setup");
        enabled = true;
    }
    // Under way while it runs, as the action window's start is.
    void Start() override {
        calls.push_back("start");
        const RunState::Scope run;
        if (onStart) onStart();
    }
    void CloseAll() override { calls.push_back("closeall"); }
    bool StartEnabled() const override { return enabled; }
};

struct ProtocolTest : ::testing::Test {
    FakeActions actions;
    std::string sent;
    RemoteProtocol protocol{actions, [this](const std::string& s) { sent += s; }};
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> scopedStatus{status};
    void SetUp() override {
        General::MeasureBusy = false;
        General::AMAMOrder = General::AMPMOrder = 9;
        General::AMAMGrid = General::AMPMGrid = 50;
        General::AMAMLowIgn = false;
    }
};

} // namespace

TEST_F(ProtocolTest, CommandsRunInOrderAcrossPacketsAndCase) {
    EXPECT_TRUE(protocol.Feed("LEVEL:-3;SIGNALTYPE:1;"));
    EXPECT_TRUE(protocol.Feed("\r\n level:-"));
    EXPECT_EQ(actions.calls, (std::vector<std::string>{"level -3", "type 1"}));
    EXPECT_TRUE(protocol.Feed("7;\r\n"));
    EXPECT_EQ(actions.calls.back(), "level -7");
    // Blanks inside a command belong to it: "START " is not START, while a
    // value keeps its blanks and still reads as a number.
    protocol.Feed("START ;LEVEL: -5 ;Foo:bar;");
    EXPECT_EQ(actions.calls.back(), "level  -5 ");
    EXPECT_EQ(sent, "UNKNOWN:START UNKNOWN:Foo");
    EXPECT_TRUE(protocol.Pending().empty());

    // The same bytes mean the same however they are split: a blank or line
    // end that ends a read inside a command stays part of it.
    sent.clear();
    actions.calls.clear();
    for (const std::vector<std::string>& pieces : {std::vector<std::string>{"LEVEL :-3;"},
                                                   {"LEVEL ", ":-3;"},
                                                   {"LEVEL:-7\r;"},
                                                   {"LEVEL:-7\r", ";"},
                                                   {"LEVEL:-7", std::string(1, '\0'), ";"}})
        for (const std::string& piece : pieces)
            protocol.Feed(piece);
    EXPECT_EQ(sent, "UNKNOWN:LEVEL UNKNOWN:LEVEL ");
    EXPECT_TRUE(actions.calls.empty());
}

TEST_F(ProtocolTest, QueriesFollowTheStartButton) {
    protocol.Feed("IS_READY?;FINISHED?;");
    EXPECT_EQ(sent, "IS_READY:0;FINISHED:0;");
    sent.clear();
    // Keywords are ASCII: a long s and a dotless i upper-case to ASCII only
    // under Unicode rules, and do not make SETUP and IS_READY?.
    protocol.Feed("\u017FETUP;\u0131s_ready?;");
    EXPECT_EQ(sent, "UNKNOWN:\u017FETUPUNKNOWN:\u0131s_ready?");
    EXPECT_TRUE(actions.calls.empty());
    sent.clear();
    protocol.Feed("setup;is_ready?;");
    EXPECT_EQ(sent, "IS_READY:1;");
}

TEST_F(ProtocolTest, SettersStoreValidValuesAndRefuseTheRest) {
    const std::vector<std::tuple<std::string, std::int16_t*, std::int16_t>> cases = {
        {"AMAMORDER:5;", &General::AMAMOrder, 5},   {"AMAMORDER:4.5;", &General::AMAMOrder, 4},
        {"AMAMORDER:20;", &General::AMAMOrder, 4},  {"AMAMORDER:1;", &General::AMAMOrder, 4},
        {"AMAMORDER;", &General::AMAMOrder, 4},     {"AMPMORDER:19;", &General::AMPMOrder, 19},
        {"AMPMORDER:20;", &General::AMPMOrder, 19}, {"AMPMORDER:70000;", &General::AMPMOrder, 19},
        {"AMAMPOINTS:0;", &General::AMAMGrid, 50},  {"AMAMPOINTS:x;", &General::AMAMGrid, 50},
        {"AMPMPOINTS:80;", &General::AMPMGrid, 80},
    };
    for (const auto& [command, target, expected] : cases) {
        protocol.Feed(command);
        EXPECT_EQ(*target, expected) << command;
    }
    protocol.Feed("SIGNALTYPE:4;SIGNALTYPE:-1;SIGNALTYPE:99999;LEVEL:abc;LEVEL;LEVEL:;");
    EXPECT_TRUE(actions.calls.empty());
    EXPECT_TRUE(sent.empty()) << "setters never answer";
    EXPECT_GE(status.lines.size(), 6u);

    protocol.Feed("AMAMLOWLIM:2,5;AMAMLOWIGN:1;");
    EXPECT_DOUBLE_EQ(General::AMAMLowLim, 2.5);
    EXPECT_TRUE(General::AMAMLowIgn);
    for (const char* off : {"AMAMLOWIGN:2;", "AMAMLOWIGN:1;AMAMLOWIGN:yes;", "AMAMLOWIGN:;"}) {
        protocol.Feed(off);
        EXPECT_FALSE(General::AMAMLowIgn) << off;
    }
}

// Values that the number readers would take as 0 (a sign or separators
// alone, a number beyond a double), that hold more than a number (which the
// target box would refuse at the next start, in a dialog nobody answers) or
// that overflow their setting's type are refused and logged, and change
// nothing.
TEST_F(ProtocolTest, ValuesThatAreNoNumberOrTooLargeAreRefused) {
    General::AMAMLowLim = General::AMPMLowLim = 7;
    const char* refused[] = {"LEVEL:-10dBm;", "LEVEL:.;", "LEVEL:-,;", "LEVEL:1e400;",
                             "LEVEL:1e39;", "LEVEL:-1e39;", "SIGNALTYPE:,;", "SIGNALTYPE:-.;",
                             "AMAMLOWLIM:-.;", "AMAMLOWLIM:1e400;", "AMPMLOWLIM:,;",
                             "AMPMLOWLIM:-1e400;", "AMAMORDER:1e400;", "AMPMPOINTS:.;",
                             // what the start would refuse: a level no analyzer
                             // measures, a signal the run cannot play
                             "LEVEL:100;", "LEVEL:-3.4e38;", "LEVEL:30.01;", "SIGNALTYPE:3;"};
    for (const char* command : refused) {
        status.lines.clear();
        protocol.Feed(command);
        EXPECT_EQ(status.lines.size(), 1u) << command;
    }
    EXPECT_TRUE(actions.calls.empty());
    EXPECT_EQ(General::AMAMLowLim, 7);
    EXPECT_EQ(General::AMPMLowLim, 7);
    EXPECT_EQ(General::AMAMOrder, 9);
    EXPECT_EQ(General::AMPMGrid, 50);
    EXPECT_TRUE(sent.empty());

    protocol.Feed("LEVEL:-130;LEVEL:+30;AMAMLOWLIM:1e300;AMPMLOWLIM:-,5;SIGNALTYPE:2;");
    EXPECT_EQ(actions.calls, (std::vector<std::string>{"level -130", "level +30", "type 2"}));
    EXPECT_EQ(General::AMAMLowLim, 1e300);
    EXPECT_EQ(General::AMPMLowLim, -0.5);
}

TEST_F(ProtocolTest, ActionsAreRefusedWhileARunIsInProgress) {
    {
        const RunState::Scope run;
        protocol.Feed("START;SETUP;CLOSEALL;FINISHED?;");
    }
    EXPECT_TRUE(actions.calls.empty());
    EXPECT_EQ(sent, "FINISHED:0;");
    protocol.Feed("CLOSEALL;");
    EXPECT_EQ(actions.calls, std::vector<std::string>{"closeall"});
}

TEST_F(ProtocolTest, EndlessTextWithoutSeparatorIsDroppedAndManyCommandsAllRun) {
    // 64 KiB without ";" may still become a command; one character more
    // may not.
    EXPECT_TRUE(protocol.Feed(std::string(65536, 'A')));
    EXPECT_EQ(protocol.Pending().size(), 65536u);
    EXPECT_FALSE(protocol.Feed("A"));
    EXPECT_TRUE(protocol.Pending().empty());
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "FINISHED?;";
    EXPECT_TRUE(protocol.Feed(many));
    EXPECT_EQ(sent.size(), 100000 * std::string("FINISHED:0;").size());
}

TEST_F(ProtocolTest, AStartRunningANestedFeedKeepsTheOrder) {
    actions.onStart = [&] {
        protocol.Feed("FINISHED?;LEVEL:-1;");
        actions.enabled = true;
    };
    // The nested call consumes the same buffer: the rest of the START's own
    // packet comes first, then what arrived during the run.
    protocol.Feed("START;FINISHED?;");
    EXPECT_EQ(sent, "FINISHED:0;FINISHED:0;");
    protocol.Feed("FINISHED?;");
    EXPECT_EQ(sent, "FINISHED:0;FINISHED:0;FINISHED:1;");
    // The run reads the settings as it goes: a setter sent during it changes nothing.
    EXPECT_EQ(actions.calls, (std::vector<std::string>{"start"}));
    EXPECT_EQ(status.lines.back(), "Remote LEVEL refused: a measurement is in progress.");
}

struct ServerTest : ::testing::Test {
    FakeActions actions;
    FakeStatus status;
    FakeMessageBox box;
    Services::Scoped<Services::StatusDisplayService> scopedStatus{status};
    Services::Scoped<Services::MessageBoxService> scopedBox{box};
    RemoteServer server{actions};
    void SetUp() override {
        General::MeasureBusy = false;
        General::TCPIPActive = true;
        ASSERT_TRUE(server.Listen(FreeSettingsPort()));
        General::TCPIPPort = std::int16_t(server.Port());
    }
    std::unique_ptr<QTcpSocket> Connect() {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QHostAddress::LocalHost, server.Port());
        EXPECT_TRUE(PumpUntil([&] { return s->state() == QAbstractSocket::ConnectedState; }));
        return s;
    }
    static std::string Reply(QTcpSocket& s, size_t n) {
        std::string got;
        PumpUntil([&] {
            got += s.readAll().toStdString();
            return got.size() >= n;
        });
        return got;
    }
};

namespace {

quint16 PortOf(const sockaddr_storage& a) {
    // IPv4 and IPv6 addresses keep their port at the same place.
    return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
}

quint16 LocalPort(int fd) {
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return PortOf(a);
}

// This process's end of the connection from `peerPort` to `port`; -1 if none.
int ServerEnd(quint16 port, quint16 peerPort) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_storage peer{};
        socklen_t n = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &n) == 0 &&
            PortOf(peer) == peerPort && LocalPort(fd) == port)
            return fd;
    }
    return -1;
}

tcp_info TcpInfo(int fd) {
    tcp_info info{};
    socklen_t n = sizeof info;
    getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &n);
    return info;
}

// Bytes the peer's system has taken from this end.
std::int64_t AckedBySystem(int fd) {
    return std::int64_t(TcpInfo(fd).tcpi_bytes_acked);
}

// Bytes the program has handed to the system on this end: taken by the
// peer, or still queued.
std::int64_t WrittenToSystem(int fd) {
    int queued = 0;
    ioctl(fd, SIOCOUTQ, &queued);
    return AckedBySystem(fd) + queued;
}

// Bytes that arrived on this end and the program has not read.
int Unread(int fd) {
    int n = 0;
    return ioctl(fd, SIOCINQ, &n) == 0 ? n : -1;
}

// A plain socket connected to `port` on loopback, and this process's end of
// the connection once the server has taken it (-1 if it never does).
struct RawClient {
    int fd = -1;
    int end = -1;
};
RawClient ConnectRaw(quint16 port) {
    RawClient c;
    c.fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(c.fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return c;
    PumpUntil([&] { return (c.end = ServerEnd(port, LocalPort(c.fd))) >= 0; });
    return c;
}

} // namespace

TEST_F(ServerTest, QueriesDuringARemoteStartAreAnswered) {
    auto client = Connect();
    client->write("IS_READY?;SETUP;");
    EXPECT_EQ(Reply(*client, 11), "IS_READY:0;");
    std::string during;
    actions.onStart = [&] {
        actions.enabled = false;
        client->write("FINISHED?;START;");
        during = Reply(*client, 11);
        actions.enabled = true;
    };
    client->write("START;");
    ASSERT_TRUE(PumpUntil([&] { return !during.empty(); }));
    EXPECT_EQ(during, "FINISHED:0;");
    client->write("FINISHED?;");
    EXPECT_EQ(Reply(*client, 11), "FINISHED:1;");
    EXPECT_EQ(std::count(actions.calls.begin(), actions.calls.end(), "start"), 1)
        << "the START sent during the run is refused";

    // A query sent in one packet with the START, by a client that then waits
    // for its answer, is answered during the run.
    during.clear();
    actions.onStart = [&] {
        actions.enabled = false;
        during = Reply(*client, 11);
        actions.enabled = true;
    };
    client->write("START;FINISHED?;");
    ASSERT_TRUE(PumpUntil([&] { return !during.empty(); }));
    EXPECT_EQ(during, "FINISHED:0;");
}

TEST_F(ServerTest, PollsAreAnsweredBetweenInstrumentCallsAndNothingElseRunsThere) {
    auto client = Connect();
    client->write("SETUP;");
    client->write("IS_READY?;");
    ASSERT_EQ(Reply(*client, 11), "IS_READY:1;");
    std::string between, after;
    bool otherEvent = false;
    actions.onStart = [&] {
        actions.enabled = false;
        QTimer::singleShot(0, [&otherEvent] { otherEvent = true; });
        client->write("FINISHED?;CLOSEALL;FINISHED?;");
        client->flush();
        // A step that talks to a slow instrument, and lets no event run.
        for (QDeadlineTimer t(kPatientMs); between.size() < 11 && !t.hasExpired();) {
            PollAnswers::Answer();
            if (client->waitForReadyRead(10)) between += client->readAll().toStdString();
        }
        EXPECT_FALSE(otherEvent);
        EXPECT_TRUE(actions.calls.back() == "start") << "CLOSEALL waits for a pass that may act";
        // The next event pump takes the rest, in order.
        after = Reply(*client, 11);
        actions.enabled = true;
    };
    client->write("START;");
    ASSERT_TRUE(PumpUntil([&] { return !after.empty(); }));
    EXPECT_EQ(between, "FINISHED:0;");
    EXPECT_EQ(after, "FINISHED:0;");
    EXPECT_EQ(status.lines.back(), "Remote CLOSEALL refused: a measurement is in progress.");
}

TEST_F(ServerTest, ASecondClientReplacesTheFirstAndAFloodIsDisconnected) {
    auto first = Connect();
    first->write("LEVEL:-2");
    auto second = Connect();
    EXPECT_TRUE(PumpUntil([&] { return first->state() == QAbstractSocket::UnconnectedState; }));
    second->write(";IS_READY?;");
    // Only the separator arrives on the new connection: an empty command.
    EXPECT_EQ(Reply(*second, 19), "UNKNOWN:IS_READY:0;")
        << "the first client's unfinished command is gone";
    EXPECT_TRUE(actions.calls.empty());

    second->write(QByteArray(65536 + 100, 'x'));
    EXPECT_TRUE(PumpUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));
    auto third = Connect();
    third->write("FINISHED?;");
    EXPECT_EQ(Reply(*third, 11), "FINISHED:0;") << "the server listens on";
}

// Measures what the system holds for a client that reads nothing (the
// server's end, in this process, tells how much it took), so that the
// replies left with the server itself are known to the byte.
TEST_F(ServerTest, UnreadRepliesAreKeptToAbout60KBeyondTheSystemBuffersAndDroppedBy70K) {
    const auto [client, end] = ConnectRaw(server.Port());
    ASSERT_GE(end, 0) << "the server took no connection";
    // The counts of the system start with the connection's set-up.
    const std::int64_t base = WrittenToSystem(end);
    std::int64_t sent = AckedBySystem(client), replies = 0;
    const std::string dropped = "characters of replies not read; the client was disconnected.";
    auto isDropped = [&] {
        return std::any_of(status.lines.begin(), status.lines.end(),
                           [&](const std::string& l) { return l.ends_with(dropped); });
    };
    // Unknown keywords whose replies are 1,000 bytes each.
    const std::string command = std::string(992, 'Q') + ";";
    auto heldAfter = [&](std::int64_t n) {
        std::string text;
        for (std::int64_t i = 0; i < n; ++i)
            text += command;
        EXPECT_EQ(send(client, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
        sent += std::int64_t(text.size());
        replies += 1000 * n;
        // Every command has reached the server's socket and been read off
        // it; whatever reading is still queued runs them.
        EXPECT_TRUE(PumpUntil(
            [&] { return isDropped() || (AckedBySystem(client) == sent && Unread(end) == 0); },
            60000));
        QCoreApplication::sendPostedEvents();
        return isDropped() ? -1 : replies - (WrittenToSystem(end) - base);
    };
    std::int64_t held = 0;
    while (held >= 0 && held < 60000)
        held = heldAfter(std::clamp<std::int64_t>((60000 - held) / 1000 + 1, 1, 32));
    ASSERT_GE(held, 60000) << "dropped while holding less";
    while (held >= 0 && held < 70000)
        held = heldAfter((70000 - held) / 1000 + 1);
    EXPECT_TRUE(isDropped()) << held << " bytes held";
    ::close(client);

    auto next = Connect();
    next->write("FINISHED?;");
    EXPECT_EQ(Reply(*next, 11), "FINISHED:0;") << "the server listens on";
}

// A client that queues many queries and resets its connection before the
// server has run: their replies meet a connection that is gone, and the
// server must go on to serve the next client.
TEST_F(ServerTest, AClientThatResetsWhileItsRepliesAreWrittenLeavesItServing) {
    const auto [client, end] = ConnectRaw(server.Port());
    ASSERT_GE(end, 0) << "the server took no connection";
    struct stat endFile {};
    ASSERT_EQ(fstat(end, &endFile), 0);
    // Its first reply shows it is the client being served.
    ASSERT_EQ(send(client, "IS_READY?;", 10, MSG_NOSIGNAL), 10);
    ASSERT_TRUE(PumpUntil([&] { return Unread(client) >= 11; }));
    char first[11];
    ASSERT_EQ(recv(client, first, sizeof first, 0), 11);
    EXPECT_EQ(std::string(first, sizeof first), "IS_READY:0;");

    std::string queries;
    for (int i = 0; i < 1000; ++i)
        queries += "IS_READY?;";
    ASSERT_EQ(send(client, queries.data(), queries.size(), MSG_NOSIGNAL), ssize_t(queries.size()));
    // The queries lie at the server's end before the reset, which would
    // otherwise discard them; no event runs meanwhile.
    ASSERT_TRUE(Delivered(client));
    const linger now{1, 0};
    setsockopt(client, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    ::close(client);
    // The server meets the queries and the reset together; it drops the
    // client (its end closes) before anyone else calls.
    ASSERT_TRUE(PumpUntil([&] {
        struct stat now {};
        return fstat(end, &now) != 0 || now.st_ino != endFile.st_ino;
    }));

    auto next = Connect();
    next->write("FINISHED?;");
    EXPECT_EQ(Reply(*next, 11), "FINISHED:0;") << "the server listens on";
}

TEST_F(ServerTest, APortThatCannotBeListenedOnIsReportedAndTheProgramRunsOn) {
    RemoteServer other{actions};
    EXPECT_FALSE(other.Listen(server.Port()));
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_NE(box.shown[0].find("cannot listen on port"), std::string::npos);
    EXPECT_EQ(box.shown[0].find("not a TCP port"), std::string::npos);
    for (const int port : {0, 65536, 70000}) {
        EXPECT_FALSE(other.Listen(port));
        EXPECT_NE(box.shown.back().find("not a TCP port"), std::string::npos) << port;
    }
    EXPECT_NE(status.lines.back().find("runs without remote control"), std::string::npos);
    EXPECT_FALSE(other.IsListening());
    // 65535 is a port (above the range the system hands out to outgoing
    // connections): only one that something else holds may be refused.
    if (other.Listen(65535)) {
        EXPECT_EQ(other.Port(), 65535);
    } else {
        QTcpServer probe;
        EXPECT_FALSE(probe.listen(QHostAddress::Any, 65535)) << "65535 was free";
        EXPECT_EQ(box.shown.back().find("not a TCP port"), std::string::npos);
    }
    other.Close();
    // Listening again closes the old socket first: the same port is free again.
    const quint16 port = server.Port();
    EXPECT_TRUE(server.Listen(port));
}

TEST_F(ServerTest, APeerCloseDropsItsUnfinishedCommandAndRereadsThePort) {
    auto client = Connect();
    int end = -1;
    ASSERT_TRUE(
        PumpUntil([&] { return (end = ServerEnd(server.Port(), client->localPort())) >= 0; }));
    client->write("LEVEL:-9");
    client->flush();
    // The unfinished command lies at the server's end and the server has
    // read it before the peer closes.
    ASSERT_TRUE(Delivered(int(client->socketDescriptor())));
    ASSERT_TRUE(PumpUntil([&] { return Unread(end) == 0; }));
    QCoreApplication::sendPostedEvents();
    const int moved = FreeSettingsPort();
    General::TCPIPPort = std::int16_t(moved);
    client->disconnectFromHost();
    ASSERT_TRUE(PumpUntil([&] { return server.Port() == moved; }));
    auto next = Connect();
    next->write(";");
    EXPECT_EQ(Reply(*next, 8), "UNKNOWN:");
    EXPECT_TRUE(actions.calls.empty());

    General::TCPIPActive = false;
    next->disconnectFromHost();
    EXPECT_TRUE(PumpUntil([&] { return !server.IsListening(); }));
}
