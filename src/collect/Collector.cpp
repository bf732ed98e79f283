#include "Collector.h"

#include "CheckPool.h"
#include "CheckSetup.h"
#include "EventLog.h"
#include "FileSystem.h"
#include "ArrivalCheck.h"
#include "LeaguePage.h"
#include "LeftoverFiles.h"
#include "Notifier.h"
#include "NotifyMessage.h"
#include "NotifyTargets.h"
#include "RaceWeekends.h"
#include "ReceivedName.h"
#include "ReferenceStore.h"
#include "Roster.h"
#include "ServiceSignals.h"
#include "SigningKey.h"
#include "StoreHealth.h"
#include "VerdictLog.h"

#include <QDir>
#include <QJsonArray>

namespace {

using namespace std::chrono_literals;
constexpr auto StopGrace = 5s;
constexpr auto ProbeEvery = 100ms;

std::vector<const Car*> everyCar()
{
    std::vector<const Car*> cars;
    for (const Car& car : CarCatalogue::cars())
        cars.push_back(&car);
    return cars;
}

} // namespace

Collector::Collector(CollectOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
}

Collector::~Collector()
{
    // The server's transfers and the page go before the pool and the logs they use.
    m_league.reset();
    m_server.reset();
    m_race.reset();
    m_checks.reset();
}

bool Collector::start(QStringList* failures, QStringList* warnings)
{
    const QString dir = QDir(m_options.dir).absolutePath();
    if (!QDir().mkpath(dir)) {
        *failures << FileSystem::failure(m_options.dir, QStringLiteral("the folder cannot be made"));
        return false;
    }
    ReferenceFolder reference(m_options.folder);
    const std::vector<const Car*> cars = everyCar();
    if (m_options.skipReferenceCheck) {
        *warnings << QStringLiteral("the reference data in %1 was not checked by size and date (--skip-reference-check)")
                         .arg(QDir::toNativeSeparators(m_options.folder));
    } else if (const QStringList wrong = reference.verify(cars); !wrong.isEmpty()) {
        *failures << wrong << QStringLiteral("the reference data failed its check, so the collector did not start");
        return false;
    }
    QString error;
    if (!(m_loadingStore = reference.openStore(cars, &error))) {
        *failures << error;
        return false;
    }
    const std::shared_ptr<const CheckSetup> setup =
        loadCheckSetup(m_options.folder, m_options.rules, *m_loadingStore, m_options.tool, &error);
    if (!setup) {
        *failures << error << QStringLiteral("the rules could not be read, so the collector did not start");
        return false;
    }
    if (!setup->digestError.isEmpty())
        *warnings << setup->digestError;
    if (!m_options.roster.isEmpty()) {
        QString warning;
        const std::optional<Roster> roster = Roster::load(m_options.roster, &error, &warning);
        if (!roster) {
            *failures << error << QStringLiteral("the roster could not be read, so the collector did not start");
            return false;
        }
        if (!warning.isEmpty())
            *warnings << warning;
        m_context.roster = std::make_shared<const Roster>(*roster);
    }
    std::optional<std::vector<QUrl>> notifyTargets;
    if (!m_options.notifyFile.isEmpty()) {
        QString warning;
        if (!(notifyTargets = NotifyTargets::load(m_options.notifyFile, &error, &warning))) {
            *failures << error << QStringLiteral("the notification addresses could not be read, so the collector did not start");
            return false;
        }
        if (!warning.isEmpty())
            *warnings << warning;
    }
    std::vector<std::unique_ptr<ReferenceStore>> stores;
    for (int job = 0; job < m_options.jobs; ++job) {
        std::unique_ptr<ReferenceStore> store = reference.openStore(cars, &error);
        if (!store) {
            *failures << error;
            return false;
        }
        stores.push_back(std::move(store));
    }

    // Set before the first event: a stop asked for at once is a stop like
    // any other, and a stdout with no reader (SIGPIPE) never ends it.
    m_signals = std::make_unique<ServiceSignals>();
    connect(m_signals.get(), &ServiceSignals::stopRequested, this, &Collector::stop);
    connect(m_signals.get(), &ServiceSignals::reloadRequested, this, &Collector::reload);
    m_events = std::make_unique<EventLog>(m_options.json);
    if (notifyTargets) {
        m_notifier = std::make_unique<Notifier>(*m_events, QString(m_options.tool).replace(u' ', u'/').toUtf8());
        m_notifier->setTargets(*notifyTargets);
    }
    m_checks = std::make_unique<CheckPool>(std::move(stores), setup);
    m_verdicts = std::make_unique<VerdictLog>(dir + QStringLiteral("/verdicts.jsonl"));
    if (!m_verdicts->openChain(&error)) {
        *failures << error;
        return false;
    }
    m_context.dir = dir;
    m_context.maxSize = m_options.maxSize;
    m_context.publicUrl = m_options.publicUrl;
    m_context.limits = m_options.transfers;
    m_context.ownFiles = programOwnFiles(QStringLiteral("kestrix-collect"));
    m_context.checks = m_checks.get();
    m_context.verdicts = m_verdicts.get();
    m_context.events = m_events.get();
    m_health = std::make_unique<StoreHealth>(dir, m_options.maxSize);
    m_context.health = m_health.get();
    connect(m_health.get(), &StoreHealth::changed, this, [this](const QString& problem) {
        if (problem.isEmpty())
            m_events->write(QString(), QStringLiteral("files can be kept again"), {{QStringLiteral("event"), QStringLiteral("can store")}});
        else
            m_events->write(QString(), QStringLiteral("files cannot be kept: %1").arg(problem),
                            {{QStringLiteral("event"), QStringLiteral("cannot store")}, {QStringLiteral("reason"), problem}});
    });
    if (!m_options.events.isEmpty() && !startRaceWeekends(failures, warnings))
        return false;
    recoverLeftovers();
    // Said at once, and tried again until it can.
    if (!m_health->problem().isEmpty())
        m_health->failed();

    m_server = std::make_unique<CollectServer>(m_context, m_options.connections);
    if (m_options.http && !startLeaguePage(failures, warnings))
        return false;
    if (m_notifier)
        startNotifying(warnings);
    connect(m_server.get(), &CollectServer::stopped, this, [this] {
        const auto end = [this] {
            const double stallMs = double(m_longestStallNs) / 1e6;
            m_events->write(QString(), QStringLiteral("stopped; the event loop's longest stall was %1 ms").arg(stallMs, 0, 'f', 1),
                            {{QStringLiteral("event"), QStringLiteral("stopped")}, {QStringLiteral("longest_stall_ms"), stallMs}});
            emit stopped();
        };
        // The last verdicts' notifications get the transfers' grace to go out.
        if (m_notifier)
            m_notifier->stop(StopGrace, end);
        else
            end();
    });
    m_probe.setTimerType(Qt::PreciseTimer);
    connect(&m_probe, &QTimer::timeout, this, &Collector::probeLoop);
    m_probe.start(ProbeEvery);
    m_sinceProbe.start();
    if (!m_server->listen(m_options.bind, m_options.port, &error)) {
        *failures << QStringLiteral("cannot listen on %1 port %2: %3")
                         .arg(m_options.bind.toString(), QString::number(m_options.port), error);
        return false;
    }
    m_events->write(QString(),
                    QStringLiteral("listening on %1 port %2, keeping files in %3%4%5")
                        .arg(m_options.bind.toString(), QString::number(m_server->port()),
                             QDir::toNativeSeparators(dir),
                             m_context.roster ? QStringLiteral(", from the %1 players on the roster")
                                                    .arg(m_context.roster->size())
                                              : QString(),
                             m_league ? QStringLiteral("; the league page on %1 port %2")
                                            .arg(m_options.http->address.toString())
                                            .arg(m_league->port())
                                      : QString()),
                    {{QStringLiteral("event"), QStringLiteral("listening")},
                     {QStringLiteral("address"), m_options.bind.toString()},
                     {QStringLiteral("port"), m_server->port()},
                     {QStringLiteral("dir"), dir},
                     {QStringLiteral("players"), m_context.roster ? QJsonValue(qint64(m_context.roster->size()))
                                                                  : QJsonValue()},
                     {QStringLiteral("http_address"), m_league ? QJsonValue(m_options.http->address.toString()) : QJsonValue()},
                     {QStringLiteral("http_port"), m_league ? QJsonValue(m_league->port()) : QJsonValue()}});
    return true;
}

// Results of events that closed while the collector was down are written
// before it listens, from the records already in the logs.
bool Collector::startRaceWeekends(QStringList* failures, QStringList* warnings)
{
    if (!m_context.roster) {
        *failures << QStringLiteral("--events needs --roster: an event's entrants are the roster's players");
        return false;
    }
    QString error;
    std::optional<QByteArray> seed;
    if (!m_options.signingKey.isEmpty() && !(seed = SigningKey::read(m_options.signingKey, &error))) {
        *failures << error;
        return false;
    }
    m_race = std::make_unique<RaceWeekends>(
        m_context.dir, m_options.events, seed, m_options.shownTime,
        RaceWeekends::Hooks{[this] { return m_checks->checking(); }, [this] { return m_checks->setup()->proof; },
                            [this] { return m_verdicts->head(); },
                            [this](const QJsonObject& result) {
                                if (m_notifier)
                                    m_notifier->send(NotifyMessage::ofEventClose(result, m_options.publicUrl));
                            }},
        *m_events);
    if (!m_race->load(*m_context.roster, &error)) {
        *failures << error << QStringLiteral("the events could not be read, so the collector did not start");
        return false;
    }
    m_race->readLogs(warnings);
    m_verdicts->onAppended = [this](const QJsonObject& record, const QByteArray& lineHash) {
        m_race->record(record, lineHash);
    };
    m_race->closeDue();
    return true;
}

// Before the collector listens: its history is whole before anyone sees it.
bool Collector::startLeaguePage(QStringList* failures, QStringList* warnings)
{
    m_league = std::make_unique<LeaguePage>(LeaguePage::Hooks{
        [this] { return m_context.roster ? m_context.roster->names() : std::vector<QByteArray>(); },
        [this](const QString& player) { return shownName(player); },
        [this] { return m_server->open(); },
        [this] { return m_health->problem(); }}, *m_checks, m_options.version, m_options.shownTime,
        m_context.roster ? m_context.dir : QString());
    const LeagueHistory::Loaded loaded = m_league->load(m_context.dir);
    *warnings << loaded.failures;
    QStringList read;
    QJsonArray files;
    for (const LeagueHistory::File& file : loaded.files) {
        read << QStringLiteral("%1 (%2 records)").arg(file.name).arg(file.records);
        files.append(QJsonObject{{QStringLiteral("file"), file.name}, {QStringLiteral("records"), file.records}});
    }
    m_events->write(QString(),
                    QStringLiteral("history read from %1")
                        .arg(read.isEmpty() ? QStringLiteral("no verdict log yet") : read.join(QStringLiteral(", "))),
                    {{QStringLiteral("event"), QStringLiteral("history")}, {QStringLiteral("files"), files}});
    if (loaded.unreadable > 0)
        *warnings << QStringLiteral("%1 of the lines in the verdict logs of %2 are no record, and were left out of the history")
                         .arg(loaded.unreadable)
                         .arg(QDir::toNativeSeparators(m_context.dir));
    QString error;
    if (!m_league->listen(m_options.http->address, m_options.http->port, m_options.http->maxPerAddress, &error)) {
        *failures << QStringLiteral("cannot serve the league page on %1 port %2: %3")
                         .arg(m_options.http->address.toString(), QString::number(m_options.http->port), error);
        return false;
    }
    if (m_race)
        m_league->setMoreRoutes(m_race->routes());
    m_context.keepsEvidence = true;
    m_context.onRecord = [this](const QJsonObject& record, std::shared_ptr<const Verdict> verdict) {
        m_league->record(record, std::move(verdict));
    };
    connect(m_events.get(), &EventLog::written, m_league.get(), &LeaguePage::count);
    return true;
}

// Each record is told as it is recorded, what the car was before it read
// from the page's history, or from one of the collector's own without a page.
void Collector::startNotifying(QStringList* warnings)
{
    if (!m_league) {
        m_history = std::make_unique<LeagueHistory>();
        *warnings << m_history->load(m_context.dir).failures;
    }
    m_context.onRecord = [this, page = std::move(m_context.onRecord)](const QJsonObject& record,
                                                                      std::shared_ptr<const Verdict> verdict) {
        const LeagueHistory& history = m_league ? m_league->history() : *m_history;
        notifyOf(record, history.latestStatus(record.value(QLatin1String("player")).toString(), LeagueHistory::carOf(record)));
        if (page)
            page(record, std::move(verdict));
        else
            m_history->add(record);
    };
}

void Collector::notifyOf(const QJsonObject& record, const QString& previous)
{
    const QString player = record.value(QLatin1String("player")).toString();
    if (const std::optional<QJsonObject> message = NotifyMessage::ofRecord(record, previous, shownName(player), m_options.publicUrl))
        m_notifier->send(*message);
}

QString Collector::shownName(const QString& player) const
{
    const QString display = m_context.roster ? m_context.roster->displayOf(player.toUtf8()) : QString();
    return display.isEmpty() ? player : display;
}

void Collector::recoverLeftovers()
{
    const QDir dir(m_context.dir);
    const QString tool = m_checks->setup()->proof.value(QStringLiteral("tool")).toString();
    LeftoverFiles::Found found;
    found.recovered = [&](const QString& from, const QString& to, const std::optional<ArrivalJournal::Entry>& entry) {
        const qint64 received = QFileInfo(to).size();
        QJsonObject fields{{QStringLiteral("event"), QStringLiteral("recovered")},
                           {QStringLiteral("from"), dir.relativeFilePath(from)},
                           {QStringLiteral("kept"), dir.relativeFilePath(to)},
                           {QStringLiteral("received"), received}};
        if (entry) {
            fields.insert(QStringLiteral("player"), entry->player);
            fields.insert(QStringLiteral("sender"), entry->sender);
            appendRecord({{QStringLiteral("status"), QStringLiteral("partial")},
                          {QStringLiteral("reason"), QStringLiteral("the collector ended while it was arriving")},
                          {QStringLiteral("player"), entry->player},
                          {QStringLiteral("sender"), entry->sender},
                          {QStringLiteral("name"), entry->name},
                          {QStringLiteral("size"), entry->size},
                          {QStringLiteral("received"), received},
                          {QStringLiteral("kept"), dir.relativeFilePath(to)},
                          {QStringLiteral("time"), EventLog::timeNow()},
                          {QStringLiteral("tool"), tool}});
        }
        m_events->write(QString(),
                        QStringLiteral("recovered %1 as %2: a file that was arriving when the collector ended%3")
                            .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to),
                                 entry ? QStringLiteral(", from %1 at %2").arg(entry->player, entry->sender) : QString()),
                        fields);
    };
    found.unrecorded = [&](const ArrivalJournal::Entry& entry, const QString& journal) {
        const QString path = dir.filePath(entry.kept);
        // Its last byte came when the file was last written.
        const QDateTime receivedAt = QFileInfo(path).lastModified().toUTC();
        const CheckedArrival checked = checkKept(path, entry.player.toUtf8(), entry.sender, entry.size, receivedAt,
                                                 false, *m_checks->setup(), *m_loadingStore);
        appendRecord(checked.record);
        ArrivalJournal::remove(journal);
        // What the car was before is not known yet: a tweak is told, not its end.
        if (m_notifier)
            notifyOf(checked.record, QString());
        m_events->write(QString(),
                        QStringLiteral("%1 of %2: kept before the collector ended, and checked at this start")
                            .arg(checked.summary, QDir::toNativeSeparators(path)),
                        {{QStringLiteral("event"), QStringLiteral("verdict")},
                         {QStringLiteral("stored"), path},
                         {QStringLiteral("kept"), entry.kept},
                         {QStringLiteral("player"), entry.player},
                         {QStringLiteral("status"), checked.status},
                         {QStringLiteral("car"), checked.record.value(QStringLiteral("car"))},
                         {QStringLiteral("check_ms"), double(checked.took.count()) / 1e6}});
    };
    found.failed = [this](const QString& path, const QString& reason) {
        m_events->write(QString(), QStringLiteral("failed: %1 could not be recovered: %2").arg(path, reason),
                        {{QStringLiteral("event"), QStringLiteral("failed")},
                         {QStringLiteral("from"), path},
                         {QStringLiteral("reason"), reason}});
    };
    LeftoverFiles::recover(m_context.dir, found);
}

void Collector::appendRecord(const QJsonObject& record)
{
    QString error;
    if (!m_verdicts->append(record, &error))
        m_events->write(QString(), QStringLiteral("failed: the record could not be kept: %1").arg(error),
                        {{QStringLiteral("event"), QStringLiteral("failed")}, {QStringLiteral("reason"), error}});
}

void Collector::probeLoop()
{
    const qint64 late = m_sinceProbe.nsecsElapsed() - std::chrono::nanoseconds(ProbeEvery).count();
    m_longestStallNs = std::max(m_longestStallNs, late);
    m_sinceProbe.restart();
}

void Collector::stop(int signalNumber)
{
    m_events->stopping();
    m_events->write(QString(), QStringLiteral("stopping on signal %1: no new connections").arg(signalNumber),
                    {{QStringLiteral("event"), QStringLiteral("stopping")}, {QStringLiteral("signal"), signalNumber}});
    if (m_league)
        m_league->stopTaking();
    m_server->stop(StopGrace);
}

// Whatever fails to load keeps the one in force.
void Collector::reload()
{
    QStringList kept;
    QStringList loaded;
    QStringList warnings;
    QString error;
    if (!m_options.roster.isEmpty()) {
        QString warning;
        if (const std::optional<Roster> roster = Roster::load(m_options.roster, &error, &warning)) {
            m_context.roster = std::make_shared<const Roster>(*roster);
            loaded << QStringLiteral("the roster (%1 players)").arg(roster->size());
            if (!warning.isEmpty())
                warnings << warning;
        } else {
            kept << QStringLiteral("the roster in force is kept: %1").arg(error);
        }
    }
    if (!m_options.rules.isEmpty()) {
        if (const std::shared_ptr<const CheckSetup> setup =
                loadCheckSetup(m_options.folder, m_options.rules, *m_loadingStore, m_options.tool, &error)) {
            m_checks->setSetup(setup);
            loaded << QStringLiteral("the rules (%1)").arg(QString::fromLatin1(setup->rules->sha256()));
        } else {
            kept << QStringLiteral("the rules in force are kept: %1").arg(error);
        }
    }
    if (m_race && m_context.roster)
        m_race->reload(*m_context.roster);
    if (m_notifier) {
        QString warning;
        if (const std::optional<std::vector<QUrl>> targets = NotifyTargets::load(m_options.notifyFile, &error, &warning)) {
            m_notifier->setTargets(*targets);
            loaded << QStringLiteral("the notification addresses (%1)").arg(targets->size());
            if (!warning.isEmpty())
                warnings << warning;
        } else {
            kept << QStringLiteral("the notification addresses in force are kept: %1").arg(error);
        }
    }
    loaded << QStringLiteral("verdicts.jsonl");
    const QStringList notes = kept + warnings;
    m_events->write(QString(),
                    QStringLiteral("reloaded %1%2").arg(loaded.join(QStringLiteral(", ")),
                                                        notes.isEmpty() ? QString() : QStringLiteral("; ") + notes.join(QStringLiteral("; "))),
                    {{QStringLiteral("event"), kept.isEmpty() ? QStringLiteral("reloaded") : QStringLiteral("reload failed")},
                     {QStringLiteral("loaded"), QJsonArray::fromStringList(loaded)},
                     {QStringLiteral("reason"), notes.isEmpty() ? QJsonValue() : QJsonValue(notes.join(QStringLiteral("; ")))}});
}
