#pragma once

#include "FileSystem.h"
#include "MainWindowHarness.h"

#include <QDir>

// Texts the scan shows, and small helpers to drive it.
namespace ScanTexts {
inline const QString Completed = QStringLiteral("Comparisation Completed and Unmatch file created");
inline const QString NoTweaks = QStringLiteral("No 'Car Descriptor Tweaks' were found. :)");
inline const QString TweaksFound = QStringLiteral(
    "'Tweaks' have been found in your Car Descripter! Refer to the 'View Tweaked Data' function for more information.");
} // namespace ScanTexts

inline QByteArray genuineDescriptor(const QString& car)
{
    QByteArray bytes;
    QString error;
    FileSystem::readAll(TestProgramFolder::dataFile(QStringLiteral("genuine/") + car + QStringLiteral(".dat")), &bytes,
                        &error);
    return bytes;
}

inline QByteArray fileBytes(const QString& path)
{
    QByteArray bytes;
    QString error;
    FileSystem::readAll(path, &bytes, &error);
    return bytes;
}

// Puts a received copy for the selected car in the program folder and scans it.
inline void scanRemote(MainWindowHarness& h, const QByteArray& descriptor)
{
    QString error;
    FileSystem::writeAll(h.folder.path() + h.c[u"Label5"].text(), descriptor, &error);
    h.c[u"cmdCompare"].click();
}
