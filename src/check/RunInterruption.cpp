#include "RunInterruption.h"

#include <atomic>
#include <csignal>

namespace RunInterruption {

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written in a signal handler");

void note(int signalNumber)
{
    received.store(signalNumber);
}

} // namespace

void install()
{
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    // Reads and writes under way go on; the next such signal is the default's.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int signal()
{
    return received.load();
}

} // namespace RunInterruption
