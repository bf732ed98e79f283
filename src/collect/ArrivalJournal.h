#pragma once

#include <QString>

#include <optional>

// Who is sending a file, and under which name it is to be kept: a line of
// JSON beside the file's temporary name in its player's folder
// ("<temporary name>.arriving"), written before the first byte of the file
// and removed once the file has its record or ended as a partial one. What
// a crash leaves of it tells the next start whose partial file it holds, or
// that a file kept whole was never checked. The fields are described in
// docs/collect.md.
namespace ArrivalJournal {

constexpr QLatin1StringView Suffix{".arriving"};

struct Entry {
    QString kept;   // the name the file is to take, under DIR: <player>/<stamped name>
    QString name;   // as announced
    qint64 size = 0; // announced
    QString player;
    QString sender; // the sender's address
    QString time;   // of the transfer's start
};

// The journal of a file written to temporaryPath.
QString pathOf(const QString& temporaryPath);
bool write(const QString& path, const Entry& entry, QString* error);
std::optional<Entry> read(const QString& path);
void remove(const QString& path);

} // namespace ArrivalJournal
