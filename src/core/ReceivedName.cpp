#include "ReceivedName.h"

#include "CarCatalogue.h"

QStringList programOwnFiles(const QString& executableName)
{
    QStringList files{executableName, QStringLiteral("Sam.mdb"), QStringLiteral("Sample.txt"),
                      QStringLiteral("Unmatch.txt"), QStringLiteral("help.txt")};
    for (const Car& car : CarCatalogue::cars())
        files << car.listEntry + QStringLiteral(".dat");
    return files;
}

namespace {
// Longer names no file system here can hold; refusing them also keeps
// messages about a name short.
constexpr qsizetype LongestName = 255;
} // namespace

QString refusalReason(const QString& name, const QStringList& ownFiles)
{
    if (name.isEmpty())
        return QStringLiteral("the header gives no file name");
    if (name.size() > LongestName)
        return QStringLiteral("the name is longer than %1 characters").arg(LongestName);
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("the name holds a control character");
    }
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(u':') || name.contains(QStringLiteral("..")))
        return QStringLiteral("the name \"%1\" is not a plain file name (it holds \"/\", \"\\\", \":\" or \"..\")").arg(name);
    // A name that only extends an own file's name is refused too: the
    // database engine reads "Sam.mdb-journal" beside "Sam.mdb" as its own.
    for (const QString& own : ownFiles) {
        if (name.startsWith(own, Qt::CaseInsensitive))
            return QStringLiteral("\"%1\" is, or belongs to, one of Vortrax Kestrix's own files").arg(name);
    }
    // Qt reads this file from the program's folder when the program starts.
    if (name.compare(QStringLiteral("qt.conf"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("\"%1\" would configure Vortrax Kestrix itself").arg(name);
    return QString();
}
