#include "SqliteDatabase.h"

#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_statement(other.m_statement)
{
    other.m_statement = nullptr;
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_statement = other.m_statement;
        other.m_statement = nullptr;
    }
    return *this;
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::bindText(int position, QByteArrayView text)
{
    // A zero-length view may carry a null pointer, which SQLite would bind as NULL.
    sqlite3_bind_text(m_statement, position, text.isEmpty() ? "" : text.data(), int(text.size()), SQLITE_TRANSIENT);
}

int SqliteStatement::step()
{
    return sqlite3_step(m_statement);
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

QByteArrayView SqliteStatement::columnText(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_statement, column));
}

qint64 SqliteStatement::columnInt(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

SqliteDatabase::~SqliteDatabase()
{
    close();
}

void SqliteDatabase::close()
{
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool SqliteDatabase::open(const QString& path, Mode mode, QString* error)
{
    close();
    const bool readOnly = mode == Mode::ReadOnly;
    const int flags = readOnly ? (SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // Read-only files are opened immutable: no journal or lock file beside
    // them is ever read or made, whoever put one there.
    const QByteArray name = readOnly ? QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1"
                                     : path.toUtf8();
    if (sqlite3_open_v2(name.constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        *error = lastError();
        close();
        return false;
    }
    return true;
}

SqliteStatement SqliteDatabase::prepare(const QString& sql, QString* error) const
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK) {
        *error = lastError();
        sqlite3_finalize(statement);
        return {};
    }
    return SqliteStatement(statement);
}

bool SqliteDatabase::execute(const QString& sql, QString* error) const
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        *error = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        return false;
    }
    return true;
}

QString SqliteDatabase::lastError() const
{
    return QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory");
}

QString SqliteDatabase::quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}
