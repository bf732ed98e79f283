#include "FrmClient.h"
#include "ReceiverLayout.h"
#include "RecordingLauncher.h"
#include "RecordingMessageBoxes.h"
#include "StaticHostResolver.h"
#include "SystemHostResolver.h"
#include "TellboxIPbas.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using A = StaticHostResolver;

namespace {

// The address GetHostAddress gives, once its answer has come.
std::optional<QString> addressOf(bool external, HostResolver& resolver, MessageBoxes& messages)
{
    QObject context;
    std::optional<QString> answer;
    TellboxIPbas::GetHostAddress(external, resolver, messages, &context, [&answer](const QString& address) {
        answer = address;
    });
    if (!QTest::qWaitFor([&answer] { return answer.has_value(); }, 10'000))
        return std::nullopt;
    return answer;
}

} // namespace

class TestReceiverHostAddress : public QObject
{
    Q_OBJECT

private slots:
    void addressChoice_data()
    {
        QTest::addColumn<QList<QByteArray>>("addresses");
        QTest::addColumn<QList<QByteArray>>("interfaces");
        QTest::addColumn<QString>("external");
        QTest::addColumn<QString>("internal");
        QTest::newRow("two addresses") << QList{A::address(192, 168, 0, 5), A::address(10, 0, 0, 7)}
                                       << QList<QByteArray>{} << "10.0.0.7" << "192.168.0.5";
        QTest::newRow("one address") << QList{A::address(10, 0, 0, 7)} << QList<QByteArray>{} << "10.0.0.7" << "";
        QTest::newRow("three: last and one before") << QList{A::address(1, 2, 3, 4), A::address(5, 6, 7, 8),
                                                             A::address(9, 10, 11, 12)}
                                                    << QList<QByteArray>{} << "9.10.11.12" << "5.6.7.8";
        QTest::newRow("no fill, no leading zeros") << QList{A::address(0, 0, 0, 0), A::address(255, 255, 10, 1)}
                                                   << QList<QByteArray>{} << "255.255.10.1" << "0.0.0.0";
        QTest::newRow("loopback only: the interfaces stand in")
            << QList{A::address(127, 0, 1, 1)} << QList{A::address(192, 168, 0, 5), A::address(10, 0, 0, 7)}
            << "10.0.0.7" << "192.168.0.5";
        QTest::newRow("loopback only, no interface") << QList{A::address(127, 0, 1, 1)} << QList<QByteArray>{}
                                                     << "127.0.1.1" << "";
        QTest::newRow("loopback among others stays")
            << QList{A::address(10, 0, 0, 7), A::address(127, 0, 0, 1)} << QList{A::address(192, 168, 0, 5)}
            << "127.0.0.1" << "10.0.0.7";
    }

    void addressChoice()
    {
        QFETCH(QList<QByteArray>, addresses);
        QFETCH(QList<QByteArray>, interfaces);
        QFETCH(QString, external);
        QFETCH(QString, internal);
        StaticHostResolver resolver;
        resolver.addresses = addresses;
        resolver.interfaces = interfaces;
        RecordingMessageBoxes messages;
        QCOMPARE(addressOf(true, resolver, messages), std::optional(external));
        QCOMPARE(addressOf(false, resolver, messages), std::optional(internal));
        QCOMPARE(messages.shown.size(), 0);
    }

    void hostNameIsTrimmedOfBlanks()
    {
        StaticHostResolver resolver;
        resolver.hostName = QStringLiteral("  racer  ");
        RecordingMessageBoxes messages;
        addressOf(true, resolver, messages);
        QCOMPARE(resolver.lookedUp, QStringList{QStringLiteral("racer")});
    }

    void failures_data()
    {
        QTest::addColumn<std::optional<int>>("nameError");
        QTest::addColumn<std::optional<QList<QByteArray>>>("addresses");
        QTest::addColumn<QString>("message");
        QTest::newRow("host name fails") << std::optional<int>(10093) << std::optional<QList<QByteArray>>()
                                         << "Windows Socket Error  10093";
        QTest::newRow("negative code keeps its sign") << std::optional<int>(-1) << std::optional<QList<QByteArray>>()
                                                      << "Windows Socket Error -1";
        QTest::newRow("lookup has no entry") << std::optional<int>() << std::optional<QList<QByteArray>>()
                                             << "Winsock.dll error.";
        QTest::newRow("entry without IPv4 address") << std::optional<int>()
                                                    << std::optional<QList<QByteArray>>(QList<QByteArray>{})
                                                    << "Winsock.dll error.";
    }

    void failures()
    {
        QFETCH(std::optional<int>, nameError);
        QFETCH(std::optional<QList<QByteArray>>, addresses);
        QFETCH(QString, message);
        StaticHostResolver resolver;
        resolver.nameErrorCode = nameError;
        resolver.addresses = addresses;
        RecordingMessageBoxes messages;
        QCOMPARE(addressOf(true, resolver, messages), std::optional(QString()));
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].text, message);
        QCOMPARE(messages.shown[0].icon, MessageBoxes::Icon::None);
        QCOMPARE(messages.shown[0].title, std::optional<QString>());
    }

    // The window still loads after a failed lookup, its address box empty.
    void loadShowsTheAddressOrNothing()
    {
        for (const bool fails : {false, true}) {
            ControlSurface c;
            populate(c, receiverWindowLayout());
            StaticHostResolver resolver;
            resolver.addresses = QList{A::address(192, 168, 0, 5), A::address(10, 0, 0, 7)};
            if (fails)
                resolver.nameErrorCode = 10093;
            RecordingMessageBoxes messages;
            RecordingLauncher launcher;
            FrmClient form(c, QStringLiteral("/opt/kestrix"), QStringLiteral("kestrix"), messages, resolver, launcher);
            form.Form_Load();
            QTRY_COMPARE(c[u"Txt_CurrentIP"].text(), fails ? QString() : QStringLiteral("10.0.0.7"));
            QCOMPARE(c[u"Txt_File"].text(), QStringLiteral("/opt/kestrix"));
            QCOMPARE(messages.shown.size(), fails ? 1 : 0);
        }
    }

    // A slow resolver never holds the window: it loads at once, the address
    // box fills when the answer comes, and a window closed before that is
    // not touched by it.
    void lateAnswerFillsTheAddressLater()
    {
        ControlSurface c;
        populate(c, receiverWindowLayout());
        StaticHostResolver resolver;
        resolver.answerDelayMs = 300;
        RecordingMessageBoxes messages;
        RecordingLauncher launcher;
        auto form = std::make_unique<FrmClient>(c, QStringLiteral("/opt/kestrix"), QStringLiteral("kestrix"), messages,
                                                resolver, launcher);
        QElapsedTimer loading;
        loading.start();
        form->Form_Load();
        QVERIFY(loading.elapsed() < resolver.answerDelayMs);
        QCOMPARE(c[u"Txt_CurrentIP"].text(), QString());
        QCOMPARE(c[u"Txt_File"].text(), QStringLiteral("/opt/kestrix"));
        QTRY_COMPARE(c[u"Txt_CurrentIP"].text(), QStringLiteral("10.0.0.7"));

        c[u"Txt_CurrentIP"].setText(QString());
        form->Form_Load();
        form.reset();
        QTest::qWait(2 * resolver.answerDelayMs);
        QCOMPARE(c[u"Txt_CurrentIP"].text(), QString());
        QCOMPARE(messages.shown.size(), 0);
    }

    // On this machine, whatever its network: an IPv4 address in dotted form.
    void systemResolverAnswers()
    {
        SystemHostResolver resolver;
        RecordingMessageBoxes messages;
        const QString address = addressOf(true, resolver, messages).value_or(QStringLiteral("no answer"));
        if (!messages.shown.isEmpty())
            QSKIP(qPrintable(QStringLiteral("this machine's name does not resolve: ") + messages.shown[0].text));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$")).match(address).hasMatch(),
                 qPrintable(address));
        for (const QByteArray& own : resolver.interfaceAddresses())
            QVERIFY(quint8(own.at(0)) != 127);
    }

    void webPagesOpenThroughTheLauncher()
    {
        RecordingLauncher launcher;
        QVERIFY(TellboxIPbas::OpenWebPage(QStringLiteral("https://example.org/x"), launcher));
        ControlSurface c;
        populate(c, receiverWindowLayout());
        StaticHostResolver resolver;
        RecordingMessageBoxes messages;
        FrmClient form(c, QStringLiteral("/opt/kestrix"), QStringLiteral("kestrix"), messages, resolver, launcher);
        form.OpenAuthorPage();
        QCOMPARE(launcher.opened, (QStringList{QStringLiteral("https://example.org/x"), FrmClient::AuthorPage}));
    }
};

QTEST_GUILESS_MAIN(TestReceiverHostAddress)
#include "test_receiver_hostaddress.moc"
