#include "EventStanding.h"

#include <QJsonArray>

void EventStanding::add(const QJsonObject& record, const QByteArray& lineHash)
{
    const QString status = record.value(QLatin1String("status")).toString();
    const QString car = record.value(QLatin1String("car")).toString();
    const QByteArray player = record.value(QLatin1String("player")).toString().toUtf8();
    const QString receivedText = record.value(QLatin1String("received_at")).toString();
    if (status.isEmpty() || status == u"refused" || status == u"unchecked" || car.isEmpty() || receivedText.isEmpty())
        return;
    const QDateTime received = QDateTime::fromString(receivedText, Qt::ISODateWithMs);
    if (!received.isValid() || received < m_event.opens || received >= m_event.closes)
        return;
    if (!m_event.cars.contains(car) || !m_event.hasEntrant(player))
        return;
    Counted& counted = m_cars[{player, car}];
    if (counted.received.isValid() && received < counted.received)
        return;
    counted = {status, received, receivedText, lineHash};
}

const EventStanding::Counted* EventStanding::counted(const QByteArray& player, const QString& car) const
{
    const auto found = m_cars.find({player, car});
    return found == m_cars.end() ? nullptr : &found->second;
}

QString EventStanding::entrantStatus(const QByteArray& player) const
{
    bool passed = true;
    for (const QString& car : m_event.cars) {
        const Counted* verdict = counted(player, car);
        if (verdict && verdict->status == u"tweaked")
            return QStringLiteral("failed");
        if (!verdict || !(verdict->status == u"genuine" || verdict->status == u"formatting" || verdict->status == u"allowed"))
            passed = false;
    }
    return passed ? QStringLiteral("passed") : QStringLiteral("incomplete");
}

QJsonObject EventStanding::result() const
{
    QJsonArray entrants;
    for (const QByteArray& player : m_event.entrants) {
        QJsonArray cars;
        for (const QString& car : m_event.cars) {
            const Counted* verdict = counted(player, car);
            cars.append(QJsonObject{
                {QStringLiteral("car"), car},
                {QStringLiteral("status"), verdict ? verdict->status : QStringLiteral("missing")},
                {QStringLiteral("received"), verdict ? QJsonValue(verdict->receivedText) : QJsonValue()},
                {QStringLiteral("record_sha256"),
                 verdict ? QJsonValue(QString::fromLatin1(verdict->recordSha256)) : QJsonValue()}});
        }
        entrants.append(QJsonObject{{QStringLiteral("player"), QString::fromUtf8(player)},
                                    {QStringLiteral("status"), entrantStatus(player)},
                                    {QStringLiteral("cars"), cars}});
    }
    return {{QStringLiteral("event"), m_event.id},
            {QStringLiteral("name"), m_event.name},
            {QStringLiteral("opens"), RaceEvent::timeText(m_event.opens)},
            {QStringLiteral("closes"), RaceEvent::timeText(m_event.closes)},
            {QStringLiteral("entrants"), entrants}};
}
