#include "JetReferenceStore.h"

#include "Cp1252.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include <glib.h>
// glib first: mdbtools.h leaves it to its includer in C++.
#include <mdbtools.h>

namespace {

constexpr int Jet3PageSize = 2048;
constexpr int Jet4PageSize = 4096;
constexpr int VersionOffset = 0x14;

// libmdb reads the code page of Jet 3 text from the environment at every
// open. It is set once, while the program starts and before any thread
// runs, since changing the environment later races with threads reading it.
// A user's own value cannot stand: the keys must come out byte for byte.
[[maybe_unused]] const bool Jet3CharsetSet = [] { return ::setenv("MDB_JET3_CHARSET", "ISO-8859-1", 1) == 0; }();

// The table states its row count; fewer rows means pages are missing, more
// means its page chain is broken. Either way keys would be missing.
QString damagedRows(const QString& table, quint64 rows, quint64 expected)
{
    if (rows > expected)
        return QStringLiteral("table \"%1\" is damaged: it holds more rows than the %2 it states").arg(table).arg(expected);
    return QStringLiteral("table \"%1\" is damaged: only %2 of its %3 rows can be read").arg(table).arg(rows).arg(expected);
}

bool isAscii(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80)
            return false;
    }
    return true;
}

// Text from libmdb is UTF-8. Jet 3 is opened with ISO-8859-1 as its code page,
// so each character is one stored byte: Jet 3 keeps text in the code page of
// the machine that wrote it, which is what the descriptors are written in too.
// Jet 4 keeps Unicode, which matches a line through its Windows-1252 bytes.
std::optional<QByteArray> keyBytes(QByteArrayView utf8, bool jet3)
{
    if (isAscii(utf8))
        return utf8.toByteArray();
    const QString text = QString::fromUtf8(utf8);
    if (jet3) {
        for (const QChar character : text) {
            if (character.unicode() > 0xFF)
                return std::nullopt;
        }
        return text.toLatin1();
    }
    bool ok = false;
    QByteArray bytes = toCp1252(text, &ok);
    if (!ok)
        return std::nullopt;
    return bytes;
}

} // namespace

struct JetReferenceStore::Database {
    struct Index {
        QString name;
        int keyColumns = 0;
        int column = 0; // 1-based, as libmdb binds columns
        int columnType = 0;
    };

    ~Database()
    {
        if (mdb)
            mdb_close(mdb);
    }

    // The table's definition with its columns and indexes; null when unreadable.
    MdbTableDef* readTable() const
    {
        MdbTableDef* definition = mdb_read_table(entry);
        if (!definition)
            return nullptr;
        if (!mdb_read_columns(definition)) {
            mdb_free_tabledef(definition);
            return nullptr;
        }
        mdb_read_indices(definition); // its result says nothing; the indexes land in the definition
        if (!definition->indices || definition->indices->len != definition->num_idxs) {
            mdb_free_tabledef(definition);
            return nullptr;
        }
        return definition;
    }

    MdbHandle* mdb = nullptr;
    MdbCatalogEntry* entry = nullptr;
    bool jet3 = false;
    std::vector<Index> indexes;
};

JetReferenceStore::JetReferenceStore(const QString& path, const QString& table)
    : m_shownPath(QDir::toNativeSeparators(path))
    , m_table(table)
    , m_db(std::make_unique<Database>())
{
}

JetReferenceStore::~JetReferenceStore() = default;

std::unique_ptr<JetReferenceStore> JetReferenceStore::open(const QString& path, const QString& table, QString* error)
{
    std::unique_ptr<JetReferenceStore> store(new JetReferenceStore(path, table));
    const QString& shown = store->m_shownPath;
    const auto fail = [&](const QString& reason) {
        *error = QStringLiteral("%1: %2").arg(shown, reason);
        return nullptr;
    };

    // libmdb trusts the file's structure; a file cut off inside a page can
    // make it loop for ever, so only whole pages reach it.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const QByteArray header = file.read(VersionOffset + 1);
    const QByteArray signature = header.mid(4, 15);
    if (header.size() <= VersionOffset || (signature != "Standard Jet DB" && signature != "Standard ACE DB"))
        return fail(QStringLiteral("not an Access/Jet database"));
    Database& db = *store->m_db;
    db.jet3 = header.at(VersionOffset) == 0;
    const qint64 pageSize = db.jet3 ? Jet3PageSize : Jet4PageSize;
    if (file.size() % pageSize != 0)
        return fail(QStringLiteral("the file is truncated or damaged: %1 bytes is not a whole number of %2-byte pages")
                        .arg(file.size())
                        .arg(pageSize));
    if (file.size() < 2 * pageSize)
        return fail(QStringLiteral("the file is truncated: it is too short for an Access/Jet database"));
    file.close();

    // What libmdb prints about a damaged file goes to stderr as it is.
    db.mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!db.mdb)
        return fail(QStringLiteral("the file could not be read as an Access/Jet database"));
    const GPtrArray* catalog = mdb_read_catalog(db.mdb, MDB_TABLE);
    if (!catalog)
        return fail(QStringLiteral("the list of tables could not be read; the file is damaged"));
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE
            && QString::fromUtf8(entry->object_name).compare(table, Qt::CaseInsensitive) == 0) {
            db.entry = entry;
            break;
        }
    }
    if (!db.entry)
        return fail(QStringLiteral("the database has no table \"%1\"").arg(table));

    MdbTableDef* definition = db.readTable();
    if (!definition)
        return fail(QStringLiteral("the definition of table \"%1\" could not be read; the file is damaged").arg(table));
    // Every row is read once now, so a damaged table shows at start-up and not
    // in the middle of a scan.
    const quint64 expected = definition->num_rows;
    quint64 rows = 0;
    mdb_rewind_table(definition);
    while (rows <= expected && mdb_fetch_row(definition))
        ++rows;
    if (rows != expected) {
        mdb_free_tabledef(definition);
        return fail(damagedRows(table, rows, expected));
    }
    for (guint i = 0; i < definition->indices->len; ++i) {
        const auto* index = static_cast<const MdbIndex*>(g_ptr_array_index(definition->indices, i));
        Database::Index described;
        described.name = QString::fromUtf8(index->name);
        described.keyColumns = int(index->num_keys);
        described.column = index->key_col_num[0];
        if (described.column >= 1 && described.column <= int(definition->num_cols)) {
            const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(definition->columns, described.column - 1));
            described.columnType = column->col_type;
        }
        db.indexes.push_back(described);
    }
    mdb_free_tabledef(definition);
    return store;
}

bool JetReferenceStore::readKeys(const QString& index, std::vector<QByteArray>* keys, QString* error)
{
    const Database& db = *m_db;
    const auto described = std::find_if(db.indexes.begin(), db.indexes.end(), [&](const Database::Index& candidate) {
        return candidate.name.compare(index, Qt::CaseInsensitive) == 0;
    });
    if (described == db.indexes.end()) {
        *error = QStringLiteral("%1: table \"%2\" has no index \"%3\"").arg(m_shownPath, m_table, index);
        return false;
    }
    if (described->keyColumns != 1) {
        *error = QStringLiteral("%1: index \"%2\" must have exactly one key column").arg(m_shownPath, described->name);
        return false;
    }
    if (described->columnType != MDB_TEXT) {
        *error = QStringLiteral("%1: index \"%2\" is not on a text column").arg(m_shownPath, described->name);
        return false;
    }

    MdbTableDef* definition = db.readTable();
    if (!definition) {
        *error = QStringLiteral("%1: the definition of table \"%2\" could not be read; the file is damaged")
                     .arg(m_shownPath, m_table);
        return false;
    }
    const size_t bindSize = db.mdb->bind_size;
    std::vector<char> value(bindSize + 1);
    int length = 0;
    mdb_bind_column(definition, described->column, value.data(), &length);
    mdb_rewind_table(definition);

    keys->clear();
    const quint64 expected = definition->num_rows;
    quint64 rows = 0;
    while (rows <= expected && mdb_fetch_row(definition)) {
        ++rows;
        const QByteArrayView utf8(value.data(), qBound<qsizetype>(0, qsizetype(length), qsizetype(bindSize)));
        if (utf8.isEmpty())
            continue;
        if (std::optional<QByteArray> key = keyBytes(utf8, db.jet3))
            keys->push_back(std::move(*key));
    }
    mdb_free_tabledef(definition);
    if (rows != expected) {
        *error = QStringLiteral("%1: %2").arg(m_shownPath, damagedRows(m_table, rows, expected));
        keys->clear();
        return false;
    }
    return true;
}

bool JetReferenceStore::setIndex(const QString& name, QString* error)
{
    if (m_current && name == m_currentName)
        return true;
    const QString cacheKey = name.toLower();
    auto loaded = m_loaded.find(cacheKey);
    if (loaded == m_loaded.end()) {
        std::vector<QByteArray> keys;
        if (!readKeys(name, &keys, error))
            return false;
        loaded = m_loaded.emplace(cacheKey, KeySet::fromUnsorted(std::move(keys))).first;
    }
    m_currentName = name;
    m_current = &loaded->second;
    return true;
}

bool JetReferenceStore::seek(QByteArrayView key, QString* error)
{
    if (!m_current) {
        *error = QStringLiteral("%1: no index is current").arg(m_shownPath);
        return false;
    }
    m_noMatch = !m_current->contains(key);
    return true;
}
