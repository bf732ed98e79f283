#include "FileSystem.h"
#include "ReceiverHarness.h"
#include "SmallDisk.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace std::chrono_literals;

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

// The hidden temporary files a transfer writes into; none may be left.
QStringList temporaryFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
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

    // A control the handlers name but the window lacks stops them from being
    // made at all, rather than throwing later from inside a handler.
    void missingControlFailsWhenTheHandlersAreMade()
    {
        ControlSurface lacking;
        for (const ControlSpec& row : receiverWindowLayout().controls) {
            if (row.name != u"Lbl_Complete")
                lacking.add(row.name);
        }
        RecordingMessageBoxes messages;
        RecordingLauncher launcher;
        StaticHostResolver resolver;
        QVERIFY_THROWS_EXCEPTION(std::logic_error, FrmClient(lacking, QStringLiteral("/opt/kestrix"),
                                                             QStringLiteral("kestrix"), messages, resolver, launcher));
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
        // Only the listen writes the status.
        QCOMPARE(t.h.c[u"Lbl_Status"].text(), status);
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

    // The header ends at its third "|": what follows in the same read is the
    // file's data, saved and counted like any other.
    void headerAndDataInOneWrite_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("3 bytes") << QByteArray("abc");
        QTest::newRow("100 KiB") << pattern(100 * 1024);
    }

    void headerAndDataInOneWrite()
    {
        QFETCH(QByteArray, content);
        Connected t;
        QVERIFY(t.ready());
        t.h.form->Timer1.stop();
        t.client.send("FILEINFO|" + QByteArray::number(content.size()) + "|x.bin|" + content);
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("x.bin"))), content);
        QCOMPARE(t.h.c[u"FileBar"].value(), double(content.size()));
        QCOMPARE(t.h.form->TickBytes, content.size());
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: %1 %").arg(content.size() == 3 ? 99 : 100));
        QCOMPARE(t.h.messages.shown.size(), 0);
        QCOMPARE(temporaryFiles(t.h.folder.path()), QStringList());
    }

    // However the header is cut between reads, the same file arrives.
    void headerSplitAnywhere()
    {
        const QByteArray header("FILEINFO|5|a.txt|");
        for (qsizetype cut = 1; cut < header.size(); ++cut) {
            Connected t;
            QVERIFY(t.ready());
            t.client.send(header.first(cut));
            // Time for the receiver to read the first part on its own.
            QTest::qWait(20);
            t.client.send(header.sliced(cut) + "hello");
            t.client.socket.disconnectFromHost();
            QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
            QVERIFY2(t.h.messages.shown.isEmpty(), qPrintable(QStringLiteral("cut at %1: ").arg(cut) + t.h.messages.texts().join(u' ')));
            QCOMPARE(contentOf(t.h.folder.file(QStringLiteral("a.txt"))), QByteArray("hello"));
        }
    }

    // Size and name of the file announced show while it arrives; listening
    // again brings back the layout's texts.
    void labelsShowTheAnnouncement()
    {
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|4675|BrackwellDescriptor.txt|", QStringLiteral("BrackwellDescriptor.txt")));
        QCOMPARE(t.h.c[u"Lbl_FileSize"].text(), QStringLiteral("Filesize: 5 kb"));
        QCOMPARE(t.h.c[u"Lbl_FileName"].text(), QStringLiteral("Filename: BrackwellDescriptor.txt"));
        t.h.c[u"Btn_Listen"].click();
        QCOMPARE(t.h.c[u"Lbl_FileSize"].text(), QStringLiteral("Filesize: 0 kb"));
        QCOMPARE(t.h.c[u"Lbl_FileName"].text(), QStringLiteral("Filename: -"));
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
        QTest::newRow("blank name") << QByteArray("FILEINFO|5|   |") << "blank or begins or ends with a space";
        QTest::newRow("begins with a space") << QByteArray("FILEINFO|5| a.txt|") << "begins or ends with a space";
        QTest::newRow("ends with a space") << QByteArray("FILEINFO|5|a.txt |") << "begins or ends with a space";
        QTest::newRow("ends with a dot") << QByteArray("FILEINFO|5|a.txt.|") << "ends with a dot";
        QTest::newRow("too long in bytes") << "FILEINFO|5|" + QByteArray(130, '\xe9') + "|" << "longer than the 247 bytes";
        QTest::newRow("beyond the free space") << QByteArray("FILEINFO|4611686018427387904|a.txt|") << "bytes free";
        QTest::newRow("header never ends") << "FILEINFO|5|" + QByteArray(5 * 1024, 'a') << "did not end within 4096 bytes";
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

    // A header the peer never finishes: nothing is saved, the user is told.
    void unfinishedHeaderThenClose_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("marker cut short") << QByteArray("FILEINF");
        QTest::newRow("no bar after the name") << QByteArray("FILEINFO|12|a.txt");
    }

    void unfinishedHeaderThenClose()
    {
        QFETCH(QByteArray, start);
        Connected t;
        const auto before = snapshot(t.h.folder.path());
        QVERIFY(t.ready());
        t.client.send(start);
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QVERIFY2(t.h.messages.shown[0].text.contains(QStringLiteral("before its FILEINFO header was complete")),
                 qPrintable(t.h.messages.shown[0].text));
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(snapshot(t.h.folder.path()), before);
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

    // Exactly the announced bytes are saved; what comes beyond them ends the
    // transfer, in a later read or in the same one.
    void moreDataThanAnnounced_data()
    {
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("a later read") << QByteArray("4567");
        QTest::newRow("98 KiB in one read") << QByteArray("45") + pattern(98 * 1024);
    }

    void moreDataThanAnnounced()
    {
        QFETCH(QByteArray, last);
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|5|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("123"));
        t.client.send(last);
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QTRY_VERIFY(t.client.closedByPeer());

        const QString saved = t.h.folder.file(QStringLiteral("a.txt"));
        QCOMPARE(contentOf(saved), QByteArray("12345"));
        QCOMPARE(openHandles(saved), 0);
        QVERIFY2(t.h.messages.shown[0].text.contains(QStringLiteral("More data arrived than the 5 bytes")),
                 qPrintable(t.h.messages.shown[0].text));
        QCOMPARE(t.h.c[u"FileBar"].value(), 5.0);
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 100 %"));
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(t.rangeViolations, 0);
        QCOMPARE(temporaryFiles(t.h.folder.path()), QStringList());
    }

    // A transfer cut short never touches the complete file of that name: what
    // arrived is kept beside it under the partial name.
    void connectionClosedEarly()
    {
        Connected t;
        const QString saved = t.h.folder.file(QStringLiteral("a.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(saved, "the good earlier copy", &error));
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|10|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("abcd"));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.messages.shown.size(), 1);

        QCOMPARE(contentOf(saved), QByteArray("the good earlier copy"));
        const QString partial = t.h.folder.file(QStringLiteral("a.txt.partial"));
        QCOMPARE(contentOf(partial), QByteArray("abcd"));
        QCOMPARE(openHandles(partial), 0);
        const QString text = t.h.messages.shown[0].text;
        QVERIFY2(text.contains(QStringLiteral("after 4 of the 10 bytes")) && text.contains(QStringLiteral("a.txt.partial")),
                 qPrintable(text));
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QCOMPARE(t.captions.last(), QStringLiteral("Complete: 40 %"));
        QCOMPARE(temporaryFiles(t.h.folder.path()), QStringList());
    }

    // A header and then silence: the earlier file stays, nothing else appears.
    void closedBeforeAnyData()
    {
        Connected t;
        const QString saved = t.h.folder.file(QStringLiteral("BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(saved, "good", &error));
        const auto before = snapshot(t.h.folder.path());
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|4675|BrackwellDescriptor.txt|", QStringLiteral("BrackwellDescriptor.txt")));
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QVERIFY2(t.h.messages.shown[0].text.contains(QStringLiteral("nothing was kept")),
                 qPrintable(t.h.messages.shown[0].text));
        QCOMPARE(snapshot(t.h.folder.path()), before);
    }

    // A connection that sends nothing, or stops sending, is closed after the
    // idle time; the user learns who it was and what had come.
    void silentPeersAreClosed_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("arrived");
        QTest::addColumn<QString>("partial");
        QTest::newRow("nothing at all") << QByteArray() << "Nothing had arrived" << "";
        QTest::newRow("part of a header") << QByteArray("FILEINFO|5|") << "Only 11 bytes of a FILEINFO header" << "";
        QTest::newRow("a header only") << QByteArray("FILEINFO|5|a.txt|") << "0 of the 5 bytes" << "";
        QTest::newRow("stalled mid-file") << QByteArray("FILEINFO|5|a.txt|ab") << "2 of the 5 bytes" << "ab";
    }

    void silentPeersAreClosed()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, arrived);
        QFETCH(QString, partial);
        Connected t;
        t.h.form->idleTimeout = 300ms;
        QVERIFY(t.ready());
        if (!sent.isEmpty())
            t.client.send(sent);
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QTRY_VERIFY(t.client.closedByPeer());
        const QString text = t.h.messages.shown[0].text;
        QVERIFY2(text.contains(QStringLiteral("127.0.0.1 sent nothing for 300 milliseconds")) && text.contains(arrived),
                 qPrintable(text));
        QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        const QString kept = t.h.folder.file(QStringLiteral("a.txt.partial"));
        QCOMPARE(QFileInfo::exists(kept), !partial.isEmpty());
        if (!partial.isEmpty())
            QCOMPARE(contentOf(kept), partial.toLatin1());
        QVERIFY(!QFileInfo::exists(t.h.folder.file(QStringLiteral("a.txt"))));
        QCOMPARE(temporaryFiles(t.h.folder.path()), QStringList());
    }

    // The slot a silent peer held is free once it is closed: listening again
    // takes the real sender's file.
    void idlePeerThenARealSender()
    {
        Connected t;
        t.h.form->idleTimeout = 300ms;
        QVERIFY(t.ready());
        QTRY_COMPARE(t.h.messages.shown.size(), 1);
        QVERIFY(t.h.listen());
        Client sender{quint16(t.h.form->Winsock_Receive.localPort())};
        QVERIFY(sender.waitConnected());
        sender.send("FILEINFO|4|BrackwellDescriptor.txt|good");
        sender.socket.disconnectFromHost();
        QTRY_COMPARE(contentOf(t.h.folder.file(QStringLiteral("BrackwellDescriptor.txt"))), QByteArray("good"));
        QCOMPARE(t.h.messages.shown.size(), 1);
    }

    // A FIFO planted under a descriptor's name cannot freeze the window: the
    // received file takes its place.
    void fifoNamedLikeADescriptor()
    {
        Connected t;
        const QString path = t.h.folder.file(QStringLiteral("BrackwellDescriptor.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(t.ready());
        t.client.send("FILEINFO|5|BrackwellDescriptor.txt|hello");
        t.client.socket.disconnectFromHost();
        QTRY_COMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Closed));
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(contentOf(path), QByteArray("hello"));
        QCOMPARE(t.h.messages.shown.size(), 0);
    }

    // A disk that fills mid-transfer is reported with the system's reason,
    // naming the file; the earlier file of that name stays.
    void fullDiskMidTransfer()
    {
        SmallDisk disk;
        if (!disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        ControlSurface c;
        populate(c, receiverWindowLayout());
        RecordingMessageBoxes messages;
        RecordingLauncher launcher;
        StaticHostResolver resolver;
        FrmClient form(c, disk.path(), QStringLiteral("kestrix"), messages, resolver, launcher);
        form.Form_Load();
        QString error;
        QVERIFY(FileSystem::writeAll(disk.file(QStringLiteral("a.bin")), "earlier", &error));
        c[u"Btn_Listen"].click();
        Client client{quint16(form.Winsock_Receive.localPort())};
        QVERIFY(client.waitConnected());
        client.send("FILEINFO|40000|a.bin|");
        QTRY_COMPARE(c[u"Txt_File"].text(), QStringLiteral("a.bin"));
        QVERIFY(disk.fill());
        client.send(pattern(40000));
        QTRY_COMPARE(messages.shown.size(), 1);
        QVERIFY2(messages.shown[0].text.contains(QStringLiteral("a.bin: No space left on device")),
                 qPrintable(messages.shown[0].text));
        QCOMPARE(contentOf(disk.file(QStringLiteral("a.bin"))), QByteArray("earlier"));
        QCOMPARE(temporaryFiles(disk.path()), QStringList());
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

    // A new listen, or closing the window, ends a transfer early like any
    // other end: its bytes are kept and the user is told; a program that
    // ends keeps them without a word.
    void endingDuringATransfer_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("told");
        QTest::newRow("listen again") << "listen" << "Listening started again";
        QTest::newRow("window closed") << "unload" << "window was closed";
        QTest::newRow("program ends") << "destroy" << "";
    }

    void endingDuringATransfer()
    {
        QFETCH(QString, how);
        QFETCH(QString, told);
        Connected t;
        QVERIFY(t.ready());
        QVERIFY(t.sendHeader("FILEINFO|10|a.txt|", QStringLiteral("a.txt")));
        QVERIFY(t.sendChunk("abc"));
        if (how == u"listen")
            t.h.c[u"Btn_Listen"].click();
        else if (how == u"unload")
            t.h.form->unload();
        else
            t.h.form.reset();

        const QString partial = t.h.folder.file(QStringLiteral("a.txt.partial"));
        QCOMPARE(contentOf(partial), QByteArray("abc"));
        QCOMPARE(openHandles(partial), 0);
        QVERIFY(!QFileInfo::exists(t.h.folder.file(QStringLiteral("a.txt"))));
        QCOMPARE(temporaryFiles(t.h.folder.path()), QStringList());
        QTRY_VERIFY(t.client.closedByPeer());
        QCOMPARE(t.h.messages.shown.size(), told.isEmpty() ? 0 : 1);
        if (!told.isEmpty())
            QVERIFY2(t.h.messages.shown[0].text.contains(told) && t.h.messages.shown[0].text.contains(QStringLiteral("a.txt.partial")),
                     qPrintable(t.h.messages.shown[0].text));
        if (how == u"listen")
            QCOMPARE(t.h.form->Winsock_Receive.state(), int(TcpSocketControl::Listening));
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
