#include "ShownTime.h"

#include <cstdlib>

ShownTime::ShownTime(const QTimeZone& zone)
    : m_zone(zone)
{
}

std::optional<ShownTime> ShownTime::named(const QString& name)
{
    const QTimeZone zone(name.toUtf8());
    if (!zone.isValid())
        return std::nullopt;
    return ShownTime(zone);
}

QString ShownTime::text(const QString& time) const
{
    const QDateTime utc = QDateTime::fromString(time, Qt::ISODateWithMs);
    return utc.isValid() ? text(utc) : time;
}

QString ShownTime::text(const QDateTime& time) const
{
    const QDateTime local = time.toTimeZone(m_zone);
    const QString shown = local.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (m_zone == QTimeZone::utc())
        return shown + QStringLiteral(" UTC");
    const int offset = local.offsetFromUtc();
    const QString sign = offset < 0 ? QStringLiteral("-") : QStringLiteral("+");
    const int minutes = std::abs(offset) / 60;
    return shown + u' ' + m_zone.abbreviation(local)
        + QStringLiteral(" (%1%2:%3)").arg(sign).arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}
