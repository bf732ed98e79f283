#pragma once

#include "CollectContext.h"
#include "CollectServer.h"
#include "ShownTime.h"

#include <QHostAddress>
#include <QObject>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

class CheckPool;
class EventLog;
class LeagueHistory;
class LeaguePage;
class Notifier;
class RaceWeekends;
class ReferenceStore;
class ServiceSignals;
class StoreHealth;
class VerdictLog;

// Where the league page is served.
struct HttpEndpoint {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 0;
    // Behind a reverse proxy every reader comes from the proxy's address.
    int maxPerAddress = 16;
};

struct CollectOptions {
    quint16 port = 0;
    QString dir;
    QString folder; // the program folder with the reference data
    QHostAddress bind = QHostAddress::Any;
    qint64 maxSize = 1024 * 1024;
    ConnectionLimits connections;
    TransferLimits transfers;
    int jobs = 1;
    bool json = false;
    bool skipReferenceCheck = false;
    QString rules;
    QString roster;
    QString version;
    QString events;     // race events (TOML); needs the roster
    QString signingKey; // the league's Ed25519 key, for the events' results
    QString tool; // "kestrix-collect <version>"
    std::optional<HttpEndpoint> http;
    QString publicUrl; // where players reach the league page, for their notes
    QString notifyFile; // the addresses notifications are posted to
    ShownTime shownTime; // how the league page shows times
};

// A league's collector at work: the reference data and rules files are
// checked against, the roster, the checking threads, the two logs and the
// server, and what a service manager's signals ask of them: SIGTERM or
// SIGINT a stop, SIGHUP a reload of the roster, the rules and the
// notification addresses, each kept as it was when its file fails to load.
class Collector : public QObject
{
    Q_OBJECT

public:
    explicit Collector(CollectOptions options, QObject* parent = nullptr);
    ~Collector() override;

    // Gets everything ready and listens; false with what went wrong, one
    // line each, in failures. warnings: what is worth saying even so.
    bool start(QStringList* failures, QStringList* warnings);

signals:
    void stopped();

private:
    void stop(int signalNumber);
    void reload();
    void recoverLeftovers();
    void appendRecord(const QJsonObject& record);
    void probeLoop();
    bool startLeaguePage(QStringList* failures, QStringList* warnings);
    bool startRaceWeekends(QStringList* failures, QStringList* warnings);
    void startNotifying(QStringList* warnings);
    void notifyOf(const QJsonObject& record, const QString& previous);
    QString shownName(const QString& player) const;

    CollectOptions m_options;
    std::unique_ptr<EventLog> m_events;
    std::unique_ptr<Notifier> m_notifier;
    // Each car's latest verdict, for a notification of one genuine again
    // after a tweak, where no league page keeps them.
    std::unique_ptr<LeagueHistory> m_history;
    std::unique_ptr<ServiceSignals> m_signals;
    std::unique_ptr<ReferenceStore> m_loadingStore; // for reloads, on this thread
    std::unique_ptr<CheckPool> m_checks;
    std::unique_ptr<VerdictLog> m_verdicts;
    std::unique_ptr<StoreHealth> m_health;
    CollectContext m_context;
    std::unique_ptr<CollectServer> m_server;
    std::unique_ptr<LeaguePage> m_league;
    std::unique_ptr<RaceWeekends> m_race;
    // How late a timer fires tells how long the loop was kept from its work.
    QTimer m_probe;
    QElapsedTimer m_sinceProbe;
    qint64 m_longestStallNs = 0;
};
