#pragma once

#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <chrono>

class Transfer;
struct CollectContext;

// Listens for as long as it runs and serves many connections at once, each
// a Transfer, all on one event loop. Beyond maxConnections, new connections
// wait in the listening socket's backlog until one ends.
class CollectServer : public QObject
{
    Q_OBJECT

public:
    CollectServer(CollectContext& context, int maxConnections, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }

    // Stops listening and gives the transfers in progress grace to end;
    // those still going then end early. stopped follows.
    void stop(std::chrono::milliseconds grace);

signals:
    void stopped();

private:
    void takeConnections();
    void transferFinished(Transfer* transfer);
    void endTransfers();

    CollectContext& m_context;
    int m_maxConnections;
    QTcpServer m_server;
    int m_active = 0;
    bool m_stopping = false;
    QTimer m_grace;
};
