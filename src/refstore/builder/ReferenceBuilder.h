#pragma once

#include "CarCatalogue.h"
#include "SqliteDatabase.h"
#include "TemporaryFile.h"

#include <QString>

#include <optional>

class QIODevice;

// Writes a SQLite reference database: table "Codes" with one text column a
// car, "Code1" … "Code6", and on each the index the car catalogue names for
// that car. Every line of a car's genuine descriptor becomes one key of that
// car's index. The database is built in a temporary file beside its output
// and takes the output's name only when finish() succeeds, so a failed build
// leaves any earlier file as it was.
class ReferenceBuilder
{
public:
    // Starts building the file that is to replace path.
    bool create(const QString& path, QString* error);
    // Adds every line of a genuine descriptor (game line rules) as keys of car 1 … 6.
    bool addDescriptor(int car, QIODevice& descriptor, QString* error);
    // Adds one key of car 1 … 6.
    bool addKey(int car, QByteArrayView key, QString* error);
    // Writes the indexes, pads the file to exactly padTo bytes when asked,
    // and puts it in place.
    bool finish(std::optional<qint64> padTo, QString* error);

private:
    bool padTo(qint64 bytes, QString* error);
    bool fail(const QString& reason, QString* error) const;

    QString m_path;
    TemporaryFile m_file;
    SqliteDatabase m_db;
    SqliteStatement m_insert[CarCatalogue::CarCount];
};
