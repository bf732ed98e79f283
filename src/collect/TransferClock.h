#pragma once

#include "CollectContext.h"

#include <QString>

#include <chrono>

// The time limits of one transfer, without a timer: the bytes as they
// arrive, its stages and the time since its accept go in; what is due, and
// when to look again, come out. From the accept, the whole file within the
// transfer timeout; no silence as long as the idle time, except while it
// waits for its turn or its file is checked; once served for the rate's
// grace, the least rate on average.
class TransferClock
{
public:
    using Ms = std::chrono::milliseconds;

    enum class Due {
        Nothing,
        Silence, // silent for the idle time
        Late,    // the whole file not in within the transfer timeout
        TooSlow, // under the least rate
    };

    explicit TransferClock(const TransferLimits& limits);

    void heard(qint64 bytes, Ms now);
    // Its opening is whole: silence does not count while it waits for its turn.
    void waitTurn();
    void serve(Ms now);
    // Its file is whole and goes to be checked: nothing counts.
    void fileWhole();
    // Its verdict is told: only silence counts, from its last byte.
    void stored();

    Due due(Ms now) const;
    // How long from now until something may be due; Ms::max() while nothing counts.
    Ms nextLook(Ms now) const;
    // Why a transfer ends for due, in words.
    QString words(Due due, Ms now) const;

    qint64 bytes() const { return m_bytes; }

private:
    enum class Stage { Opening, Waiting, Served, Checking, Stored };

    bool counts(Due due) const;

    TransferLimits m_limits;
    Stage m_stage = Stage::Opening;
    Ms m_lastHeard{0};
    Ms m_served{0};
    qint64 m_bytes = 0;
};
