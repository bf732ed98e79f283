#include "EventStream.h"

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

EventStream::EventStream(QObject* parent)
    : QObject(parent)
{
    connect(&m_keepAlive, &QTimer::timeout, this, [this] { write(":\n\n"); });
    m_keepAlive.start(15s);
}

void EventStream::listen(QTcpSocket* socket)
{
    // The system's buffer for a listener is bounded too: it would otherwise
    // grow to megabytes for one that does not read.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 32 * 1024);
    m_listeners.emplace_back(socket);
}

void EventStream::send(const QByteArray& event, const QByteArray& data)
{
    write("event: " + event + "\ndata: " + data + "\n\n");
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
