#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// The signals a service manager sends, as Qt signals on the event loop:
// SIGINT and SIGTERM ask for a stop, SIGHUP for a reload. The handler itself
// only writes a byte to a pipe, which is all a signal handler may safely do.
// SIGPIPE is ignored: a reader that goes away is a failed write, not an end.
class ServiceSignals : public QObject
{
    Q_OBJECT

public:
    explicit ServiceSignals(QObject* parent = nullptr);
    ~ServiceSignals() override;

signals:
    void stopRequested(int signalNumber);
    void reloadRequested();

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
