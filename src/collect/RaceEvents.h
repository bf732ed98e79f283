#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class Roster;

// A race weekend: every entrant sends his cars' descriptors between opens
// and closes. Read from the TOML file of --events ([[event]] tables).
struct RaceEvent {
    QString id;   // letters, digits, '-' and '_'
    QString name; // any UTF-8
    QDateTime opens;
    QDateTime closes;
    QStringList cars;               // list names; every car of the catalogue when the file names none
    std::vector<QByteArray> entrants; // every roster player when the file names none

    bool operator==(const RaceEvent&) const = default;
    bool hasEntrant(const QByteArray& player) const;
    // opens and closes as the file gave them, with their offset.
    static QString timeText(const QDateTime& time);
};

// The events, or nothing with why in error ("FILE:LINE:COLUMN: what").
// roster: the names entrants must be on, and the default entrants.
std::optional<std::vector<RaceEvent>> loadRaceEvents(const QString& path, const Roster& roster, QString* error);
std::optional<std::vector<RaceEvent>> parseRaceEvents(const QByteArray& bytes, const QString& path, const Roster& roster,
                                                      QString* error);
