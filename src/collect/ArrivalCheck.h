#pragma once

#include "IncomingFile.h"
#include "Verdict.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

struct CheckSetup;
class ReferenceStore;

// A whole file handed over by its transfer, to be kept and checked.
struct Arrival {
    std::unique_ptr<IncomingFile> file;
    QString target;     // DIR/<player>/<stamped name>
    QByteArray player;
    QString sender;     // the sender's address
    bool evidence = false; // the league page shows it: the verdict is kept for drawing
    QDateTime receivedAt;  // when its last byte came, in UTC: what a race event counts by
};

// What became of it: kept and checked, with its verdict record (bounded,
// with the proof, the player and the sender), or not kept, and why.
struct CheckedArrival {
    bool stored = false;
    QString target;
    QString failure;
    QString partial; // not stored: where what arrived is kept, when it is
    QJsonObject record;
    QString status;  // as the record says it
    QString summary; // the verdict in words, for the event
    // The first differences in words, for the player's NOTE lines.
    QStringList firstDifferences;
    // Whole, for the league page's evidence, when asked for and not genuine.
    std::shared_ptr<const Verdict> verdict;
    std::chrono::nanoseconds took{0};
};

// Keeps the file under its name and checks it; runs on a checking thread,
// with that thread's store.
CheckedArrival storeAndCheck(Arrival& arrival, const CheckSetup& setup, ReferenceStore& store);
// Checks a file already kept whole as target, as storeAndCheck does once it is kept.
CheckedArrival checkKept(const QString& target, const QByteArray& player, const QString& sender, qint64 size,
                         const QDateTime& receivedAt, bool evidence, const CheckSetup& setup, ReferenceStore& store);

// A verdict's file beside its genuine one, as the league page shows it;
// nothing for a genuine one.
QByteArray drawEvidence(Verdict verdict, const CheckSetup& setup);
// A kept file checked again, for its evidence after a restart.
QByteArray evidenceOfKept(const QString& path, const QByteArray& player, const CheckSetup& setup,
                          ReferenceStore& store);
