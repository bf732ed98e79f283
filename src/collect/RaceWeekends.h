#pragma once

#include "EventStanding.h"
#include "LeagueSite.h"
#include "ShownTime.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>

class EventLog;
class Roster;

// The race events of --events at work: each record counts where it may,
// and at an event's deadline, once every file received before it has been
// checked, DIR/events/<id>/result.json is written once (signed with the
// league's key when there is one, in result.json.sig) with result.html
// beside it, and never changes. docs/collect.md describes them.
class RaceWeekends : public QObject
{
    Q_OBJECT

public:
    struct Hooks {
        std::function<int()> checking;             // files handed over and not yet recorded
        std::function<QJsonObject()> proof;        // reference, rules and tool of the checks in force
        std::function<QByteArray()> logHead;       // the hash of the last record written
    };
    // shown: how the pages show times.
    RaceWeekends(QString dir, QString path, std::optional<QByteArray> signingSeed, ShownTime shown, Hooks hooks,
                 EventLog& events);

    // Reads the events file; false with "FILE:LINE:COLUMN: what". The
    // roster's display names are the pages' from then on.
    bool load(const Roster& roster, QString* error);
    // SIGHUP: the file again, and the roster's display names. A closed
    // event's result never changes, and an edit to it is refused with an
    // event naming it.
    void reload(const Roster& roster);
    // The records already in the logs, before the collector listens.
    void readLogs(QStringList* warnings);
    // A record as written, and the hash of its line.
    void record(const QJsonObject& record, const QByteArray& lineHash);
    // Closes whatever is due; runs every second.
    void closeDue();

    static QString resultFolder(const QString& dir, const QString& id);

    // The league page's routes: /event/<id>, /event.js, /league.pub and
    // /badge/<player>/<id>.svg (an entrant's status; 404 for one who is not
    // an entrant), and the links to every event on the grid's page.
    LeagueSite::MoreRoutes routes() const;

private:
    bool writeResult(const EventStanding& standing, QString* error);
    bool closed(const QString& id) const;
    std::optional<RaceEvent> closedAs(const QString& id) const;
    void refuseEdit(const QString& id);
    void takeNames(const Roster& roster);
    QString displayed(const QString& player) const;
    QByteArray page(const EventStanding& standing, const QDateTime& now, bool live) const;
    std::optional<LeagueAnswer> badge(const QByteArray& names) const;

    QString m_dir;
    QString m_path;
    std::optional<QByteArray> m_seed;
    ShownTime m_shown;
    std::map<QByteArray, QString> m_displayNames; // where the roster gives one
    Hooks m_hooks;
    EventLog& m_events;
    std::map<QString, EventStanding> m_standings;
    QTimer m_clock;
};
