#pragma once

#include "EventStream.h"
#include "HttpDoor.h"
#include "LeagueHistory.h"
#include "LeagueMetrics.h"
#include "LeaguePages.h"
#include "LeagueSite.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CheckPool;
struct Verdict;
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
        LeaguePages::DisplayedName displayed;              // the name shown for a player
        std::function<int()> connectionsOpen;              // of the collector's own door
        std::function<QString()> storeProblem;             // why DIR takes no file now, or empty
    };

    // Evidence is drawn by checks, on its threads. version: the collector's;
    // shown: how the pages show times; publicDir: as LeagueHistory takes it.
    LeaguePage(Hooks hooks, CheckPool& checks, const QString& version, const ShownTime& shown,
               const QString& publicDir, QObject* parent = nullptr);
    ~LeaguePage() override;

    // The history from the verdict logs in dir; the evidence of a car that
    // is not genuine is drawn again from its kept file when it is asked for.
    LeagueHistory::Loaded load(const QString& dir);
    bool listen(const QHostAddress& address, quint16 port, int maxPerAddress, QString* error);
    quint16 port() const;
    const LeagueHistory& history() const { return m_history; }

    // A record appended to the verdicts; its evidence is drawn from verdict
    // when a player's page first asks for it.
    void record(const QJsonObject& record, std::shared_ptr<const Verdict> verdict);
    // An event of the collector's, for the figures.
    void count(const QJsonObject& event) { m_metrics.count(event); }
    void setMoreRoutes(LeagueSite::MoreRoutes routes) { m_site.setMoreRoutes(std::move(routes)); }
    // From the stop on, /healthz says the collector no longer takes files;
    // before it, it says so while DIR cannot take a file, and why.
    void stopTaking() { m_taking = false; }

private:
    // What the evidence of a car's latest verdict is drawn from: the verdict
    // itself, or the file kept for it before a restart.
    struct Undrawn {
        QString time; // of the verdict
        std::shared_ptr<const Verdict> verdict;
        QString path;
        bool drawing = false;
    };
    void drawEvidenceOf(const QString& player);

    CheckPool& m_checks;
    LeagueHistory m_history;
    std::map<std::pair<QString, QString>, Undrawn> m_undrawn; // by player and car
    LeagueMetrics m_metrics;
    ShownTime m_shown;
    LeagueSite m_site;
    EventStream m_events;
    std::unique_ptr<LeagueHttp> m_http;
    HttpDoor* m_door = nullptr; // the server's own
    bool m_taking = true;
    std::function<QString()> m_storeProblem;
};
