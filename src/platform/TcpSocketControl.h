#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

#include <vector>

class QTcpSocket;

// One TCP socket that first listens and then, once a connection request is
// accepted, serves that one connection, as the receiver window's socket
// component does. Its state is the component's state code. Every event is
// delivered from the event loop on its own, never from inside the network
// layer, so a handler may close the socket or process events freely.
class TcpSocketControl : public QObject
{
    Q_OBJECT

public:
    enum State : int {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8, // the peer has closed; the close event is under way
        Error = 9,
    };

    // What one read takes from the network at most: a handler slower than
    // the network keeps memory flat.
    static constexpr qint64 ReadBufferSize = 1 << 20;

    explicit TcpSocketControl(QObject* parent = nullptr);
    ~TcpSocketControl() override;

    int state() const { return m_state; }

    // After a listen, the port actually in use.
    qint32 localPort() const { return m_localPort; }
    bool setLocalPort(qint32 port, QString* error);

    // Binds the local port on every IPv4 address of the machine and listens.
    bool listen(QString* error);
    // Takes the connection that requestID names; nothing listens any more.
    bool accept(qintptr requestID, QString* error);
    // Ends listening, the connection and any request not yet accepted.
    void close();

    // Every byte waiting, emptying the receive buffer.
    QByteArray getData();

    // The connected peer's address; empty when nothing is connected.
    QString remoteHostIP() const;

signals:
    void connectionRequest(qintptr requestID);
    void dataArrival(qint32 bytesTotal);
    // The peer has closed the connection and every byte it sent was delivered.
    void closeEvent();

private:
    void takeRequests();
    void deliverRequests();
    void queueData();
    void deliverData();
    void deliverClose();
    void retire(QTcpSocket* socket);

    QTcpServer m_server;
    QTcpSocket* m_socket = nullptr;
    std::vector<QTcpSocket*> m_requests;
    QTcpSocket* m_offered = nullptr;
    qint32 m_localPort = 0;
    State m_state = Closed;
    bool m_dataQueued = false;
    bool m_delivering = false;
    bool m_peerClosed = false;
};
