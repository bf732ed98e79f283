#include "FileSystem.h"
#include "ReceiverHarness.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The sending side, driven piece by piece: the test waits for the receiver
// to take each piece before it sends the next, so each arrives on its own.
struct Client {
    explicit Client(quint16 port) { socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port); }
    bool waitConnected() { return socket.waitForConnected(5000); }
    void send(QByteArrayView bytes)
    {
        socket.write(bytes.data(), bytes.size());
        socket.flush();
    }
    bool closedByPeer() const { return socket.state() == QAbstractSocket::UnconnectedState; }

    QTcpSocket socket;
};

// Every file below folder with its content, so a test can show nothing changed.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        files.insert(QDir(folder).relativeFilePath(file.fileName()), file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                                                   : QByteArray("?"));
    }
    return files;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// How many of this process's descriptors are open on path.
int openHandles(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        count += fd.symLinkTarget() == target ? 1 : 0;
    return count;
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::AnyIPv4, 0) ? probe.serverPort() : 0;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) % 256);
    return bytes;
}

} // namespace

class TestReceiverWindow : public QObject
{
    Q_OBJECT

    // A connected client of a listening, loaded window.
    struct Connected {
        Connected()
            : client(h.listen())
        {
            // The bar must stay in its range whatever arrives.
            Control& bar = h.c[u"FileBar"];
            const auto check = [this, &bar] {
                if (bar.value() < bar.minimum() || bar.value() > bar.maximum())
                    ++rangeViolations;
            };
            QObject::connect(&bar, &Control::valueChanged, check);
            QObject::connect(&bar, &Control::rangeChanged, check);
            QObject::connect(&h.c[u"Lbl_Complete"], &Control::textChanged,
                             [this] { captions << h.c[u"Lbl_Complete"].text(); });
        }

        bool ready()
        {
            return client.waitConnected()
                && QTest::qWaitFor([this] { return h.form->Winsock_Receive.state() == TcpSocketControl::Connected; });
        }

        // Sends a header and waits until the receiver has taken it.
        bool sendHeader(const QByteArray& header, const QString& name)
        {
            client.send(header);
            return QTest::qWaitFor([&] { return h.c[u"Txt_File"].text() == name; });
        }

        bool sendChunk(const QByteArray& chunk)
        {
            const double expected = h.c[u"FileBar"].value() + chunk.size();
            client.send(chunk);
            return QTest::qWaitFor([&] { return h.c[u"FileBar"].value() == expected; });
        }

        ReceiverHarness h;
        Client client;
        QStringList captions;
        int rangeViolations = 0;
    };

private slots:
    void loadShowsAddressFolderAndStartsTheRate()
    {
        ReceiverHarness h;
        QTRY_COMPARE(h.c[u"Txt_CurrentIP"].text(), QStringLiteral("10.0.0.7"));
        QCOMPARE(h.c[u"Txt_File"].text(), h.folder.path());
        QCOMPARE(h.c[u"Txt_Port"].text(), QStringLiteral("0"));
        QCOMPARE(h.c[u"Lbl_Complete"].text(), QStringLiteral("Complete: 0%"));
        QCOMPARE(h.c[u"Lbl_Status"].text(), QStringLiteral("winsock State"));
        QCOMPARE(h.c[u"FileBar"].value(), 0.0);
        QCOMPARE(h.c[u"FileBar"].maximum(), 100.0);
        QCOMPARE(h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QVERIFY(h.form->Timer1.isActive());
        QCOMPARE(h.form->Timer1.interval(), 1000);
        QCOMPARE(h.c[u"Lbl_Averages"].text(), QStringLiteral("Average: 0 / KBps"));
        QTRY_COMPARE_WITH_TIMEOUT(h.c[u"Lbl_Averages"].text(), QStringLiteral("Average: 0.0 / KBps"), 3000);
        QCOMPARE(h.messages.shown.size(), 0);
    }

    void listens_data()
    {
        QTest::addColumn<bool>("fixed");
        QTest::newRow("0: the system picks") << false;
        QTest::newRow("a fixed port") << true;
    }

    void listens()
    {
        QFETCH(bool, fixed);
        ReceiverHarness h;
        const quint16 wanted = fixed ? freePort() : 0;
        h.c[u"Txt_Port"].setText(QString::number(wanted));
        h.c[u"Btn_Listen"].click();
        QCOMPARE(h.form->Winsock_Receive.state(), int(TcpSocketControl::Listening));
        const qint32 port = h.form->Winsock_Receive.localPort();
        QVERIFY(port > 0);
        if (fixed)
            QCOMPARE(port, qint32(wanted));
        QCOMPARE(h.c[u"Lbl_Status"].text(), QStringLiteral("2 on port: %1").arg(port));
        Client client{quint16(port)};
        QVERIFY(client.waitConnected());
        QTRY_COMPARE(h.form->Winsock_Receive.state(), int(TcpSocketControl::Connected));
        QCOMPARE(h.messages.shown.size(), 0);
    }

    void listeningAgainClosesTheFirstListen()
    {
        ReceiverHarness h;
        const quint16 first = h.listen();
        QVERIFY(first);
        const quint16 second = freePort();
        h.c[u"Txt_Port"].setText(QString::number(second));
        h.c[u"Btn_Listen"].click();
        QCOMPARE(h.c[u"Lbl_Status"].text(), QStringLiteral("2 on port: %1").arg(second));

        Client stale(first);
        QVERIFY(!stale.waitConnected());
        QCOMPARE(stale.socket.error(), QAbstractSocket::ConnectionRefusedError);
        Client current(second);
        QVERIFY(current.waitConnected());
    }

    void listenFailures_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("description");
        QTest::newRow("not a number") << "abc" << "Type mismatch";
        QTest::newRow("empty") << "" << "Type mismatch";
        QTest::newRow("port in use") << "in use" << "in use";
        QTest::newRow("beyond the port range") << "70000" << "out of range";
        QTest::newRow("negative") << "-1" << "out of range";
        QTest::newRow("beyond 32 bits") << "1e12" << "Overflow";
    }

    // The failure is shown; the earlier listen was already closed, so nothing listens.
    void listenFailures()
    {
        QFETCH(QString, port);
        QFETCH(QString, description);
        ReceiverHarness h;
        const quint16 earlier = h.listen();
        QVERIFY(earlier);
        const QString status = h.c[u"Lbl_Status"].text();
        QTcpServer occupier;
        if (port == u"in use") {
            QVERIFY(occupier.listen(QHostAddress::AnyIPv4, 0));
            port = QString::number(occupier.serverPort());
        }
        h.c[u"Txt_Port"].setText(port);
        h.c[u"Btn_Listen"].click();

        QCOMPARE(h.messages.shown.size(), 1);
        const auto& box = h.messages.shown[0];
        QVERIFY2(box.text.contains(description), qPrintable(box.text));
        QCOMPARE(box.icon, MessageBoxes::Icon::Critical);
        QCOMPARE(box.title, std::optional<QString>());
        QCOMPARE(h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(h.c[u"Lbl_Status"].text(), status);
        Client client(earlier);
        QVERIFY(!client.waitConnected());
    }

    // Accepting closes the listener: a second sender is turned away.
    void oneConnectionAtATime()
    {
        Connected t;
        QVERIFY(t.ready());
        Client second{quint16(t.h.form->Winsock_Receive.localPort())};
        QVERIFY(!second.waitConnected());
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Connected));
    }

    void receivesAFileInThreeChunks()
    {
        Connected t;
        QVERIFY(t.ready());
        const QString status = t.h.c[u"Lbl_Status"].text();
        const QByteArray content = pattern(512);
        QVERIFY(t.sendHeader("FILEINFO|512|BrackwellDescriptor.txt|", QStringLiteral("BrackwellDescriptor.txt")));
        QCOMPARE(t.h.c[u"FileBar"].maximum(), 512.0);
        QCOMPARE(t.h.c[u"FileBar"].value(), 0.0);
        QVERIFY(t.sendChunk(content.first(200)));
        QVERIFY(t.sendChunk(content.sliced(200, 200)));
        QVERIFY(t.sendChunk(content.sliced(400)));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));

        const QString saved = t.h.folder.file(QStringLiteral("BrackwellDescriptor.txt"));
        QCOMPARE(contentOf(saved), content);
        QCOMPARE(openHandles(saved), 0);
        QCOMPARE(t.h.c[u"FileBar"].value(), 512.0);
        QCOMPARE(t.captions, (QStringList{QStringLiteral("Complete: 39 %"), QStringLiteral("Complete: 78 %"),
                                          QStringLiteral("Complete: 100 %")}));
        // Only the listen writes the status; the labels of size and name stay.
        QCOMPARE(t.h.c[u"Lbl_Status"].text(), status);
        QCOMPARE(t.h.c[u"Lbl_FileSize"].text(), QStringLiteral("Filesize: 0 kb"));
        QCOMPARE(t.h.c[u"Lbl_FileName"].text(), QStringLiteral("Filename: -"));
        QCOMPARE(t.h.c[u"Txt_File"].text(), QStringLiteral("BrackwellDescriptor.txt"));
        QCOMPARE(t.h.messages.shown.size(), 0);
        QCOMPARE(t.rangeViolations, 0);
    }

    void threeBytesEndAt99()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|3|a.txt|", QStringLiteral("a.txt")));
        for (const char* byte : {"x", "y", "z"})
            QVERIFY(t.sendChunk(byte));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(t.captions, (QStringList{QStringLiteral("Complete: 33 %"), QStringLiteral("Complete: 66 %"),
                                          QStringLiteral("Complete: 99 %")}));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("a.txt"))), QByteArray("xyz"));
        QCOMPARE(t.h.messages.shown.size(), 0);
    }

    // Bytes that come with the header are neither saved nor counted.
    void headerChunkTrailerIsDiscarded()
    {
        Connected t;
        QVERIFY(t.ready());
        t.h.form->Timer1.stop();
        QVERIFY(t.sendHeader("FILEINFO|5|a.txt|hello", QStringLiteral("a.txt")));
        QCOMPARE(t.h.c[u"FileBar"].value(), 0.0);
        QCOMPARE(t.h.form->TickBytes, 0);
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("a.txt"))), QByteArray());
        QVERIFY(t.sendChunk("12345"));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("a.txt"))), QByteArray("12345"));
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 100 %"));
        QCOMPARE(t.h.messages.shown.size(), 0);
    }

    // Only upper-case "FILEINFO" starts a file; anything else is data.
    void lowerCaseFileinfoIsData()
    {
        Connected t;
        QVERIFY(t.ready());
        const QByteArray lookalike("fileinfo|3|b.txt|");
        QVERIFY(t.sendHeader("FILEINFO|17|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk(lookalike));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("a.txt"))), lookalike);
        QVERIFY(!QFileInfo::exists(t.h.folder.file(QStringLiteral("b.txt"))));
        QCOMPARE(t.h.messages.shown.size(), 0);
    }

    void refusedHeaders_data()
    {
        QTest::addColumn<QByteArray>("firstChunk");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty name") << QByteArray("FILEINFO|5||") << "no file name";
        QTest::newRow("name without closing bar") << QByteArray("FILEINFO|5|a.txt") << "no file name";
        QTest::newRow("parent folder") << QByteArray("FILEINFO|5|../evil.txt|") << "not a plain file name";
        QTest::newRow("dot dot") << QByteArray("FILEINFO|5|..|") << "not a plain file name";
        QTest::newRow("subfolder") << QByteArray("FILEINFO|5|sub/evil.txt|") << "not a plain file name";
        QTest::newRow("backslash") << QByteArray("FILEINFO|5|sub\\evil.txt|") << "not a plain file name";
        QTest::newRow("absolute") << QByteArray("FILEINFO|5|/tmp/evil.txt|") << "not a plain file name";
        QTest::newRow("drive") << QByteArray("FILEINFO|5|C:evil.txt|") << "not a plain file name";
        QTest::newRow("control character") << QByteArray("FILEINFO|5|a\x07.txt|") << "control character";
        QTest::newRow("executable") << QByteArray("FILEINFO|5|kestrix|") << "own files";
        QTest::newRow("database") << QByteArray("FILEINFO|5|Sam.mdb|") << "own files";
        QTest::newRow("database, other case") << QByteArray("FILEINFO|5|SAM.mdb|") << "own files";
        QTest::newRow("reference file") << QByteArray("FILEINFO|5|brackwell.DAT|") << "own files";
        QTest::newRow("parameter file") << QByteArray("FILEINFO|5|Sample.txt|") << "own files";
        QTest::newRow("log") << QByteArray("FILEINFO|5|unmatch.txt|") << "own files";
        QTest::newRow("help") << QByteArray("FILEINFO|5|help.txt|") << "own files";
        QTest::newRow("size missing") << QByteArray("FILEINFO||a.txt|") << "no size";
        QTest::newRow("size not a number") << QByteArray("FILEINFO|abc|a.txt|") << "not a whole number";
        QTest::newRow("size zero") << QByteArray("FILEINFO|0|a.txt|") << "0 bytes";
        QTest::newRow("size negative") << QByteArray("FILEINFO|-5|a.txt|") << "negative";
        QTest::newRow("data before any header") << QByteArray("hello") << "before a FILEINFO header";
        QTest::newRow("lower-case header is data") << QByteArray("fileinfo|5|a.txt|") << "before a FILEINFO header";
        QTest::newRow("header cut short") << QByteArray("FILEINF") << "before a FILEINFO header";
    }

    // Nothing is created or changed, in the program folder or beside it; the
    // connection is closed and the user is told why.
    void refusedHeaders()
    {
        QFETCH(QByteArray, firstChunk);
        QFETCH(QString, reason);
        Connected t;
        QVERIFY(QDir(t.h.folder.path()).mkdir(QStringLiteral("sub")));
        const QString outside = QFileInfo(t.h.folder.path()).absolutePath() + QStringLiteral("/evil.txt");
        const auto before = snapshot(t.h.folder.path());
        QVERIFY(t.ready());

        t.client.send(firstChunk);
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QTRY_VERIFY(t.client.closedByPeer());

        const auto& box = t.h.messages.shown[0];
        QVERIFY2(box.text.contains(reason), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("Nothing was saved")), qPrintable(box.text));
        QCOMPARE(box.icon, MessageBoxes::Icon::Critical);
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(snapshot(t.h.folder.path()), before);
        QVERIFY(!QFileInfo::exists(outside));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/evil.txt")));
        QCOMPARE(t.h.c[u"Txt_File"].text(), t.h.folder.path());
        QCOMPARE(t.h.c[u"FileBar"].value(), 0.0);
        QCOMPARE(t.rangeViolations, 0);
    }

    void linkInTheProgramFolderIsNotFollowed()
    {
        Connected t;
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(QStringLiteral("target.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(target, "keep", &error));
        QVERIFY(QFile::link(target, t.h.folder.file(QStringLiteral("link.txt"))));
        QVERIFY(t.ready());
        t.client.send("FILEINFO|5|link.txt|");
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QVERIFY(t.h.messages.shown[0].text.contains(QStringLiteral("link")));
        QCOMPARE(contentOf(target), QByteArray("keep"));
    }

    // A file of the announced name is replaced whole, whatever its letter case.
    void existingFileIsReplacedWhole()
    {
        Connected t;
        const QString existing = t.h.folder.file(QStringLiteral("BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(existing, QByteArray(100, 'x'), &error));
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|5|brackwelldescriptor.txt|", QStringLiteral("brackwelldescriptor.txt")));
        QVERIFY(t.sendChunk("12345"));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(contentOf(existing), QByteArray("12345"));
        QCOMPARE(QDir(t.h.folder.path())
                     .entryList({QStringLiteral("brackwelldescriptor.txt")}, QDir::Files)
                     .size(),
                 1);
    }

    // Every byte that arrived is saved; the bar stops at its maximum.
    void moreDataThanAnnounced()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|5|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("123"));
        t.client.send("4567");
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QTRY_VERIFY(t.client.closedByPeer());

        const QString saved = t.h.folder.file(QStringLiteral("a.txt"));
        QCOMPARE(contentOf(saved), QByteArray("1234567"));
        QCOMPARE(openHandles(saved), 0);
        QVERIFY2(t.h.messages.shown[0].text.contains(QStringLiteral("More data arrived than the 5 bytes")),
                 qPrintable(t.h.messages.shown[0].text));
        QCOMPARE(t.h.c[u"FileBar"].value(), 5.0);
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 100 %"));
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(t.rangeViolations, 0);
    }

    void connectionClosedEarly()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|10|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("abcd"));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.messages.shown.size(), 1);

        const QString saved = t.h.folder.file(QStringLiteral("a.txt"));
        QCOMPARE(contentOf(saved), QByteArray("abcd"));
        QCOMPARE(openHandles(saved), 0);
        QVERIFY2(t.h.messages.shown[0].text.contains(QStringLiteral("after 4 of the 10 bytes")),
                 qPrintable(t.h.messages.shown[0].text));
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 40 %"));
    }

    // A close that comes right behind the last bytes still delivers them first.
    void closeRightAfterTheData()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|4096|a.txt|", QStringLiteral("a.txt")));
        const QByteArray content = pattern(4096);
        t.client.send(content);
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("a.txt"))), content);
        QCOMPARE(t.h.messages.shown.size(), 0);
        QCOMPARE(t.h.c[u"FileBar"].value(), 4096.0);
    }

    // A second header ends the first file and counts from 0 again.
    void secondHeaderStartsAfresh()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|4|one.txt|", QStringLiteral("one.txt")));
        QVERIFY(t.sendChunk("1111"));
        QVERIFY(t.sendHeader("FILEINFO|2|two.txt|", QStringLiteral("two.txt")));
        QCOMPARE(t.h.c[u"FileBar"].value(), 0.0);
        QCOMPARE(t.h.c[u"FileBar"].maximum(), 2.0);
        QCOMPARE(openHandles(t.h.folder.file(QStringLiteral("one.txt"))), 0);
        QVERIFY(t.sendChunk("22"));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("one.txt"))), QByteArray("1111"));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("two.txt"))), QByteArray("22"));
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 100 %"));
        QCOMPARE(t.rangeViolations, 0);
    }

    // A new listen drops the connection and closes its file.
    void listeningDuringATransferClosesItsFile()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|10|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("abc"));
        const QString saved = t.h.folder.file(QStringLiteral("a.txt"));
        QCOMPARE(openHandles(saved), 1);
        t.h.c[u"Btn_Listen"].click();
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Listening));
        QCOMPARE(openHandles(saved), 0);
        QCOMPARE(contentOf(saved), QByteArray("abc"));
        QTRY_VERIFY(t.client.closedByPeer());
        QCOMPARE(t.h.messages.shown.size(), 0);
    }

    void unloadingEndsTheTransfer()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|10|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("abc"));
        t.h.form.reset();
        QCOMPARE(openHandles(t.h.folder.file(QStringLiteral("a.txt"))), 0);
        QTRY_VERIFY(t.client.closedByPeer());
    }

    // The rate counts file data only; the tick shows it and starts again.
    void rateCountsFileDataPerTick()
    {
        Connected t;
        QVERIFY(t.ready());
        t.h.form->Timer1.stop();
        QVERIFY(t.sendHeader("FILEINFO|20000|a.txt|", QStringLiteral("a.txt")));
        t.client.send(pattern(12345));
        QTRY_COMPARE(t.h.c[u"FileBar"].value(), 12345.0);
        QCOMPARE(t.h.form->TickBytes, 12345);
        t.h.form->Timer1_Timer();
        QCOMPARE(t.h.c[u"Lbl_Averages"].text(), QStringLiteral("Average: 12.3 / KBps"));
        QCOMPARE(t.h.form->TickBytes, 0);
        QVERIFY(t.sendChunk(pattern(999)));
        t.h.form->Timer1_Timer();
        QCOMPARE(t.h.c[u"Lbl_Averages"].text(), QStringLiteral("Average: 1.0 / KBps"));
        t.h.form->Timer1_Timer();
        QCOMPARE(t.h.c[u"Lbl_Averages"].text(), QStringLiteral("Average: 0.0 / KBps"));
    }

    // "Close" only hides: the transfer carries on and stays current.
    void closeButtonOnlyHides()
    {
        Connected t;
        QSignalSpy hide(t.h.form.get(), &FrmClient::hideRequested);
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|10|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("abcde"));
        t.h.c[u"Command1"].click();
        QCOMPARE(hide.count(), 1);
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Connected));
        QVERIFY(t.h.form->Timer1.isActive());
        QVERIFY(t.sendChunk("fghij"));
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 100 %"));
    }
};

QTEST_GUILESS_MAIN(TestReceiverWindow)
#include "test_receiver_window.moc"
