#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <map>
#include <utility>

// Records of refusals whose player was claimed but not proven: one a minute
// for each address and claimed name, so that strangers sending wrong proofs
// as fast as they can do not fill the verdict log. The others are held back
// and counted, and the next record of that address and name says how many.
class UnprovenRecords
{
public:
    static constexpr std::chrono::milliseconds Every{60'000};
    // Pairs remembered before the ones a minute old are let go.
    static constexpr std::size_t MostRemembered = 4096;

    // Whether a refusal at nowMs is recorded; when it is, *heldBack says how
    // many were held back since the last record.
    bool admit(const QString& address, const QByteArray& claimed, qint64 nowMs, qint64* heldBack);

private:
    struct Last {
        qint64 recordedMs = 0;
        qint64 heldBack = 0;
    };
    std::map<std::pair<QString, QByteArray>, Last> m_last;
};
