#include "KeySet.h"

#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <set>
#include <thread>

class TestKeySet : public QObject
{
    Q_OBJECT

private slots:
    void exactMembership()
    {
        const std::vector<QByteArray> keys{"", "A", "AB", "ABC", "ABD", "B", QByteArray("N\0L", 3), "\x80\xff",
                                           QByteArray(300, 'P'), QByteArray(300, 'P') + "Q"};
        const KeySet set = KeySet::fromUnsorted({keys.rbegin(), keys.rend()});
        QCOMPARE(set.size(), std::uint32_t(keys.size()));
        for (const QByteArray& key : keys)
            QVERIFY2(set.contains(key), key.toHex().constData());
        for (const QByteArray& absent : {QByteArray("a"), QByteArray("AB "), QByteArray("ABCD"), QByteArray("N"),
                                         QByteArray("N\0", 2), QByteArray(299, 'P'), QByteArray(301, 'P')})
            QVERIFY2(!set.contains(absent), absent.toHex().constData());
    }

    void emptySetAndRepeats()
    {
        QVERIFY(!KeySet::fromUnsorted({}).contains(""));
        const KeySet set = KeySet::fromUnsorted({"x", "x", "x"});
        QCOMPARE(set.size(), std::uint32_t(1));
        QVERIFY(set.contains("x"));
    }

    // Keys larger than a storage chunk, many blocks, and a walk in order.
    void largeSets()
    {
        std::set<QByteArray> keys;
        QRandomGenerator random(42);
        while (keys.size() < 50000)
            keys.insert("Key=" + QByteArray::number(random.generate64()));
        const QByteArray huge(3 << 20, 'H');
        keys.insert(huge);
        KeySet::Builder builder;
        for (const QByteArray& key : keys)
            builder.add(key);
        const KeySet set = builder.finish();
        for (const QByteArray& key : keys)
            QVERIFY(set.contains(key));
        QVERIFY(!set.contains(huge + "!"));
        std::vector<QByteArray> walked;
        set.forEach([&walked](QByteArrayView key) { walked.push_back(key.toByteArray()); });
        QVERIFY(std::equal(walked.begin(), walked.end(), keys.begin(), keys.end()));
        for (int i = 0; i < 50000; ++i)
            QVERIFY(!set.contains("Key=" + QByteArray::number(random.generate64()) + "x"));
    }

    // Built once, then read by any number of threads at once, as the
    // checker's threads read the keys of one reference database.
    void lookupsFromManyThreads()
    {
        std::vector<QByteArray> keys;
        for (int i = 0; i < 5000; ++i)
            keys.push_back("Param" + QByteArray::number(i) + "=" + QByteArray::number(i * 7));
        const KeySet set = KeySet::fromUnsorted(keys);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 20; ++round) {
                    for (std::size_t i = t; i < keys.size(); i += 3) {
                        if (!set.contains(keys[i]) || set.contains(keys[i] + "x"))
                            ++wrong;
                    }
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestKeySet)
#include "test_keyset.moc"
