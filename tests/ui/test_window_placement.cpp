#include "WindowPlacement.h"

#include <QTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void besideTheMainWindowAndOnScreen_data()
    {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("expected");
        const QRect screen(0, 0, 1280, 1024);
        QTest::newRow("right") << QRect(255, 335, 514, 353) << QSize(448, 245) << screen << QPoint(769, 335);
        QTest::newRow("left") << QRect(700, 335, 514, 353) << QSize(448, 245) << screen << QPoint(252, 335);
        QTest::newRow("below") << QRect(300, 100, 700, 353) << QSize(448, 245) << screen << QPoint(300, 453);
        QTest::newRow("above") << QRect(300, 700, 700, 300) << QSize(448, 245) << screen << QPoint(300, 455);
        // Scaled twice on a 1280-pixel screen: nowhere beside fits, so the
        // window moves inside the screen instead of off its right edge.
        QTest::newRow("nowhere fits") << QRect(63, 79, 514, 353) << QSize(448, 245) << QRect(0, 0, 640, 512)
                                      << QPoint(192, 79);
        QTest::newRow("larger than the screen") << QRect(0, 0, 300, 200) << QSize(900, 700) << QRect(0, 0, 640, 512)
                                                << QPoint(0, 0);
        QTest::newRow("screen not at the origin") << QRect(1300, 20, 514, 353) << QSize(448, 245)
                                                  << QRect(1280, 0, 640, 512) << QPoint(1472, 20);
    }

    void besideTheMainWindowAndOnScreen()
    {
        QFETCH(QRect, main);
        QFETCH(QSize, size);
        QFETCH(QRect, available);
        QFETCH(QPoint, expected);
        const QPoint place = placeBeside(main, size, available);
        QCOMPARE(place, expected);
        if (size.width() <= available.width() && size.height() <= available.height())
            QVERIFY(available.contains(QRect(place, size)));
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "test_window_placement.moc"
