#pragma once

#include "ArrivalNames.h"
#include "UnprovenRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class CheckPool;
class EventLog;
class Roster;
class StoreHealth;
class VerdictLog;
struct Verdict;

// How long a transfer may take, and how slowly.
struct TransferLimits {
    std::chrono::milliseconds idleTimeout{30'000};     // silence, restarted by every byte
    std::chrono::milliseconds transferTimeout{60'000}; // the whole file, from the accept
    std::chrono::milliseconds openingTimeout{5'000};   // preamble, proof and header, from the accept
    qint64 minRate = 256;                               // bytes a second, on average
    std::chrono::milliseconds rateGrace{5'000};         // of service before the rate counts
    std::chrono::milliseconds linger{2'000};            // for the last line to reach the peer
    int maxPerPlayer = 4;
};

// What every transfer of a collection shares: where files go and the
// limits, who may send, where files are checked, and the two logs.
struct CollectContext {
    QString dir;
    std::optional<qint64> maxSize;
    TransferLimits limits;
    QStringList ownFiles;
    std::shared_ptr<const Roster> roster; // none: players are addresses
    QString publicUrl; // the league page's, without a closing "/"; empty: none
    std::map<QByteArray, int> transfersOfPlayer;
    ArrivalNames names;
    UnprovenRecords unproven;
    CheckPool* checks = nullptr;
    VerdictLog* verdicts = nullptr;
    EventLog* events = nullptr;
    StoreHealth* health = nullptr; // told of every file that could not be stored
    // Shown each record appended to the verdicts (the league page, the
    // notifications), with its whole verdict when that is not genuine and
    // the page, which draws its evidence, is served.
    std::function<void(const QJsonObject& record, std::shared_ptr<const Verdict> verdict)> onRecord;
    bool keepsEvidence = false;
};
