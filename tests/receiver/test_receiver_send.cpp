#include "FileSystem.h"
#include "ReceiverHarness.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString errors;
};

// Runs the sender while this process keeps its own event loop, and so the
// receiver, going.
Run send(const QStringList& arguments)
{
    QProcess sender;
    sender.start(QStringLiteral(KESTRIX_SEND), arguments);
    if (!sender.waitForStarted())
        return {};
    if (!QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 60'000))
        return {};
    return {sender.exitStatus() == QProcess::NormalExit ? sender.exitCode() : -1,
            QString::fromLocal8Bit(sender.readAllStandardError())};
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 7) % 256);
    return bytes;
}

} // namespace

class TestReceiverSend : public QObject
{
    Q_OBJECT

private slots:
    void sendsEveryByte_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("announced");
        QByteArray descriptor;
        QString error;
        QVERIFY(FileSystem::readAll(TestProgramFolder::dataFile(QStringLiteral("Cars/Brackwell/BrackwellDescriptor.txt")),
                                    &descriptor, &error));
        QTest::newRow("descriptor under its received name") << descriptor << "BrackwellDescriptor.txt";
        QTest::newRow("one byte") << QByteArray("x") << "";
        QTest::newRow("several blocks, any bytes") << pattern(3 * 1024 * 1024 + 17) << "";
    }

    void sendsEveryByte()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, announced);
        ReceiverHarness h;
        const quint16 port = h.listen();
        QVERIFY(port);
        QTemporaryDir source;
        const QString path = source.filePath(QStringLiteral("local copy.bin"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, content, &error));

        QStringList arguments{QStringLiteral("127.0.0.1"), QString::number(port), path};
        if (!announced.isEmpty())
            arguments << QStringLiteral("--name") << announced;
        const Run run = send(arguments);

        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        const QString name = announced.isEmpty() ? QStringLiteral("local copy.bin") : announced;
        QByteArray received;
        QVERIFY(FileSystem::readAll(h.folder.file(name), &received, &error));
        QVERIFY(received == content);
        QCOMPARE(h.c[u"Txt_File"].text(), name);
        QCOMPARE(h.c[u"FileBar"].maximum(), double(content.size()));
        QCOMPARE(h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(h.messages.shown.size(), 0);
        QVERIFY(run.errors.contains(QStringLiteral("%1 of %1 bytes sent (100 %)").arg(content.size())));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing listens") << "no listener" << "cannot connect";
        QTest::newRow("missing file") << "missing" << "cannot read it";
        QTest::newRow("a folder") << "folder" << "it is a folder";
        QTest::newRow("empty file") << "empty" << "empty";
        QTest::newRow("file that looks like a header") << "lookalike" << "begins with \"FILEINFO\"";
        QTest::newRow("name with a bar") << "bar in name" << "cannot be announced";
        QTest::newRow("receiver refuses the name") << "own file" << "refused the file";
    }

    // A clear reason and exit status 1; the receiver's folder is unchanged.
    void failures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        ReceiverHarness h;
        quint16 port = h.listen();
        if (setup == u"no listener") {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::AnyIPv4, 0));
            port = probe.serverPort();
        }
        QTemporaryDir source;
        QString path = source.filePath(QStringLiteral("file.txt"));
        QString error;
        if (setup != u"missing" && setup != u"folder")
            QVERIFY(FileSystem::writeAll(path, setup == u"empty" ? QByteArray() : setup == u"lookalike"
                                                   ? QByteArray("FILEINFO|1|x|")
                                                   : QByteArray("content"),
                                         &error));
        if (setup == u"folder")
            path = source.path();
        QStringList arguments{QStringLiteral("127.0.0.1"), QString::number(port), path};
        if (setup == u"bar in name")
            arguments << QStringLiteral("--name") << QStringLiteral("a|b.txt");
        if (setup == u"own file")
            arguments << QStringLiteral("--name") << QStringLiteral("Sam.mdb");
        QByteArray database;
        QVERIFY(FileSystem::readAll(h.folder.file(QStringLiteral("Sam.mdb")), &database, &error));

        const Run run = send(arguments);

        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(reason), qPrintable(run.errors));
        QByteArray after;
        QVERIFY(FileSystem::readAll(h.folder.file(QStringLiteral("Sam.mdb")), &after, &error));
        QVERIFY(after == database);
        QVERIFY(!QFileInfo::exists(h.folder.file(QStringLiteral("file.txt"))));
    }

    // A league's sender that names a player to a receiver window is told
    // no, by the window's own message for data before a header, and
    // nothing is written.
    void playerPreambleRefused()
    {
        ReceiverHarness h;
        const quint16 port = h.listen();
        QVERIFY(port);
        const QStringList before = QDir(h.folder.path()).entryList(QDir::Files | QDir::Hidden);
        qputenv("KESTRIX_TOKEN", "a-token");
        const Run run = send({QStringLiteral("127.0.0.1"), QString::number(port),
                              TestProgramFolder::dataFile(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt")),
                              QStringLiteral("--player"), QStringLiteral("alice")});
        qunsetenv("KESTRIX_TOKEN");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(QStringLiteral("closed the connection without an answer to the player")),
                 qPrintable(run.errors));
        QTRY_VERIFY(!h.messages.shown.isEmpty());
        QVERIFY2(h.messages.shown.last().text.contains(QStringLiteral("before a FILEINFO header")),
                 qPrintable(h.messages.shown.last().text));
        QCOMPARE(QDir(h.folder.path()).entryList(QDir::Files | QDir::Hidden), before);
    }

    void wrongCommandLine()
    {
        QCOMPARE(send({}).exitCode, 2);
        QCOMPARE(send({QStringLiteral("127.0.0.1"), QStringLiteral("1"), QStringLiteral("f"), QStringLiteral("--name")})
                     .exitCode,
                 2);
    }
};

QTEST_GUILESS_MAIN(TestReceiverSend)
#include "test_receiver_send.moc"
