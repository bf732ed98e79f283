#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <set>

#include <QJsonObject>

class EventLog;
class LeagueRules;
class ReferenceFolder;
class ReferenceStore;

// What every transfer of a collection shares: where files go and the
// limits, the reference data to check them against, and the two logs.
struct CollectContext {
    QString dir;
    std::optional<qint64> maxSize;
    std::chrono::milliseconds idleTimeout{30'000};
    QStringList ownFiles;
    const ReferenceFolder* reference = nullptr;
    ReferenceStore* store = nullptr;
    const LeagueRules* rules = nullptr; // the league's, when it has any
    // What every verdict record carries as its proof: the reference data's
    // digest, the rules' digest, the tool.
    QJsonObject proof;
    EventLog* events = nullptr;
    QByteArray verdictLog; // DIR/verdicts.jsonl, encoded for appending
    // The names, below DIR, of the files now arriving: two transfers never
    // share one, even within a millisecond.
    std::set<QString> namesInUse;
};
