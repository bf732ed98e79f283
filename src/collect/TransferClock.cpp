#include "TransferClock.h"

#include <algorithm>

namespace {

// The rate is looked at this often once it counts.
constexpr TransferClock::Ms RateLookEvery{1'000};

QString secondsText(TransferClock::Ms duration)
{
    return QStringLiteral("%1 s").arg(double(duration.count()) / 1000.0);
}

} // namespace

TransferClock::TransferClock(const TransferLimits& limits)
    : m_limits(limits)
{
}

void TransferClock::heard(qint64 bytes, Ms now)
{
    m_bytes += bytes;
    m_lastHeard = now;
}

void TransferClock::waitTurn()
{
    m_stage = Stage::Waiting;
}

void TransferClock::serve(Ms now)
{
    m_stage = Stage::Served;
    m_served = now;
    m_lastHeard = now;
}

void TransferClock::fileWhole()
{
    m_stage = Stage::Checking;
}

void TransferClock::stored()
{
    m_stage = Stage::Stored;
}

bool TransferClock::counts(Due due) const
{
    switch (due) {
    case Due::Silence:
        return m_stage == Stage::Opening || m_stage == Stage::Served || m_stage == Stage::Stored;
    case Due::Late:
        return m_stage == Stage::Opening || m_stage == Stage::Waiting || m_stage == Stage::Served;
    case Due::TooSlow:
        return m_stage == Stage::Served;
    case Due::Nothing:
        break;
    }
    return false;
}

TransferClock::Due TransferClock::due(Ms now) const
{
    if (counts(Due::Silence) && now - m_lastHeard >= m_limits.idleTimeout)
        return Due::Silence;
    if (counts(Due::Late) && now >= m_limits.transferTimeout)
        return Due::Late;
    const Ms served = now - m_served;
    if (counts(Due::TooSlow) && served >= m_limits.rateGrace && m_bytes * 1000 < m_limits.minRate * served.count())
        return Due::TooSlow;
    return Due::Nothing;
}

TransferClock::Ms TransferClock::nextLook(Ms now) const
{
    Ms next = Ms::max();
    if (counts(Due::Silence))
        next = std::min(next, m_lastHeard + m_limits.idleTimeout - now);
    if (counts(Due::Late))
        next = std::min(next, m_limits.transferTimeout - now);
    if (counts(Due::TooSlow)) {
        // On a beat of its own from the grace's end, which no stream of bytes moves.
        const Ms sinceGrace = now - m_served - m_limits.rateGrace;
        next = std::min(next, sinceGrace < Ms(0) ? -sinceGrace : RateLookEvery - sinceGrace % RateLookEvery);
    }
    return next == Ms::max() ? next : std::max(next, Ms(1));
}

QString TransferClock::words(Due due, Ms now) const
{
    switch (due) {
    case Due::Silence:
        return QStringLiteral("it sent nothing for %1").arg(secondsText(m_limits.idleTimeout));
    case Due::Late:
        return QStringLiteral("the whole file did not arrive within %1 of the connection")
            .arg(secondsText(m_limits.transferTimeout));
    case Due::TooSlow:
        return QStringLiteral("it sent %1 bytes in %2, less than %3 bytes a second")
            .arg(m_bytes)
            .arg(secondsText(now - m_served))
            .arg(m_limits.minRate);
    case Due::Nothing:
        break;
    }
    return QString();
}
