#include "ReferenceBuilder.h"

#include "LineReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {
constexpr int PageSize = 2048;
}

bool ReferenceBuilder::fail(const QString& reason, QString* error) const
{
    *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), reason);
    return false;
}

bool ReferenceBuilder::create(const QString& path, QString* error)
{
    m_path = path;
    const QFileInfo output(path);
    QString reason;
    if (!m_file.create(output.absolutePath(), output.fileName(), error) || !m_file.close(error))
        return false;
    if (!m_db.open(m_file.path(), SqliteDatabase::Mode::ReadWriteCreate, &reason)
        || !m_db.execute(QStringLiteral("PRAGMA page_size = %1; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
                                        "BEGIN;"
                                        "CREATE TABLE Codes (ID INTEGER PRIMARY KEY, Code1 TEXT, Code2 TEXT, Code3 TEXT,"
                                        " Code4 TEXT, Code5 TEXT, Code6 TEXT);")
                             .arg(PageSize),
                         &reason))
        return fail(reason, error);
    for (int car = 1; car <= CarCatalogue::CarCount; ++car) {
        m_insert[car - 1] = m_db.prepare(QStringLiteral("INSERT INTO Codes (Code%1) VALUES (?1)").arg(car), &reason);
        if (!m_insert[car - 1].isValid())
            return fail(reason, error);
    }
    return true;
}

bool ReferenceBuilder::addKey(int car, QByteArrayView key, QString* error)
{
    if (car < 1 || car > CarCatalogue::CarCount)
        return fail(QStringLiteral("there is no car %1; the cars are 1 to %2").arg(car).arg(CarCatalogue::CarCount),
                    error);
    if (!m_db.handle())
        return fail(QStringLiteral("the database is not being built"), error);
    SqliteStatement& insert = m_insert[car - 1];
    insert.bindText(1, key);
    const int result = insert.step();
    insert.reset();
    if (result != SQLITE_DONE)
        return fail(m_db.lastError(), error);
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
    for (int car = 1; car <= CarCatalogue::CarCount; ++car)
        indexes += QStringLiteral("CREATE INDEX %1 ON Codes (Code%2);")
                       .arg(SqliteDatabase::quoted(CarCatalogue::cars()[car - 1].indexName))
                       .arg(car);
    if (!m_db.execute(indexes + QStringLiteral("COMMIT;"), &reason))
        return fail(reason, error);
    if (padToBytes && !padTo(*padToBytes, error))
        return false;
    m_db.close();
    return m_file.moveTo(m_path, TemporaryFile::Existing::Replace, error);
}

// Grows the file to an exact size with one zero-filled blob. The blob grows in
// steps smaller than a page, so the page count rises one page at a time and
// stops exactly on the target (freed pages are reused, never lost).
bool ReferenceBuilder::padTo(qint64 bytes, QString* error)
{
    if (bytes % PageSize != 0)
        return fail(QStringLiteral("%1 is not a whole number of %2-byte pages").arg(bytes).arg(PageSize), error);
    const qint64 targetPages = bytes / PageSize;
    QString reason;
    const auto pageCount = [this, &reason]() -> qint64 {
        SqliteStatement count = m_db.prepare(QStringLiteral("PRAGMA page_count"), &reason);
        return count.isValid() && count.step() == SQLITE_ROW ? count.columnInt(0) : -1;
    };
    if (!m_db.execute(QStringLiteral("CREATE TABLE Padding (Filler BLOB);"), &reason))
        return fail(reason, error);
    qint64 pages = pageCount();
    for (qint64 length = 0; pages >= 0 && pages < targetPages; length += PageSize / 8) {
        if (!m_db.execute(QStringLiteral("DELETE FROM Padding; INSERT INTO Padding VALUES (zeroblob(%1));").arg(length),
                          &reason))
            return fail(reason, error);
        pages = pageCount();
    }
    if (pages != targetPages)
        return fail(QStringLiteral("the reference data does not fit in %1 bytes").arg(bytes), error);
    return true;
}
