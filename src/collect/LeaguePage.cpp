#include "LeaguePage.h"

#include "CheckPool.h"
#include "LeagueHttp.h"

#include <QJsonDocument>

LeaguePage::LeaguePage(Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_metrics(std::move(hooks.connectionsOpen))
    , m_site(m_history, m_metrics, std::move(hooks.players), [this] { return m_taking; })
{
}

LeaguePage::~LeaguePage() = default;

LeagueHistory::Loaded LeaguePage::load(const QString& dir, CheckPool& checks)
{
    const LeagueHistory::Loaded loaded = m_history.load(dir);
    for (const auto& [player, cars] : m_history.players()) {
        for (const auto& [car, history] : cars) {
            const QString status = history.latest.value(QLatin1String("status")).toString();
            const QString path = history.latest.value(QLatin1String("path")).toString();
            if (car.isEmpty() || path.isEmpty() || status == QLatin1String("genuine")
                || status == QLatin1String("error"))
                continue;
            const QString time = history.latest.value(QLatin1String("time")).toString();
            checks.evidence(path, player.toUtf8(), this, [this, player, car, time](const QByteArray& evidence) {
                m_history.setEvidence(player, car, time, evidence);
            });
        }
    }
    return loaded;
}

bool LeaguePage::listen(const QHostAddress& address, quint16 port, QString* error)
{
    auto door = std::make_unique<HttpDoor>(HttpDoor::Limits{});
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

void LeaguePage::record(const QJsonObject& record, const QByteArray& evidence)
{
    m_history.add(record, evidence);
    if (record.value(QLatin1String("status")) == QLatin1String("refused"))
        return;
    const QJsonObject brief{{QStringLiteral("player"), record.value(QLatin1String("player"))},
                            {QStringLiteral("car"), record.value(QLatin1String("car"))},
                            {QStringLiteral("status"), record.value(QLatin1String("status"))},
                            {QStringLiteral("time"), record.value(QLatin1String("time"))}};
    m_events.send("verdict", QJsonDocument(brief).toJson(QJsonDocument::Compact));
}
