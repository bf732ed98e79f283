#pragma once

#include "NotifyRetry.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class EventLog;

// Sends the league's notifications (NotifyMessage) to every address of
// --notify-file, each address in turn of its own, on the collector's event
// loop without ever waiting on it: the network's work is Qt's, on threads
// of its own. Each address keeps its messages in order, at most MostWaiting
// behind the one being tried (more push the oldest out), tried as schedule
// says. Every outcome is an event "notification" with its result (sent,
// retried, limited, failed or dropped), which /metrics counts.
// docs/collect.md describes them, under "Notifications".
class Notifier : public QObject
{
public:
    static constexpr qsizetype MostWaiting = 1000;

    Notifier(EventLog& events, QByteArray userAgent, NotifySchedule schedule = {}, QObject* parent = nullptr);
    ~Notifier() override;

    // The addresses from now on; one still listed keeps its messages, one no
    // longer listed drops them.
    void setTargets(const std::vector<QUrl>& targets);
    std::size_t targets() const { return m_lanes.size(); }
    void send(const QJsonObject& message);
    // At the end: within grace what waits is sent as it would be, then what
    // still waits is dropped, and said so, and done is called.
    void stop(std::chrono::milliseconds grace, std::function<void()> done);

private:
    class Lane;
    void tryFirst(Lane& lane);
    void answered(Lane& lane, const NotifyAnswer& answer);
    void dropAll(Lane& lane, const QString& why);
    void endStopWhenIdle();
    void endStop();
    void tell(const Lane& lane, const QString& result, const QJsonObject& message, const QString& how,
              QJsonObject fields = {});

    EventLog& m_events;
    QByteArray m_userAgent;
    NotifySchedule m_schedule;
    QNetworkAccessManager m_network;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::function<void()> m_stopped; // set from the stop on
    QTimer m_grace;
};
