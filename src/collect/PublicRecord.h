#pragma once

#include <QJsonObject>
#include <QString>

// A verdict record as a league with a roster publishes it: without the
// sender's address and without the server's paths, its kept file named
// "<player>/<stamped name>" as the evidence names it. verdicts.jsonl keeps
// the record whole; docs/verdict-record.md describes both.
namespace PublicRecord {

// dir: where the collector keeps files, as its records name it.
QJsonObject of(const QJsonObject& record, const QString& dir);

} // namespace PublicRecord
