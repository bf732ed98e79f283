#include <QTest>

class TestCollectUnits : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestCollectUnits)
#include "test_collect_units.moc"
