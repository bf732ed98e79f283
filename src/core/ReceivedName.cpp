#include "ReceivedName.h"

#include "CarCatalogue.h"

#include <QFile>

QStringList programOwnFiles(const QString& executableName)
{
    QStringList files{executableName, QStringLiteral("Sam.mdb"), QStringLiteral("Sample.txt"),
                      QStringLiteral("Unmatch.txt"), QStringLiteral("help.txt")};
    for (const Car& car : CarCatalogue::cars())
        files << car.listEntry + QStringLiteral(".dat");
    return files;
}

namespace {
// The longest name, in bytes, that a file system here holds.
constexpr qsizetype LongestName = 255;
const QString PartialSuffix = QStringLiteral(".partial");
constexpr qsizetype LongestShown = 80;
} // namespace

QString partialName(const QString& name)
{
    return name + PartialSuffix;
}

QString shownName(const QString& name)
{
    if (name.size() <= LongestShown)
        return name;
    const qsizetype half = (LongestShown - 1) / 2;
    return name.left(half) + u'\u2026' + name.right(half);
}

QString refusalReason(const QString& name, const QStringList& ownFiles, qsizetype prefixBytes)
{
    if (name.isEmpty())
        return QStringLiteral("the header gives no file name");
    // Counted as the file system counts, in bytes, with room for the partial
    // name: a name that could not be kept under either is refused before any
    // byte arrives, never after.
    const qsizetype longest = LongestName - PartialSuffix.size() - prefixBytes;
    if (QFile::encodeName(name).size() > longest)
        return QStringLiteral("the name is longer than the %1 bytes a file name may have here").arg(longest);
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("the name holds a control character");
    }
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(u':') || name.contains(QStringLiteral("..")))
        return QStringLiteral("the name \"%1\" is not a plain file name (it holds \"/\", \"\\\", \":\" or \"..\")")
            .arg(shownName(name));
    // The game's platform drops such blanks and dots from a name, so the
    // file would not keep the name it was sent under.
    if (name.startsWith(u' ') || name.endsWith(u' '))
        return QStringLiteral("the name \"%1\" is blank or begins or ends with a space").arg(shownName(name));
    if (name.endsWith(u'.'))
        return QStringLiteral("the name \"%1\" ends with a dot").arg(shownName(name));
    // A name that only extends an own file's name is refused too: the
    // database engine reads "Sam.mdb-journal" beside "Sam.mdb" as its own.
    for (const QString& own : ownFiles) {
        if (name.startsWith(own, Qt::CaseInsensitive))
            return QStringLiteral("\"%1\" is, or belongs to, one of Vortrax Kestrix's own files").arg(shownName(name));
    }
    // Qt reads this file from the program's folder when the program starts.
    if (name.compare(QStringLiteral("qt.conf"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("\"%1\" would configure Vortrax Kestrix itself").arg(shownName(name));
    return QString();
}
