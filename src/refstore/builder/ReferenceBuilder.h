#pragma once

#include "SqliteDatabase.h"

#include <QString>

#include <optional>

class QIODevice;

// Writes a SQLite reference database: table "Codes" with one text column a
// car, "Code1" … "Code6", and an index "Car1" … "Car6" on each. Every line of
// a car's genuine descriptor becomes one key of that car's index.
class ReferenceBuilder
{
public:
    static constexpr int CarCount = 6;

    // Starts a new file at path, replacing any file there.
    bool create(const QString& path, QString* error);
    // Adds every line of a genuine descriptor (game line rules) as keys of car 1 … 6.
    bool addDescriptor(int car, QIODevice& descriptor, QString* error);
    // Adds one key of car 1 … 6.
    bool addKey(int car, QByteArrayView key, QString* error);
    // Writes the indexes and, when asked, pads the file to exactly padTo bytes.
    bool finish(std::optional<qint64> padTo, QString* error);

private:
    bool padTo(qint64 bytes, QString* error);

    QString m_path;
    SqliteDatabase m_db;
    SqliteStatement m_insert[CarCount];
};
