#include "NotifyMessage.h"

#include "LeagueHistory.h"
#include "LeaguePages.h"
#include "ShownTime.h"
#include "VerdictAdvice.h"

#include <QJsonArray>
#include <QUrl>

namespace {

QString text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

// Discord takes no longer content.
constexpr qsizetype LongestContent = 2000;

// One line, whatever the names in it hold, and short enough for Discord.
QString oneLine(QString words)
{
    for (QChar& c : words) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    words = words.simplified();
    if (words.size() > LongestContent) {
        words.truncate(LongestContent - 1);
        if (words.back().isHighSurrogate())
            words.chop(1);
        words += u'…';
    }
    return words;
}

QJsonObject message(const QString& kind, const QJsonValue& player, const QJsonValue& car, const QJsonValue& status,
                    const QString& time, const QString& page, const QString& content)
{
    QJsonObject body{{QStringLiteral("kind"), kind},
                     {QStringLiteral("player"), player},
                     {QStringLiteral("car"), car},
                     {QStringLiteral("status"), status},
                     {QStringLiteral("time"), time},
                     {QStringLiteral("content"), oneLine(page.isEmpty() ? content : content + u' ' + page)}};
    if (!page.isEmpty())
        body.insert(QStringLiteral("page"), page);
    return body;
}

QString withAdvice(const QString& status)
{
    const char* advice = wire::verdictAdvice(status.toStdString());
    return advice ? QStringLiteral("%1: %2.").arg(status, QString::fromLatin1(advice)) : status + u'.';
}

} // namespace

namespace NotifyMessage {

std::optional<QJsonObject> ofRecord(const QJsonObject& record, const QString& previous, const QString& shownName,
                                    const QString& publicUrl)
{
    const QString player = text(record, "player");
    const QString status = text(record, "status");
    const QString car = LeagueHistory::carOf(record);
    if (player.isEmpty())
        return std::nullopt;
    QString kind;
    QString content;
    if (status == QLatin1String("tweaked") || status == QLatin1String("damaged")) {
        kind = status;
        content = QStringLiteral("%1's %2 is %3").arg(shownName, car, withAdvice(status));
    } else if (status == QLatin1String("refused")) {
        kind = status;
        content = car.isEmpty() ? QStringLiteral("%1's file was refused (%2).").arg(shownName, text(record, "code"))
                                : QStringLiteral("%1's file for the %2 was refused (%3).").arg(shownName, car, text(record, "code"));
    } else if (previous == QLatin1String("tweaked") && LeagueHistory::backToGenuine(status)) {
        kind = QStringLiteral("genuine-again");
        content = QStringLiteral("%1's %2 is genuine again.").arg(shownName, car);
    } else {
        return std::nullopt;
    }
    const QString page = publicUrl.isEmpty()
        ? QString()
        : publicUrl + QStringLiteral("/player/") + QString::fromLatin1(LeaguePages::playerLink(player));
    QJsonObject body = message(kind, player, car.isEmpty() ? QJsonValue() : QJsonValue(car), status, ShownTime::utc(text(record, "time")),
                               page, content);
    if (kind == QLatin1String("refused"))
        body.insert(QStringLiteral("code"), record.value(QLatin1String("code")));
    return body;
}

QJsonObject ofEventClose(const QJsonObject& result, const QString& publicUrl)
{
    QJsonObject counts{{QStringLiteral("passed"), 0}, {QStringLiteral("failed"), 0}, {QStringLiteral("incomplete"), 0}};
    for (const QJsonValue& entrant : result.value(QLatin1String("entrants")).toArray()) {
        const QString status = text(entrant.toObject(), "status");
        counts.insert(status, counts.value(status).toInt() + 1);
    }
    const QString id = text(result, "event");
    const QString page = publicUrl.isEmpty()
        ? QString()
        : publicUrl + QStringLiteral("/event/") + QString::fromLatin1(QUrl::toPercentEncoding(id));
    QJsonObject body = message(QStringLiteral("event-closed"), QJsonValue(), QJsonValue(), QJsonValue(),
                               ShownTime::utc(text(result, "closes")), page,
                               QStringLiteral("The event %1 closed: %2 passed, %3 failed, %4 incomplete.")
                                   .arg(text(result, "name"))
                                   .arg(counts.value(QLatin1String("passed")).toInt())
                                   .arg(counts.value(QLatin1String("failed")).toInt())
                                   .arg(counts.value(QLatin1String("incomplete")).toInt()));
    body.insert(QStringLiteral("event"), id);
    body.insert(QStringLiteral("name"), text(result, "name"));
    body.insert(QStringLiteral("counts"), counts);
    return body;
}

QJsonObject test(const QDateTime& now)
{
    return message(QStringLiteral("test"), QJsonValue(), QJsonValue(), QJsonValue(),
                   now.toUTC().toString(Qt::ISODateWithMs), QString(),
                   QStringLiteral("A test of the league's notifications from kestrix-collect: they reach this address."));
}

} // namespace NotifyMessage
