#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <chrono>
#include <map>
#include <unordered_map>

class QTimer;

// The league page's listening socket, keeping its connections in bounds
// before the HTTP server reads them: at most maxConnections at once, and
// maxPerAddress from one address (an IPv6 /64), so that no one address
// holds the page, /healthz among it (the next is answered 503 and closed),
// a request's head of at most
// mostHeadBytes (431 and closed), a connection that has no whole
// request answered within idle is closed, unless it streams events, and
// requests sent before the answer to the one ahead of them has gone are
// never read: that answer is the connection's last, so that a peer that
// pipelines and never reads holds one answer, not a hundred.
class HttpDoor : public QTcpServer
{
    Q_OBJECT

public:
    struct Limits {
        int maxConnections = 256;
        int maxPerAddress = 16; // /events listeners among them
        qint64 mostHeadBytes = 8 * 1024;
        std::chrono::milliseconds idle{15'000};
    };

    explicit HttpDoor(Limits limits, QObject* parent = nullptr);

    // A request on socket was answered: its idle time starts again.
    void answered(QTcpSocket* socket);
    // Whether the connection ends with the answer just given.
    bool ending(QTcpSocket* socket) const;
    // socket now streams events, for as long as its listener keeps up.
    void streams(QTcpSocket* socket);
    int open() const { return int(m_open.size()); }

protected:
    void incomingConnection(qintptr handle) override;

private:
    struct Guard {
        QTimer* idle = nullptr;
        qint64 headBytes = 0; // of the request that is arriving
        int endMatched = 0;   // of the "\r\n\r\n" that ends a head
        bool refused = false;
        int unanswered = 0;   // whole requests the server has not answered
        bool ending = false;  // requests came ahead of their turn
        QString address; // as counted
    };
    void inspect(QTcpSocket* socket);
    static void refuse(QTcpSocket* socket, const QByteArray& status);

    Limits m_limits;
    std::unordered_map<QTcpSocket*, Guard> m_open;
    std::map<QString, int> m_fromAddress;
};
