#include "TcpSocketControl.h"

#include <QTcpSocket>
#include <QTest>

class TestSocketControl : public QObject
{
    Q_OBJECT

private slots:
    // A handler that waits inside an event loop of its own (a message box
    // does) sees no second data arrival inside itself: chunks come one at a
    // time, in order, and the close only after the last of them.
    void dataArrivalsNeverNest()
    {
        TcpSocketControl socket;
        QString error;
        QVERIFY(socket.setLocalPort(0, &error) && socket.listen(&error));
        connect(&socket, &TcpSocketControl::connectionRequest, this, [&socket](qintptr id) {
            QString reason;
            socket.close();
            socket.accept(id, &reason);
        });
        int depth = 0;
        int deepest = 0;
        QByteArray received;
        bool closedAfterData = false;
        connect(&socket, &TcpSocketControl::dataArrival, this, [&](qint32) {
            deepest = std::max(deepest, ++depth);
            received += socket.getData();
            QTest::qWait(50);
            --depth;
        });
        connect(&socket, &TcpSocketControl::closeEvent, this, [&] { closedAfterData = received == "onetwothree"; });

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(socket.localPort()));
        QVERIFY(client.waitForConnected(5000));
        for (const char* piece : {"one", "two", "three"}) {
            client.write(piece);
            client.flush();
            QTest::qWait(10);
        }
        client.disconnectFromHost();
        QTRY_VERIFY(closedAfterData);
        QCOMPARE(deepest, 1);
        QCOMPARE(received, QByteArray("onetwothree"));
    }
};

QTEST_GUILESS_MAIN(TestSocketControl)
#include "test_socket_control.moc"
