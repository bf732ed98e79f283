#pragma once

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// Thin owning wrappers over the SQLite C API.
class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3_stmt* statement)
        : m_statement(statement)
    {
    }
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    ~SqliteStatement();

    bool isValid() const { return m_statement != nullptr; }
    sqlite3_stmt* get() const { return m_statement; }

    void bindText(int position, QByteArrayView text);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    void reset();
    QByteArrayView columnText(int column) const;
    qint64 columnInt(int column) const;

private:
    sqlite3_stmt* m_statement = nullptr;
};

class SqliteDatabase
{
public:
    enum class Mode { ReadOnly, ReadWriteCreate };

    SqliteDatabase() = default;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;
    ~SqliteDatabase();

    // Closes any database opened before.
    bool open(const QString& path, Mode mode, QString* error);
    void close();
    // An invalid statement on failure, with the engine's message in error.
    SqliteStatement prepare(const QString& sql, QString* error) const;
    bool execute(const QString& sql, QString* error) const;
    QString lastError() const;
    sqlite3* handle() const { return m_db; }

    // Quotes an identifier for use inside SQL text.
    static QString quoted(const QString& identifier);

private:
    sqlite3* m_db = nullptr;
};
