#include "DescriptorCorrection.h"
#include "FileSystem.h"
#include "Privileges.h"
#include "SmallDisk.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <latch>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArray Tweaked = "[Engine]\r\nMaxRPM=9900\r\n";
const QByteArray Genuine = "[Engine]\r\nMaxRPM=7200\r\n";
const QString Stamp = QStringLiteral("20261210-120000");
const QByteArray Descriptor = "BrackwellDescriptor.txt";

// Names are bytes that need not be UTF-8, which QFile cannot always spell:
// files are read and written by the system's calls.
bool put(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = FileSystem::writeFully(fd, bytes) == bytes.size();
    return ::close(fd) == 0 && written;
}

QByteArray bytesOf(const QByteArray& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAllEncoded(path, QString(), &bytes, &error) ? bytes : QByteArray("<unreadable>");
}

bool makePath(const QByteArray& path)
{
    qsizetype slash = 0;
    while ((slash = path.indexOf('/', slash + 1)) > 0)
        ::mkdir(path.left(slash).constData(), 0755);
    return ::mkdir(path.constData(), 0755) == 0 || errno == EEXIST;
}

struct stat statusOf(const QByteArray& path)
{
    struct stat status {};
    ::lstat(path.constData(), &status);
    return status;
}

FileIdentity identityOf(const QByteArray& path)
{
    const struct stat status = statusOf(path);
    return {quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
            qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

// Every name in a folder, hidden ones too, as bytes and in order.
QList<QByteArray> namesIn(const QByteArray& folder)
{
    QList<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void removeTree(const QByteArray& path)
{
    if (S_ISDIR(statusOf(path).st_mode)) {
        ::chmod(path.constData(), 0700);
        for (const QByteArray& name : namesIn(path))
            removeTree(path + '/' + name);
        ::rmdir(path.constData());
    } else {
        ::unlink(path.constData());
    }
}

// Every file below a folder, at any depth.
QList<QByteArray> filesBelow(const QByteArray& folder)
{
    QList<QByteArray> files;
    for (const QByteArray& name : namesIn(folder)) {
        const QByteArray path = folder + '/' + name;
        if (S_ISDIR(statusOf(path).st_mode))
            files << filesBelow(path);
        else
            files << path;
    }
    return files;
}

// A league's folder with one player's tweaked descriptor in it, and a
// folder outside the league beside it.
struct League {
    explicit League(const QByteArray& carFolder = "Brackwell", const QByteArray& player = "bob")
        : player(player)
        , below("Cars/" + carFolder + '/' + Descriptor)
    {
        root = QFile::encodeName(dir.path());
        makePath(folder());
        makePath(outside());
        put(path(), Tweaked);
    }
    ~League() { removeTree(root); }
    League(const League&) = delete;
    League& operator=(const League&) = delete;

    QByteArray players() const { return root + "/players"; }
    QByteArray path() const { return players() + '/' + player + '/' + below; }
    QByteArray folder() const { return path().chopped(Descriptor.size() + 1); }
    QByteArray outside() const { return root + "/outside"; }
    QByteArray keep() const { return root + "/keep"; }
    CorrectionPlace place(const QByteArray& keepFolder = QByteArray()) const { return {keepFolder, player, below}; }

    bool correct(const CorrectionPlace& where, QByteArray* keptAs, QString* error, const QString& stamp = Stamp) const
    {
        return correctDescriptor(path(), identityOf(path()), Genuine, stamp, where, keptAs, error);
    }

    QTemporaryDir dir;
    QByteArray root;
    QByteArray player;
    QByteArray below;
};

QByteArray beside(const QByteArray& path, const QByteArray& suffix = QByteArray())
{
    return path + ".tweaked-" + Stamp.toUtf8() + suffix;
}

} // namespace

class TestDescriptorCorrection : public QObject
{
    Q_OBJECT

private slots:
    // The genuine bytes take the name; the tweaked file keeps its bytes under
    // a name beside it, a second name for the same file; a second correction
    // with the same stamp never replaces the first one's copy.
    void correctsAndKeepsBeside_data()
    {
        QTest::addColumn<QByteArray>("carFolder");
        QTest::addColumn<QByteArray>("player");
        QTest::newRow("in a player's folder") << QByteArray("Brackwell") << QByteArray("bob");
        QTest::newRow("no player") << QByteArray("Brackwell") << QByteArray();
        QTest::newRow("a player not in the path") << QByteArray("Brackwell") << QByteArray("alice");
        QTest::newRow("Latin-1 folder name") << QByteArray("Br\xe4""ckwell") << QByteArray("bob");
    }
    void correctsAndKeepsBeside()
    {
        QFETCH(QByteArray, carFolder);
        QFETCH(QByteArray, player);
        League league(carFolder);
        const CorrectionPlace place = player == "bob" ? league.place() : CorrectionPlace{{}, player, Descriptor};
        const FileIdentity checked = identityOf(league.path());
        QByteArray kept;
        QString error;
        QVERIFY2(league.correct(place, &kept, &error), qPrintable(error));
        QCOMPARE(kept, beside(league.path()));
        QCOMPARE(bytesOf(league.path()), Genuine);
        QCOMPARE(bytesOf(kept), Tweaked);
        QCOMPARE(quint64(statusOf(kept).st_ino), checked.inode);

        QVERIFY(put(league.path(), "tweaked again\r\n"));
        QVERIFY2(league.correct(place, &kept, &error), qPrintable(error));
        QCOMPARE(kept, beside(league.path(), "-2"));
        QCOMPARE(bytesOf(kept), QByteArray("tweaked again\r\n"));
        QCOMPARE(bytesOf(beside(league.path())), Tweaked);
        const QList<QByteArray> names{Descriptor, beside(Descriptor), beside(Descriptor, "-2")};
        QCOMPARE(namesIn(league.folder()), names);
    }

    // Whatever took the checked file's place, or changed it, stays as it is:
    // no copy is kept, nothing is written, and the error says why.
    void leavesAFileThatChanged_data()
    {
        QTest::addColumn<QByteArray>("change");
        for (const char* change : {"grown", "touched", "replaced", "linked", "removed"})
            QTest::newRow(change) << QByteArray(change);
    }
    void leavesAFileThatChanged()
    {
        QFETCH(QByteArray, change);
        League league("Br\xe4""ckwell");
        const QByteArray path = league.path();
        const FileIdentity checked = identityOf(path);
        const QByteArray away = league.outside() + '/' + Descriptor;
        const struct timespec later[2] = {{0, UTIME_OMIT}, {time_t(checked.modifiedNs / 1'000'000'000) + 60, 0}};
        const struct timespec same[2] = {{0, UTIME_OMIT}, statusOf(path).st_mtim};
        if (change == "grown") {
            QVERIFY(put(path, Tweaked + "Boost=2\r\n"));
        } else if (change == "touched") {
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), later, 0), 0);
        } else if (change == "replaced") {
            QVERIFY(put(away, Tweaked));
            QCOMPARE(::utimensat(AT_FDCWD, away.constData(), same, 0), 0);
            QCOMPARE(::rename(away.constData(), path.constData()), 0);
        } else if (change == "linked") {
            // The checked file itself, one link away.
            QCOMPARE(::rename(path.constData(), away.constData()), 0);
            QCOMPARE(::symlink(away.constData(), path.constData()), 0);
        } else {
            QCOMPARE(::unlink(path.constData()), 0);
        }
        const QByteArray bytes = bytesOf(path);
        const QList<QByteArray> names = namesIn(league.folder());
        const QList<QByteArray> outside = namesIn(league.outside());

        QByteArray kept = "not cleared";
        QString error;
        QVERIFY(!correctDescriptor(path, checked, Genuine, Stamp, league.place(), &kept, &error));
        QCOMPARE(error, league.dir.path()
                     + QStringLiteral("/players/bob/Cars/Br\\xE4ckwell/BrackwellDescriptor.txt: "
                                      "it changed after it was checked, so it was not corrected"));
        QCOMPARE(kept, QByteArray());
        QCOMPARE(bytesOf(path), bytes);
        QCOMPARE(namesIn(league.folder()), names);
        QCOMPARE(namesIn(league.outside()), outside);
        if (change == "linked")
            QCOMPARE(bytesOf(away), Tweaked);
    }

    // A player swaps a folder of the path for a link to a folder outside the
    // league, over and over, while corrections run. Behind the link lies the
    // checked file itself, so only refusing the link keeps it safe: nothing
    // outside is ever written, and each correction either corrects the real
    // file or leaves it as it was.
    void aSwappedFolderLeadsNowhereElse_data()
    {
        QTest::addColumn<QByteArray>("folders");
        QTest::addColumn<QByteArray>("swapped");
        QTest::newRow("the player's folder") << QByteArray("bob") << QByteArray("bob");
        QTest::newRow("a folder below it") << QByteArray("bob") << QByteArray("bob/Cars");
        QTest::newRow("the descriptor's folder") << QByteArray("bob") << QByteArray("bob/Cars/Brackwell");
        // The player's name again further down: where the player's folder
        // ends is no longer plain, so no link is followed anywhere.
        QTest::newRow("the player's name twice") << QByteArray("bob/x/bob") << QByteArray("bob/x");
    }
    void aSwappedFolderLeadsNowhereElse()
    {
        QFETCH(QByteArray, folders);
        QFETCH(QByteArray, swapped);
        League league("Brackwell", folders);
        const CorrectionPlace place{{}, "bob", league.below};
        const QByteArray real = league.players() + '/' + swapped;
        const QByteArray link = real + ".link";
        const QByteArray mirror = league.outside() + '/' + swapped;
        const QByteArray trapFolder = league.outside() + '/' + folders + "/Cars/Brackwell";
        const QByteArray trap = trapFolder + '/' + Descriptor;
        QVERIFY(makePath(trapFolder));
        QCOMPARE(::symlink(mirror.constData(), link.constData()), 0);

        std::atomic<int> swaps = 0;
        int corrected = 0;
        for (int attempt = 0; attempt < 200; ++attempt) {
            const QByteArray tweaked = Tweaked + "; " + QByteArray::number(attempt) + "\r\n";
            QVERIFY(put(league.path(), tweaked));
            ::unlink(trap.constData());
            QCOMPARE(::link(league.path().constData(), trap.constData()), 0);
            const FileIdentity checked = identityOf(league.path());
            const QString stamp = QStringLiteral("try%1").arg(attempt);

            std::atomic<bool> stop = false;
            std::thread swapper([&] {
                for (bool linkInPlace = false; !stop || linkInPlace; linkInPlace = !linkInPlace) {
                    ::renameat2(AT_FDCWD, real.constData(), AT_FDCWD, link.constData(), RENAME_EXCHANGE);
                    ++swaps;
                }
            });
            // Under way before the correction starts, so that it meets swaps.
            for (const int before = swaps; swaps < before + 2;)
                std::this_thread::yield();
            QByteArray kept;
            QString error;
            const bool done = correctDescriptor(league.path(), checked, Genuine, stamp, place, &kept, &error);
            stop = true;
            swapper.join();

            QCOMPARE(namesIn(trapFolder), QList<QByteArray>{Descriptor});
            QCOMPARE(bytesOf(trap), tweaked);
            QCOMPARE(quint64(statusOf(trap).st_ino), checked.inode);
            if (done) {
                ++corrected;
                QCOMPARE(kept, league.path() + ".tweaked-" + stamp.toUtf8());
                QCOMPARE(bytesOf(league.path()), Genuine);
                QCOMPARE(bytesOf(kept), tweaked);
            } else {
                QVERIFY2(error.startsWith(QFile::decodeName(league.path()) + u':'), qPrintable(error));
                QCOMPARE(bytesOf(league.path()), tweaked);
                for (const QByteArray& name : namesIn(league.folder()))
                    QVERIFY2(!name.startsWith('.') && !name.endsWith(stamp.toUtf8()), name.constData());
            }
        }
        qInfo("%d of 200 corrected, %d swaps", corrected, swaps.load());
        QVERIFY(swaps > 0);
    }

    // The genuine file takes the tweaked one's permissions, and as root its
    // owner and group too.
    void keepsOwnerAndMode()
    {
        League league;
        const QByteArray path = league.path();
        if (runsAsRoot())
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(path.constData(), 0640), 0);
        const struct stat before = statusOf(path);
        QByteArray kept;
        QString error;
        QVERIFY2(league.correct(league.place(), &kept, &error), qPrintable(error));
        const struct stat after = statusOf(path);
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(after.st_mode & 07777, 0640u);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
    }

    // Where the system will not let the user link the file (he does not own
    // it), the file beside is a copy, with the tweaked file's permissions and
    // modification time.
    void copiesWhereLinksAreRefused()
    {
        if (!runsAsRoot())
            QSKIP("making a file that another user may not link needs root");
        if (bytesOf("/proc/sys/fs/protected_hardlinks").trimmed() != "1")
            QSKIP("the system lets anyone link any file (fs.protected_hardlinks is off)");
        League league;
        QCOMPARE(::chmod(league.root.constData(), 0755), 0);
        QCOMPARE(::chown(league.folder().constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(league.path().constData(), 0644), 0);
        const FileIdentity checked = identityOf(league.path());

        bool done = false;
        QByteArray kept;
        QString error;
        // Credentials are per thread to the kernel: only this one drops them.
        std::thread([&] {
            if (::syscall(SYS_setgroups, 0, nullptr) == 0 && ::syscall(SYS_setresgid, 65534, 65534, 65534) == 0
                && ::syscall(SYS_setresuid, 65534, 65534, 65534) == 0)
                done = correctDescriptor(league.path(), checked, Genuine, Stamp, league.place(), &kept, &error);
        }).join();
        QVERIFY2(done, qPrintable(error));
        QCOMPARE(kept, beside(league.path()));
        QCOMPARE(bytesOf(kept), Tweaked);
        const struct stat copy = statusOf(kept);
        QVERIFY(copy.st_ino != checked.inode);
        QCOMPARE(copy.st_mode & 07777, 0644u);
        QCOMPARE(qint64(copy.st_mtim.tv_sec) * 1'000'000'000 + copy.st_mtim.tv_nsec, checked.modifiedNs);
        QCOMPARE(bytesOf(league.path()), Genuine);
    }

    // With a keep folder, the copy goes there under the player's name and the
    // path below him, in folders only the checking user may enter; nothing is
    // kept beside. A link inside the keep folder is not followed.
    void keepsInTheKeepFolder()
    {
        League league;
        const FileIdentity checked = identityOf(league.path());
        QByteArray kept;
        QString error;
        QVERIFY2(league.correct(league.place(league.keep()), &kept, &error), qPrintable(error));
        const QByteArray expected = league.keep() + "/bob/Cars/Brackwell/" + Descriptor + ".tweaked-" + Stamp.toUtf8();
        QCOMPARE(kept, expected);
        QCOMPARE(bytesOf(kept), Tweaked);
        QCOMPARE(bytesOf(league.path()), Genuine);
        QCOMPARE(namesIn(league.folder()), QList<QByteArray>{Descriptor});
        const struct stat copy = statusOf(kept);
        QVERIFY(copy.st_ino != checked.inode);
        QCOMPARE(copy.st_mode & 07777, 0600u);
        QCOMPARE(qint64(copy.st_mtim.tv_sec) * 1'000'000'000 + copy.st_mtim.tv_nsec, checked.modifiedNs);
        for (const char* folder : {"/bob", "/bob/Cars", "/bob/Cars/Brackwell"})
            QCOMPARE(statusOf(league.keep() + folder).st_mode & 07777, 0700u);

        QVERIFY(put(league.path(), Tweaked));
        QVERIFY2(league.correct(league.place(league.keep() + '/'), &kept, &error), qPrintable(error));
        QCOMPARE(kept, expected + "-2");

        League alice("Brackwell", "alice");
        QCOMPARE(::symlink(alice.outside().constData(), (league.keep() + "/alice").constData()), 0);
        QVERIFY(!alice.correct(alice.place(league.keep()), &kept, &error));
        QCOMPARE(error, QFile::decodeName(alice.path() + ": the folder " + league.keep() + "/alice")
                            + QStringLiteral(" is a symbolic link, which is not followed, so it was not corrected"));
        QCOMPARE(namesIn(alice.outside()), QList<QByteArray>());
        QCOMPARE(bytesOf(alice.path()), Tweaked);
    }

    // Corrections at once on many threads, of files that are all kept under
    // one name: each takes a name of its own and says which.
    void concurrentCorrectionsNameTheirOwnCopies()
    {
        constexpr int Leagues = 8;
        QTemporaryDir keepFolder;
        const QByteArray keep = QFile::encodeName(keepFolder.path());
        std::vector<std::unique_ptr<League>> leagues;
        for (int i = 0; i < Leagues; ++i) {
            leagues.push_back(std::make_unique<League>());
            QVERIFY(put(leagues.back()->path(), Tweaked + QByteArray::number(i)));
        }
        for (int round = 0; round < 10; ++round) {
            const QString stamp = QStringLiteral("round%1").arg(round);
            std::vector<QByteArray> kept(Leagues);
            std::vector<QString> errors(Leagues);
            std::vector<char> done(Leagues, 0);
            std::latch start(Leagues);
            std::vector<std::thread> threads;
            for (int i = 0; i < Leagues; ++i) {
                threads.emplace_back([&, i] {
                    const League& league = *leagues[i];
                    start.arrive_and_wait();
                    done[i] = league.correct(league.place(keep), &kept[i], &errors[i], stamp);
                });
            }
            for (std::thread& thread : threads)
                thread.join();
            QList<QByteArray> names;
            for (int i = 0; i < Leagues; ++i) {
                QVERIFY2(done[i], qPrintable(errors[i]));
                QCOMPARE(bytesOf(kept[i]), Tweaked + QByteArray::number(i));
                names << kept[i].mid(kept[i].lastIndexOf('/') + 1);
                QVERIFY(put(leagues[i]->path(), Tweaked + QByteArray::number(i)));
            }
            std::sort(names.begin(), names.end());
            const QList<QByteArray> all = namesIn(keep + "/bob/Cars/Brackwell");
            QCOMPARE(names, all.mid(round * Leagues, Leagues));
        }
    }

    // A correction that cannot be made leaves everything as it was: the
    // descriptor, its folder, and no copy in the keep folder.
    void failureLeavesAllAsItWas_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<bool>("keepFolder");
        QTest::addColumn<QString>("reason");
        const QString denied = FileSystem::systemReason(EACCES);
        const QString full = FileSystem::systemReason(ENOSPC);
        QTest::newRow("read-only folder") << false << false << denied;
        QTest::newRow("read-only folder, kept elsewhere") << false << true << denied;
        QTest::newRow("full disk") << true << false << full;
        QTest::newRow("full disk, kept elsewhere") << true << true << full;
    }
    void failureLeavesAllAsItWas()
    {
        QFETCH(bool, fullDisk);
        QFETCH(bool, keepFolder);
        QFETCH(QString, reason);
        SmallDisk disk;
        if (fullDisk && !disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        if (!fullDisk && runsAsRoot())
            QSKIP(RootIgnoresPermissions);
        League league;
        const QByteArray path = fullDisk ? QFile::encodeName(disk.file(QStringLiteral("BrackwellDescriptor.txt")))
                                         : league.path();
        const QByteArray folder = path.chopped(Descriptor.size() + 1);
        QVERIFY(put(path, Tweaked));
        const FileIdentity checked = identityOf(path);
        auto writable = qScopeGuard([&] { ::chmod(folder.constData(), 0755); });
        if (fullDisk)
            QVERIFY(disk.fill());
        else
            QCOMPARE(::chmod(folder.constData(), 0555), 0);
        const QList<QByteArray> names = namesIn(folder);

        QByteArray kept;
        QString error;
        CorrectionPlace place;
        place.keepFolder = keepFolder ? league.keep() : QByteArray();
        QVERIFY(!correctDescriptor(path, checked, Genuine, Stamp, place, &kept, &error));
        QVERIFY2(error.startsWith(QFile::decodeName(path) + u':') && error.contains(reason)
                     && error.endsWith(QStringLiteral(", so it was not corrected")),
                 qPrintable(error));
        QCOMPARE(kept, QByteArray());
        QCOMPARE(bytesOf(path), Tweaked);
        QCOMPARE(quint64(statusOf(path).st_ino), checked.inode);
        QCOMPARE(namesIn(folder), names);
        QCOMPARE(filesBelow(league.keep()), QList<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(TestDescriptorCorrection)
#include "test_descriptor_correction.moc"
