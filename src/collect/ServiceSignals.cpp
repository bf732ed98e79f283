#include "ServiceSignals.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

} // namespace

ServiceSignals::ServiceSignals(QObject* parent)
    : QObject(parent)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ServiceSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
}

ServiceSignals::~ServiceSignals()
{
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signalNumber, SIG_DFL);
}

void ServiceSignals::readSignal()
{
    unsigned char number = 0;
    while (::read(signalPipe[0], &number, 1) == 1) {
        if (number == SIGHUP)
            emit reloadRequested();
        else
            emit stopRequested(number);
    }
}
