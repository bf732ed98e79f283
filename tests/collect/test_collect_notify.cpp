#include "EventLog.h"
#include "Notifier.h"
#include "NotifyMessage.h"
#include "NotifyRetry.h"
#include "NotifyTargets.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

// A webhook on 127.0.0.1: keeps each request's body, and answers the n-th
// as answer(n) says; an empty answer is never given.
class Webhook
{
public:
    explicit Webhook(std::function<QByteArray(int)> answer)
        : m_answer(std::move(answer))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { ++closed; });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/hook/secret").arg(m_server.serverPort())); }

    QList<QByteArray> bodies;
    int closed = 0; // connections the other end closed

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const qsizetype at = buffer.toLower().indexOf("content-length:");
            const qsizetype lineEnd = buffer.indexOf("\r\n", at);
            const qsizetype length = at >= 0 && at < end ? buffer.mid(at + 15, lineEnd - at - 15).trimmed().toLongLong() : 0;
            if (buffer.size() < end + 4 + length)
                return;
            bodies << buffer.mid(end + 4, length);
            buffer.remove(0, end + 4 + length);
            const QByteArray answer = m_answer(int(bodies.size()));
            if (!answer.isEmpty())
                socket->write(answer);
        }
    }

    std::function<QByteArray(int)> m_answer;
    QTcpServer m_server;
    std::map<QTcpSocket*, QByteArray> m_buffers;
};

QByteArray answer(const QByteArray& status, const QByteArray& headers = QByteArray())
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: 0\r\n\r\n";
}

// The events of an event log that writes nowhere.
struct Events {
    Events()
    {
        QObject::connect(&log, &EventLog::written, [this](const QJsonObject& event) {
            if (event.value(QStringLiteral("event")).toString() == u"notification")
                notifications << event;
        });
    }
    QStringList results() const
    {
        QStringList results;
        for (const QJsonObject& event : notifications)
            results << event.value(QStringLiteral("result")).toString();
        return results;
    }

    struct Nowhere {
        int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ~Nowhere() { ::close(fd); }
    } nowhere; // outlives the log
    EventLog log{true, nowhere.fd};
    QList<QJsonObject> notifications;
};

const NotifySchedule Quick{500ms, {10ms, 20ms, 40ms}, 10ms, 50ms};

QJsonObject record(const char* status, const char* player = "alice")
{
    return {{QStringLiteral("status"), QLatin1String(status)},
            {QStringLiteral("player"), player ? QJsonValue(QLatin1String(player)) : QJsonValue()},
            {QStringLiteral("car"), QStringLiteral("Brackwell")},
            {QStringLiteral("code"), QStringLiteral("too-large")},
            {QStringLiteral("sender"), QStringLiteral("192.0.2.7")},
            {QStringLiteral("path"), QStringLiteral("/srv/league/alice/x.txt")},
            {QStringLiteral("time"), QStringLiteral("2027-03-05T19:00:12.345+01:00")}};
}

} // namespace

// The notifications' parts: the file of addresses, the retry schedule, the
// messages, and the notifier against webhooks on real sockets.
class TestCollectNotify : public QObject
{
    Q_OBJECT

private slots:
    void targetsFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("error");
        QTest::newRow("comments, blank lines, CR LF, spaces")
            << QByteArray("# webhooks\r\n\r\n  https://discord.com/api/webhooks/1/abc?wait=true  \r\n"
                          "http://[::1]:8080/hook\n   # more\n")
            << 2 << QString();
        QTest::newRow("empty") << QByteArray() << 0 << QString();
        QTest::newRow("another scheme") << QByteArray("# x\nftp://example.org/x\n") << 0 << "notify:2: not an http";
        QTest::newRow("no scheme") << QByteArray("example.org/hook\n") << 0 << "notify:1: not an http";
        QTest::newRow("no host") << QByteArray("https:///hook\n") << 0 << "notify:1: not an http";
        QTest::newRow("a space") << QByteArray("https://example.org/a hook\n") << 0 << "notify:1: not an http";
        QTest::newRow("twice") << QByteArray("https://a.example/x\nhttp://b.example/\nhttps://a.example/x\n") << 0
                               << "notify:3: this address is listed twice";
        QByteArray many;
        for (int i = 0; i <= NotifyTargets::MostTargets; ++i)
            many += "https://example.org/" + QByteArray::number(i) + '\n';
        QTest::newRow("too many") << many << 0 << "notify:33: more than 32 addresses";
    }
    void targetsFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, count);
        QFETCH(QString, error);
        QString why;
        const std::optional<std::vector<QUrl>> targets = NotifyTargets::parse(file, QStringLiteral("notify"), &why);
        QCOMPARE(why.left(error.size()), error);
        QCOMPARE(targets ? int(targets->size()) : 0, count);
    }

    // The secret parts of an address are never shown.
    void shownAddresses()
    {
        QCOMPARE(NotifyTargets::shown(QUrl(QStringLiteral("https://user:pw@discord.com/api/webhooks/1/abc?wait=true"))),
                 QStringLiteral("https://discord.com:443/…"));
        QCOMPARE(NotifyTargets::shown(QUrl(QStringLiteral("http://[::1]:8080/hook#x"))), QStringLiteral("http://[::1]:8080/…"));
        QCOMPARE(NotifyTargets::shown(QUrl(QStringLiteral("http://example.org/hook"))), QStringLiteral("http://example.org:80/…"));
    }

    void schedule_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("retryAfterMs");
        QTest::addColumn<int>("tries");
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("afterMs");
        using Next = NotifyStep::Next;
        QTest::newRow("204") << 204 << -1 << 1 << int(Next::Sent) << 0;
        QTest::newRow("200 on the last try") << 200 << -1 << 4 << int(Next::Sent) << 0;
        QTest::newRow("500, first") << 500 << -1 << 1 << int(Next::Retry) << 2000;
        QTest::newRow("no answer, second") << 0 << -1 << 2 << int(Next::Retry) << 10000;
        QTest::newRow("302, third") << 302 << -1 << 3 << int(Next::Retry) << 30000;
        QTest::newRow("404, fourth") << 404 << -1 << 4 << int(Next::GiveUp) << 0;
        QTest::newRow("429 with Retry-After") << 429 << 5000 << 4 << int(Next::Wait) << 5000;
        QTest::newRow("429, Retry-After 0") << 429 << 0 << 1 << int(Next::Wait) << 1000;
        QTest::newRow("429, Retry-After a week") << 429 << 604'800'000 << 1 << int(Next::Wait) << 3'600'000;
        QTest::newRow("429 without Retry-After") << 429 << -1 << 1 << int(Next::Retry) << 2000;
    }
    void schedule()
    {
        QFETCH(int, status);
        QFETCH(int, retryAfterMs);
        QFETCH(int, tries);
        QFETCH(int, next);
        QFETCH(int, afterMs);
        NotifyAnswer answer;
        answer.status = status;
        if (retryAfterMs >= 0)
            answer.retryAfter = std::chrono::milliseconds(retryAfterMs);
        QCOMPARE(nextStep(answer, tries, NotifySchedule{}),
                 (NotifyStep{NotifyStep::Next(next), std::chrono::milliseconds(afterMs)}));
    }

    // Which records are told, as what; never the sender or a path.
    void messages_data()
    {
        QTest::addColumn<QJsonObject>("record");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("content");
        QTest::newRow("tweaked") << record("tweaked") << "" << "tweaked"
                                 << "Chloé Dupont's Brackwell is tweaked: put the genuine descriptor back and send it again.";
        QTest::newRow("damaged") << record("damaged") << "genuine" << "damaged"
                                 << "Chloé Dupont's Brackwell is damaged: send the file again.";
        QTest::newRow("refused") << record("refused") << "tweaked" << "refused"
                                 << "Chloé Dupont's file for the Brackwell was refused (too-large).";
        QTest::newRow("refused, unproven") << record("refused", nullptr) << "" << "" << "";
        QTest::newRow("genuine after a tweak") << record("genuine") << "tweaked" << "genuine-again"
                                               << "Chloé Dupont's Brackwell is genuine again.";
        QTest::newRow("formatting after a tweak") << record("formatting") << "tweaked" << "genuine-again"
                                                  << "Chloé Dupont's Brackwell is genuine again.";
        QTest::newRow("genuine after damage") << record("genuine") << "damaged" << "" << "";
        QTest::newRow("allowed after a tweak") << record("allowed") << "tweaked" << "" << "";
        QTest::newRow("genuine, first") << record("genuine") << "" << "" << "";
        QTest::newRow("error") << record("error") << "tweaked" << "" << "";
    }
    void messages()
    {
        QFETCH(QJsonObject, record);
        QFETCH(QString, previous);
        QFETCH(QString, kind);
        QFETCH(QString, content);
        const std::optional<QJsonObject> message =
            NotifyMessage::ofRecord(record, previous, QStringLiteral("Chloé\nDupont"), QStringLiteral("https://league.example.org"));
        QCOMPARE(message.has_value(), !kind.isEmpty());
        if (!message)
            return;
        QCOMPARE(message->value(QStringLiteral("kind")).toString(), kind);
        QCOMPARE(message->value(QStringLiteral("player")).toString(), QStringLiteral("alice"));
        QCOMPARE(message->value(QStringLiteral("time")).toString(), QStringLiteral("2027-03-05T18:00:12.345Z"));
        QCOMPARE(message->value(QStringLiteral("page")).toString(), QStringLiteral("https://league.example.org/player/alice"));
        QCOMPARE(message->value(QStringLiteral("content")).toString(), content + QStringLiteral(" https://league.example.org/player/alice"));
        const QByteArray body = QJsonDocument(*message).toJson();
        QVERIFY(!body.contains("192.0.2.7") && !body.contains("/srv/"));
    }

    // An event's close, its name as long as a file may make it.
    void eventClose()
    {
        const QJsonObject result{
            {QStringLiteral("event"), QStringLiteral("round-3")},
            {QStringLiteral("name"), QString(3000, u'é')},
            {QStringLiteral("closes"), QStringLiteral("2027-03-05T19:00:00+01:00")},
            {QStringLiteral("entrants"), QJsonArray{QJsonObject{{QStringLiteral("status"), QStringLiteral("passed")}},
                                                   QJsonObject{{QStringLiteral("status"), QStringLiteral("incomplete")}},
                                                   QJsonObject{{QStringLiteral("status"), QStringLiteral("passed")}}}}};
        const QJsonObject message = NotifyMessage::ofEventClose(result, QString());
        QCOMPARE(message.value(QStringLiteral("counts")).toObject(),
                 (QJsonObject{{QStringLiteral("passed"), 2}, {QStringLiteral("failed"), 0}, {QStringLiteral("incomplete"), 1}}));
        QCOMPARE(message.value(QStringLiteral("time")).toString(), QStringLiteral("2027-03-05T18:00:00.000Z"));
        QVERIFY(!message.contains(QStringLiteral("page")));
        QCOMPARE(message.value(QStringLiteral("content")).toString().size(), 2000);
    }

    // 500 four times: tried four times, then dropped with an event; a 429
    // in between is no try.
    void failedFourTimes()
    {
        Webhook hook([](int n) { return n == 2 ? answer("429 Too Many Requests", "Retry-After: 0.01\r\n") : answer("500 Oops"); });
        Events events;
        Notifier notifier(events.log, "kestrix-collect/test", Quick);
        notifier.setTargets({hook.url()});
        notifier.send(NotifyMessage::test(QDateTime::currentDateTimeUtc()));
        QTRY_COMPARE(events.results(), (QStringList{QStringLiteral("retried"), QStringLiteral("limited"), QStringLiteral("retried"),
                                                  QStringLiteral("retried"), QStringLiteral("failed")}));
        QCOMPARE(hook.bodies.size(), 5);
        const QJsonObject failed = events.notifications.last();
        QCOMPARE(failed.value(QStringLiteral("tries")).toInt(), 4);
        QCOMPARE(failed.value(QStringLiteral("answer")).toString(), QStringLiteral("500 Oops"));
        QCOMPARE(failed.value(QStringLiteral("target")).toString(), NotifyTargets::shown(hook.url()));
        QVERIFY(!QJsonDocument(events.notifications.first()).toJson().contains("secret"));
        // The next goes at once.
        notifier.send(NotifyMessage::test(QDateTime::currentDateTimeUtc()));
        QTRY_COMPARE(hook.bodies.size(), 6);
    }

    // A webhook that never answers: each try ends at the timeout, and a
    // full queue lets its oldest go.
    void neverAnswered()
    {
        Webhook hook([](int) { return QByteArray(); });
        Events events;
        NotifySchedule schedule = Quick;
        schedule.timeout = 200ms;
        schedule.retries = {60s, 60s, 60s};
        Notifier notifier(events.log, "kestrix-collect/test", schedule);
        notifier.setTargets({hook.url()});
        for (int i = 0; i < Notifier::MostWaiting + 3; ++i) {
            QJsonObject message = NotifyMessage::test(QDateTime::currentDateTimeUtc());
            message.insert(QStringLiteral("kind"), QString::number(i));
            notifier.send(message);
        }
        QCOMPARE(events.results(), (QStringList{QStringLiteral("dropped"), QStringLiteral("dropped")}));
        QCOMPARE(events.notifications[0].value(QStringLiteral("kind")).toString(), QStringLiteral("1"));
        QCOMPARE(events.notifications[1].value(QStringLiteral("kind")).toString(), QStringLiteral("2"));
        QTRY_COMPARE(events.results().size(), 3);
        QCOMPARE(events.results().last(), QStringLiteral("retried"));
        QCOMPARE(events.notifications.last().value(QStringLiteral("answer")).toString(), QStringLiteral("no answer: none within 0.2 s"));
        // At the end what waits is dropped and counted in one event.
        bool stopped = false;
        notifier.stop(100ms, [&] { stopped = true; });
        QTRY_VERIFY(stopped);
        QCOMPARE(events.notifications.last().value(QStringLiteral("count")).toInt(), Notifier::MostWaiting + 1);
        QCOMPARE(hook.closed, 1);
        // A try on its way when the stop dropped its message ends, and tells nothing.
        Notifier stopping(events.log, "kestrix-collect/test", schedule);
        stopping.setTargets({hook.url()});
        stopping.send(NotifyMessage::test(QDateTime::currentDateTimeUtc()));
        stopped = false;
        stopping.stop(50ms, [&] { stopped = true; });
        QTRY_VERIFY(stopped);
        const qsizetype told = events.notifications.size();
        QTRY_COMPARE(hook.closed, 2);
        QCoreApplication::processEvents();
        QCOMPARE(events.notifications.size(), told);
    }

    // A stop waits for a message on its way, a try again included.
    void stopSendsWhatWaits()
    {
        Webhook hook([](int n) { return n == 1 ? answer("503 Busy") : answer("204 No Content"); });
        Events events;
        Notifier notifier(events.log, "kestrix-collect/test", Quick);
        notifier.setTargets({hook.url()});
        notifier.send(NotifyMessage::test(QDateTime::currentDateTimeUtc()));
        bool stopped = false;
        notifier.stop(5s, [&] { stopped = true; });
        QTRY_VERIFY(stopped);
        QCOMPARE(events.results(), (QStringList{QStringLiteral("retried"), QStringLiteral("sent")}));
    }
};

QTEST_GUILESS_MAIN(TestCollectNotify)
#include "test_collect_notify.moc"
