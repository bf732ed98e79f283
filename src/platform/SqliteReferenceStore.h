#pragma once

#include "ReferenceStore.h"
#include "SqliteDatabase.h"

#include <map>

// Reference store in a SQLite file: table "Codes", one single-column index a
// car; the index, not a column name, says which column holds the car's lines.
class SqliteReferenceStore final : public ReferenceStore
{
public:
    static std::unique_ptr<SqliteReferenceStore> open(const QString& path, QString* error);

    bool setIndex(const QString& name, QString* error) override;
    bool seek(QByteArrayView key, QString* error) override;
    bool noMatch() const override { return m_noMatch; }

private:
    explicit SqliteReferenceStore(const QString& path);
    bool prepareIndex(const QString& name, QString* error);

    QString m_path;
    SqliteDatabase m_db;
    std::map<QString, SqliteStatement> m_lookups;
    QString m_currentName;
    SqliteStatement* m_current = nullptr;
    bool m_noMatch = true;
};
