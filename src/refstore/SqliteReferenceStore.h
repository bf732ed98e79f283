#pragma once

#include "KeySet.h"
#include "ReferenceStore.h"
#include "SqliteDatabase.h"

#include <map>
#include <optional>

// Reference store in a SQLite file: table "Codes", one single-column index a
// car; the index, not a column name, says which column holds the car's lines.
//
// A seek starts as a walk down the index's B-tree. Once an index has been
// sought about as often as reading all its keys would cost, its keys are read
// once, in index order, into a compact key set and later seeks are hash
// probes: a short descriptor never pays for a large reference, and a long one
// pays for it once.
class SqliteReferenceStore final : public ReferenceStore
{
public:
    static std::unique_ptr<SqliteReferenceStore> open(const QString& path, QString* error);

    bool setIndex(const QString& name, QString* error) override;
    bool seek(QByteArrayView key, QString* error) override;
    bool noMatch() const override { return m_noMatch; }

private:
    struct Index {
        QString column;
        SqliteStatement seek;
        std::optional<KeySet> keys;
        qint64 seeks = 0;
    };

    explicit SqliteReferenceStore(const QString& path);
    bool prepareIndex(const QString& name, QString* error);
    QString declaredType(const QString& column) const;
    bool loadKeys(const QString& name, Index& index, QString* error);

    QString m_path;
    qint64 m_fileSize = 0;
    SqliteDatabase m_db;
    std::map<QString, Index> m_indexes;
    QString m_currentName;
    Index* m_current = nullptr;
    bool m_noMatch = true;
};
