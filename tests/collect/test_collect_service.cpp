#include "CollectorHarness.h"

using namespace CollectorTest;

// The collector as a service: its door, its loop, its stdout, its signals.
class TestCollectService : public QObject
{
    Q_OBJECT

private slots:
    void starts()
    {
        Collector collector;
        QVERIFY(collector.started());
        QCOMPARE(collector.terminate(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCollectService)
#include "test_collect_service.moc"
