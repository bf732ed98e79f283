#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>

// How the league page shows a record's time to a person: to the minute, in
// the league's zone, with that zone's abbreviation and, away from UTC, its
// offset ("2027-03-05 19:00 CET (+01:00)"). The records themselves keep UTC.
class ShownTime
{
public:
    ShownTime() = default; // UTC
    explicit ShownTime(const QTimeZone& zone);

    // An IANA name ("Europe/Paris"); none when the system knows no such zone.
    static std::optional<ShownTime> named(const QString& name);

    // time: as a record holds it ("2027-03-05T18:00:12.345Z"); as it came
    // when it is no time.
    QString text(const QString& time) const;
    // time: a moment in any zone.
    QString text(const QDateTime& time) const;

private:
    QTimeZone m_zone = QTimeZone::utc();
};
