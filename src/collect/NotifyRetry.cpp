#include "NotifyRetry.h"

#include <algorithm>

NotifyStep nextStep(const NotifyAnswer& answer, int tries, const NotifySchedule& schedule)
{
    if (answer.delivered())
        return {NotifyStep::Next::Sent, {}};
    if (answer.status == 429 && answer.retryAfter)
        return {NotifyStep::Next::Wait, std::clamp(*answer.retryAfter, schedule.shortestWait, schedule.longestWait)};
    if (tries >= 1 && std::size_t(tries) <= schedule.retries.size())
        return {NotifyStep::Next::Retry, schedule.retries[std::size_t(tries) - 1]};
    return {NotifyStep::Next::GiveUp, {}};
}
