#include "LeaguePage.h"

#include "CheckPool.h"
#include "LeagueHttp.h"

#include <QJsonDocument>

LeaguePage::LeaguePage(Hooks hooks, CheckPool& checks, const QString& version, const ShownTime& shown,
                       const QString& publicDir, QObject* parent)
    : QObject(parent)
    , m_checks(checks)
    , m_history(publicDir)
    , m_metrics(std::move(hooks.connectionsOpen), version)
    , m_shown(shown)
    , m_site(m_history, m_metrics, std::move(hooks.players), std::move(hooks.displayed),
             [this] { return m_taking ? m_storeProblem() : QStringLiteral("stopping"); },
             [this](const QString& player) { drawEvidenceOf(player); }, shown)
    , m_storeProblem(std::move(hooks.storeProblem))
{
}

LeaguePage::~LeaguePage() = default;

LeagueHistory::Loaded LeaguePage::load(const QString& dir)
{
    const LeagueHistory::Loaded loaded = m_history.load(dir);
    for (const auto& [player, cars] : m_history.players()) {
        for (const auto& [car, history] : cars) {
            const QString status = history.latest.value(QLatin1String("status")).toString();
            const QString path = history.latest.value(QLatin1String("path")).toString();
            const QString time = history.latest.value(QLatin1String("time")).toString();
            if (car.isEmpty() || history.latest.isEmpty() || status == QLatin1String("genuine")
                || status == QLatin1String("error"))
                continue;
            if (path.isEmpty())
                m_history.setEvidence(player, car, time, "<p class=\"none\">The record names no kept file to show.</p>\n");
            else
                m_undrawn[{player, car}] = {time, nullptr, path};
        }
    }
    return loaded;
}

bool LeaguePage::listen(const QHostAddress& address, quint16 port, int maxPerAddress, QString* error)
{
    HttpDoor::Limits limits;
    limits.maxPerAddress = maxPerAddress;
    auto door = std::make_unique<HttpDoor>(limits);
    if (!door->listen(address, port)) {
        *error = door->errorString();
        return false;
    }
    m_door = door.release();
    m_http = std::make_unique<LeagueHttp>(m_site, *m_door, m_events);
    return true;
}

quint16 LeaguePage::port() const
{
    return m_door ? m_door->serverPort() : 0;
}

void LeaguePage::record(const QJsonObject& record, std::shared_ptr<const Verdict> verdict)
{
    m_history.add(record);
    m_site.historyChanged();
    if (record.value(QLatin1String("status")) == QLatin1String("refused"))
        return;
    const QString player = record.value(QLatin1String("player")).toString();
    const QString car = record.value(QLatin1String("car")).toString();
    const QString time = record.value(QLatin1String("time")).toString();
    // A newer verdict of the car lets the older one go, undrawn.
    if (verdict)
        m_undrawn[{player, car}] = {time, std::move(verdict), QString()};
    else
        m_undrawn.erase({player, car});
    const QJsonObject brief{{QStringLiteral("player"), record.value(QLatin1String("player"))},
                            {QStringLiteral("car"), record.value(QLatin1String("car"))},
                            {QStringLiteral("status"), record.value(QLatin1String("status"))},
                            {QStringLiteral("time"), ShownTime::utc(time)},
                            {QStringLiteral("shown_time"), m_shown.text(time)}};
    m_events.send("verdict", QJsonDocument(brief).toJson(QJsonDocument::Compact));
}

// Drawing costs a checking thread about as much as a check: it is done for
// the cars someone looks at, once for each verdict.
void LeaguePage::drawEvidenceOf(const QString& player)
{
    for (auto it = m_undrawn.lower_bound({player, QString()}); it != m_undrawn.end() && it->first.first == player; ++it) {
        Undrawn& undrawn = it->second;
        if (undrawn.drawing)
            continue;
        undrawn.drawing = true;
        auto drawn = [this, key = it->first, time = undrawn.time](const QByteArray& html) {
            m_history.setEvidence(key.first, key.second, time, html);
            if (const auto found = m_undrawn.find(key); found != m_undrawn.end() && found->second.time == time)
                m_undrawn.erase(found);
        };
        if (undrawn.verdict)
            m_checks.evidence(undrawn.verdict, this, drawn);
        else
            m_checks.evidence(undrawn.path, player.toUtf8(), this, drawn);
    }
}
