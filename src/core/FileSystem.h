#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

// File access with the game's path rules: "\" and "/" both separate, doubled
// separators collapse, and each component matches an existing entry without
// regard to letter case (an exact match wins). Failures come back as false
// plus a reason that names the file.
namespace FileSystem {

// The native path that a game-style path denotes. A component that matches no
// existing entry keeps the spelling given, so a new file is created as named.
QString resolve(const QString& path);

// True for an existing ordinary file; a folder counts as missing.
bool isOrdinaryFile(const QString& path);

std::optional<qint64> length(const QString& path);
std::optional<QDateTime> modified(const QString& path);

// Local time as "dd/MM/yyyy HH:mm:ss", the form the reference constants use.
QString dateTimeText(const QDateTime& time);
// The local time that such a text names; invalid when the text is not of that form.
QDateTime fromDateTimeText(const QString& text);
bool setModified(const QString& path, const QDateTime& time, QString* error);

bool readAll(const QString& path, QByteArray* bytes, QString* error);
// Replaces the file whole (truncated first) or creates it.
bool writeAll(const QString& path, QByteArrayView bytes, QString* error);
// Opens, appends and closes again, so the file on disk is complete afterwards.
bool append(const QString& path, QByteArrayView bytes, QString* error);
// The same for a native path already resolved and encoded (QFile::encodeName
// of resolve()): no look-up of its folders, for callers that append many
// times to one file.
bool appendEncoded(const QByteArray& encodedPath, QByteArrayView bytes, QString* error);

} // namespace FileSystem
