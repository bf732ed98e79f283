#pragma once

#include "NotifyPost.h"

#include <array>
#include <chrono>

// How hard a notification is tried: each try has timeout to be answered
// 2xx; one that is not is tried again after retries[0], then retries[1], …,
// and given up once they are spent. A 429 waits for its Retry-After (at
// least shortestWait, at most longestWait) and is no try; without one it is
// a failed try like any other.
struct NotifySchedule {
    std::chrono::milliseconds timeout{10'000};
    std::array<std::chrono::milliseconds, 3> retries{std::chrono::milliseconds(2'000), std::chrono::milliseconds(10'000),
                                                     std::chrono::milliseconds(30'000)};
    std::chrono::milliseconds shortestWait{1'000};
    std::chrono::milliseconds longestWait{3'600'000};
};

// What comes after a try's answer, when tries (that one among them) were made.
struct NotifyStep {
    enum class Next { Sent, Retry, Wait, GiveUp };
    Next next = Next::Sent;
    std::chrono::milliseconds after{0};

    bool operator==(const NotifyStep&) const = default;
};

NotifyStep nextStep(const NotifyAnswer& answer, int tries, const NotifySchedule& schedule);
