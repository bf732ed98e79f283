#include "BoundedEvidence.h"
#include "CarCatalogue.h"
#include "FieldsCollector.h"
#include "PlayerNotes.h"
#include "PeerAddress.h"
#include "PlayerPreamble.h"
#include "RaceEvents.h"
#include "RoundRobinQueue.h"
#include "Roster.h"
#include "UnprovenRecords.h"
#include "VerdictLog.h"
#include "ShownTime.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

// The collector's parts that decide on their own: the queue's turns, the
// bound on a verdict record, the roster's rules, and the proof.
class TestCollectUnits : public QObject
{
    Q_OBJECT

private slots:
    // An IPv6 /64 counts as one address; IPv4 and mapped IPv4 as themselves.
    void addressesCountedAs_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("counted");
        QTest::newRow("IPv4") << "192.0.2.7" << "192.0.2.7" << "192.0.2.7";
        QTest::newRow("mapped IPv4") << "::ffff:192.0.2.7" << "192.0.2.7" << "192.0.2.7";
        QTest::newRow("IPv6") << "2001:db8:0:1:aaaa:bbbb:cccc:dddd" << "2001:db8:0:1:aaaa:bbbb:cccc:dddd" << "2001:db8:0:1::/64";
        QTest::newRow("IPv6, same /64") << "2001:db8:0:1::2" << "2001:db8:0:1::2" << "2001:db8:0:1::/64";
        QTest::newRow("IPv6 with a scope") << "fe80::1%lo" << "fe80::1" << "fe80::/64";
    }
    void addressesCountedAs()
    {
        QFETCH(QString, peer);
        QFETCH(QString, named);
        QFETCH(QString, counted);
        QCOMPARE(PeerAddress::nameOf(QHostAddress(peer)), named);
        QCOMPARE(PeerAddress::limitedAs(QHostAddress(peer)), counted);
    }

    // Unproven claims are recorded once a minute for each address and
    // name; the next record counts the ones held back.
    void unprovenClaimsRecordedOnceAMinute()
    {
        UnprovenRecords records;
        struct Refusal {
            const char* address;
            QByteArray claimed;
            qint64 atMs;
            bool recorded;
            qint64 heldBack;
        };
        const Refusal refusals[] = {
            {"10.0.0.1", "alice", 0, true, 0},
            {"10.0.0.1", "alice", 10, false, 0},
            {"10.0.0.1", "alice", 59'999, false, 0},
            {"10.0.0.1", "bob", 20, true, 0},     // another name
            {"10.0.0.2", "alice", 30, true, 0},   // another address
            {"10.0.0.1", "alice", 60'000, true, 2},
            {"10.0.0.1", "alice", 60'001, false, 0},
            {"10.0.0.1", "alice", 200'000, true, 1},
        };
        for (const Refusal& refusal : refusals) {
            qint64 heldBack = -1;
            QCOMPARE(records.admit(QString::fromLatin1(refusal.address), refusal.claimed, refusal.atMs, &heldBack),
                     refusal.recorded);
            if (refusal.recorded)
                QCOMPARE(heldBack, refusal.heldBack);
        }
        // Strangers' names are let go a minute after their record.
        qint64 heldBack = 0;
        for (std::size_t i = 0; i < 3 * UnprovenRecords::MostRemembered; ++i)
            QVERIFY(records.admit(QStringLiteral("10.0.0.9"), QByteArray::number(qulonglong(i)), 300'000 + qint64(i) * 100, &heldBack));
    }

    // One address with many waiting never goes ahead of another's one.
    void queueTakesAddressesInTurn()
    {
        RoundRobinQueue<int> queue;
        for (int i = 1; i <= 5; ++i)
            queue.push(QStringLiteral("10.0.0.1"), i);
        queue.push(QStringLiteral("10.0.0.2"), 100);
        queue.push(QStringLiteral("10.0.0.3"), 200);
        queue.push(QStringLiteral("10.0.0.3"), 201);
        QVERIFY(queue.remove(QStringLiteral("10.0.0.1"), 2));
        QVERIFY(!queue.remove(QStringLiteral("10.0.0.2"), 2));
        QList<int> order;
        while (const std::optional<int> next = queue.take())
            order << *next;
        QCOMPARE(order, (QList<int>{1, 100, 200, 3, 201, 4, 5}));
        QVERIFY(queue.empty());
        // An address whose last one left takes its turn afresh.
        queue.push(QStringLiteral("10.0.0.2"), 7);
        QVERIFY(queue.remove(QStringLiteral("10.0.0.2"), 7));
        QCOMPARE(queue.take(), std::nullopt);
    }

    void evidenceIsBounded_data()
    {
        QTest::addColumn<int>("tweaks");
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("keptTweaks");
        QTest::newRow("few") << 3 << 10 << 3;
        QTest::newRow("many short lines") << 30000 << 1 << 100;
        QTest::newRow("few long lines") << 5 << 60000 << 0;
    }

    void evidenceIsBounded()
    {
        QFETCH(int, tweaks);
        QFETCH(int, lineLength);
        QFETCH(int, keptTweaks);
        QJsonArray list;
        QJsonArray differences;
        for (int i = 0; i < tweaks; ++i) {
            list.append(QJsonObject{{QStringLiteral("line"), i + 1}, {QStringLiteral("text"), QString(lineLength, u'x')}});
            differences.append(QJsonObject{{QStringLiteral("class"), QStringLiteral("added")}, {QStringLiteral("line"), i + 1}});
        }
        QJsonObject record{{QStringLiteral("status"), QStringLiteral("tweaked")},
                           {QStringLiteral("tweaks"), list},
                           {QStringLiteral("missing"), QJsonArray()},
                           {QStringLiteral("differences"), differences}};
        BoundedEvidence::bound(record);
        QCOMPARE(record.value(QStringLiteral("tweaks_total")).toInt(), tweaks);
        QCOMPARE(record.value(QStringLiteral("differences_total")).toInt(), tweaks);
        QCOMPARE(record.value(QStringLiteral("missing_total")).toInt(), 0);
        QCOMPARE(record.value(QStringLiteral("tweaks")).toArray().size(), keptTweaks);
        QVERIFY(record.value(QStringLiteral("differences")).toArray().size() <= BoundedEvidence::MaxEntries);
        // The first entries are the ones kept, in order.
        if (!record.value(QStringLiteral("tweaks")).toArray().isEmpty())
            QCOMPARE(record.value(QStringLiteral("tweaks")).toArray().first().toObject().value(QStringLiteral("line")).toInt(), 1);
        QVERIFY(QJsonDocument(record).toJson(QJsonDocument::Compact).size() <= BoundedEvidence::BudgetBytes + 1024);
    }

    void rosterRules_data()
    {
        QTest::addColumn<QByteArray>("toml");
        QTest::addColumn<QString>("error"); // empty: it loads
        const QByteArray hash = "\"" + QByteArray(64, 'a') + "\"";
        QTest::newRow("two players") << "[[player]]\nname = \"alice\"\ntoken_sha256 = " + hash
                + "\n[[player]]\nname = \"Bob_2.x\"\ntoken_sha256 = " + hash.toUpper() + "\n" << QString();
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("no name") << "[[player]]\ntoken_sha256 = " + hash + "\n" << "roster.toml:1:1: [[player]] has no name";
        QTest::newRow("no hash") << QByteArray("[[player]]\nname = \"alice\"\n") << "has no token_sha256";
        QTest::newRow("short hash") << QByteArray("[[player]]\nname = \"alice\"\ntoken_sha256 = \"abc\"\n")
                                    << "roster.toml:3:16: token_sha256 must be a SHA-256";
        QTest::newRow("slash") << "[[player]]\nname = \"a/b\"\ntoken_sha256 = " + hash + "\n" << "roster.toml:2:8: a player's name";
        QTest::newRow("dot first") << "[[player]]\nname = \".alice\"\ntoken_sha256 = " + hash + "\n" << "a player's name";
        QTest::newRow("too long") << "[[player]]\nname = \"" + QByteArray(65, 'a') + "\"\ntoken_sha256 = " + hash + "\n"
                                  << "a player's name";
        QTest::newRow("non-ASCII") << "[[player]]\nname = \"Jos\xc3\xa9\"\ntoken_sha256 = " + hash + "\n" << "a player's name";
        QTest::newRow("collector's file") << "[[player]]\nname = \"Verdicts.jsonl\"\ntoken_sha256 = " + hash + "\n"
                                          << "the name of the collector's own file";
        QTest::newRow("events' folder") << "[[player]]\nname = \"Events\"\ntoken_sha256 = " + hash + "\n"
                                        << "the name of the collector's own file";
        QTest::newRow("twice") << "[[player]]\nname = \"alice\"\ntoken_sha256 = " + hash + "\n[[player]]\nname = \"ALICE\"\ntoken_sha256 = "
                + hash + "\n" << "roster.toml:5:8: \"ALICE\" is listed twice";
        QTest::newRow("unknown key") << "[[player]]\nname = \"alice\"\ntoken = \"x\"\ntoken_sha256 = " + hash + "\n"
                                     << "unknown key \"token\"";
        QTest::newRow("not TOML") << QByteArray("[[player]\n") << "roster.toml:1:";
        // A display name is shown on the pages: UTF-8 of 64 characters at
        // most, none that hide or turn the text around it.
        const auto displayed = [&](const QByteArray& display) {
            return "[[player]]\nname = \"alice\"\ntoken_sha256 = " + hash + "\ndisplay = " + display + "\n";
        };
        QTest::newRow("display") << displayed("\"Chlo\xc3\xa9 Dupont\"") << QString();
        QTest::newRow("display of 64 accents") << displayed("\"" + QByteArray(64, 'x').replace("x", "\xc3\xa9") + "\"")
                                              << QString();
        QTest::newRow("display of 65") << displayed("\"" + QByteArray(65, 'x') + "\"")
                                       << "roster.toml:4:11: a display name is text of 1 to 64 characters";
        QTest::newRow("display with a tab") << displayed("\"a\\tb\"") << "roster.toml:4:11: a display name";
        QTest::newRow("display with an override") << displayed("\"a\xe2\x80\xae" "b\"") << "roster.toml:4:11: a display name";
        QTest::newRow("display with an isolate") << displayed("\"a\\u2067b\"") << "roster.toml:4:11: a display name";
        QTest::newRow("display empty") << displayed("\"  \"") << "roster.toml:4:11: a display name";
        QTest::newRow("display not text") << displayed("3") << "roster.toml:4:11: a display name";
        // Hashes anyone may read open the door to anyone.
        QTest::newRow("placeholder") << "[[player]]\nname = \"alice\"\ntoken_sha256 = \"" + QByteArray(64, '0') + "\"\n"
                                     << "roster.toml:3:16: the token_sha256 of \"alice\" is the examples' placeholder";
        QTest::newRow("documented") << "[[player]]\nname = \"a\"\ntoken_sha256 = " + hash + "\n[[player]]\nname = \"bob\"\n"
                                       "token_sha256 = \"717CD060A2987B10019E39D9FE91A4EB01B033792C8EF73CA9FE0DF956E5E137\"\n"
                                    << "roster.toml:6:16: the token_sha256 of \"bob\" is the hash of the token";
    }

    void rosterRules()
    {
        QFETCH(QByteArray, toml);
        QFETCH(QString, error);
        QString why;
        const std::optional<Roster> roster = Roster::parse(toml, QStringLiteral("roster.toml"), &why);
        QCOMPARE(bool(roster), error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        if (roster && toml.contains("Chlo"))
            QCOMPARE(roster->displayOf("alice"), QStringLiteral("Chlo\u00e9 Dupont"));
        if (roster && roster->size() == 2) {
            QCOMPARE(roster->tokenSha256Of("Bob_2.x"), std::optional<QByteArray>(QByteArray(64, 'a')));
            QCOMPARE(roster->tokenSha256Of("bob_2.x"), std::nullopt);
        }
    }

    void raceEventsFile_data()
    {
        QTest::addColumn<QByteArray>("toml");
        QTest::addColumn<QString>("error"); // empty: it loads
        const QByteArray times = "opens = 2027-03-01T18:00:00Z\ncloses = 2027-03-05T18:00:00+01:00\n";
        const QByteArray event = "[[event]]\nid = \"round-3\"\nname = \"Round 3 — Grelm Ring\"\n" + times;
        QTest::newRow("defaults") << event << QString();
        QTest::newRow("cars and entrants") << event + "cars = [\"Grelm\"]\nentrants = [\"alice\"]\n" << QString();
        QTest::newRow("unknown key") << event + "deadline = 1\n" << "events.toml:6:1: unknown key \"deadline\"";
        QTest::newRow("no id") << "[[event]]\nname = \"R\"\n" + times << "events.toml:1:1: [[event]] has no id";
        QTest::newRow("id with a space") << "[[event]]\nid = \"round 3\"\nname = \"R\"\n" + times
                                         << "events.toml:2:6: an event's id";
        QTest::newRow("twice") << event + event << "events.toml:7:6: the id \"round-3\" is given twice";
        QTest::newRow("no offset") << QByteArray("[[event]]\nid = \"r\"\nname = \"R\"\nopens = 2027-03-01T18:00:00\n"
                                                 "closes = 2027-03-05T18:00:00Z\n")
                                   << "events.toml:4:9: opens must be a date-time with its offset";
        QTest::newRow("closes first") << QByteArray("[[event]]\nid = \"r\"\nname = \"R\"\nopens = 2027-03-05T18:00:00Z\n"
                                                    "closes = 2027-03-01T18:00:00Z\n")
                                      << "events.toml:5:10: closes must come after opens";
        QTest::newRow("no such car") << event + "cars = [\"Zephyr\"]\n" << "events.toml:6:9: there is no car \"Zephyr\"";
        QTest::newRow("not on the roster") << event + "entrants = [\"mallory\"]\n"
                                           << "events.toml:6:13: \"mallory\" is not on the roster";
        QTest::newRow("not TOML") << QByteArray("[[event]\n") << "events.toml:1:";
    }

    void raceEventsFile()
    {
        QFETCH(QByteArray, toml);
        QFETCH(QString, error);
        QString why;
        const std::optional<Roster> roster = Roster::parse("[[player]]\nname = \"alice\"\ntoken_sha256 = \"" + QByteArray(64, 'a')
                                                               + "\"\n[[player]]\nname = \"bob\"\ntoken_sha256 = \""
                                                               + QByteArray(64, 'b') + "\"\n",
                                                           QStringLiteral("roster.toml"), &why);
        QVERIFY2(roster, qPrintable(why));
        const std::optional<std::vector<RaceEvent>> events = parseRaceEvents(toml, QStringLiteral("events.toml"), *roster, &why);
        QCOMPARE(bool(events), error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        if (events) {
            const RaceEvent& first = events->front();
            QCOMPARE(first.name, QStringLiteral("Round 3 — Grelm Ring"));
            QCOMPARE(RaceEvent::timeText(first.closes), QStringLiteral("2027-03-05T18:00:00+01:00"));
            QCOMPARE(first.closes.toUTC(), QDateTime(QDate(2027, 3, 5), QTime(17, 0), Qt::UTC));
            const bool narrowed = toml.contains("cars =");
            QCOMPARE(first.cars, narrowed ? QStringList{QStringLiteral("Grelm")} : CarCatalogue::listEntries());
            QCOMPARE(first.entrants.size(), narrowed ? 1u : 2u);
        }
    }

    void shownTimes_data()
    {
        QTest::addColumn<QString>("zone"); // empty: the default
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTC") << QString() << "2027-03-05T18:00:59.999Z" << "2027-03-05 18:00 UTC";
        QTest::newRow("an offset") << QString() << "2027-03-05T19:00:00.000+01:00" << "2027-03-05 18:00 UTC";
        QTest::newRow("winter") << "Europe/Paris" << "2027-03-05T18:00:00.000Z" << "2027-03-05 19:00 CET (+01:00)";
        QTest::newRow("summer") << "Europe/Paris" << "2027-07-05T18:00:00.000Z" << "2027-07-05 20:00 CEST (+02:00)";
        QTest::newRow("the day before") << "America/New_York" << "2027-01-01T03:30:00.000Z"
                                        << "2026-12-31 22:30 EST (-05:00)";
        QTest::newRow("half an hour") << "Asia/Kolkata" << "2027-03-05T18:00:00.000Z" << "2027-03-05 23:30 IST (+05:30)";
        QTest::newRow("no time") << "Europe/Paris" << "yesterday" << "yesterday";
    }

    void shownTimes()
    {
        QFETCH(QString, zone);
        QFETCH(QString, time);
        QFETCH(QString, shown);
        const std::optional<ShownTime> times = zone.isEmpty() ? ShownTime() : ShownTime::named(zone);
        QVERIFY(times);
        QCOMPARE(times->text(time), shown);
        QVERIFY(!ShownTime::named(QStringLiteral("Nowhere/Atlantis")));
    }

    // Rotation moves the log away between a record and its sync: the record
    // is made durable where it went, and nothing is reported as failed.
    void recordDurableAcrossRotation()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("verdicts.jsonl"));
        QString error;
        std::optional<QString> synced;
        {
            VerdictLog log(path);
            QVERIFY(log.openChain(&error));
            QVERIFY2(log.append({{QStringLiteral("status"), QStringLiteral("genuine")}}, &error), qPrintable(error));
            QVERIFY(QFile::rename(path, path + QStringLiteral(".1")));
            QObject receiver;
            log.whenDurable(&receiver, [&](const QString& failed) { synced = failed; });
            QTRY_VERIFY(synced);
            QCOMPARE(*synced, QString());
            QVERIFY(log.append({{QStringLiteral("status"), QStringLiteral("tweaked")}}, &error));
        }
        QCOMPARE(QFile(path + QStringLiteral(".1")).size() > 0, true);
        QCOMPARE(QFile(path).size() > 0, true);
    }

    void playerNotes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("a difference") << QStringLiteral("changed [Engine] Torque: 412.5 -> 512.5 (line 16)")
                                      << QByteArray("NOTE|changed [Engine] Torque: 412.5 -> 512.5 (line 16)|\n");
        QTest::newRow("separator and escapes") << QStringLiteral("added [A|B] K=\\x7C\u001b[2J\u202e")
                                               << QByteArray("NOTE|added [A\\x7CB] K=\\\\x7C\\x1B[2J\\u202E|\n");
        QTest::newRow("accents") << QStringLiteral("changed [Moteur] Couple: \u00e9 -> \u00e8")
                                 << QByteArray("NOTE|changed [Moteur] Couple: \xc3\xa9 -> \xc3\xa8|\n");
        QTest::newRow("just fits") << QString(506, u'a') << "NOTE|" + QByteArray(506, 'a') + "|\n";
        QTest::newRow("cut") << QString(507, u'a') << "NOTE|" + QByteArray(503, 'a') + "...|\n";
        QTest::newRow("cut between characters") << QString(400, QChar(0x00e9))
                                                << "NOTE|" + QByteArray("\xc3\xa9").repeated(251) + "...|\n";
        QTest::newRow("cut between escapes") << QString(200, u'|') << "NOTE|" + QByteArray("\\x7C").repeated(125) + "...|\n";
    }

    // A NOTE line is UTF-8 a sender can take: at most 512 bytes without its
    // LF, no "|" of its own text, no control character.
    void playerNotes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, line);
        const QByteArray note = PlayerNotes::noteLine(text);
        QCOMPARE(note, line);
        QVERIFY(note.size() - 1 <= PlayerNotes::LongestLine);
        QCOMPARE(PlayerNotes::lines({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")},
                                    QStringLiteral("https://league.example.org/player/alice")),
                 QByteArray("NOTE|a|\nNOTE|b|\nNOTE|c|\nNOTE|https://league.example.org/player/alice|\n"));
    }

    // The proof holds for the token, the challenge and the header it was
    // made for, and for nothing else: a captured proof replayed to a fresh
    // challenge, or with another size or name, fails.
    void proofBindsEverything()
    {
        const QByteArray token = PlayerPreamble::tokenOf("s3cret-token\r\n");
        QCOMPARE(token, QByteArray("s3cret-token"));
        QCOMPARE(PlayerPreamble::tokenOf("t\n\n"), QByteArray("t\n"));
        const QByteArray key = PlayerPreamble::tokenSha256Hex(token);
        const QByteArray challenge = PlayerPreamble::newChallengeHex();
        QCOMPARE(challenge.size(), 32);
        QVERIFY(challenge != PlayerPreamble::newChallengeHex());
        const QByteArray header = "FILEINFO|4646|Grelmdescriptor.txt|";
        const QByteArray proof = PlayerPreamble::proofHex(key, challenge, "alice", header);
        QVERIFY(!proof.contains(token) && !proof.contains(key));
        QVERIFY(PlayerPreamble::proofHolds(proof, key, challenge, "alice", header));
        QVERIFY(!PlayerPreamble::proofHolds(proof, key, PlayerPreamble::newChallengeHex(), "alice", header));
        QVERIFY(!PlayerPreamble::proofHolds(proof, key, challenge, "bob", header));
        QVERIFY(!PlayerPreamble::proofHolds(proof, key, challenge, "alice", "FILEINFO|4647|Grelmdescriptor.txt|"));
        QVERIFY(!PlayerPreamble::proofHolds(proof, key, challenge, "alice", "FILEINFO|4646|Brackwelldescriptor.txt|"));
        QVERIFY(!PlayerPreamble::proofHolds(proof, PlayerPreamble::tokenSha256Hex("other"), challenge, "alice", header));
        QVERIFY(!PlayerPreamble::proofHolds(proof.toUpper(), key, challenge, "alice", header));
        QVERIFY(!PlayerPreamble::proofHolds(proof.chopped(1), key, challenge, "alice", header));
        // The answer's words never end the line early.
        QCOMPARE(PlayerPreamble::refusedLine("bad-proof", QStringLiteral("a|b\nc")), QByteArray("REFUSED|bad-proof|a/b c|\n"));
    }

    // The preamble's fields arrive in any number of reads; what follows the
    // last "|" is the rest of the stream.
    void fieldsArriveInPieces()
    {
        FieldsCollector player(PlayerPreamble::PlayerMarker, 2, 100);
        QByteArrayView rest;
        const QByteArray bytes = "PLAYER|alice|PROOF|";
        for (qsizetype i = 0; i < 12; ++i)
            QCOMPARE(player.add(bytes.mid(i, 1), &rest), FieldsCollector::Status::NeedMore);
        const QByteArray last = bytes.sliced(12);
        QCOMPARE(player.add(last, &rest), FieldsCollector::Status::Complete);
        QCOMPARE(player.field(1), QByteArray("alice"));
        QCOMPARE(rest.toByteArray(), QByteArray("PROOF|"));
        FieldsCollector wrong(PlayerPreamble::PlayerMarker, 2, 100);
        QCOMPARE(wrong.add("PLAYFUL|", &rest), FieldsCollector::Status::Wrong);
        FieldsCollector endless(PlayerPreamble::PlayerMarker, 2, 20);
        QCOMPARE(endless.add("PLAYER|" + QByteArray(30, 'a'), &rest), FieldsCollector::Status::TooLong);
    }
};

QTEST_GUILESS_MAIN(TestCollectUnits)
#include "test_collect_units.moc"
