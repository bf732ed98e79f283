#pragma once

#include <QObject>
#include <QSocketNotifier>

// SIGINT and SIGTERM as a Qt signal on the event loop: the handler itself
// only writes a byte to a pipe, which is all a signal handler may safely do.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested(int signalNumber);

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
