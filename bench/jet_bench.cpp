// Reference-store costs, Access/Jet beside SQLite: opening, making one index
// current, and the per-line cost of the scan's lookup (set the index, seek one
// line) over 100k lines, half of them genuine. The Jet store loads an index's
// keys when it is made current; the SQLite store seeks in the file first and
// loads the keys during the lines, so compare the totals.
//   jet_bench [FIXTURE_FOLDER]   (default: the repository's tests/data/jet)
// No Jet writer exists here, so the Jet figures come from the largest fixtures;
// SQLite stores of the same keys and of 100k keys are built for comparison.

#include "JetReferenceStore.h"
#include "OpenReferenceStore.h"
#include "ReferenceBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr int Lines = 100000;
constexpr int Repeats = 21;

struct Figures {
    double openMs = 0;
    double indexMs = 0;
    double lookupNs = 0;
    double totalMs = 0; // open, index and all lines, once
};

double medianMs(std::vector<qint64>& nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return double(nanoseconds[nanoseconds.size() / 2]) / 1e6;
}

// Every other line is a key; the rest miss by one trailing byte.
std::vector<QByteArray> scanLines(const std::vector<QByteArray>& keys)
{
    std::vector<QByteArray> lines;
    lines.reserve(Lines);
    for (int i = 0; i < Lines; ++i) {
        const QByteArray& key = keys[size_t(i / 2) % keys.size()];
        lines.push_back(i % 2 == 0 ? key : key + '~');
    }
    return lines;
}

bool measure(const std::function<std::unique_ptr<ReferenceStore>(QString*)>& open, const QString& index,
             const std::vector<QByteArray>& lines, Figures* figures)
{
    std::vector<qint64> opens;
    std::vector<qint64> loads;
    QString error;
    std::unique_ptr<ReferenceStore> store;
    for (int i = 0; i < Repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        store = open(&error);
        opens.push_back(timer.nsecsElapsed());
        if (!store) {
            QTextStream(stderr) << error << "\n";
            return false;
        }
        timer.restart();
        if (!store->setIndex(index, &error)) {
            QTextStream(stderr) << error << "\n";
            return false;
        }
        loads.push_back(timer.nsecsElapsed());
    }
    figures->openMs = medianMs(opens);
    figures->indexMs = medianMs(loads);

    store.reset();
    qint64 found = 0;
    QElapsedTimer total;
    total.start();
    store = open(&error);
    if (!store)
        return false;
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray& line : lines) {
        if (!store->setIndex(index, &error) || !store->seek(line, &error))
            return false;
        found += store->noMatch() ? 0 : 1;
    }
    figures->lookupNs = double(timer.nsecsElapsed()) / double(lines.size());
    figures->totalMs = double(total.nsecsElapsed()) / 1e6;
    if (found != Lines / 2) {
        QTextStream(stderr) << "unexpected matches: " << found << "\n";
        return false;
    }
    return true;
}

bool buildSqlite(const QString& path, const std::vector<QByteArray>& keys)
{
    ReferenceBuilder builder;
    QString error;
    bool ok = builder.create(path, &error);
    for (size_t i = 0; ok && i < keys.size(); ++i)
        ok = builder.addKey(1, keys[i], &error);
    ok = ok && builder.finish(std::nullopt, &error);
    if (!ok)
        QTextStream(stderr) << error << "\n";
    return ok;
}

void report(QTextStream& out, const QString& name, size_t keys, const Figures& figures)
{
    out << qSetFieldWidth(44) << Qt::left << name << qSetFieldWidth(8) << Qt::right << keys
        << qSetFieldWidth(10) << QString::number(figures.openMs, 'f', 3) << QString::number(figures.indexMs, 'f', 3)
        << QString::number(figures.lookupNs, 'f', 1) << QString::number(figures.totalMs, 'f', 1) << qSetFieldWidth(0)
        << "\n";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder =
        app.arguments().size() > 1 ? app.arguments().at(1) : QStringLiteral(KESTRIX_SOURCE_DIR "/tests/data/jet");
    QTemporaryDir scratch;
    QTextStream out(stdout);
    out << qSetFieldWidth(44) << Qt::left << "store" << qSetFieldWidth(8) << Qt::right << "keys"
        << qSetFieldWidth(10) << "open ms" << "index ms" << "ns/line" << "total ms" << qSetFieldWidth(0) << "\n";

    struct JetCase {
        const char* file;
        const char* table;
        const char* index;
    };
    const JetCase jetCases[] = {
        {"testIndexCodesV1997.mdb", "Table1", "DataIndex"}, // the largest fixture, Jet 3
        {"codes_jet4_v2003.mdb", "Codes", "Car1"}, // the largest Jet 4 fixture
    };
    for (const JetCase& jet : jetCases) {
        const QString path = folder + u'/' + QString::fromLatin1(jet.file);
        const QString table = QString::fromLatin1(jet.table);
        const QString index = QString::fromLatin1(jet.index);
        QString error;
        std::vector<QByteArray> keys;
        auto store = JetReferenceStore::open(path, table, &error);
        if (!store || !store->readKeys(index, &keys, &error)) {
            QTextStream(stderr) << error << "\n";
            return 1;
        }
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        const std::vector<QByteArray> lines = scanLines(keys);

        Figures figures;
        const auto openJet = [&](QString* reason) -> std::unique_ptr<ReferenceStore> {
            return JetReferenceStore::open(path, table, reason);
        };
        if (!measure(openJet, index, lines, &figures))
            return 1;
        report(out, QStringLiteral("Jet   %1 %2").arg(QString::fromLatin1(jet.file), index), keys.size(), figures);

        const QString sqlite = scratch.filePath(QStringLiteral("same-keys.mdb"));
        if (!buildSqlite(sqlite, keys))
            return 1;
        const auto openSqlite = [&](QString* reason) { return openReferenceStore(sqlite, reason); };
        if (!measure(openSqlite, QStringLiteral("Car1"), lines, &figures))
            return 1;
        report(out, QStringLiteral("SQLite, the same keys"), keys.size(), figures);
    }

    // A reference of the size a full data set reaches.
    std::vector<QByteArray> keys;
    for (int i = 0; i < Lines; ++i)
        keys.push_back(QByteArrayLiteral("Param") + QByteArray::number(i) + '=' + QByteArray::number(i * 7919 % 100003));
    const QString sqlite = scratch.filePath(QStringLiteral("large.mdb"));
    if (!buildSqlite(sqlite, keys))
        return 1;
    Figures figures;
    const auto openSqlite = [&](QString* reason) { return openReferenceStore(sqlite, reason); };
    if (!measure(openSqlite, QStringLiteral("Car1"), scanLines(keys), &figures))
        return 1;
    report(out, QStringLiteral("SQLite, 100k keys"), keys.size(), figures);
    return 0;
}
