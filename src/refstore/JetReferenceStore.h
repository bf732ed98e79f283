#pragma once

#include "KeySet.h"
#include "ReferenceStore.h"

#include <map>
#include <vector>

// Reference store in an Access/Jet file (Jet 3 or Jet 4), read through
// libmdb and never written. An index of the table names its key column; its
// keys are loaded once, when the index is first made current, as the bytes a
// descriptor line must have to match: Jet 3 text as stored, Jet 4 text in
// Windows-1252. NULL and empty values are no keys; a Jet 4 value with a
// character outside Windows-1252 can match no line and is left out.
class JetReferenceStore final : public ReferenceStore
{
public:
    // Opens a table for reading; null, with a reason naming the file, when the
    // file is no readable Jet database or has no such table.
    static std::unique_ptr<JetReferenceStore> open(const QString& path, const QString& table, QString* error);
    ~JetReferenceStore() override;

    // Index and table names compare without regard to case, as in Jet.
    bool setIndex(const QString& name, QString* error) override;
    bool seek(QByteArrayView key, QString* error) override;
    bool noMatch() const override { return m_noMatch; }

    // The keys of an index in table order, repeats included, read anew from
    // the file; false, with a reason, when the index is missing or unusable or
    // the table's rows cannot all be read.
    bool readKeys(const QString& index, std::vector<QByteArray>* keys, QString* error);

private:
    struct Database;
    JetReferenceStore(const QString& path, const QString& table);

    QString m_shownPath;
    QString m_table;
    std::unique_ptr<Database> m_db;
    std::map<QString, KeySet> m_loaded; // by the index name in lower case
    QString m_currentName;
    const KeySet* m_current = nullptr;
    bool m_noMatch = true;
};
