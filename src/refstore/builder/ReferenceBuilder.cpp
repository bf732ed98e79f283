#include "ReferenceBuilder.h"

#include "LineReader.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

namespace {
constexpr int PageSize = 2048;
}

bool ReferenceBuilder::create(const QString& path, QString* error)
{
    m_path = QDir::toNativeSeparators(path);
    QFile::remove(path);
    QString reason;
    if (!m_db.open(path, SqliteDatabase::Mode::ReadWriteCreate, &reason)
        || !m_db.execute(QStringLiteral("PRAGMA page_size = %1; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
                                        "BEGIN;"
                                        "CREATE TABLE Codes (ID INTEGER PRIMARY KEY, Code1 TEXT, Code2 TEXT, Code3 TEXT,"
                                        " Code4 TEXT, Code5 TEXT, Code6 TEXT);")
                             .arg(PageSize),
                         &reason)) {
        *error = QStringLiteral("%1: %2").arg(m_path, reason);
        return false;
    }
    for (int car = 1; car <= CarCount; ++car) {
        m_insert[car - 1] = m_db.prepare(QStringLiteral("INSERT INTO Codes (Code%1) VALUES (?1)").arg(car), &reason);
        if (!m_insert[car - 1].isValid()) {
            *error = QStringLiteral("%1: %2").arg(m_path, reason);
            return false;
        }
    }
    return true;
}

bool ReferenceBuilder::addKey(int car, QByteArrayView key, QString* error)
{
    SqliteStatement& insert = m_insert[car - 1];
    insert.bindText(1, key);
    const int result = insert.step();
    insert.reset();
    if (result != SQLITE_DONE) {
        *error = QStringLiteral("%1: %2").arg(m_path, m_db.lastError());
        return false;
    }
    return true;
}

bool ReferenceBuilder::addDescriptor(int car, QIODevice& descriptor, QString* error)
{
    LineReader reader(descriptor);
    QByteArrayView line;
    while (reader.next(&line)) {
        if (!addKey(car, line, error))
            return false;
    }
    if (reader.failed()) {
        *error = QStringLiteral("%1: %2").arg(descriptor.objectName(), descriptor.errorString());
        return false;
    }
    return true;
}

bool ReferenceBuilder::finish(std::optional<qint64> padToBytes, QString* error)
{
    for (SqliteStatement& insert : m_insert)
        insert = SqliteStatement();
    QString reason;
    QString indexes;
    for (int car = 1; car <= CarCount; ++car)
        indexes += QStringLiteral("CREATE INDEX Car%1 ON Codes (Code%1);").arg(car);
    if (!m_db.execute(indexes + QStringLiteral("COMMIT;"), &reason)) {
        *error = QStringLiteral("%1: %2").arg(m_path, reason);
        return false;
    }
    return !padToBytes || padTo(*padToBytes, error);
}

// Grows the file to an exact size with one zero-filled blob. The blob grows in
// steps smaller than a page, so the page count rises one page at a time and
// stops exactly on the target (freed pages are reused, never lost).
bool ReferenceBuilder::padTo(qint64 bytes, QString* error)
{
    if (bytes % PageSize != 0) {
        *error = QStringLiteral("%1: %2 is not a whole number of %3-byte pages").arg(m_path).arg(bytes).arg(PageSize);
        return false;
    }
    const qint64 targetPages = bytes / PageSize;
    QString reason;
    const auto pageCount = [this, &reason]() -> qint64 {
        SqliteStatement count = m_db.prepare(QStringLiteral("PRAGMA page_count"), &reason);
        return count.isValid() && count.step() == SQLITE_ROW ? count.columnInt(0) : -1;
    };
    if (!m_db.execute(QStringLiteral("CREATE TABLE Padding (Filler BLOB);"), &reason)) {
        *error = QStringLiteral("%1: %2").arg(m_path, reason);
        return false;
    }
    qint64 pages = pageCount();
    for (qint64 length = 0; pages >= 0 && pages < targetPages; length += PageSize / 8) {
        if (!m_db.execute(QStringLiteral("DELETE FROM Padding; INSERT INTO Padding VALUES (zeroblob(%1));").arg(length),
                          &reason)) {
            *error = QStringLiteral("%1: %2").arg(m_path, reason);
            return false;
        }
        pages = pageCount();
    }
    if (pages != targetPages) {
        *error = QStringLiteral("%1: the reference data does not fit in %2 bytes").arg(m_path).arg(bytes);
        return false;
    }
    return true;
}
