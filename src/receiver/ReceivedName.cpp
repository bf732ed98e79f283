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

QString refusalReason(const QString& name, const QStringList& ownFiles)
{
    if (name.isEmpty())
        return QStringLiteral("the header gives no file name");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("the name holds a control character");
    }
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(u':') || name.contains(QStringLiteral("..")))
        return QStringLiteral("the name \"%1\" is not a plain file name (it holds \"/\", \"\\\", \":\" or \"..\")").arg(name);
    if (ownFiles.contains(name, Qt::CaseInsensitive))
        return QStringLiteral("\"%1\" is one of Vortrax Kestrix's own files").arg(name);
    return QString();
}
