#include "SqliteReferenceStore.h"

#include <QDir>

#include <sqlite3.h>

namespace {
const QString CodesTable = QStringLiteral("Codes");
}

SqliteReferenceStore::SqliteReferenceStore(const QString& path)
    : m_path(QDir::toNativeSeparators(path))
{
}

std::unique_ptr<SqliteReferenceStore> SqliteReferenceStore::open(const QString& path, QString* error)
{
    std::unique_ptr<SqliteReferenceStore> store(new SqliteReferenceStore(path));
    QString reason;
    if (!store->m_db.open(path, SqliteDatabase::Mode::ReadOnly, &reason)) {
        *error = QStringLiteral("%1: %2").arg(store->m_path, reason);
        return nullptr;
    }
    SqliteStatement table = store->m_db.prepare(
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1"), &reason);
    if (!table.isValid()) {
        *error = QStringLiteral("%1: %2").arg(store->m_path, reason);
        return nullptr;
    }
    table.bindText(1, CodesTable.toUtf8());
    const int found = table.step();
    if (found != SQLITE_ROW) {
        *error = found == SQLITE_DONE ? QStringLiteral("%1: the database has no table \"Codes\"").arg(store->m_path)
                                      : QStringLiteral("%1: %2").arg(store->m_path, store->m_db.lastError());
        return nullptr;
    }
    return store;
}

bool SqliteReferenceStore::prepareIndex(const QString& name, QString* error)
{
    QString reason;
    SqliteStatement index = m_db.prepare(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ?1 AND name = ?2"), &reason);
    if (index.isValid()) {
        index.bindText(1, CodesTable.toUtf8());
        index.bindText(2, name.toUtf8());
    }
    if (!index.isValid() || index.step() != SQLITE_ROW) {
        *error = reason.isEmpty() ? QStringLiteral("%1: table \"Codes\" has no index \"%2\"").arg(m_path, name)
                                  : QStringLiteral("%1: %2").arg(m_path, reason);
        return false;
    }

    // Key columns only (key = 1), with their collation: lines compare byte for byte.
    SqliteStatement columns = m_db.prepare(
        QStringLiteral("SELECT name, coll FROM pragma_index_xinfo(?1) WHERE key = 1"), &reason);
    if (!columns.isValid()) {
        *error = QStringLiteral("%1: %2").arg(m_path, reason);
        return false;
    }
    columns.bindText(1, name.toUtf8());
    QString column;
    int keyColumns = 0;
    bool binary = true;
    while (columns.step() == SQLITE_ROW) {
        ++keyColumns;
        column = QString::fromUtf8(columns.columnText(0));
        binary = binary && columns.columnText(1) == "BINARY";
    }
    if (keyColumns != 1 || column.isEmpty()) {
        *error = QStringLiteral("%1: index \"%2\" must have exactly one key column").arg(m_path, name);
        return false;
    }
    if (!binary) {
        *error = QStringLiteral("%1: index \"%2\" does not compare keys byte for byte").arg(m_path, name);
        return false;
    }

    SqliteStatement lookup = m_db.prepare(QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 WHERE %3 = ?1 LIMIT 1")
                                              .arg(SqliteDatabase::quoted(CodesTable), SqliteDatabase::quoted(name),
                                                   SqliteDatabase::quoted(column)),
                                          &reason);
    if (!lookup.isValid()) {
        *error = QStringLiteral("%1: %2").arg(m_path, reason);
        return false;
    }
    m_lookups[name] = std::move(lookup);
    return true;
}

bool SqliteReferenceStore::setIndex(const QString& name, QString* error)
{
    if (m_current && name == m_currentName)
        return true;
    if (m_lookups.find(name) == m_lookups.end() && !prepareIndex(name, error))
        return false;
    m_currentName = name;
    m_current = &m_lookups[name];
    return true;
}

bool SqliteReferenceStore::seek(QByteArrayView key, QString* error)
{
    if (!m_current) {
        *error = QStringLiteral("%1: no index is current").arg(m_path);
        return false;
    }
    m_current->bindText(1, key);
    const int result = m_current->step();
    m_current->reset();
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        *error = QStringLiteral("%1: %2").arg(m_path, m_db.lastError());
        return false;
    }
    m_noMatch = result != SQLITE_ROW;
    return true;
}
