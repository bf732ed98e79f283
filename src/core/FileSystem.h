#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QIODevice>
#include <QString>

#include <optional>

class QFile;
struct stat;

// File access with the game's path rules: "\" and "/" both separate, doubled
// separators collapse, and each component matches an existing entry without
// regard to letter case (an exact match wins). Failures come back as false
// plus a reason that names the file.
namespace FileSystem {

// Where a path comes from: the game (and its letter case and separators are
// the game's), or the host, as a command line or a folder listing gives it,
// to be taken exactly.
enum class PathRules { Game, Exact };

// The native path that a game-style path denotes. A component that matches no
// existing entry keeps the spelling given, so a new file is created as named.
QString resolve(const QString& path);

// True for an existing ordinary file; a folder counts as missing.
bool isOrdinaryFile(const QString& path);

std::optional<qint64> length(const QString& path);
// What the file system holding folder still takes; nothing when unknown.
std::optional<qint64> bytesFree(const QString& folder);
std::optional<QDateTime> modified(const QString& path);

// Local time as "dd/MM/yyyy HH:mm:ss", the form the reference constants use.
QString dateTimeText(const QDateTime& time);
// The local time that such a text names; invalid when the text is not of that form.
QDateTime fromDateTimeText(const QString& text);
// The same form in UTC.
QString utcDateTimeText(const QDateTime& time);
// Whether a file modified at that moment carries a reference date, read in
// local time or in UTC: unpacking a zip keeps the wall-clock time, which
// local time reads; cp -a, tar and rsync keep the instant, which reads as
// the constant in UTC wherever the copy lands.
bool dateMatches(const QDateTime& modified, const QString& constant);
bool setModified(const QString& path, const QDateTime& time, QString* error);

// Opens an ordinary file that someone else may have put in place: the open
// never waits (a FIFO or device is refused, judged on the opened file, not
// on a look taken before) and a symbolic link as the last component is not
// followed. ReadWrite creates a missing file.
bool openOrdinary(const QString& path, QIODevice::OpenMode mode, QFile* file, QString* error);

// The whole of an ordinary file, opened as openOrdinary does; with largest
// given, a file holding more is refused.
bool readAll(const QString& path, QByteArray* bytes, QString* error, qint64 largest = -1,
             PathRules rules = PathRules::Game);
// The same for a native path given as the system's bytes, taken exactly
// (shownPath names it in the error); opened, when given, describes the file
// that was read.
bool readAllEncoded(const QByteArray& encodedPath, const QString& shownPath, QByteArray* bytes, QString* error,
                    qint64 largest = -1, struct stat* opened = nullptr);
// Replaces the file whole, or creates it, by way of a temporary file beside
// it: a failure at any point leaves the file as it was.
bool writeAll(const QString& path, QByteArrayView bytes, QString* error, PathRules rules = PathRules::Game);
// Opens, appends and closes again, so the file on disk is complete afterwards.
bool append(const QString& path, QByteArrayView bytes, QString* error);
// The same for a native path already resolved and encoded (QFile::encodeName
// of resolve()): no look-up of its folders, for callers that append many
// times to one file.
bool appendEncoded(const QByteArray& encodedPath, QByteArrayView bytes, QString* error);
// The same, leaving the file open in *opened (the caller closes it): to make
// durable what was appended even once the name is moved away.
bool appendEncoded(const QByteArray& encodedPath, QByteArrayView bytes, QString* error, int* opened);

// Writes bytes to an open file descriptor, all of them unless the system
// refuses: how many it wrote; fewer than bytes holds means errno says why.
qint64 writeFully(int fd, QByteArrayView bytes);

// "path: reason", the form of every failure reported here.
QString failure(const QString& path, const QString& reason);
// The system's text for an errno value.
QString systemReason(int errorNumber);

} // namespace FileSystem
