#include "EventLog.h"

#include "VerdictJson.h"

#include <QDateTime>

#include <cstdio>

EventLog::EventLog(bool json)
    : m_json(json)
{
}

QString EventLog::timeNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void EventLog::write(const QString& who, const QString& text, QJsonObject fields)
{
    if (m_json) {
        fields.insert(QStringLiteral("time"), timeNow());
        std::fputs(jsonLine(fields).constData(), stdout);
    } else {
        const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + u' '
            + (who.isEmpty() ? QString() : who + u' ') + text + u'\n';
        std::fputs(line.toLocal8Bit().constData(), stdout);
    }
    std::fflush(stdout);
}
