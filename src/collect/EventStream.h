#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <vector>

// The listeners of the league page's live events (Server-Sent Events): each
// event goes to every one, those of a moment together, so that a busy
// league costs a write a listener now and then rather than one an event. A
// listener that does not read what it is sent only fills a bounded buffer,
// and is dropped when it is full, so that the collector never waits on one.
class EventStream : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 MostUnsent = 64 * 1024;

    explicit EventStream(QObject* parent = nullptr);

    // A connection whose answer's head is written: it hears every event from now on.
    void listen(QTcpSocket* socket);
    // data: one line, as compact JSON is.
    void send(const QByteArray& event, const QByteArray& data);
    int listeners() const { return int(m_listeners.size()); }

private:
    void write(const QByteArray& bytes);

    std::vector<QPointer<QTcpSocket>> m_listeners;
    QByteArray m_pending;
    QTimer m_flush;
    // A comment now and then keeps proxies from taking the stream for idle.
    QTimer m_keepAlive;
};
