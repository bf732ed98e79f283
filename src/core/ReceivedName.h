#pragma once

#include <QString>
#include <QStringList>

// A received file's name is the sender's word and nothing more: it must name a
// plain new file in the program folder and never one of the program's own.

// The program's own files in its folder: the executable, the reference
// database and files, the parameter file, the log and the help file.
QStringList programOwnFiles(const QString& executableName);

// Why name cannot be used; empty when it can. prefixBytes: what a receiver
// puts before the name on disk, which must fit as well.
QString refusalReason(const QString& name, const QStringList& ownFiles, qsizetype prefixBytes = 0);

// The name under which the bytes of a transfer that ended early are kept,
// beside the file the name was meant for. It always fits: the rules keep
// room for it.
QString partialName(const QString& name);

// A name as a message shows it: a long one is cut short in its middle, so
// that a message stays readable and no wider than a screen.
QString shownName(const QString& name);
