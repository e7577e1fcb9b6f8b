// The remote-control TCP server.

#include "RemoteServer.h"

#include "CrossMix.h"
#include "General.h"
#include "PollAnswers.h"
#include "Services.h"

#include <QTcpSocket>
#include <QTimer>
#include <poll.h>

namespace {
// The server whose client's polls are answered between instrument calls.
RemoteServer* g_answering = nullptr;
} // namespace

RemoteServer::RemoteServer(RemoteActions& actions, QObject* parent)
    : QObject(parent),
      protocol_(
          actions, [this](const std::string& text) { Send(text); },
          [this](std::function<void()> later) { QTimer::singleShot(0, this, std::move(later)); }) {
    connect(&server_, &QTcpServer::newConnection, this, &RemoteServer::Accept);
    g_answering = this;
    PollAnswers::SetHook([] {
        if (g_answering) g_answering->AnswerPolls();
    });
}

RemoteServer::~RemoteServer() {
    if (g_answering == this) {
        g_answering = nullptr;
        PollAnswers::SetHook({});
    }
    Close();
}

bool RemoteServer::Listen(int port) {
    Close();
    if (port >= 1 && port <= 65535 && server_.listen(QHostAddress::Any, quint16(port))) return true;
    const std::string why = port >= 1 && port <= 65535 ? server_.errorString().toStdString()
                                                       : std::string("not a TCP port");
    const std::string text = "Remote control cannot listen on port " + std::to_string(port) + ": " +
                             why + ". Quillon runs without remote control.";
    CrossMix::AddStatus(text);
    Services::Get<Services::MessageBoxService>().Message(
        "TCP/IP Control", text, Services::MsgIcon::Warning, Services::MsgButtons::OK);
    return false;
}

void RemoteServer::Close() {
    server_.close();
    DropClient();
}

void RemoteServer::DropClient() {
    if (client_) {
        // A Receive of this client may still be running (a START): it holds
        // the socket by a guarded pointer, and deleteLater frees it only
        // once control is back in an event loop.
        client_->disconnect(this);
        client_->abort();
        client_->deleteLater();
    }
    client_ = nullptr;
    protocol_.Reset();
}

void RemoteServer::Accept() {
    while (QTcpSocket* next = server_.nextPendingConnection()) {
        DropClient();
        client_ = next;
        connect(next, &QTcpSocket::readyRead, this, &RemoteServer::Receive, Qt::QueuedConnection);
        // The event may come after this socket was dropped and another took
        // its place: it may only end the socket that sent it.
        connect(
            next, &QTcpSocket::disconnected, this,
            [this, peer = QPointer<QTcpSocket>(next)] { PeerClosed(peer); }, Qt::QueuedConnection);
    }
}

void RemoteServer::Receive() {
    // Also without new text: commands a polls-only pass left waiting run now.
    if (const QPointer<QTcpSocket> client = client_) Take(client, false);
}

void RemoteServer::AnswerPolls() {
    const QPointer<QTcpSocket> client = client_;
    if (!client || client->state() != QAbstractSocket::ConnectedState) return;
    if (client->bytesAvailable() <= 0) {
        // Only a socket with something to read is read here: reading an idle
        // one would wait, and count as a time-out on it.
        pollfd ready{int(client->socketDescriptor()), POLLIN, 0};
        if (ready.fd < 0 || ::poll(&ready, 1, 0) <= 0) return;
        client->waitForReadyRead(0);
    }
    // The readyRead this may have emitted reaches Receive later, which runs
    // whatever this pass leaves waiting.
    if (client && client->bytesAvailable() > 0) Take(client, true);
}

void RemoteServer::Take(const QPointer<QTcpSocket>& client, bool pollsOnly) {
    const QByteArray data = client->readAll();
    const std::string_view text(data.constData(), size_t(data.size()));
    if (pollsOnly ? protocol_.AnswerPolls(text) : protocol_.Feed(text)) return;
    CrossMix::AddStatus("Remote control: a command longer than " +
                        std::to_string(RemoteProtocol::MaxPending) +
                        " characters; the client was disconnected.");
    if (client && client_ == client) DropClient();
}

void RemoteServer::PeerClosed(const QPointer<QTcpSocket>& peer) {
    if (!peer || peer != client_) return;
    DropClient();
    // The port setting is read again whenever the server listens after a
    // peer leaves; switched off meanwhile, it stops listening.
    if (!General::TCPIPActive)
        server_.close();
    else if (server_.serverPort() != quint16(General::TCPIPPort))
        Listen(General::TCPIPPort);
}

void RemoteServer::Send(const std::string& text) {
    // A peer that has gone is dropped by its queued "disconnected"; until
    // then its replies go nowhere.
    const QPointer<QTcpSocket> client = client_;
    if (!client || client->state() != QAbstractSocket::ConnectedState) return;
    client->write(text.data(), qint64(text.size()));
    // Meeting a closed peer, flush aborts the socket (its bytes go with it).
    client->flush();
    if (!client || client != client_ || client->bytesToWrite() <= MaxUnsent) return;
    CrossMix::AddStatus("Remote control: more than " + std::to_string(MaxUnsent) +
                        " characters of replies not read; the client was disconnected.");
    // The commands still buffered go with it: nobody would read their replies.
    DropClient();
}
