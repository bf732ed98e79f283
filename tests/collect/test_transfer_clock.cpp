#include "TransferClock.h"

#include <QTest>

using Ms = TransferClock::Ms;
Q_DECLARE_METATYPE(TransferClock::Due)

// The time limits of a transfer, driven by ticks: idle 30 s, the whole file
// within 60 s, 256 bytes a second after 5 s of service.
class TestTransferClock : public QObject
{
    Q_OBJECT

private slots:
    // Each row is a transfer's life so far ("heard BYTES AT", "wait",
    // "serve AT", "whole", "stored"), then what is due at a time, and how
    // long from then until it should be looked at again.
    void limits_data()
    {
        using Due = TransferClock::Due;
        QTest::addColumn<QStringList>("life");
        QTest::addColumn<qint64>("at");
        QTest::addColumn<Due>("due");
        QTest::addColumn<qint64>("next"); // -1: nothing counts
        const QStringList none;
        QTest::newRow("just accepted") << none << qint64(0) << Due::Nothing << qint64(30'000);
        QTest::newRow("silent opening, a moment early") << none << qint64(29'999) << Due::Nothing << qint64(1);
        QTest::newRow("silent opening") << none << qint64(30'000) << Due::Silence << qint64(1);
        QTest::newRow("a byte restarts the silence") << QStringList{QStringLiteral("heard 1 20000")} << qint64(30'000)
                                                     << Due::Nothing << qint64(20'000);
        QTest::newRow("the whole time runs from the accept")
            << QStringList{QStringLiteral("heard 1 50000")} << qint64(60'000) << Due::Late << qint64(1);
        QTest::newRow("waiting for its turn, silence does not count")
            << QStringList{QStringLiteral("heard 40 1000"), QStringLiteral("wait")} << qint64(45'000) << Due::Nothing
            << qint64(15'000);
        QTest::newRow("waiting too long") << QStringList{QStringLiteral("wait")} << qint64(60'000) << Due::Late << qint64(1);
        QTest::newRow("served: silence from the turn")
            << QStringList{QStringLiteral("heard 1 1000"), QStringLiteral("wait"), QStringLiteral("serve 40000")}
            << qint64(44'000) << Due::Nothing << qint64(1'000);
        QTest::newRow("served, within the rate's grace")
            << QStringList{QStringLiteral("serve 1000")} << qint64(5'999) << Due::Nothing << qint64(1);
        QTest::newRow("served, too slow once the grace is over")
            << QStringList{QStringLiteral("serve 1000")} << qint64(6'000) << Due::TooSlow << qint64(1'000);
        QTest::newRow("served, at the least rate")
            << QStringList{QStringLiteral("serve 0"), QStringLiteral("heard 1280 4000")} << qint64(5'000)
            << Due::Nothing << qint64(1'000);
        QTest::newRow("served, falling under the least rate")
            << QStringList{QStringLiteral("serve 0"), QStringLiteral("heard 1280 4000")} << qint64(5'001)
            << Due::TooSlow << qint64(999);
        QTest::newRow("served: bytes do not move the rate's beat")
            << QStringList{QStringLiteral("serve 0"), QStringLiteral("heard 5000 7300")} << qint64(7'300)
            << Due::Nothing << qint64(700);
        QTest::newRow("checked: nothing counts")
            << QStringList{QStringLiteral("serve 0"), QStringLiteral("whole")} << qint64(100'000) << Due::Nothing
            << qint64(-1);
        QTest::newRow("stored: silence since its last byte")
            << QStringList{QStringLiteral("serve 0"), QStringLiteral("heard 2000 1000"), QStringLiteral("whole"),
                           QStringLiteral("stored")}
            << qint64(31'000) << Due::Silence << qint64(1);
    }

    void limits()
    {
        QFETCH(QStringList, life);
        QFETCH(qint64, at);
        QFETCH(TransferClock::Due, due);
        QFETCH(qint64, next);
        TransferClock clock(TransferLimits{});
        for (const QString& step : life) {
            const QStringList words = step.split(u' ');
            if (words[0] == u"heard")
                clock.heard(words[1].toLongLong(), Ms(words[2].toLongLong()));
            else if (words[0] == u"wait")
                clock.waitTurn();
            else if (words[0] == u"serve")
                clock.serve(Ms(words[1].toLongLong()));
            else if (words[0] == u"whole")
                clock.fileWhole();
            else if (words[0] == u"stored")
                clock.stored();
        }
        QCOMPARE(clock.due(Ms(at)), due);
        QCOMPARE(clock.nextLook(Ms(at)), next < 0 ? Ms::max() : Ms(next));
    }

    void words()
    {
        TransferClock clock(TransferLimits{});
        clock.serve(Ms(2'000));
        clock.heard(100, Ms(3'000));
        QCOMPARE(clock.words(TransferClock::Due::TooSlow, Ms(7'500)),
                 QStringLiteral("it sent 100 bytes in 5.5 s, less than 256 bytes a second"));
        QCOMPARE(clock.words(TransferClock::Due::Silence, Ms(0)), QStringLiteral("it sent nothing for 30 s"));
        QCOMPARE(clock.words(TransferClock::Due::Late, Ms(0)),
                 QStringLiteral("the whole file did not arrive within 60 s of the connection"));
    }
};

QTEST_GUILESS_MAIN(TestTransferClock)
#include "test_transfer_clock.moc"
