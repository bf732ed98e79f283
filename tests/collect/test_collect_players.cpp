#include <QTest>

class TestCollectPlayers : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestCollectPlayers)
#include "test_collect_players.moc"
