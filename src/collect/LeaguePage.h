#pragma once

#include "EventStream.h"
#include "HttpDoor.h"
#include "LeagueHistory.h"
#include "LeagueMetrics.h"
#include "LeagueSite.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class CheckPool;
class LeagueHttp;

// The league page of a collector, on its event loop: the history of every
// player's cars with its live events, the figures, and the HTTP server
// that shows them.
class LeaguePage : public QObject
{
    Q_OBJECT

public:
    struct Hooks {
        std::function<std::vector<QByteArray>()> players; // on the roster now
        std::function<int()> connectionsOpen;              // of the collector's own door
    };

    explicit LeaguePage(Hooks hooks, QObject* parent = nullptr);
    ~LeaguePage() override;

    // The history from the verdict logs in dir, with the evidence of each
    // car that is not genuine drawn again by checks, on its threads.
    LeagueHistory::Loaded load(const QString& dir, CheckPool& checks);
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const;

    // A record appended to the verdicts, with its evidence.
    void record(const QJsonObject& record, const QByteArray& evidence);
    // An event of the collector's, for the figures.
    void count(const QJsonObject& event) { m_metrics.count(event); }
    // From the stop on, /healthz says the collector no longer takes files.
    void stopTaking() { m_taking = false; }

private:
    LeagueHistory m_history;
    LeagueMetrics m_metrics;
    LeagueSite m_site;
    EventStream m_events;
    std::unique_ptr<LeagueHttp> m_http;
    HttpDoor* m_door = nullptr; // the server's own
    bool m_taking = true;
};
