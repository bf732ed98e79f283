#pragma once

#include <QJsonObject>
#include <QString>

// The collector's account of what happens, one line an event on stdout, for
// a person or, as JSON Lines, for scripts; every line is flushed at once, so
// a service manager's log is current.
class EventLog
{
public:
    explicit EventLog(bool json);

    // who: "address:port" of a peer, or empty for the collector itself.
    // text: the event in words; fields: the same for machines, "event" among them.
    void write(const QString& who, const QString& text, QJsonObject fields);

    // The time now as machines read it: ISO 8601, with milliseconds and the
    // offset from UTC.
    static QString timeNow();

private:
    bool m_json;
};
