// kestrix-check: checks many players' descriptors at once against a program
// folder's reference data and says, for each, what every tweak replaced and
// which genuine lines are missing.

#include "CommandLine.h"
#include "DefaultReferenceFolder.h"
#include "LeagueCheck.h"
#include "ReferenceVersion.h"
#include "ResultVerification.h"
#include "StdoutWriter.h"
#include "VerdictLogWalk.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int AllGenuine = LeagueCheck::AllGenuine;
constexpr int Trouble = LeagueCheck::Trouble;

struct Options {
    LeagueCheckOptions check;
    QString digest;    // a folder whose .dat files to print the digests of, and stop
    QString verifyLog; // a collector's folder whose verdict log's chain to verify, and stop
    QString verify;    // an event's result.json whose signature to verify, and stop
    QString publicKey;
    QString log;
};

const char* Description =
    "Checks Vortrax car descriptors against the reference data of a Kestrix program\n"
    "folder. Each PATH is a descriptor, or a folder searched at any depth for files\n"
    "named as a car's descriptor (BrackwellDescriptor.txt, grelmdescriptor.TXT, ...).\n"
    "For every tweaked line it says which genuine line it replaced, and it lists the\n"
    "genuine lines a descriptor lost.\n"
    "\n"
    "Each descriptor is genuine, formatting (only editor noise: line ends, white\n"
    "space, comments, order), damaged (empty, binary or cut off), tweaked (a value\n"
    "changed, added, missing, moved or repeated, or another car's descriptor), or an\n"
    "error. Verdicts go to stdout; errors and warnings to stderr. A file larger than\n"
    "--max-size (64 KiB unless given) is an error, unread: a descriptor is about 5 KB.\n"
    "A link to a file is an error too, given or found, with --follow as well: a\n"
    "player's link could otherwise lead the check, and --correct, to any file.\n"
    "\n"
    "Exit status: 0 when every descriptor is genuine or formatting only, 1 when one\n"
    "or more is tweaked or damaged, 2 on any error (a wrong option, reference data\n"
    "that fails its check, a PATH that is not there, a descriptor that cannot be\n"
    "read, no descriptor found, output that cannot be written), 130 or 143 when\n"
    "SIGINT or SIGTERM stopped the run: the checks and corrections under way are\n"
    "finished, and the summary says interrupted. With --verify-log or --verify: 0\n"
    "when all holds, 1 naming the first thing that does not, 2 on an error.";

using CommandLine::complain;

// The command line's own bytes for each path Qt's parser gave as text: a
// name that is not valid in the locale's encoding is kept exactly.
QList<QByteArray> pathsAsGiven(const QStringList& paths, const QList<QByteArray>& argv)
{
    QList<QByteArray> given;
    QList<QByteArray> unused = argv;
    for (const QString& path : paths) {
        const auto found = std::find_if(unused.begin(), unused.end(),
                                        [&](const QByteArray& argument) { return QFile::decodeName(argument) == path; });
        if (found == unused.end()) {
            given << QFile::encodeName(path);
            continue;
        }
        given << *found;
        unused.erase(found);
    }
    return given;
}

std::optional<Options> parseOptions(const QStringList& arguments, const QList<QByteArray>& argv, int* exitStatus)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("The program folder with Sam.mdb and the cars' .dat files "
                                                   "(default: the folder of kestrix-check when it holds Sam.mdb, "
                                                   "else " KESTRIX_REFERENCE_DIR ")."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption car(QStringLiteral("car"),
                                 QStringLiteral("The car of descriptors given directly whose names say none."),
                                 QStringLiteral("NAME"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("JSON Lines on stdout, one object a descriptor."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Also writes a self-contained HTML page of the results."),
                                    QStringLiteral("FILE.html"));
    const QCommandLineOption jobs(QStringLiteral("jobs"),
                                  QStringLiteral("Checks on N threads (default: the machine's cores)."), QStringLiteral("N"));
    const QCommandLineOption maxSize(QStringLiteral("max-size"),
                                     QStringLiteral("The largest file checked as a descriptor, in bytes (default: "
                                                    "65536); a larger one is an error."),
                                     QStringLiteral("BYTES"));
    const QCommandLineOption correct(QStringLiteral("correct"),
                                     QStringLiteral("Writes the genuine descriptor over each tweaked one, keeping the "
                                                    "tweaked file beside it as <name>.tweaked-<yyyymmdd-hhmmss>."));
    const QCommandLineOption skip(QStringLiteral("skip-reference-check"),
                                  QStringLiteral("Checks even when the reference data fails its size and date check."));
    const QCommandLineOption keep(QStringLiteral("keep"),
                                  QStringLiteral("With --correct, keeps the tweaked files in DIR, as "
                                                 "DIR/<player>/<path below the player>.tweaked-<stamp>, out of the "
                                                 "players' reach, instead of beside each file."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption follow(QStringLiteral("follow"),
                                    QStringLiteral("Follows symbolic links to folders (they are named and passed by "
                                                   "otherwise, as find does)."));
    const QCommandLineOption allCopies(QStringLiteral("all-copies"),
                                       QStringLiteral("In a kestrix-collect folder, checks every file a player sent, "
                                                      "not only the latest of each car."));
    const QCommandLineOption playerDepth(QStringLiteral("player-depth"),
                                         QStringLiteral("1 (the default): the first folder below each PATH is a "
                                                        "player; 0: each PATH's own last name is the player."),
                                         QStringLiteral("N"));
    const QCommandLineOption rules(QStringLiteral("rules"),
                                   QStringLiteral("A league's rules (TOML): values allowed to differ, whether formatting "
                                                  "counts, other accepted versions of the genuine descriptors."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption explain(QStringLiteral("explain"),
                                     QStringLiteral("With --rules, prints the rules as understood, with the genuine keys "
                                                    "each one matches, and checks nothing."));
    const QCommandLineOption digest(QStringLiteral("digest"),
                                    QStringLiteral("Prints the sha256.<car> lines of a folder of .dat files, for a "
                                                   "[[reference]] of the rules, and checks nothing."),
                                    QStringLiteral("FOLDER"));
    const QCommandLineOption verifyLog(QStringLiteral("verify-log"),
                                       QStringLiteral("Verifies the hash chain of a kestrix-collect folder's verdict "
                                                      "logs (rotated and .gz ones too), and checks nothing."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption verify(QStringLiteral("verify"),
                                    QStringLiteral("Verifies an event's signed result (RESULT.json.sig beside it) with "
                                                   "--public-key, and checks nothing."),
                                    QStringLiteral("RESULT.json"));
    const QCommandLineOption publicKey(QStringLiteral("public-key"),
                                       QStringLiteral("With --verify, the league's public key: its base64, or a file "
                                                      "holding it."),
                                       QStringLiteral("KEY"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("With --verify, also checks that the records the result cites are in "
                                                "the chain of DIR's verdict logs."),
                                 QStringLiteral("DIR"));
    parser.addOptions({folder, car, json, report, jobs, maxSize, correct, keep, follow, allCopies, playerDepth, rules, explain,
                       digest, skip, verifyLog, verify, publicKey, log});
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Descriptors or folders to check."),
                                 QStringLiteral("PATH..."));
    if (!CommandLine::parse(parser, arguments, exitStatus))
        return std::nullopt;
    const auto wrong = [&](const QString& message) {
        *exitStatus = CommandLine::wrong(parser, message);
        return std::nullopt;
    };

    Options options;
    LeagueCheckOptions& check = options.check;
    check.folder = parser.isSet(folder) ? parser.value(folder) : defaultReferenceFolder();
    check.tool = QStringLiteral("kestrix-check %1").arg(QCoreApplication::applicationVersion());
    check.json = parser.isSet(json);
    check.report = parser.value(report);
    check.correct = parser.isSet(correct);
    check.skipReferenceCheck = parser.isSet(skip);
    check.keep = QFile::encodeName(parser.value(keep));
    check.finder.followLinks = parser.isSet(follow);
    check.finder.allCopies = parser.isSet(allCopies);
    check.rules = parser.value(rules);
    check.explain = parser.isSet(explain);
    options.digest = parser.value(digest);
    options.verifyLog = parser.value(verifyLog);
    options.verify = parser.value(verify);
    options.publicKey = parser.value(publicKey);
    options.log = parser.value(log);
    if (!options.verify.isEmpty() && options.publicKey.isEmpty())
        return wrong(QStringLiteral("--verify needs --public-key KEY"));
    if (check.explain && check.rules.isEmpty())
        return wrong(QStringLiteral("--explain explains the rules of --rules FILE; give both"));
    if (parser.isSet(playerDepth)) {
        const QString depth = parser.value(playerDepth);
        if (depth != QStringLiteral("0") && depth != QStringLiteral("1"))
            return wrong(QStringLiteral("--player-depth is 0 or 1, not \"%1\"").arg(depth));
        check.finder.playerDepth0 = depth == QStringLiteral("0");
    }
    check.paths = pathsAsGiven(parser.positionalArguments(), argv);
    check.jobs = std::max(1, QThread::idealThreadCount());
    if (parser.isSet(car) && !(check.finder.givenCar = CarCatalogue::carNamed(parser.value(car))))
        return wrong(QStringLiteral("there is no car \"%1\"; the cars are %2")
                         .arg(parser.value(car), CarCatalogue::listEntries().join(QStringLiteral(", "))));
    if (parser.isSet(jobs)) {
        bool ok = false;
        check.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || check.jobs < 1)
            return wrong(QStringLiteral("--jobs needs a whole number of threads, 1 or more, not \"%1\"").arg(parser.value(jobs)));
    }
    if (parser.isSet(maxSize)) {
        bool ok = false;
        check.largest = parser.value(maxSize).toLongLong(&ok);
        if (!ok || check.largest < 1)
            return wrong(QStringLiteral("--max-size needs a whole number of bytes, 1 or more, not \"%1\"")
                             .arg(parser.value(maxSize)));
    }
    if (check.paths.isEmpty() && !check.explain && options.digest.isEmpty() && options.verifyLog.isEmpty()
        && options.verify.isEmpty())
        return wrong(QStringLiteral("no PATH to check"));
    if (parser.isSet(keep) && !check.correct)
        return wrong(QStringLiteral("--keep keeps what --correct replaces; give both"));
    return options;
}

// Flushes stdout; false, having said why, when anything failed to arrive.
bool closeOutput(StdoutWriter& output)
{
    QString error;
    if (output.close(&error))
        return true;
    complain(error);
    return false;
}

int printDigests(const QString& folder)
{
    QString error;
    const QStringList lines = digestLines(folder, &error);
    if (!error.isEmpty()) {
        complain(error);
        return Trouble;
    }
    StdoutWriter output;
    for (const QString& line : lines)
        output.write(line + u'\n');
    return closeOutput(output) ? AllGenuine : Trouble;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    int exitStatus = Trouble;
    QList<QByteArray> given;
    for (int i = 1; i < argc; ++i)
        given << QByteArray(argv[i]);
    const std::optional<Options> options = parseOptions(app.arguments(), given, &exitStatus);
    if (!options)
        return exitStatus;
    if (!options->verifyLog.isEmpty() || !options->verify.isEmpty()) {
        QString out;
        QString err;
        const int status = options->verify.isEmpty()
            ? verifyLogCommand(options->verifyLog, &out, &err)
            : verifyResultCommand(options->verify, options->publicKey, options->log, &out, &err);
        std::fputs(out.toLocal8Bit().constData(), stdout);
        if (!err.isEmpty())
            complain(err);
        return status;
    }
    if (!options->digest.isEmpty())
        return printDigests(options->digest);
    StdoutWriter output;
    return LeagueCheck(options->check, complain).run(output);
}
