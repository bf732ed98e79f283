#pragma once

#include <QJsonObject>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

// The collector's account of what happens, one line an event on stdout, for
// a person or, as JSON Lines, for scripts. Lines go out as soon as stdout
// takes them, never waiting on it: a reader that stops reading only fills a
// bounded buffer, beyond which events are dropped and counted, the next line
// that gets through saying how many ("dropped"); a stdout that is gone is
// noted once on stderr, and the collector goes on without it.
// Its events are described in docs/collect.md, "The event log".
class EventLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype BufferLimit = 256 * 1024;

    explicit EventLog(bool json, int fd = 1, QObject* parent = nullptr);
    ~EventLog() override;

    // who: "address:port" of a peer, or empty for the collector itself.
    // text: the event in words; fields: the same for machines, "event" among them.
    void write(const QString& who, const QString& text, QJsonObject fields);

    // The time now as machines read it: ISO 8601, with milliseconds and the
    // offset from UTC.
    static QString timeNow();

signals:
    // Every event, written or not.
    void written(const QJsonObject& fields);

private:
    void flush();

    bool m_json;
    int m_fd;
    int m_flags = -1; // the descriptor's own, given back at the end
    QByteArray m_pending;
    qint64 m_dropped = 0;
    bool m_gone = false;
    QSocketNotifier m_ready;
};
