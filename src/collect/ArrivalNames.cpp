#include "ArrivalNames.h"

#include "KeptName.h"
#include "ReceivedName.h"

#include <QDateTime>
#include <QFileInfo>

std::optional<QString> ArrivalNames::take(const QString& folder, const QString& received)
{
    const qint64 arrival =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz")).toLongLong();
    const QByteArray receivedBytes = received.toUtf8();
    for (int copy = 1; copy <= wire::LastCopy; ++copy) {
        const QString name = QString::fromStdString(wire::keptName(arrival, copy, receivedBytes.toStdString()));
        const QString path = folder + u'/' + name;
        if (!m_inUse.count(path) && !QFileInfo::exists(path) && !QFileInfo::exists(path + QStringLiteral(".partial"))) {
            m_inUse.insert(path);
            return name;
        }
    }
    return std::nullopt;
}

QString ArrivalNames::refusalReason(const QString& received)
{
    if (wire::beginsWithNumber(received.toUtf8().toStdString()))
        return QStringLiteral("the name \"%1\" begins with a number and a \"-\", as the collector numbers the copies "
                              "it keeps").arg(shownName(received));
    return QString();
}

void ArrivalNames::release(const QString& path)
{
    m_inUse.erase(path);
}
