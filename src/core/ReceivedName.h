#pragma once

#include <QString>
#include <QStringList>

// A received file's name is the sender's word and nothing more: it must name a
// plain new file in the program folder and never one of the program's own.

// The program's own files in its folder: the executable, the reference
// database and files, the parameter file, the log and the help file.
QStringList programOwnFiles(const QString& executableName);

// Why name cannot be used; empty when it can.
QString refusalReason(const QString& name, const QStringList& ownFiles);
