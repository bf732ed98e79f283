#include "FileInfoHeader.h"
#include "HeaderCollector.h"
#include "ListenPort.h"
#include "ReceivedName.h"
#include "TransferFigures.h"

#include <QTest>

#include <limits>

class TestReceiverProtocol : public QObject
{
    Q_OBJECT

private slots:
    void getField_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("fieldPos");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("A|B|C| 1") << QByteArray("A|B|C|") << 1 << QByteArray("A");
        QTest::newRow("A|B|C| 2") << QByteArray("A|B|C|") << 2 << QByteArray("B");
        QTest::newRow("A|B|C| 3") << QByteArray("A|B|C|") << 3 << QByteArray("C");
        QTest::newRow("A|B|C| 4") << QByteArray("A|B|C|") << 4 << QByteArray();
        QTest::newRow("A|B|C| 5 starts over") << QByteArray("A|B|C|") << 5 << QByteArray("A");
        QTest::newRow("A||B| 2") << QByteArray("A||B|") << 2 << QByteArray();
        QTest::newRow("A||B| 3") << QByteArray("A||B|") << 3 << QByteArray("B");
        QTest::newRow("A|B 2: no closing bar") << QByteArray("A|B") << 2 << QByteArray();
        QTest::newRow("A|B 3 starts over") << QByteArray("A|B") << 3 << QByteArray("A");
        QTest::newRow("A|B 4") << QByteArray("A|B") << 4 << QByteArray();
        QTest::newRow("no bar, field 1") << QByteArray("ABC") << 1 << QByteArray();
        QTest::newRow("no bar, field 2") << QByteArray("ABC") << 2 << QByteArray();
        QTest::newRow("no bar, field 99") << QByteArray("ABC") << 99 << QByteArray();
        QTest::newRow("empty text") << QByteArray() << 1 << QByteArray();
        QTest::newRow("field 0 is field 1") << QByteArray("A|B|") << 0 << QByteArray("A");
        QTest::newRow("negative field is field 1") << QByteArray("A|B|") << -7 << QByteArray("A");
        QTest::newRow("largest field, in one lap") << QByteArray("A|B|") << std::numeric_limits<int>::max()
                                                   << QByteArray("A");
        QTest::newRow("header size") << QByteArray("FILEINFO|512|Brackwell.txt|") << 2 << QByteArray("512");
        QTest::newRow("header name") << QByteArray("FILEINFO|512|Brackwell.txt|") << 3 << QByteArray("Brackwell.txt");
        QTest::newRow("name without closing bar") << QByteArray("FILEINFO|12|a.txt") << 3 << QByteArray();
        QTest::newRow("8-bit bytes") << QByteArray("x|\xe9\x80\xff|") << 2 << QByteArray("\xe9\x80\xff");
    }

    void getField()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, fieldPos);
        QFETCH(QByteArray, field);
        QCOMPARE(GetField(text, fieldPos), field);
    }

    void headerMarkerIsExactAndUpperCase_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<bool>("header");
        QTest::newRow("header") << QByteArray("FILEINFO|3|a|") << true;
        QTest::newRow("marker alone") << QByteArray("FILEINFO") << true;
        QTest::newRow("text before the first bar ignored") << QByteArray("FILEINFOxyz|3|a|") << true;
        QTest::newRow("lower case") << QByteArray("fileinfo|3|a|") << false;
        QTest::newRow("mixed case") << QByteArray("FileInfo|3|a|") << false;
        QTest::newRow("shorter than eight") << QByteArray("FILEINF") << false;
        QTest::newRow("leading blank") << QByteArray(" FILEINFO|3|a|") << false;
    }

    void headerMarkerIsExactAndUpperCase()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(bool, header);
        QCOMPARE(isFileInfoHeader(chunk), header);
    }

    void headerAnnouncesSizeAndName()
    {
        QString error;
        const auto header = parseFileInfoHeader("FILEINFO|5|a.txt|hello", &error);
        QVERIFY2(header, qPrintable(error));
        QCOMPARE(header->size, qint64(5));
        QCOMPARE(header->name, QByteArray("a.txt"));

        const auto large = parseFileInfoHeader(fileInfoHeader(5'000'000'000, "big.bin"), &error);
        QVERIFY(large);
        QCOMPARE(large->size, qint64(5'000'000'000));
        QCOMPARE(large->name, QByteArray("big.bin"));
        QCOMPARE(fileInfoHeader(512, "BrackwellDescriptor.txt"), QByteArray("FILEINFO|512|BrackwellDescriptor.txt|"));
    }

    void unusableSizesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("reason");
        QTest::newRow("marker alone") << QByteArray("FILEINFO") << "no size";
        QTest::newRow("missing") << QByteArray("FILEINFO||a.txt|") << "no size";
        QTest::newRow("no bar after it") << QByteArray("FILEINFO|12") << "no size";
        QTest::newRow("not a number") << QByteArray("FILEINFO|abc|a.txt|") << "not a whole number";
        QTest::newRow("fraction") << QByteArray("FILEINFO|2.5|a.txt|") << "not a whole number";
        QTest::newRow("trailing junk") << QByteArray("FILEINFO|12x|a.txt|") << "not a whole number";
        QTest::newRow("zero") << QByteArray("FILEINFO|0|a.txt|") << "0 bytes";
        QTest::newRow("negative") << QByteArray("FILEINFO|-5|a.txt|") << "negative";
        QTest::newRow("beyond 64 bits") << QByteArray("FILEINFO|99999999999999999999|a.txt|") << "too large";
    }

    void unusableSizesAreRefused()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!parseFileInfoHeader(chunk, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void receivedNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("descriptor") << "BrackwellDescriptor.txt" << true;
        QTest::newRow("8-bit letters") << QString::fromUtf8("Dün€.txt") << true;
        QTest::newRow("dots inside") << "a.b.txt" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("parent folder") << "../evil.txt" << false;
        QTest::newRow("dot dot alone") << ".." << false;
        QTest::newRow("dot dot inside") << "a..b" << false;
        QTest::newRow("slash") << "sub/evil.txt" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("backslash") << "sub\\evil.txt" << false;
        QTest::newRow("drive") << "C:evil.txt" << false;
        QTest::newRow("control character") << "a\x01" "b.txt" << false;
        QTest::newRow("line feed") << "a\nb.txt" << false;
        QTest::newRow("C1 control") << QString(QChar(0x81)) + QStringLiteral("x") << false;
        QTest::newRow("executable") << "kestrix" << false;
        QTest::newRow("executable, other case") << "KESTRIX" << false;
        QTest::newRow("database") << "Sam.mdb" << false;
        QTest::newRow("database, other case") << "sam.MDB" << false;
        QTest::newRow("reference file") << "BRACKWELL.DAT" << false;
        QTest::newRow("last reference file") << "oldgrist.dat" << false;
        QTest::newRow("parameter file") << "sample.txt" << false;
        QTest::newRow("log") << "Unmatch.txt" << false;
        QTest::newRow("help") << "HELP.TXT" << false;
        QTest::newRow("database journal") << "Sam.mdb-journal" << false;
        QTest::newRow("database write-ahead log") << "SAM.MDB-wal" << false;
        QTest::newRow("Qt configuration") << "qt.conf" << false;
        QTest::newRow("hidden") << ".tweaks.txt" << true;
        QTest::newRow("blank") << "   " << false;
        QTest::newRow("begins with a space") << " a.txt" << false;
        QTest::newRow("ends with a space") << "a.txt " << false;
        QTest::newRow("ends with a dot") << "a.txt." << false;
        // Room is kept for ".partial" in the file system's 255 bytes.
        QTest::newRow("247 bytes") << QString(243, u'n') + QStringLiteral(".txt") << true;
        QTest::newRow("248 bytes") << QString(244, u'n') + QStringLiteral(".txt") << false;
        QTest::newRow("200 characters, 400 bytes") << QString(196, u'\u00e9') + QStringLiteral(".txt") << false;
    }

    void receivedNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        const QString reason = refusalReason(name, programOwnFiles(QStringLiteral("kestrix")));
        QVERIFY2(reason.isEmpty() == accepted, qPrintable(reason));
    }

    // Names in messages stay short; a partial file's name fits any file system.
    void shownAndPartialNames()
    {
        QCOMPARE(shownName(QStringLiteral("BrackwellDescriptor.txt")), QStringLiteral("BrackwellDescriptor.txt"));
        const QString longName = QString(200, u'n') + QStringLiteral(".txt");
        const QString shown = shownName(longName);
        QVERIFY(shown.size() <= 80);
        QVERIFY(shown.endsWith(QStringLiteral("n.txt")) && shown.contains(u'\u2026'));
        QCOMPARE(partialName(QStringLiteral("a.txt")), QStringLiteral("a.txt.partial"));
        QVERIFY(!refusalReason(QString(50, u'n'), {}, 200).isEmpty()); // no room left beside a receiver's prefix
    }

    // However a header is cut between reads, the collector gives the same
    // header and hands on everything after its third "|" as data.
    void headerCollectedAcrossReads()
    {
        const QByteArray stream("FILEINFO|5|a.txt|hello");
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            HeaderCollector collector;
            QByteArrayView rest;
            HeaderCollector::Status status = collector.add(QByteArrayView(stream).first(cut), &rest);
            if (status == HeaderCollector::Status::NeedMore)
                status = collector.add(QByteArrayView(stream).sliced(cut), &rest);
            else
                rest = QByteArrayView(stream).sliced(stream.indexOf("hello"));
            QCOMPARE(status, HeaderCollector::Status::Complete);
            QCOMPARE(collector.header(), QByteArray("FILEINFO|5|a.txt|"));
            QCOMPARE(rest.toByteArray(), QByteArray("hello"));
        }
    }

    void headerCollectorRefuses_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<HeaderCollector::Status>("status");
        QTest::newRow("marker cut short") << QByteArray("FILEINF") << HeaderCollector::Status::NeedMore;
        QTest::newRow("no third bar yet") << QByteArray("FILEINFO|12|a.txt") << HeaderCollector::Status::NeedMore;
        QTest::newRow("lower case") << QByteArray("fileinfo|5|a|") << HeaderCollector::Status::NotAHeader;
        QTest::newRow("wrong eighth byte") << QByteArray("FILEINFX") << HeaderCollector::Status::NotAHeader;
        QTest::newRow("plain data") << QByteArray("hello") << HeaderCollector::Status::NotAHeader;
        QTest::newRow("no end within 4 KiB") << "FILEINFO|5|" + QByteArray(4085, 'n') << HeaderCollector::Status::TooLong;
        QTest::newRow("ends on its 4096th byte") << "FILEINFO|5|" + QByteArray(4084, 'n') + '|'
                                                << HeaderCollector::Status::Complete;
    }

    void headerCollectorRefuses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(HeaderCollector::Status, status);
        HeaderCollector collector;
        QByteArrayView rest;
        QCOMPARE(collector.add(bytes, &rest), status);
    }

    // The percentage of each chunk, worked out in floats as the bar holds them.
    void completionFollowsTheFloats_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("chunk");
        QTest::addColumn<QList<qint64>>("percentages");
        QTest::newRow("3 in bytes ends at 99") << qint64(3) << qint64(1) << QList<qint64>{33, 66, 99};
        QTest::newRow("6 ends at 99") << qint64(6) << qint64(6) << QList<qint64>{99};
        QTest::newRow("7 ends at 99") << qint64(7) << qint64(7) << QList<qint64>{99};
        QTest::newRow("9 ends at 99") << qint64(9) << qint64(9) << QList<qint64>{99};
        QTest::newRow("999 ends at 99") << qint64(999) << qint64(999) << QList<qint64>{99};
        QTest::newRow("10 ends at 100") << qint64(10) << qint64(5) << QList<qint64>{50, 100};
        QTest::newRow("100 ends at 100") << qint64(100) << qint64(100) << QList<qint64>{100};
        QTest::newRow("512 in three") << qint64(512) << qint64(200) << QList<qint64>{39, 78, 100};
        QTest::newRow("1000 ends at 100") << qint64(1000) << qint64(1000) << QList<qint64>{100};
    }

    void completionFollowsTheFloats()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, chunk);
        QFETCH(QList<qint64>, percentages);
        float value = 0;
        QList<qint64> seen;
        for (qint64 left = size; left > 0; left -= chunk) {
            value = progressAfter(value, std::min(chunk, left));
            seen << completionPercent(value, float(size));
        }
        QCOMPARE(seen, percentages);
        QCOMPARE(completionCaption(value, float(size)), QStringLiteral("Complete: %1 %").arg(percentages.last()));
    }

    // Beyond 2^24 bytes the bar's float count no longer follows every byte.
    void progressIsAFloatSum()
    {
        QCOMPARE(progressAfter(16777216.0f, 1), 16777216.0f);
        QCOMPARE(progressAfter(16777216.0f, 2), 16777218.0f);
        QCOMPARE(progressAfter(0.0f, 512), 512.0f);
    }

    void rateCaption_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("caption");
        QTest::newRow("no transfer") << 0 << "Average: 0.0 / KBps";
        QTest::newRow("12345") << 12345 << "Average: 12.3 / KBps";
        QTest::newRow("999") << 999 << "Average: 1.0 / KBps";
        QTest::newRow("49 rounds down") << 49 << "Average: 0.0 / KBps";
        QTest::newRow("half rounds up") << 1250 << "Average: 1.3 / KBps";
        QTest::newRow("no thousands separator") << 123456789 << "Average: 123456.8 / KBps";
        QTest::newRow("largest count") << std::numeric_limits<qint32>::max() << "Average: 2147483.6 / KBps";
    }

    void rateCaption()
    {
        QFETCH(int, bytes);
        QFETCH(QString, caption);
        QCOMPARE(::rateCaption(bytes), caption);
    }

    void portText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("failure");
        QTest::newRow("zero") << "0" << 0 << "";
        QTest::newRow("port") << "5000" << 5000 << "";
        QTest::newRow("blanks around") << " 5000 " << 5000 << "";
        QTest::newRow("half to even, down") << "5000.5" << 5000 << "";
        QTest::newRow("half to even, up") << "5001.5" << 5002 << "";
        QTest::newRow("fraction") << "5000.7" << 5001 << "";
        QTest::newRow("small fraction is 0") << "0.4" << 0 << "";
        QTest::newRow("exponent") << "5e3" << 5000 << "";
        QTest::newRow("out of port range, still a number") << "70000" << 70000 << "";
        QTest::newRow("letters") << "abc" << 0 << "Type mismatch";
        QTest::newRow("empty") << "" << 0 << "Type mismatch";
        QTest::newRow("blank") << " " << 0 << "Type mismatch";
        QTest::newRow("digits and letters") << "50a" << 0 << "Type mismatch";
        QTest::newRow("beyond 32 bits") << "1e12" << 0 << "Overflow";
    }

    void portText()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QFETCH(QString, failure);
        QString error;
        const std::optional<qint32> result = portFromText(text, &error);
        if (failure.isEmpty()) {
            QVERIFY2(result, qPrintable(error));
            QCOMPARE(*result, port);
        } else {
            QVERIFY(!result);
            QVERIFY2(error.startsWith(failure), qPrintable(error));
        }
    }
};

QTEST_GUILESS_MAIN(TestReceiverProtocol)
#include "test_receiver_protocol.moc"
