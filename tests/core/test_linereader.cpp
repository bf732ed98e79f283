#include "LineReader.h"

#include <QBuffer>
#include <QTest>

namespace {

QList<QByteArray> linesOf(const QByteArray& input)
{
    QBuffer buffer;
    buffer.setData(input);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    QList<QByteArray> lines;
    QByteArrayView line;
    while (reader.next(&line))
        lines << line.toByteArray();
    return lines;
}

} // namespace

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<QByteArray>>("expected");
        using L = QList<QByteArray>;
        QTest::newRow("empty file") << QByteArray() << L{};
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << L{"a", "b"};
        QTest::newRow("lone cr") << QByteArray("a\rb\r") << L{"a", "b"};
        QTest::newRow("last line without terminator") << QByteArray("a\r\nb") << L{"a", "b"};
        QTest::newRow("lf alone is a character") << QByteArray("a\nb\n") << L{"a\nb\n"};
        QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx\r\n") << L{"", "", "x"};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << L{"a", "", "b"};
        QTest::newRow("blanks and quotes kept") << QByteArray("  a \"b\"  \r\n") << L{"  a \"b\"  "};
        QTest::newRow("nul and high bytes") << QByteArray("\0\x80\xff\r\n", 5) << L{QByteArray("\0\x80\xff", 3)};
    }

    void lines()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(linesOf(input), expected);
    }

    // Lines longer than the read buffer, and CR LF pairs split across reads.
    void longLinesAndSplitTerminators()
    {
        const QByteArray longLine(200000, 'x');
        QByteArray input;
        QList<QByteArray> expected;
        for (int i = 0; i < 3; ++i) {
            input += longLine + "\r\n";
            expected << longLine;
        }
        for (int n = 65530; n < 65540; ++n) {
            QByteArray padded(n, 'y');
            QCOMPARE(linesOf(padded + "\r\nz"), (QList<QByteArray>{padded, "z"}));
        }
        QCOMPARE(linesOf(input), expected);
    }
};

QTEST_GUILESS_MAIN(TestLineReader)
#include "test_linereader.moc"
