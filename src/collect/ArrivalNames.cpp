#include "ArrivalNames.h"

#include <QDateTime>
#include <QFileInfo>

std::optional<QString> ArrivalNames::take(const QString& folder, const QString& received)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    for (int copy = 1; copy <= 1000; ++copy) {
        const QString name =
            copy == 1 ? stamp + u'-' + received : QStringLiteral("%1-%2-%3").arg(stamp).arg(copy).arg(received);
        const QString path = folder + u'/' + name;
        if (!m_inUse.count(path) && !QFileInfo::exists(path) && !QFileInfo::exists(path + QStringLiteral(".partial"))) {
            m_inUse.insert(path);
            return name;
        }
    }
    return std::nullopt;
}

void ArrivalNames::release(const QString& path)
{
    m_inUse.erase(path);
}
