#include "OpenReferenceStore.h"

#include "FileSystem.h"

#include "JetReferenceStore.h"
#include "SqliteReferenceStore.h"

#include <QDir>
#include <QFile>

namespace {

enum class StoreKind { Sqlite, Jet, Unknown };

StoreKind kindOf(const QByteArray& header)
{
    if (header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return StoreKind::Sqlite;
    const QByteArray signature = header.mid(4, 15);
    if (signature == "Standard Jet DB" || signature == "Standard ACE DB")
        return StoreKind::Jet;
    return StoreKind::Unknown;
}

} // namespace

std::unique_ptr<ReferenceStore> openReferenceStore(const QString& path, QString* error)
{
    const QString shown = QDir::toNativeSeparators(path);
    // Looked at as every read file is, so a FIFO in its place cannot hold
    // the program up.
    QFile file;
    if (!FileSystem::openOrdinary(path, QIODevice::ReadOnly, &file, error))
        return nullptr;
    const QByteArray header = file.read(32);
    file.close();
    switch (kindOf(header)) {
    case StoreKind::Sqlite:
        return SqliteReferenceStore::open(path, error);
    case StoreKind::Jet:
        return JetReferenceStore::open(path, QStringLiteral("Codes"), error);
    case StoreKind::Unknown:
        break;
    }
    *error = QStringLiteral("%1: not a reference database (neither SQLite nor Access/Jet)").arg(shown);
    return nullptr;
}
