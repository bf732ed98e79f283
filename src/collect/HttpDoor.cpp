#include "HttpDoor.h"

#include "PeerAddress.h"

#include <QTimer>

#include <algorithm>

HttpDoor::HttpDoor(Limits limits, QObject* parent)
    : QTcpServer(parent)
    , m_limits(limits)
{
}

void HttpDoor::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    socket->setSocketDescriptor(handle);
    const QString address = PeerAddress::limitedAs(socket->peerAddress());
    if (int(m_open.size()) >= m_limits.maxConnections || m_fromAddress[address] >= m_limits.maxPerAddress) {
        if (m_fromAddress[address] == 0)
            m_fromAddress.erase(address);
        refuse(socket, "503 Service Unavailable");
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return;
    }
    Guard& guard = m_open[socket];
    guard.address = address;
    ++m_fromAddress[address];
    guard.idle = new QTimer(socket);
    guard.idle->setSingleShot(true);
    connect(guard.idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    guard.idle->start(m_limits.idle);
    connect(socket, &QObject::destroyed, this, [this, socket] {
        if (const auto found = m_open.find(socket); found != m_open.end()) {
            if (--m_fromAddress[found->second.address] == 0)
                m_fromAddress.erase(found->second.address);
            m_open.erase(found);
        }
    });
    // Before the server's own: a head too long is refused before it is read.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    addPendingConnection(socket);
}

void HttpDoor::inspect(QTcpSocket* socket)
{
    const auto found = m_open.find(socket);
    if (found == m_open.end())
        return;
    Guard& guard = found->second;
    if (guard.refused || guard.ending) {
        socket->readAll();
        return;
    }
    static constexpr char End[] = "\r\n\r\n";
    const QByteArray arrived = socket->peek(socket->bytesAvailable());
    for (qsizetype at = 0; at < arrived.size(); ++at) {
        const char c = arrived[at];
        if (guard.headBytes == 0 && (guard.unanswered > 0 || socket->bytesToWrite() > 0)) {
            // A request ahead of its turn: what came before it is the
            // server's, the rest is never read.
            guard.ending = true;
            const QByteArray taken = socket->read(arrived.size());
            for (qsizetype back = at - 1; back >= 0; --back)
                socket->ungetChar(taken[back]);
            return;
        }
        if (++guard.headBytes > m_limits.mostHeadBytes) {
            guard.refused = true;
            // What the server has not read yet, it never sees.
            socket->readAll();
            refuse(socket, "431 Request Header Fields Too Large");
            return;
        }
        guard.endMatched = c == End[guard.endMatched] ? guard.endMatched + 1 : (c == '\r' ? 1 : 0);
        if (guard.endMatched == 4) {
            guard.headBytes = 0;
            guard.endMatched = 0;
            ++guard.unanswered;
        }
    }
}

void HttpDoor::refuse(QTcpSocket* socket, const QByteArray& status)
{
    socket->write("HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    socket->disconnectFromHost();
    QTimer::singleShot(std::chrono::seconds(2), socket, &QTcpSocket::abort);
}

void HttpDoor::answered(QTcpSocket* socket)
{
    if (const auto found = m_open.find(socket); found != m_open.end()) {
        found->second.idle->start(m_limits.idle);
        found->second.unanswered = std::max(0, found->second.unanswered - 1);
    }
}

bool HttpDoor::ending(QTcpSocket* socket) const
{
    const auto found = m_open.find(socket);
    return found != m_open.end() && found->second.ending;
}

void HttpDoor::streams(QTcpSocket* socket)
{
    if (const auto found = m_open.find(socket); found != m_open.end())
        found->second.idle->stop();
}
