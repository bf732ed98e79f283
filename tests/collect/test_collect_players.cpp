#include "CollectorHarness.h"
#include "PlayerPreamble.h"
#include "PlayerSend.h"
#include "ToolRun.h"

#include <QFile>
#include <QTimer>

#include <sys/stat.h>

using namespace CollectorTest;

// A league with a roster: players prove their tokens, and nobody else sends.
class TestCollectPlayers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QByteArray m_roster;
    QList<Player> m_players;

    QString rosterFile(const QByteArray& text, QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
    {
        const QString path = m_work.filePath(QStringLiteral("roster-%1.toml").arg(qHash(text)));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        file.close();
        file.setPermissions(permissions);
        return path;
    }
    QString descriptor(const QString& name) const { return TestProgramFolder::dataFile(name); }

private slots:
    void initTestCase()
    {
        for (const char* name : {"alice", "bob", "Carol-3"})
            m_players << newPlayer(name, &m_roster);
        QCOMPARE(m_players.first().token.size(), 32);
    }

    // Three players send, one with a token file and two from the
    // environment: each file lands under its player, each record and event
    // names the player and the sender's address, each player hears the verdict.
    void threePlayersSend()
    {
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster)});
        QVERIFY(collector.started());
        const QString tokenFile = m_work.filePath(QStringLiteral("alice.token"));
        QFile file(tokenFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_players[0].token + "\r\n");
        file.close();
        const Send alice(collector.port, descriptor(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt")),
                         {QStringLiteral("--player"), QStringLiteral("alice"), QStringLiteral("--token-file"), tokenFile});
        const Send bob(collector.port, descriptor(QStringLiteral("genuine/Brackwell.dat")),
                       {QStringLiteral("--player"), QStringLiteral("bob"), QStringLiteral("--name"),
                        QStringLiteral("BrackwellDescriptor.txt")},
                       m_players[1].token);
        const Send carol(collector.port, descriptor(QStringLiteral("genuine/DunMarr.dat")),
                         {QStringLiteral("--player"), QStringLiteral("Carol-3"), QStringLiteral("--name"),
                          QStringLiteral("notes.txt")},
                         m_players[2].token);
        QCOMPARE(alice.status, 0);
        QVERIFY2(alice.out.contains(QStringLiteral("sent and checked: tweaked")), qPrintable(alice.out + alice.errors));
        QCOMPARE(bob.status, 0);
        QVERIFY2(bob.out.contains(QStringLiteral("sent and checked: genuine")), qPrintable(bob.out + bob.errors));
        QCOMPARE(carol.status, 0);
        QVERIFY2(carol.out.contains(QStringLiteral("sent and checked: unchecked")), qPrintable(carol.out + carol.errors));

        QTRY_COMPARE(collector.verdicts().size(), 3);
        QStringList seen;
        for (const QJsonObject& verdict : collector.verdicts()) {
            const QString player = verdict.value(QStringLiteral("player")).toString();
            QCOMPARE(verdict.value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.1"));
            QCOMPARE(QFileInfo(verdict.value(QStringLiteral("path")).toString()).absolutePath(), collector.dir() + u'/' + player);
            seen << player + u' ' + verdict.value(QStringLiteral("status")).toString();
        }
        seen.sort();
        QCOMPARE(seen, (QStringList{QStringLiteral("Carol-3 unchecked"), QStringLiteral("alice tweaked"),
                                    QStringLiteral("bob genuine")}));
        for (const QJsonObject& event : collector.events) {
            const QString kind = event.value(QStringLiteral("event")).toString();
            if (kind == u"accepted" || kind == u"verdict")
                QVERIFY(!event.value(QStringLiteral("player")).toString().isEmpty());
        }
        QCOMPARE(bytesOf(collector.verdicts().first().value(QStringLiteral("path")).toString()).isEmpty(), false);
        QCOMPARE(collector.terminate(), 0);
    }

    // Whatever is not a listed player with a valid proof is refused with
    // its code, the sender says so and fails, and nothing is written.
    void refusals_data()
    {
        QTest::addColumn<bool>("roster");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QString>("says");
        QTest::newRow("wrong token") << true << QStringList{QStringLiteral("--player"), QStringLiteral("alice")}
                                     << QByteArray("not-alices-token") << "refused: bad-proof (the token is wrong)";
        QTest::newRow("another player's token")
            << true << QStringList{QStringLiteral("--player"), QStringLiteral("alice")} << QByteArray("bob")
            << "refused: bad-proof";
        QTest::newRow("unknown player") << true << QStringList{QStringLiteral("--player"), QStringLiteral("mallory")}
                                        << QByteArray("x") << "refused: unknown-player";
        QTest::newRow("no preamble") << true << QStringList() << QByteArray() << "refused: no-player";
        QTest::newRow("preamble without roster")
            << false << QStringList{QStringLiteral("--player"), QStringLiteral("alice")} << QByteArray("x")
            << "refused: no-roster";
    }

    void refusals()
    {
        QFETCH(bool, roster);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, token);
        QFETCH(QString, says);
        if (token == "bob")
            token = m_players[1].token;
        Collector collector(roster ? QStringList{QStringLiteral("--roster"), rosterFile(m_roster)} : QStringList());
        QVERIFY(collector.started());
        const Send send(collector.port, descriptor(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt")), arguments, token);
        QCOMPARE(send.status, 1);
        QVERIFY2(send.errors.contains(says), qPrintable(send.errors));
        const QString code = says.section(u' ', 1, 1);
        QTRY_COMPARE(collector.refusals(code), 1);
        // A named player's refusal after the file was announced is on record;
        // no file is kept.
        const bool announced = code == u"bad-proof";
        QCOMPARE(filesBelow(collector.dir()), announced ? QStringList{QStringLiteral("verdicts.jsonl")} : QStringList());
        if (announced) {
            const QJsonObject record = collector.verdicts().value(0);
            QCOMPARE(record.value(QStringLiteral("status")).toString(), QStringLiteral("refused"));
            QCOMPARE(record.value(QStringLiteral("code")).toString(), code);
            QVERIFY(record.value(QStringLiteral("player")).isNull());
            QCOMPARE(record.value(QStringLiteral("claimed_player")).toString(), arguments.value(1));
            QCOMPARE(record.value(QStringLiteral("name")).toString(), QStringLiteral("Grelmdescriptor.txt"));
            QCOMPARE(record.value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.1"));
        }
        QCOMPARE(collector.terminate(), 0);
    }

    // A player hears the first differences and the page that shows them,
    // and what to do; the NOTE lines keep to the bounds a sender takes.
    void playerHearsWhatToDo()
    {
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster), QStringLiteral("--public-url"),
                             QStringLiteral("https://league.example.org/")});
        QVERIFY(collector.started());
        const Send alice(collector.port, descriptor(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt")),
                         {QStringLiteral("--player"), QStringLiteral("alice")}, m_players[0].token);
        QCOMPARE(alice.status, 0);
        QStringList lines = alice.out.split(u'\n');
        QCOMPARE(lines.takeLast(), QString());
        QVERIFY2(lines.size() >= 4 && lines.size() <= 6, qPrintable(alice.out));
        QCOMPARE(lines.first(), QStringLiteral("sent and checked: tweaked"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("  changed [")), qPrintable(alice.out));
        QCOMPARE(lines[lines.size() - 2], QStringLiteral("  https://league.example.org/player/alice"));
        QCOMPARE(lines.last(), QStringLiteral("advice: put the genuine descriptor back and send it again"));

        // On the wire: at most five notes, each a line of UTF-8 a sender takes.
        const QByteArray content = sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        const QByteArray header = "FILEINFO|" + QByteArray::number(content.size()) + "|Grelmdescriptor.txt|";
        Sender raw(collector.port);
        raw.send("PLAYER|alice|");
        const QByteArray challenge = lineFrom(raw.socket);
        raw.send(PlayerPreamble::proofLine(PlayerPreamble::proofHex(PlayerPreamble::tokenSha256Hex(m_players[0].token),
                                                                    challenge.sliced(10, 32), "alice", header))
                 + header + content);
        QVERIFY(QTest::qWaitFor([&] { return raw.closedByPeer(); }, 20'000));
        QList<QByteArray> said = raw.socket.readAll().split('\n');
        QCOMPARE(said.takeLast(), QByteArray());
        QCOMPARE(said.takeFirst(), QByteArray("STORED|tweaked|"));
        QVERIFY(!said.isEmpty() && said.size() <= 5);
        for (const QByteArray& note : said) {
            QVERIFY2(note.startsWith("NOTE|") && note.endsWith('|') && note.count('|') == 2 && note.size() <= 512,
                     note.constData());
            QVERIFY(QString::fromUtf8(note).toUtf8() == note);
        }
        QCOMPARE(collector.terminate(), 0);
    }

    // Wrong proofs as fast as they come: one record a minute for an address
    // and a claimed name, the others counted on /metrics.
    void wrongProofsFlood()
    {
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster), QStringLiteral("--http"), QStringLiteral("0")});
        QVERIFY(collector.started());
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray header = "FILEINFO|" + QByteArray::number(content.size()) + "|Grelmdescriptor.txt|";
        for (int i = 0; i < 20; ++i) {
            Sender stranger(collector.port);
            stranger.send("PLAYER|alice|");
            QVERIFY(lineFrom(stranger.socket).startsWith("CHALLENGE|"));
            stranger.send(PlayerPreamble::proofLine(QByteArray(64, 'a')) + header + content);
            QVERIFY(lineFrom(stranger.socket).startsWith("REFUSED|bad-proof|"));
        }
        QTRY_COMPARE(collector.refusals(QStringLiteral("bad-proof")), 20);
        QCOMPARE(collector.verdicts().size(), 1);
        QCOMPARE(collector.verdicts().first().value(QStringLiteral("claimed_player")).toString(), u"alice");
        quint16 http = 0;
        for (const QJsonObject& event : collector.events)
            http = event.value(QStringLiteral("http_port")).toInt() ? quint16(event.value(QStringLiteral("http_port")).toInt()) : http;
        QTcpSocket page;
        page.connectToHost(QHostAddress::LocalHost, http);
        QVERIFY(page.waitForConnected(5000));
        page.write("GET /metrics HTTP/1.1\r\nHost: kestrix\r\nConnection: close\r\n\r\n");
        QByteArray metrics;
        QTRY_VERIFY((metrics += page.readAll(), page.state() == QAbstractSocket::UnconnectedState));
        metrics += page.readAll();
        QVERIFY2(metrics.contains("\nkestrix_refusal_records_held_back_total 19\n"), metrics.constData());
        QCOMPARE(collector.terminate(), 0);
    }

    // A captured exchange proves nothing to a later challenge.
    void replayRefused()
    {
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster)});
        QVERIFY(collector.started());
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray header = "FILEINFO|" + QByteArray::number(content.size()) + "|Grelmdescriptor.txt|";
        const QByteArray key = PlayerPreamble::tokenSha256Hex(m_players[0].token);

        Sender first(collector.port);
        first.send("PLAYER|alice|");
        const QByteArray challenge = lineFrom(first.socket);
        QVERIFY2(challenge.startsWith("CHALLENGE|") && challenge.endsWith("|\n"), challenge.constData());
        const QByteArray captured =
            PlayerPreamble::proofLine(PlayerPreamble::proofHex(key, challenge.sliced(10, 32), "alice", header)) + header + content;
        first.send(captured);
        QCOMPARE(lineFrom(first.socket), QByteArray("STORED|genuine|\n"));

        Sender replay(collector.port);
        replay.send("PLAYER|alice|");
        QVERIFY(lineFrom(replay.socket).startsWith("CHALLENGE|"));
        replay.send(captured);
        QVERIFY(lineFrom(replay.socket).startsWith("REFUSED|bad-proof|"));
        QTRY_COMPARE(collector.refusals(QStringLiteral("bad-proof")), 1);
        QTRY_COMPARE(collector.verdicts().size(), 2);
        QCOMPARE(collector.verdicts().last().value(QStringLiteral("status")).toString(), QStringLiteral("refused"));
        QCOMPARE(collector.terminate(), 0);
    }

    // More proven transfers of one player at once than allowed are refused;
    // a name claimed without the token holds nobody out.
    void transfersPerPlayer()
    {
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster), QStringLiteral("--max-per-player"),
                             QStringLiteral("2")});
        QVERIFY(collector.started());
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray header = "FILEINFO|" + QByteArray::number(content.size()) + "|Grelmdescriptor.txt|";
        std::vector<std::unique_ptr<Sender>> claims;
        for (int i = 0; i < 4; ++i) {
            claims.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.0.%1").arg(20 + i)));
            claims.back()->send("PLAYER|alice|");
            QVERIFY(lineFrom(claims.back()->socket).startsWith("CHALLENGE|"));
        }
        Sender alice(collector.port, QStringLiteral("127.0.0.30"));
        prove(alice, m_players[0], header, content);
        QCOMPARE(lineFrom(alice.socket), QByteArray("STORED|genuine|\n"));

        std::vector<std::unique_ptr<Sender>> bob;
        for (int i = 0; i < 2; ++i) {
            bob.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.0.%1").arg(2 + i)));
            prove(*bob.back(), m_players[1], header, content.first(100));
        }
        QTRY_COMPARE(collector.count(QStringLiteral("accepted")), 3);
        Sender third(collector.port, QStringLiteral("127.0.0.9"));
        prove(third, m_players[1], header, content);
        QVERIFY(lineFrom(third.socket).startsWith("REFUSED|too-many-for-player|"));
        bob.front()->socket.abort();
        QTRY_COMPARE(collector.count(QStringLiteral("ended early")), 1);
        Sender again(collector.port, QStringLiteral("127.0.0.9"));
        prove(again, m_players[1], header, content);
        QCOMPARE(lineFrom(again.socket), QByteArray("STORED|genuine|\n"));
        QCOMPARE(collector.terminate(), 0);
    }

    // A proven player is served at once while others hold connections in
    // their openings: tricklers of a header they never end, silent
    // connections that fill the queue, wrong proofs followed by slow
    // headers. The opening time outlasts the test, so none of them is
    // cleared by it; the few slots go only to the proven.
    void provenPlayerServedUnderAttack_data()
    {
        QTest::addColumn<QString>("attack");
        QTest::newRow("64 tricklers") << QStringLiteral("trickle");
        QTest::newRow("silent connections fill the queue") << QStringLiteral("silent");
        QTest::newRow("wrong proofs, then slow headers") << QStringLiteral("wrong proof");
    }

    void provenPlayerServedUnderAttack()
    {
        QFETCH(QString, attack);
        const int attackers = attack == u"silent" ? 48 : 64;
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster), QStringLiteral("--max-connections"),
                             QStringLiteral("4"), QStringLiteral("--max-pending"), QString::number(attack == u"silent" ? attackers : 1024),
                             QStringLiteral("--opening-timeout"), QStringLiteral("120"), QStringLiteral("--idle-timeout"),
                             QStringLiteral("120"), QStringLiteral("--min-rate"), QStringLiteral("0")});
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> peers;
        for (int i = 0; i < attackers; ++i) {
            peers.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.6.%1").arg(1 + i / 8)));
            if (attack == u"trickle") {
                peers.back()->send("FILEINFO|100000|");
            } else if (attack == u"wrong proof") {
                peers.back()->send("PLAYER|alice|");
                QVERIFY(lineFrom(peers.back()->socket).startsWith("CHALLENGE|"));
                peers.back()->send(PlayerPreamble::proofLine(QByteArray(64, 'a')) + "FILEINFO|100000|");
            }
        }
        // 30 bytes every 100 ms, 300 a second: no header ends within the test.
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            for (auto& peer : peers) {
                if (attack != u"silent" && peer->socket.state() == QAbstractSocket::ConnectedState)
                    peer->send(QByteArray(attack == u"trickle" ? 1 : 30, 't'));
            }
        });
        drip.start(100);
        QTest::qWait(300);

        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray header = "FILEINFO|" + QByteArray::number(content.size()) + "|Grelmdescriptor.txt|";
        for (int i = 0; i < m_players.size(); ++i) {
            Sender player(collector.port, QStringLiteral("127.0.7.%1").arg(1 + i));
            prove(player, m_players[i], header, content);
            QCOMPARE(lineFrom(player.socket), QByteArray("STORED|genuine|\n"));
        }
        // The first player, in a full queue, took the place of the oldest silent one.
        QCOMPARE(collector.refusals(QStringLiteral("busy")), attack == u"silent" ? 1 : 0);
        if (attack == u"silent")
            QVERIFY(lineFrom(peers.front()->socket).startsWith("REFUSED|busy|"));
        for (const QJsonObject& event : collector.events) {
            if (event.value(QStringLiteral("event")).toString() == u"refused")
                QVERIFY(event.value(QStringLiteral("peer")).toString().startsWith(QStringLiteral("127.0.6.")));
        }
        QCOMPARE(collector.terminate(), 0);
    }

    // The slots go round the players in turn: with one slot, bob's file
    // waiting behind two of alice's is served after her first, whatever
    // their addresses and the order they came in.
    void slotsGoRoundThePlayers()
    {
        Collector collector({QStringLiteral("--roster"), rosterFile(m_roster), QStringLiteral("--max-connections"),
                             QStringLiteral("1"), QStringLiteral("--min-rate"), QStringLiteral("0")});
        QVERIFY(collector.started());
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray header = "FILEINFO|" + QByteArray::number(content.size()) + "|Grelmdescriptor.txt|";
        Sender holder(collector.port, QStringLiteral("127.0.8.1"));
        prove(holder, m_players[0], header, content.first(100));
        QTRY_COMPARE(collector.count(QStringLiteral("accepted")), 1);
        std::vector<std::unique_ptr<Sender>> queued;
        for (const int player : {0, 0, 1}) {
            queued.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.8.%1").arg(2 + queued.size())));
            prove(*queued.back(), m_players[player], header, content);
            QTest::qWait(100); // each in its place in the queue before the next
        }
        holder.send(content.sliced(100));
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 4, 20'000);
        QStringList order;
        for (const QJsonObject& record : collector.verdicts())
            order << record.value(QStringLiteral("player")).toString();
        QCOMPARE(order, (QStringList{QStringLiteral("alice"), QStringLiteral("alice"), QStringLiteral("bob"),
                                     QStringLiteral("alice")}));
        QCOMPARE(collector.terminate(), 0);
    }

    // The admin's helpers: a fresh token with its entry, and the hash of a
    // token given on stdin, the same whatever its line end.
    void tokens()
    {
        const Player dave = newPlayer("dave", &m_roster);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(QString::fromLatin1(dave.token)).hasMatch());
        for (const QByteArray& typed : {dave.token, dave.token + "\n", dave.token + "\r\n"}) {
            QProcess hash;
            hash.start(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--hash-token")});
            hash.write(typed);
            hash.closeWriteChannel();
            QVERIFY(hash.waitForFinished());
            QCOMPARE(hash.exitCode(), 0);
            QCOMPARE(hash.readAllStandardOutput(),
                     "token_sha256 = \"" + PlayerPreamble::tokenSha256Hex(dave.token) + "\"\n");
        }
        QVERIFY(m_roster.contains("name = \"dave\"\ntoken_sha256 = \"" + PlayerPreamble::tokenSha256Hex(dave.token) + "\""));
        QCOMPARE(ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-token"), QStringLiteral("../x")}).exitCode, 2);
        QVERIFY(newPlayer("erin", &m_roster).token != dave.token);
    }

    // A roster that cannot be read keeps the collector from starting; one
    // that others may read starts it with a warning.
    void rosterAtStart()
    {
        TestProgramFolder program;
        const QStringList base{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--dir"),
                               m_work.filePath(QStringLiteral("start")), QStringLiteral("--folder"), program.path(),
                               QStringLiteral("--roster")};
        const ToolRun broken = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), base + QStringList{rosterFile("[[player]]\nname = 1\ntoken_sha256 = \"" + QByteArray(64, 'a') + "\"\n")});
        QCOMPARE(broken.exitCode, 2);
        QVERIFY2(broken.errors.contains(QStringLiteral(".toml:2:8: a player's name")), qPrintable(broken.errors));
        const ToolRun missing = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), base + QStringList{m_work.filePath(QStringLiteral("none.toml"))});
        QCOMPARE(missing.exitCode, 2);
        QVERIFY2(missing.errors.contains(QStringLiteral("none.toml")), qPrintable(missing.errors));

        Collector open({QStringLiteral("--roster"),
                        rosterFile(m_roster + "\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther)});
        QVERIFY(open.started());
        QCOMPARE(open.terminate(), 0);
        QVERIFY(QString::fromLocal8Bit(open.process.readAllStandardError()).contains(QStringLiteral("other users may read it")));

        // Writable by others: refused, 0602 as much as 0620.
        for (const QFile::Permissions others : {QFile::WriteOther, QFile::WriteGroup}) {
            const ToolRun writable = ToolRun::of(QStringLiteral(KESTRIX_COLLECT),
                                                 base + QStringList{rosterFile(m_roster + "# " + QByteArray::number(others.toInt()) + "\n",
                                                                               QFile::ReadOwner | QFile::WriteOwner | others)});
            QCOMPARE(writable.exitCode, 2);
            QVERIFY2(writable.errors.contains(QStringLiteral("other users may write it")), qPrintable(writable.errors));
        }
    }
};

QTEST_GUILESS_MAIN(TestCollectPlayers)
#include "test_collect_players.moc"
