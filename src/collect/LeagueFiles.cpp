#include "LeagueFiles.h"

#include <QFile>

namespace {

QByteArray compiledIn(const char* name)
{
    QFile file(QStringLiteral(":/collect/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

namespace LeagueFiles {

QByteArray gridStyle()
{
    static const QByteArray bytes = compiledIn("league-grid.css");
    return bytes;
}

QByteArray layoutStyle()
{
    static const QByteArray bytes = compiledIn("league-layout.css");
    return bytes;
}

QByteArray gridScript()
{
    static const QByteArray bytes = compiledIn("league.js");
    return bytes;
}

QByteArray eventStyle()
{
    static const QByteArray bytes = compiledIn("event.css");
    return bytes;
}

QByteArray eventScript()
{
    static const QByteArray bytes = compiledIn("event.js");
    return bytes;
}

QByteArray badgeForm()
{
    static const QByteArray bytes = compiledIn("standing-badge.svg");
    return bytes;
}

} // namespace LeagueFiles
