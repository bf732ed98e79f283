#include "UnprovenRecords.h"

#include <iterator>

bool UnprovenRecords::admit(const QString& address, const QByteArray& claimed, qint64 nowMs, qint64* heldBack)
{
    const auto key = std::make_pair(address, claimed);
    if (const auto found = m_last.find(key); found != m_last.end() && nowMs - found->second.recordedMs < Every.count()) {
        ++found->second.heldBack;
        return false;
    }
    if (m_last.size() >= MostRemembered) {
        for (auto it = m_last.begin(); it != m_last.end();)
            it = nowMs - it->second.recordedMs >= Every.count() && it->first != key ? m_last.erase(it) : std::next(it);
    }
    Last& last = m_last[key];
    *heldBack = last.heldBack;
    last = {nowMs, 0};
    return true;
}
