#include "DescriptorCorrection.h"

#include "FileSystem.h"
#include "TemporaryFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <unistd.h>

namespace {

// A new name beside path that holds what path holds now.
bool keepCopy(const QString& path, const QString& stamp, QString* keptAs, QString* error)
{
    const QByteArray from = QFile::encodeName(path);
    QByteArray bytes;
    bool haveBytes = false;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = path + QStringLiteral(".tweaked-") + stamp
            + (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt));
        const QByteArray to = QFile::encodeName(name);
        // A second name for the same file; where the file system has no
        // such names, a copy.
        if (::link(from.constData(), to.constData()) == 0) {
            *keptAs = name;
            return true;
        }
        if (errno == EEXIST)
            continue;
        if (!haveBytes && !(haveBytes = FileSystem::readAll(path, &bytes, error, -1, FileSystem::PathRules::Exact)))
            return false;
        TemporaryFile copy;
        if (!copy.create(QFileInfo(path).absolutePath(), QFileInfo(name).fileName(), error) || !copy.write(bytes, error))
            return false;
        if (copy.moveTo(name, TemporaryFile::Existing::Keep, error)) {
            *keptAs = name;
            return true;
        }
        if (!QFileInfo::exists(name))
            return false;
    }
    *error = FileSystem::failure(path, QStringLiteral("too many kept copies of it already"));
    return false;
}

} // namespace

bool correctDescriptor(const QString& path, const QByteArray& genuine, const QString& stamp, QString* keptAs,
                       QString* error)
{
    if (!keepCopy(path, stamp, keptAs, error))
        return false;
    if (FileSystem::writeAll(path, genuine, error, FileSystem::PathRules::Exact))
        return true;
    ::unlink(QFile::encodeName(*keptAs).constData());
    keptAs->clear();
    return false;
}
