#pragma once
// The TCP server a test program drives Quillon with: one client at a time
// (a new one replaces the old), its text fed to the remote-control protocol.

#include "RemoteProtocol.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

class RemoteServer : public QObject {
    Q_OBJECT

public:
    // Replies a client has not taken, beyond what the system buffers for it:
    // past this the client is dropped, as one that sends endless text without
    // ";" is, rather than letting one peer grow the program without bound.
    static constexpr qint64 MaxUnsent = qint64(RemoteProtocol::MaxPending);

    explicit RemoteServer(RemoteActions& actions, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Closes any listening socket and client, then listens on the port on all
    // interfaces. A port that cannot be listened on is reported in the status
    // log and a message box; the program runs on without remote control.
    bool Listen(int port);
    // Stops listening and drops the client.
    void Close();
    bool IsListening() const { return server_.isListening(); }
    quint16 Port() const { return server_.serverPort(); }

private:
    // A client's readyRead and disconnected reach Receive and PeerClosed
    // queued, never from inside the socket's own code: a write that meets a
    // peer that has gone makes the socket emit disconnected at once, and a
    // START runs the whole measurement inside Receive. So no handler drops a
    // client under a caller still using it, no socket is deleted while one
    // of its calls is on the stack, and data is signalled during a START.
    void Accept();
    void Receive();
    // Installed as PollAnswers' hook: the client's polls that have arrived
    // are answered from inside a step that talks to an instrument, without
    // any other event running.
    void AnswerPolls();
    // Feeds what the client sent; drops a client whose text has no end.
    void Take(const QPointer<QTcpSocket>& client, bool pollsOnly);
    void PeerClosed(const QPointer<QTcpSocket>& peer);
    void Send(const std::string& text);
    // Closes the client's connection at once; its unfinished command goes.
    void DropClient();

    RemoteProtocol protocol_;
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
};
