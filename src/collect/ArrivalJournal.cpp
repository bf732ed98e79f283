#include "ArrivalJournal.h"

#include "FileSystem.h"
#include "VerdictJson.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <unistd.h>

namespace ArrivalJournal {

namespace {

// A journal is a line of a few hundred bytes.
constexpr qint64 Largest = 64 * 1024;

} // namespace

QString pathOf(const QString& temporaryPath)
{
    return temporaryPath + Suffix;
}

bool write(const QString& path, const Entry& entry, QString* error)
{
    const QJsonObject line{{QStringLiteral("kept"), entry.kept},     {QStringLiteral("name"), entry.name},
                           {QStringLiteral("size"), entry.size},     {QStringLiteral("player"), entry.player},
                           {QStringLiteral("sender"), entry.sender}, {QStringLiteral("time"), entry.time}};
    return FileSystem::appendEncoded(QFile::encodeName(path), jsonLine(line), error);
}

std::optional<Entry> read(const QString& path)
{
    QByteArray bytes;
    QString error;
    if (!FileSystem::readAllEncoded(QFile::encodeName(path), path, &bytes, &error, Largest))
        return std::nullopt;
    const QJsonObject line = QJsonDocument::fromJson(bytes).object();
    Entry entry{line.value(QLatin1String("kept")).toString(),   line.value(QLatin1String("name")).toString(),
                line.value(QLatin1String("size")).toInteger(),  line.value(QLatin1String("player")).toString(),
                line.value(QLatin1String("sender")).toString(), line.value(QLatin1String("time")).toString()};
    // A name that leaves its player's folder is no journal of ours.
    const QStringList parts = entry.kept.split(u'/');
    for (const QString& part : parts) {
        if (parts.size() != 2 || part.isEmpty() || part == u"." || part == u"..")
            return std::nullopt;
    }
    return entry;
}

void remove(const QString& path)
{
    if (!path.isEmpty())
        ::unlink(QFile::encodeName(path).constData());
}

} // namespace ArrivalJournal
