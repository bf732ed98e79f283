#include "EventStream.h"

#include <algorithm>
#include <chrono>
#include <utility>

using namespace std::chrono_literals;

EventStream::EventStream(QObject* parent)
    : QObject(parent)
{
    connect(&m_keepAlive, &QTimer::timeout, this, [this] { write(":\n\n"); });
    m_keepAlive.start(15s);
    m_flush.setSingleShot(true);
    m_flush.setInterval(20ms);
    connect(&m_flush, &QTimer::timeout, this, [this] { write(std::exchange(m_pending, QByteArray())); });
}

void EventStream::listen(QTcpSocket* socket)
{
    // The system's buffer for a listener is bounded too: it would otherwise
    // grow to megabytes for one that does not read.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 16 * 1024);
    m_listeners.emplace_back(socket);
}

void EventStream::send(const QByteArray& event, const QByteArray& data)
{
    if (m_listeners.empty())
        return;
    m_pending += "event: " + event + "\ndata: " + data + "\n\n";
    if (!m_flush.isActive())
        m_flush.start();
}

void EventStream::write(const QByteArray& bytes)
{
    std::erase_if(m_listeners, [&bytes](const QPointer<QTcpSocket>& socket) {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return true;
        if (socket->bytesToWrite() + bytes.size() > MostUnsent) {
            socket->abort();
            return true;
        }
        socket->write(bytes);
        return false;
    });
}
