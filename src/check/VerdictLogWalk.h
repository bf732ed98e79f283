#pragma once

#include "VerdictChain.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// DIR's verdict logs read from the oldest file present to verdicts.jsonl,
// through the chain, as kestrix-check verifies them.
struct VerdictLogWalk {
    ChainWalk chain;
    QStringList files;
    QString error;          // a log that could not be read, and why
    QString brokenFile;     // where the chain broke
    qint64 brokenFileLine = 0;

    // seen has the hash of every line the chain holds up to.
    static VerdictLogWalk of(const QString& dir, const std::function<void(const QByteArray& hash)>& seen = {});
};

// kestrix-check --verify-log DIR: says on out whether the chain holds;
// 0 when it does, 1 naming the first line that breaks it, 2 on an error (on err).
int verifyLogCommand(const QString& dir, QString* out, QString* err);
