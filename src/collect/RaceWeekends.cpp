#include "RaceWeekends.h"

#include "Ed25519.h"
#include "EventPages.h"
#include "EventLog.h"
#include "FileSystem.h"
#include "LeagueFiles.h"
#include "Roster.h"
#include "SigningKey.h"
#include "StandingBadge.h"
#include "VerdictChain.h"
#include "VerdictLogFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

RaceWeekends::RaceWeekends(QString dir, QString path, std::optional<QByteArray> signingSeed, ShownTime shown, Hooks hooks,
                           EventLog& events)
    : m_dir(std::move(dir))
    , m_path(std::move(path))
    , m_seed(std::move(signingSeed))
    , m_shown(std::move(shown))
    , m_hooks(std::move(hooks))
    , m_events(events)
{
    connect(&m_clock, &QTimer::timeout, this, &RaceWeekends::closeDue);
    m_clock.start(1000);
}

QString RaceWeekends::resultFolder(const QString& dir, const QString& id)
{
    return dir + QStringLiteral("/events/") + id;
}

bool RaceWeekends::closed(const QString& id) const
{
    return QFile::exists(resultFolder(m_dir, id) + QStringLiteral("/result.json"));
}

// A closed event as its result has it: what it stands for after a restart,
// whatever the file says now.
std::optional<RaceEvent> RaceWeekends::closedAs(const QString& id) const
{
    QFile file(resultFolder(m_dir, id) + QStringLiteral("/result.json"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject result = QJsonDocument::fromJson(file.readAll()).object();
    RaceEvent event;
    event.id = id;
    event.name = result.value(QLatin1String("name")).toString();
    event.opens = QDateTime::fromString(result.value(QLatin1String("opens")).toString(), Qt::ISODateWithMs);
    event.closes = QDateTime::fromString(result.value(QLatin1String("closes")).toString(), Qt::ISODateWithMs);
    for (const QJsonValue& entrant : result.value(QLatin1String("entrants")).toArray()) {
        event.entrants.push_back(entrant.toObject().value(QLatin1String("player")).toString().toUtf8());
        for (const QJsonValue& car : entrant.toObject().value(QLatin1String("cars")).toArray()) {
            if (!event.cars.contains(car.toObject().value(QLatin1String("car")).toString()))
                event.cars << car.toObject().value(QLatin1String("car")).toString();
        }
    }
    if (!event.opens.isValid() || !event.closes.isValid())
        return std::nullopt;
    return event;
}

void RaceWeekends::takeNames(const Roster& roster)
{
    m_displayNames.clear();
    for (const QByteArray& player : roster.names()) {
        if (const QString display = roster.displayOf(player); !display.isEmpty())
            m_displayNames.emplace(player, display);
    }
}

QString RaceWeekends::displayed(const QString& player) const
{
    const auto found = m_displayNames.find(player.toUtf8());
    return found == m_displayNames.end() ? player : found->second;
}

QByteArray RaceWeekends::page(const EventStanding& standing, const QDateTime& now, bool live) const
{
    return EventPages::page(standing, now, m_seed.has_value(), live, m_shown,
                            [this](const QString& player) { return displayed(player); });
}

bool RaceWeekends::load(const Roster& roster, QString* error)
{
    takeNames(roster);
    const std::optional<std::vector<RaceEvent>> events = loadRaceEvents(m_path, roster, error);
    if (!events)
        return false;
    for (const RaceEvent& event : *events) {
        const std::optional<RaceEvent> closedEvent = closedAs(event.id);
        if (closedEvent && !(*closedEvent == event))
            refuseEdit(event.id);
        m_standings.emplace(event.id, EventStanding(closedEvent ? *closedEvent : event));
    }
    return true;
}

void RaceWeekends::refuseEdit(const QString& id)
{
    m_events.write(QString(), QStringLiteral("the edit to the closed event %1 is refused: its result stands").arg(id),
                   {{QStringLiteral("event"), QStringLiteral("event edit refused")}, {QStringLiteral("id"), id}});
}

void RaceWeekends::reload(const Roster& roster)
{
    takeNames(roster);
    QString error;
    const std::optional<std::vector<RaceEvent>> events = loadRaceEvents(m_path, roster, &error);
    if (!events) {
        m_events.write(QString(), QStringLiteral("the events in force are kept: %1").arg(error),
                       {{QStringLiteral("event"), QStringLiteral("reload failed")}, {QStringLiteral("reason"), error}});
        return;
    }
    std::map<QString, EventStanding> standings;
    for (const RaceEvent& event : *events) {
        const auto old = m_standings.find(event.id);
        const bool over = closed(event.id) || (old != m_standings.end() && old->second.event().closes <= QDateTime::currentDateTimeUtc());
        if (old != m_standings.end() && over && !(old->second.event() == event)) {
            refuseEdit(event.id);
            standings.emplace(event.id, old->second);
        } else if (old != m_standings.end() && old->second.event() == event) {
            standings.emplace(event.id, old->second);
        } else {
            standings.emplace(event.id, EventStanding(event));
        }
    }
    const bool needsLogs = std::any_of(standings.begin(), standings.end(), [this](const auto& entry) {
        return !m_standings.count(entry.first) || !(m_standings.at(entry.first).event() == entry.second.event());
    });
    m_standings = std::move(standings);
    if (needsLogs) {
        QStringList warnings;
        readLogs(&warnings);
        for (const QString& warning : warnings)
            m_events.write(QString(), warning, {{QStringLiteral("event"), QStringLiteral("warning")}, {QStringLiteral("reason"), warning}});
    }
}

void RaceWeekends::readLogs(QStringList* warnings)
{
    for (auto& [id, standing] : m_standings)
        standing = EventStanding(standing.event());
    for (const QString& path : VerdictLogFiles::inOrder(m_dir)) {
        QString error;
        const std::optional<QByteArray> bytes = VerdictLogFiles::read(path, &error);
        if (!bytes) {
            *warnings << error;
            continue;
        }
        for (const QByteArray& line : VerdictLogFiles::lines(*bytes)) {
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            if (!record.isEmpty())
                this->record(record, VerdictChain::lineHash(line));
        }
    }
}

void RaceWeekends::record(const QJsonObject& record, const QByteArray& lineHash)
{
    // A file whose last byte came after the deadline never counts, so a
    // closed event's standing stays the one its result was written from.
    for (auto& [id, standing] : m_standings)
        standing.add(record, lineHash);
}

void RaceWeekends::closeDue()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const auto& [id, standing] : m_standings) {
        if (standing.event().closes > now || closed(id))
            continue;
        // Every file received before the deadline is checked and recorded first.
        if (m_hooks.checking() > 0)
            return;
        QString error;
        if (writeResult(standing, &error)) {
            m_events.write(QString(),
                           QStringLiteral("the event %1 closed: its result is in %2")
                               .arg(id, QDir::toNativeSeparators(resultFolder(m_dir, id) + QStringLiteral("/result.json"))),
                           {{QStringLiteral("event"), QStringLiteral("event closed")},
                            {QStringLiteral("id"), id},
                            {QStringLiteral("result"), resultFolder(m_dir, id) + QStringLiteral("/result.json")},
                            {QStringLiteral("signed"), m_seed.has_value()}});
        } else {
            m_events.write(QString(), QStringLiteral("failed: the result of the event %1 could not be written: %2").arg(id, error),
                           {{QStringLiteral("event"), QStringLiteral("failed")}, {QStringLiteral("id"), id},
                            {QStringLiteral("reason"), error}});
        }
    }
}

bool RaceWeekends::writeResult(const EventStanding& standing, QString* error)
{
    const QString folder = resultFolder(m_dir, standing.event().id);
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("%1: the folder cannot be made").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    QJsonObject result = standing.result();
    const QJsonObject proof = m_hooks.proof();
    for (const char* key : {"reference", "rules", "tool"})
        result.insert(QLatin1String(key), proof.value(QLatin1String(key)));
    result.insert(QStringLiteral("closed_at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    result.insert(QStringLiteral("log_head"), QString::fromLatin1(m_hooks.logHead()));
    QJsonValue publicKey;
    std::optional<std::string> signature;
    if (m_seed)
        publicKey = QString::fromLatin1(SigningKey::publicKeyOf(*m_seed));
    result.insert(QStringLiteral("public_key"), publicKey);
    const QByteArray signedBytes = QJsonDocument(result).toJson(QJsonDocument::Indented);
    if (m_seed)
        signature = wire::ed25519::sign(std::string_view(signedBytes.constData(), std::size_t(signedBytes.size())),
                                        m_seed->toStdString());
    // The page and the signature go first, each whole or not at all: result.json
    // is the mark that the event is closed.
    const auto save = [error](const QString& path, const QByteArray& bytes) {
        return FileSystem::writeAll(path, bytes, error, FileSystem::PathRules::Exact);
    };
    if (!save(folder + QStringLiteral("/result.html"), page(standing, standing.event().closes, false)))
        return false;
    if (signature && !save(folder + QStringLiteral("/result.json.sig"), QByteArray::fromStdString(*signature).toBase64() + '\n'))
        return false;
    return save(folder + QStringLiteral("/result.json"), signedBytes);
}

LeagueSite::MoreRoutes RaceWeekends::routes() const
{
    const auto answer = [this](const QByteArray& path) -> std::optional<LeagueAnswer> {
        static const QByteArray Event = "/event/";
        static const QByteArray Badge = "/badge/";
        if (path == "/event.js")
            return LeagueAnswer{200, "text/javascript; charset=utf-8",
                                LeagueFiles::bytes(LeagueFiles::File::EventScript), false};
        if (path.startsWith(Badge) && path.endsWith(".svg"))
            return badge(path.mid(Badge.size(), path.size() - Badge.size() - 4));
        if (path == "/league.pub") {
            if (!m_seed)
                return LeagueAnswer{404, "text/plain; charset=utf-8", "The league has no signing key: results are unsigned.\n", false};
            return LeagueAnswer{200, "text/plain; charset=utf-8", SigningKey::publicKeyOf(*m_seed) + '\n', false};
        }
        if (!path.startsWith(Event))
            return std::nullopt;
        const auto found = m_standings.find(QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(Event.size()))));
        if (found == m_standings.end())
            return std::nullopt;
        return LeagueAnswer{200, "text/html; charset=utf-8", page(found->second, QDateTime::currentDateTimeUtc(), true),
                            false};
    };
    const auto onGrid = [this] {
        std::vector<const RaceEvent*> events;
        for (const auto& [id, standing] : m_standings)
            events.push_back(&standing.event());
        return EventPages::links(events);
    };
    return {answer, onGrid};
}

// "<player>/<id>", still percent-encoded: the entrant's status as a badge.
std::optional<LeagueAnswer> RaceWeekends::badge(const QByteArray& names) const
{
    const QList<QByteArray> parts = names.split('/');
    if (parts.size() != 2)
        return std::nullopt;
    const QByteArray player = QByteArray::fromPercentEncoding(parts[0]);
    const auto found = m_standings.find(QString::fromUtf8(QByteArray::fromPercentEncoding(parts[1])));
    if (found == m_standings.end() || !found->second.event().hasEntrant(player))
        return std::nullopt;
    const RaceEvent& event = found->second.event();
    return LeagueAnswer{200, "image/svg+xml",
                        StandingBadge::svg(displayed(QString::fromUtf8(player)) + QStringLiteral(", ") + event.name,
                                           found->second.entrantStatus(player)),
                        false};
}
