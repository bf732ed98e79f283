#include "LeagueLayout.h"

#include <QFile>

namespace LeagueLayout {

QByteArray style()
{
    static const QByteArray css = [] {
        QFile file(QStringLiteral(":/collect/league-layout.css"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return css;
}

} // namespace LeagueLayout
