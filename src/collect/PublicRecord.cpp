#include "PublicRecord.h"

#include <QDir>
#include <QFileInfo>

namespace PublicRecord {

QJsonObject of(const QJsonObject& record, const QString& dir)
{
    QJsonObject shown = record;
    shown.remove(QStringLiteral("sender"));
    // Its bytes are the server's path.
    shown.remove(QStringLiteral("path_base64"));
    const QString player = record.value(QLatin1String("player")).toString();
    const QString path = record.value(QLatin1String("path")).toString();
    if (!path.isEmpty())
        shown.insert(QStringLiteral("path"), player + u'/' + QFileInfo(path).fileName());
    // An error's words may name a file within the collector's folder.
    const QString within = QDir::cleanPath(dir) + u'/';
    for (auto value = shown.begin(); value != shown.end(); ++value) {
        if (value->isString() && value->toString().contains(within))
            *value = value->toString().replace(within, QString());
    }
    return shown;
}

} // namespace PublicRecord
