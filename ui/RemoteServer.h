#pragma once
// The TCP server a test program drives Quillon with: one client at a time
// (a new one replaces the old), its text fed to the remote-control protocol.

#include "RemoteProtocol.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

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
    void Accept();
    void Receive();
    void PeerClosed();
    void Send(const std::string& text);
    // Closes the client's connection at once; its unfinished command goes.
    void DropClient();

    RemoteProtocol protocol_;
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    // Qt signals no new data while a handler of the same socket runs, and a
    // START runs the whole measurement inside the handler: the poll picks up
    // commands (typically "FINISHED?") that arrive meanwhile.
    QTimer poll_;
};
