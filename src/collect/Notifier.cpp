#include "Notifier.h"

#include "EventLog.h"
#include "NotifyTargets.h"

#include <QJsonDocument>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <utility>

// One address: its messages in order, the first being tried or waiting to be
// tried again. Its own object, so that an answer that comes after it is gone
// finds no one.
class Notifier::Lane : public QObject
{
public:
    explicit Lane(QUrl address)
        : url(std::move(address))
        , shown(NotifyTargets::shown(url))
    {
        again.setSingleShot(true);
    }
    bool busy() const { return posting || again.isActive(); }

    const QUrl url;
    const QString shown;
    std::deque<QJsonObject> messages;
    int tries = 0; // of the first message
    bool posting = false;
    QTimer again;
};

Notifier::Notifier(EventLog& events, QByteArray userAgent, NotifySchedule schedule, QObject* parent)
    : QObject(parent)
    , m_events(events)
    , m_userAgent(std::move(userAgent))
    , m_schedule(schedule)
{
    m_grace.setSingleShot(true);
    connect(&m_grace, &QTimer::timeout, this, &Notifier::endStop);
}

Notifier::~Notifier() = default;

void Notifier::setTargets(const std::vector<QUrl>& targets)
{
    std::vector<std::unique_ptr<Lane>> lanes;
    for (const QUrl& url : targets) {
        const auto kept = std::find_if(m_lanes.begin(), m_lanes.end(), [&](const auto& lane) { return lane && lane->url == url; });
        if (kept != m_lanes.end()) {
            lanes.push_back(std::move(*kept));
            continue;
        }
        auto lane = std::make_unique<Lane>(url);
        connect(&lane->again, &QTimer::timeout, this, [this, lane = lane.get()] { tryFirst(*lane); });
        lanes.push_back(std::move(lane));
    }
    for (const std::unique_ptr<Lane>& gone : m_lanes) {
        if (gone)
            dropAll(*gone, QStringLiteral("its address is no longer in the file"));
    }
    m_lanes = std::move(lanes);
}

void Notifier::send(const QJsonObject& message)
{
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        if (lane->messages.size() > std::size_t(MostWaiting)) {
            // The first may be on its way: the oldest behind it goes.
            const QJsonObject oldest = lane->messages[1];
            lane->messages.erase(lane->messages.begin() + 1);
            tell(*lane, QStringLiteral("dropped"), oldest,
                 QStringLiteral("%1 more wait for the address already").arg(MostWaiting));
        }
        lane->messages.push_back(message);
        if (!lane->busy())
            tryFirst(*lane);
    }
}

void Notifier::stop(std::chrono::milliseconds grace, std::function<void()> done)
{
    m_stopped = std::move(done);
    m_grace.start(grace);
    endStopWhenIdle();
}

void Notifier::endStopWhenIdle()
{
    if (m_stopped && std::all_of(m_lanes.begin(), m_lanes.end(), [](const auto& lane) { return lane->messages.empty(); }))
        endStop();
}

void Notifier::endStop()
{
    m_grace.stop();
    for (const std::unique_ptr<Lane>& lane : m_lanes)
        dropAll(*lane, QStringLiteral("the collector stopped"));
    if (const std::function<void()> done = std::exchange(m_stopped, {}))
        done();
}

void Notifier::tryFirst(Lane& lane)
{
    if (lane.messages.empty())
        return;
    ++lane.tries;
    lane.posting = true;
    postNotification(m_network, lane.url, QJsonDocument(lane.messages.front()).toJson(QJsonDocument::Compact),
                     m_userAgent, m_schedule.timeout, &lane, [this, &lane](const NotifyAnswer& answer) { answered(lane, answer); });
}

void Notifier::answered(Lane& lane, const NotifyAnswer& answer)
{
    lane.posting = false;
    // The stop dropped it while it was on its way.
    if (lane.messages.empty())
        return;
    const NotifyStep step = nextStep(answer, lane.tries, m_schedule);
    const QJsonObject& message = lane.messages.front();
    const QJsonObject fields{{QStringLiteral("answer"), answer.text()}, {QStringLiteral("tries"), lane.tries}};
    const QString after = QString::number(double(step.after.count()) / 1000);
    switch (step.next) {
    case NotifyStep::Next::Sent:
    case NotifyStep::Next::GiveUp:
        tell(lane, step.next == NotifyStep::Next::Sent ? QStringLiteral("sent") : QStringLiteral("failed"), message,
             step.next == NotifyStep::Next::Sent
                 ? answer.text()
                 : QStringLiteral("%1, after %2 tries: the message is dropped").arg(answer.text()).arg(lane.tries),
             fields);
        lane.messages.pop_front();
        lane.tries = 0;
        tryFirst(lane);
        endStopWhenIdle();
        return;
    case NotifyStep::Next::Retry:
        tell(lane, QStringLiteral("retried"), message, QStringLiteral("%1; tried again in %2 s").arg(answer.text(), after), fields);
        break;
    case NotifyStep::Next::Wait:
        // A 429 is the address asking for time, not a failure.
        --lane.tries;
        tell(lane, QStringLiteral("limited"), message, QStringLiteral("%1; tried again in %2 s, as it asked").arg(answer.text(), after),
             fields);
        break;
    }
    lane.again.start(step.after);
}

void Notifier::dropAll(Lane& lane, const QString& why)
{
    if (lane.messages.empty())
        return;
    const qsizetype count = qsizetype(lane.messages.size());
    m_events.write(QString(),
                   QStringLiteral("%1 notifications to %2 dropped: %3").arg(count).arg(lane.shown, why),
                   {{QStringLiteral("event"), QStringLiteral("notification")},
                    {QStringLiteral("result"), QStringLiteral("dropped")},
                    {QStringLiteral("target"), lane.shown},
                    {QStringLiteral("count"), count},
                    {QStringLiteral("reason"), why}});
    lane.messages.clear();
}

void Notifier::tell(const Lane& lane, const QString& result, const QJsonObject& message, const QString& how,
                    QJsonObject fields)
{
    const QString kind = message.value(QLatin1String("kind")).toString();
    const QString player = message.value(QLatin1String("player")).toString();
    const QString car = message.value(QLatin1String("car")).toString();
    const QString about = QStringList{kind, player, car}.join(u' ').simplified();
    fields.insert(QStringLiteral("event"), QStringLiteral("notification"));
    fields.insert(QStringLiteral("result"), result);
    fields.insert(QStringLiteral("kind"), kind);
    fields.insert(QStringLiteral("player"), message.value(QLatin1String("player")));
    fields.insert(QStringLiteral("car"), message.value(QLatin1String("car")));
    fields.insert(QStringLiteral("target"), lane.shown);
    fields.insert(QStringLiteral("count"), 1);
    fields.insert(QStringLiteral("reason"), how);
    m_events.write(QString(), QStringLiteral("notification (%1) to %2 %3: %4").arg(about, lane.shown, result, how), fields);
}
