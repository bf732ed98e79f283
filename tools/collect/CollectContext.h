#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <set>

class EventLog;
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
    EventLog* events = nullptr;
    QByteArray verdictLog; // DIR/verdicts.jsonl, encoded for appending
    // The names, below DIR, of the files now arriving: two transfers never
    // share one, even within a millisecond.
    std::set<QString> namesInUse;
};
