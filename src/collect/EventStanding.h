#pragma once

#include "RaceEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <map>

// Where an event stands: for each entrant's car the latest verdict whose
// file was whole at or after opens and before closes. Refusals and files
// of no car never count; a file that came later changes nothing.
class EventStanding
{
public:
    struct Counted {
        QString status;
        QDateTime received;
        QString receivedText;
        QByteArray recordSha256;
    };

    explicit EventStanding(RaceEvent event)
        : m_event(std::move(event))
    {
    }

    const RaceEvent& event() const { return m_event; }
    // A record as verdicts.jsonl holds it, and the hash of its line.
    void add(const QJsonObject& record, const QByteArray& lineHash);

    // "passed", "failed" or "incomplete".
    QString entrantStatus(const QByteArray& player) const;
    // The car's counted verdict; none when nothing counted ("missing").
    const Counted* counted(const QByteArray& player, const QString& car) const;
    // result.json's fields but closed_at, log_head and public_key (docs/collect.md).
    QJsonObject result() const;

private:
    RaceEvent m_event;
    std::map<std::pair<QByteArray, QString>, Counted> m_cars;
};
