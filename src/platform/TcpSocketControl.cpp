#include "TcpSocketControl.h"

#include <QTcpSocket>

#include <algorithm>
#include <utility>

TcpSocketControl::TcpSocketControl(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpSocketControl::takeRequests);
}

TcpSocketControl::~TcpSocketControl()
{
    close();
}

bool TcpSocketControl::setLocalPort(qint32 port, QString* error)
{
    if (port < 0 || port > 65535) {
        *error = QStringLiteral("The port %1 is out of range: a port is a whole number from 0 to 65535.").arg(port);
        return false;
    }
    m_localPort = port;
    return true;
}

bool TcpSocketControl::listen(QString* error)
{
    if (m_state != Closed) {
        *error = QStringLiteral("The socket is not closed, so it cannot listen.");
        return false;
    }
    if (!m_server.listen(QHostAddress::AnyIPv4, quint16(m_localPort))) {
        *error = m_server.errorString();
        return false;
    }
    m_localPort = m_server.serverPort();
    m_state = Listening;
    return true;
}

void TcpSocketControl::takeRequests()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // Owned here, so closing the listener does not take it along.
        socket->setParent(this);
        socket->setReadBufferSize(ReadBufferSize);
        m_requests.push_back(socket);
    }
    QMetaObject::invokeMethod(this, &TcpSocketControl::deliverRequests, Qt::QueuedConnection);
}

void TcpSocketControl::deliverRequests()
{
    while (!m_requests.empty() && m_state == Listening) {
        m_offered = m_requests.front();
        m_requests.erase(m_requests.begin());
        emit connectionRequest(m_offered->socketDescriptor());
        if (m_offered)
            retire(m_offered);
        m_offered = nullptr;
    }
}

bool TcpSocketControl::accept(qintptr requestID, QString* error)
{
    if (!m_offered || m_offered->socketDescriptor() != requestID) {
        *error = QStringLiteral("No connection request %1 is waiting.").arg(requestID);
        return false;
    }
    if (m_state != Closed)
        close();
    m_socket = std::exchange(m_offered, nullptr);
    m_peerClosed = false;
    m_state = Connected;
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpSocketControl::queueData);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_peerClosed = true;
        queueData();
    });
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        m_peerClosed = true;
    queueData();
    return true;
}

void TcpSocketControl::queueData()
{
    if (m_dataQueued)
        return;
    m_dataQueued = true;
    QMetaObject::invokeMethod(this, &TcpSocketControl::deliverData, Qt::QueuedConnection);
}

void TcpSocketControl::deliverData()
{
    m_dataQueued = false;
    // One chunk at a time: a handler that processes events does not see a
    // second data arrival inside itself, so deep recursion cannot build up.
    if (m_delivering || !m_socket)
        return;
    const qint64 waiting = m_socket->bytesAvailable();
    if (waiting > 0) {
        m_delivering = true;
        emit dataArrival(qint32(std::min<qint64>(waiting, INT32_MAX)));
        m_delivering = false;
        if (m_socket && (m_socket->bytesAvailable() > 0 || m_peerClosed))
            queueData();
        return;
    }
    if (m_peerClosed)
        deliverClose();
}

void TcpSocketControl::deliverClose()
{
    m_state = Closing;
    m_peerClosed = false;
    emit closeEvent();
}

void TcpSocketControl::close()
{
    m_server.close();
    if (m_socket) {
        retire(m_socket);
        m_socket = nullptr;
    }
    for (QTcpSocket* request : m_requests)
        retire(request);
    m_requests.clear();
    // A request being offered survives, so the handler can close, then accept it.
    m_peerClosed = false;
    m_state = Closed;
}

QByteArray TcpSocketControl::getData()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

QString TcpSocketControl::remoteHostIP() const
{
    return m_socket ? m_socket->peerAddress().toString() : QString();
}

void TcpSocketControl::retire(QTcpSocket* socket)
{
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    // Never deleted here: the network layer may be on the stack beneath.
    socket->deleteLater();
}
