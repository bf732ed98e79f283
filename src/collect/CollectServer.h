#pragma once

#include "RoundRobinQueue.h"

#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <map>

class Transfer;
struct CollectContext;

// How many connections the collector holds.
struct ConnectionLimits {
    int maxConnections = 64;  // served at once
    int maxPending = 1024;    // served, waiting and in their opening
    int maxPerAddress = 8;    // served and waiting, from one address
};

// Listens for as long as it runs and takes every connection at once, so
// that each keeps its sender's address and the time it came, and reads its
// opening at once: up to maxConnections whose proof holds (or whose plain
// header is whole) are served, each a Transfer, all on one event loop; the
// others wait their turn, player by player (without a roster, address by
// address, an IPv6 /64 counting as one). A full queue drops the oldest
// connection still in its opening.
class CollectServer : public QObject
{
    Q_OBJECT

public:
    CollectServer(CollectContext& context, ConnectionLimits limits, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }
    // Connections served or waiting.
    int open() const { return m_open; }

    // Stops listening and gives the transfers in progress grace to end;
    // those still going then end early, and every other ends at once. stopped follows.
    void stop(std::chrono::milliseconds grace);

signals:
    void stopped();

private:
    void takeConnections();
    // address as shown; counted as limited (PeerAddress::limitedAs).
    void refuseAtOnce(QTcpSocket* socket, const QString& address, const QString& counted, const QByteArray& code,
                      const QString& words);
    bool makeRoom();
    QString turnOf(const Transfer* transfer, const QString& counted) const;
    void serveWaiting();
    void transferFinished(Transfer* transfer, const QString& counted);
    void endTransfers();

    CollectContext& m_context;
    ConnectionLimits m_limits;
    QTcpServer m_server;
    RoundRobinQueue<Transfer*> m_waiting;
    std::map<QString, int> m_fromAddress; // by PeerAddress::limitedAs
    int m_open = 0;
    int m_served = 0;
    bool m_stopping = false;
    QTimer m_grace;
};
