#include "LeagueFiles.h"

#include <QFile>

#include <array>

namespace {

// In the order of File.
constexpr std::array<const char*, 6> Names{"league-grid.css", "league-layout.css", "league.js",
                                           "event.css",       "event.js",          "standing-badge.svg"};

} // namespace

namespace LeagueFiles {

QByteArray bytes(File file)
{
    static const std::array<QByteArray, Names.size()> read = [] {
        std::array<QByteArray, Names.size()> all;
        for (std::size_t index = 0; index < Names.size(); ++index) {
            QFile compiledIn(QStringLiteral(":/collect/") + QLatin1String(Names[index]));
            if (compiledIn.open(QIODevice::ReadOnly))
                all[index] = compiledIn.readAll();
        }
        return all;
    }();
    return read[std::size_t(file)];
}

} // namespace LeagueFiles
