#pragma once

#include "FileSystem.h"

#include <QCoreApplication>
#include <QString>

// The tools' reference data unless --folder says otherwise: their own folder
// when it holds Sam.mdb (a program folder, as staged or unpacked), else the
// folder where the Debian package installs it beside /usr/bin.
inline QString defaultReferenceFolder()
{
    const QString own = QCoreApplication::applicationDirPath();
    if (FileSystem::isOrdinaryFile(FileSystem::resolve(own + QStringLiteral("/Sam.mdb"))))
        return own;
    return QStringLiteral(KESTRIX_REFERENCE_DIR);
}
