#include "DescriptorFinder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folders and files made from their names' bytes, so that a name that is
// not UTF-8 is made exactly as a player's machine may have made it.
bool makeFolders(const QByteArray& folder)
{
    QByteArray made;
    for (const QByteArray& part : folder.split('/')) {
        made += part + '/';
        if (!part.isEmpty() && ::mkdir(made.constData(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool put(const QByteArray& path, const QByteArray& bytes = "[Engine]\r\nTorque=1\r\n")
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0 && !makeFolders(path.first(slash)))
        return false;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

bool symlinkAt(const QByteArray& path, const QByteArray& target)
{
    return ::symlink(target.constData(), path.constData()) == 0;
}

// What a walk gave: each entry as "path player car" (or "path: error"), the
// notices, the paths that held nothing and those that are not there.
struct Walk {
    QList<QByteArray> found;
    QStringList notices;
    QList<QByteArray> empty;
    QStringList pathErrors;

    bool operator==(const Walk&) const = default;
};

// Every walk is made twice, without and with folders listed ahead, and
// must come out the same.
Walk walk(const QList<QByteArray>& paths, FinderOptions options = {})
{
    Walk walks[2];
    for (int listers : {0, 2}) {
        Walk& made = walks[listers ? 1 : 0];
        options.listers = listers;
        DescriptorFinder finder(paths, options, [&](const QString& notice) { made.notices << notice; });
        FoundDescriptor found;
        while (finder.next(&found)) {
            made.found << (found.error.isEmpty()
                               ? found.path + ' ' + found.player + ' ' + (found.car ? found.car->listEntry.toLatin1() : "-")
                               : found.path + ": " + found.error.toUtf8());
        }
        made.empty = finder.emptyPaths();
        made.pathErrors = finder.pathErrors();
    }
    if (!(walks[0] == walks[1]))
        qWarning("listed ahead, the walk differs: %s", QList<QByteArray>(walks[1].found).join(", ").constData());
    return walks[0] == walks[1] ? walks[0] : Walk{{"differs with listers"}, {}, {}, {}};
}

const char* Descriptor = "Cars/Grelm/Grelmdescriptor.txt";

} // namespace

// Each case works in a temporary folder of its own, which is also the
// current folder, so that paths are given as a user types them.
class TestDescriptorFinder : public QObject
{
    Q_OBJECT

    QTemporaryDir* m_dir = nullptr;
    QString m_startedIn;

private slots:
    void init()
    {
        m_startedIn = QDir::currentPath();
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    // QTemporaryDir removes by names in text, which a name that is not
    // UTF-8 is not: the tree goes by its bytes first.
    void cleanup()
    {
        QDir::setCurrent(m_startedIn);
        ::nftw(QFile::encodeName(m_dir->path()).constData(),
               [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); }, 16, FTW_DEPTH | FTW_PHYS);
        delete m_dir;
        m_dir = nullptr;
    }

    // A name that is not UTF-8 is walked, found and reported with its own
    // bytes; shown in an error, it is escaped.
    void namesThatAreNotUtf8()
    {
        const QByteArray jose = "players/Jos\xe9";
        QVERIFY(put(jose + "/Cars\\Grelm\\Grelmdescriptor.txt"));
        QVERIFY(put(jose + "/notes \xff.txt"));
        QVERIFY(put("given/copie \xe9.txt"));
        const Walk found = walk({"players", "given/copie \xe9.txt", "players/Ren\xe9"}, {&CarCatalogue::cars()[0]});
        QCOMPARE(found.found, (QList<QByteArray>{
                                  jose + "/Cars\\Grelm\\Grelmdescriptor.txt Jos\xe9 Grelm",
                                  "given/copie \xe9.txt given Brackwell",
                              }));
        QCOMPARE(found.pathErrors, QStringList{QStringLiteral("players/Ren\\xE9: no such file or folder")});
    }

    // A file's name alone says its car: the descriptor's name in the game or
    // as received, in any letter case; after the last backslash of a name
    // unzip kept whole; behind kestrix-collect's stamp. Nothing else does.
    void namesSayTheCar_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("car");
        QTest::newRow("in the game") << QByteArray("Grelmdescriptor.txt") << QByteArray("Grelm");
        QTest::newRow("as received") << QByteArray("DunmarrDescriptor.txt") << QByteArray("DunMarr");
        QTest::newRow("letter case") << QByteArray("SKELDER4descriptor.TXT") << QByteArray("Skelder4");
        QTest::newRow("unzipped whole") << QByteArray("Cars\\Grelm\\Grelmdescriptor.txt") << QByteArray("Grelm");
        QTest::newRow("kept") << QByteArray("20261210-120000-123-OldGristdescriptor.txt") << QByteArray("OldGrist");
        QTest::newRow("kept, numbered") << QByteArray("20261210-120000-123-2-Puddlewickdescriptor.txt")
                                        << QByteArray("Puddlewick");
        QTest::newRow("kept, last number") << QByteArray("20261210-120000-123-1000-Grelmdescriptor.txt")
                                           << QByteArray("Grelm");
        QTest::newRow("partial") << QByteArray("20261210-120000-123-Grelmdescriptor.txt.partial") << QByteArray();
        QTest::newRow("being received") << QByteArray(".20261210-120000-123-Grelmdescriptor.txt.0a1b2c3d.tmp")
                                        << QByteArray();
        QTest::newRow("number 1 never written") << QByteArray("20261210-120000-123-1-Grelmdescriptor.txt")
                                                << QByteArray();
        QTest::newRow("leading zero") << QByteArray("20261210-120000-123-02-Grelmdescriptor.txt") << QByteArray();
        QTest::newRow("short stamp") << QByteArray("2026121-120000-123-Grelmdescriptor.txt") << QByteArray();
        QTest::newRow("corrected and kept") << QByteArray("Grelmdescriptor.txt.tweaked-20261210-120000") << QByteArray();
        QTest::newRow("more before") << QByteArray("old Grelmdescriptor.txt") << QByteArray();
        QTest::newRow("backslash last") << QByteArray("Grelmdescriptor.txt\\") << QByteArray();
    }

    void namesSayTheCar()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, car);
        QVERIFY(put("bob/" + name));
        const Walk found = walk({"bob"});
        QCOMPARE(found.found, car.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{"bob/" + name + " bob " + car});
    }

    // In kestrix-collect's folder a player's latest copy of each car is
    // what counts; all of them on request; anywhere else, every one.
    void collectorFolder_data()
    {
        QTest::addColumn<bool>("collector");
        QTest::addColumn<bool>("allCopies");
        QTest::addColumn<QList<QByteArray>>("found");
        const QList<QByteArray> latest{
            "league/10.0.0.5/20261210-120500-000-2-Grelmdescriptor.txt 10.0.0.5 Grelm",
            "league/10.0.0.5/20261210-130000-000-BrackwellDescriptor.txt 10.0.0.5 Brackwell",
            "league/Cars/20261209-080000-000-Grelmdescriptor.txt Cars Grelm",
        };
        const QList<QByteArray> all{
            "league/10.0.0.5/20261210-120000-000-Grelmdescriptor.txt 10.0.0.5 Grelm",
            "league/10.0.0.5/20261210-120500-000-2-Grelmdescriptor.txt 10.0.0.5 Grelm",
            "league/10.0.0.5/20261210-120500-000-Grelmdescriptor.txt 10.0.0.5 Grelm",
            "league/10.0.0.5/20261210-130000-000-BrackwellDescriptor.txt 10.0.0.5 Brackwell",
            "league/Cars/20261209-080000-000-Grelmdescriptor.txt Cars Grelm",
        };
        QList<QByteArray> elsewhere = all;
        elsewhere.last() = "league/Cars/20261209-080000-000-Grelmdescriptor.txt league Grelm";
        QTest::newRow("latest") << true << false << latest;
        QTest::newRow("all copies") << true << true << all;
        QTest::newRow("not a collector's") << false << false << elsewhere;
    }

    void collectorFolder()
    {
        QFETCH(bool, collector);
        QFETCH(bool, allCopies);
        QFETCH(QList<QByteArray>, found);
        if (collector)
            QVERIFY(put("league/verdicts.jsonl", "{}\n"));
        for (const char* name : {"20261210-120000-000-Grelmdescriptor.txt", "20261210-120500-000-Grelmdescriptor.txt",
                                 // later in the same millisecond, though first in byte order
                                 "20261210-120500-000-2-Grelmdescriptor.txt",
                                 "20261210-130000-000-BrackwellDescriptor.txt",
                                 "20261210-140000-000-Grelmdescriptor.txt.partial",
                                 ".20261210-150000-000-Grelmdescriptor.txt.0a1b2c3d.tmp"})
            QVERIFY(put(QByteArray("league/10.0.0.5/") + name));
        // A sender's folder named as the game's is still the sender's.
        QVERIFY(put("league/Cars/20261209-080000-000-Grelmdescriptor.txt"));
        FinderOptions options;
        options.allCopies = allCopies;
        QCOMPARE(walk({"league"}, options).found, found);
    }

    // Every path that held no descriptor is named; one that does not exist
    // is an error instead, found as nobody's descriptor, and one whose files
    // were found already held them.
    void pathsThatHeldNothing()
    {
        QVERIFY(makeFolders("empty"));
        QVERIFY(put("others/notes.txt"));
        QVERIFY(put("full/Grelmdescriptor.txt"));
        QVERIFY(makeFolders("linked/inside"));
        QVERIFY(symlinkAt("linked/inside/full", "../../full"));
        const Walk found = walk({"empty", "full", "others", "missing", "linked", "full/"});
        QCOMPARE(found.found, QList<QByteArray>{"full/Grelmdescriptor.txt full Grelm"});
        QCOMPARE(found.pathErrors, QStringList{QStringLiteral("missing: no such file or folder")});
        QCOMPARE(found.empty, (QList<QByteArray>{"empty", "others", "linked"}));

        QCOMPARE(walk({"empty"}).empty, QList<QByteArray>{"empty"});
        QCOMPARE(walk({"full"}).empty, QList<QByteArray>());
    }

    // A link to a folder is named and passed by, as find does: it neither
    // hides another player's files nor claims them. Followed on request, a
    // loop is passed by and the files it leads to again are found once.
    // A path given is followed, link or not.
    void linksToFolders()
    {
        QVERIFY(put("players/bob/Cars/Grelm/Grelmdescriptor.txt"));
        QVERIFY(makeFolders("players/aaron"));
        QVERIFY(symlinkAt("players/aaron/bobs", "../bob"));
        QVERIFY(makeFolders("players/cy"));
        QVERIFY(symlinkAt("players/cy/loop", "."));
        QVERIFY(symlinkAt("players/aaron/Grelmdescriptor.txt", "../bob/Cars/Grelm/Grelmdescriptor.txt"));
        QVERIFY(symlinkAt("bob-link", "players/bob"));

        // A link to a file is a file of the folder it lies in.
        const Walk plain = walk({"players", "players/aaron"});
        QCOMPARE(plain.found, (QList<QByteArray>{
                                  "players/aaron/Grelmdescriptor.txt aaron Grelm",
                                  "players/bob/Cars/Grelm/Grelmdescriptor.txt bob Grelm",
                              }));
        QCOMPARE(plain.notices,
                 (QStringList{
                     QStringLiteral("players/aaron/bobs: a link to a folder, not followed (--follow follows it)"),
                     QStringLiteral("players/cy/loop: a link to a folder, not followed (--follow follows it)"),
                     QStringLiteral("players/aaron/Grelmdescriptor.txt: the same file as players/aaron/Grelmdescriptor.txt, "
                                    "checked once"),
                 }));

        FinderOptions follow;
        follow.followLinks = true;
        const Walk followed = walk({"players"}, follow);
        QCOMPARE(followed.found, QList<QByteArray>{"players/aaron/Grelmdescriptor.txt aaron Grelm"});
        const QString once = QStringLiteral("%1: the same file as players/aaron/Grelmdescriptor.txt, checked once");
        QCOMPARE(followed.notices,
                 (QStringList{
                     once.arg(QStringLiteral("players/aaron/bobs/Cars/Grelm/Grelmdescriptor.txt")),
                     once.arg(QStringLiteral("players/bob/Cars/Grelm/Grelmdescriptor.txt")),
                     QStringLiteral("players/cy/loop: a loop back to players/cy, not followed"),
                 }));

        const Walk given = walk({"bob-link"});
        QCOMPARE(given.found, QList<QByteArray>{"bob-link/Cars/Grelm/Grelmdescriptor.txt bob-link Grelm"});
        QCOMPARE(given.notices, QStringList());
    }

    // One file reached twice is checked once, under the path met first; as
    // another car's descriptor it is checked again.
    void sameFileOnce()
    {
        QVERIFY(put("players/ann/Grelmdescriptor.txt"));
        QVERIFY(makeFolders("players/bob") && makeFolders("players/cy"));
        QCOMPARE(::link("players/ann/Grelmdescriptor.txt", "players/bob/grelmdescriptor.TXT"), 0);
        QCOMPARE(::link("players/ann/Grelmdescriptor.txt", "players/cy/BrackwellDescriptor.txt"), 0);
        const Walk found = walk({"players", "players/ann/Grelmdescriptor.txt", "players/ann"});
        QCOMPARE(found.found, (QList<QByteArray>{
                                  "players/ann/Grelmdescriptor.txt ann Grelm",
                                  "players/cy/BrackwellDescriptor.txt cy Brackwell",
                              }));
        const QString once = QStringLiteral("%1: the same file as players/ann/Grelmdescriptor.txt, checked once");
        QCOMPARE(found.notices, (QStringList{
                                    once.arg(QStringLiteral("players/bob/grelmdescriptor.TXT")),
                                    once.arg(QStringLiteral("players/ann/Grelmdescriptor.txt")),
                                    once.arg(QStringLiteral("players/ann/Grelmdescriptor.txt")),
                                }));
        QCOMPARE(found.empty, QList<QByteArray>());
    }

    // Whose descriptor it is: the folder below the path, unless that is
    // one of the game's; else the path's own name, for "." its real one.
    void players_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("folder"); // the current folder, within the test's own
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("depth0");
        QTest::addColumn<QByteArray>("player");
        const QByteArray bobs = QByteArray("players/bob/") + Descriptor;
        QTest::newRow("folder below") << bobs << QByteArray(".") << QByteArray("players") << false << QByteArray("bob");
        QTest::newRow("deeper") << QByteArray("players/bob/sent/to/Grelmdescriptor.txt") << QByteArray(".")
                                << QByteArray("players") << false << QByteArray("bob");
        QTest::newRow("a player's folder") << bobs << QByteArray(".") << QByteArray("players/bob") << false
                                           << QByteArray("bob");
        QTest::newRow("ending in /") << bobs << QByteArray(".") << QByteArray("players/bob//") << false
                                     << QByteArray("bob");
        QTest::newRow("the current folder") << bobs << QByteArray("players/bob") << QByteArray(".") << false
                                            << QByteArray("bob");
        QTest::newRow("the folder above") << bobs << QByteArray("players/bob/Cars") << QByteArray("..") << false
                                          << QByteArray("bob");
        QTest::newRow("Cars below") << QByteArray("bob/CARS/Grelm/Grelmdescriptor.txt") << QByteArray(".")
                                    << QByteArray("bob") << false << QByteArray("bob");
        QTest::newRow("a car's folder below") << QByteArray("bob/grelm/Grelmdescriptor.txt") << QByteArray(".")
                                              << QByteArray("bob") << false << QByteArray("bob");
        QTest::newRow("in the path itself") << QByteArray("bob/Grelmdescriptor.txt") << QByteArray(".")
                                            << QByteArray("bob") << false << QByteArray("bob");
        QTest::newRow("the game's folder given") << bobs << QByteArray(".") << QByteArray("players/bob/Cars") << false
                                                 << QByteArray("bob");
        QTest::newRow("each path one player's") << bobs << QByteArray(".") << QByteArray("players") << true
                                                << QByteArray("players");
        QTest::newRow("a file given") << bobs << QByteArray(".") << bobs << false << QByteArray("bob");
        QTest::newRow("a file given here") << bobs << QByteArray("players/bob/Cars/Grelm")
                                           << QByteArray("Grelmdescriptor.txt") << false << QByteArray("bob");
    }

    void players()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, path);
        QFETCH(bool, depth0);
        QFETCH(QByteArray, player);
        QVERIFY(put(file));
        QVERIFY(QDir::setCurrent(QFile::decodeName(folder)));
        FinderOptions options;
        options.playerDepth0 = depth0;
        const Walk found = walk({path}, options);
        QCOMPARE(found.found.size(), 1);
        QCOMPARE(found.found.first().split(' ').value(1), player);
    }
};

QTEST_GUILESS_MAIN(TestDescriptorFinder)
#include "test_descriptor_finder.moc"
