#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The verdict logs of a collector's folder as rotation leaves them:
// verdicts.jsonl.N (the oldest) … verdicts.jsonl.1, then verdicts.jsonl, each
// rotated one plain or compressed by logrotate (.gz, read with zlib). The
// history at start and the chain's verification read them through here.
namespace VerdictLogFiles {

inline constexpr char CurrentName[] = "verdicts.jsonl";

// Their paths, oldest first; verdicts.jsonl last, where it exists.
QStringList inOrder(const QString& dir);
// A log's bytes, inflated where its name ends in .gz; none with the reason in error.
std::optional<QByteArray> read(const QString& path, QString* error);
// A log's lines as written, without their line ends; a last line that lost
// its end to a crash is a line too.
QList<QByteArray> lines(const QByteArray& bytes);
// The last line of the newest of verdicts.jsonl, .1 and .1.gz that holds a
// line: where the chain goes on from. Empty when none does.
std::optional<QByteArray> lastLine(const QString& dir, QString* error);

} // namespace VerdictLogFiles
