// kestrix-check: checks many players' descriptors at once against a program
// folder's reference data and says, for each, what every tweak replaced and
// which genuine lines are missing.

#include "CheckRun.h"
#include "CommandLine.h"
#include "DescriptorCorrection.h"
#include "DescriptorFinder.h"
#include "HtmlReport.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "TextReport.h"
#include "VerdictJson.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <unistd.h>

namespace {

enum ExitStatus { AllGenuine = 0, SomeTweaked = 1, Trouble = 2 };

struct Options {
    QString folder;
    const Car* car = nullptr;
    bool json = false;
    QString report;
    int jobs = 1;
    bool correct = false;
    bool skipReferenceCheck = false;
    QStringList paths;
};

const char* Description =
    "Checks Vortrax car descriptors against the reference data of a Kestrix program\n"
    "folder. Each PATH is a descriptor, or a folder searched at any depth for files\n"
    "named as a car's descriptor (BrackwellDescriptor.txt, grelmdescriptor.TXT, ...).\n"
    "For every tweaked line it says which genuine line it replaced, and it lists the\n"
    "genuine lines a descriptor lost.\n"
    "\n"
    "Exit status: 0 when every descriptor is genuine, 1 when one or more is tweaked,\n"
    "2 on any error (a wrong option, reference data that fails its check, a\n"
    "descriptor that cannot be read).";

using CommandLine::complain;

std::optional<Options> parseOptions(const QStringList& arguments, int* exitStatus)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("The program folder with Sam.mdb and the cars' .dat files "
                                                   "(default: the folder of kestrix-check)."),
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
    const QCommandLineOption correct(QStringLiteral("correct"),
                                     QStringLiteral("Writes the genuine descriptor over each tweaked one, keeping the "
                                                    "tweaked file beside it as <name>.tweaked-<yyyymmdd-hhmmss>."));
    const QCommandLineOption skip(QStringLiteral("skip-reference-check"),
                                  QStringLiteral("Checks even when the reference data fails its size and date check."));
    parser.addOptions({folder, car, json, report, jobs, correct, skip});
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Descriptors or folders to check."),
                                 QStringLiteral("PATH..."));
    if (!CommandLine::parse(parser, arguments, exitStatus))
        return std::nullopt;
    const auto wrong = [&](const QString& message) {
        *exitStatus = CommandLine::wrong(parser, message);
        return std::nullopt;
    };

    Options options;
    options.folder = parser.isSet(folder) ? parser.value(folder) : QCoreApplication::applicationDirPath();
    options.json = parser.isSet(json);
    options.report = parser.value(report);
    options.correct = parser.isSet(correct);
    options.skipReferenceCheck = parser.isSet(skip);
    options.paths = parser.positionalArguments();
    options.jobs = std::max(1, QThread::idealThreadCount());
    if (parser.isSet(car) && !(options.car = CarCatalogue::carNamed(parser.value(car))))
        return wrong(QStringLiteral("there is no car \"%1\"; the cars are %2")
                         .arg(parser.value(car), CarCatalogue::listEntries().join(QStringLiteral(", "))));
    if (parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1)
            return wrong(QStringLiteral("--jobs needs a whole number of threads, 1 or more, not \"%1\"").arg(parser.value(jobs)));
    }
    if (options.paths.isEmpty())
        return wrong(QStringLiteral("no PATH to check"));
    return options;
}

// The cars whose reference data the descriptors need: a first walk that
// takes nothing in, and stops once it has met every car.
std::vector<const Car*> carsNeeded(const Options& options)
{
    DescriptorFinder finder(options.paths, options.car);
    std::set<const Car*> cars;
    FoundDescriptor found;
    while (cars.size() < CarCatalogue::cars().size() && finder.next(&found)) {
        if (found.car && found.error.isEmpty())
            cars.insert(found.car);
    }
    return {cars.begin(), cars.end()};
}

// A line on stderr that says how far the check has come, for a person
// watching a terminal.
class Progress
{
public:
    Progress()
        : m_terminal(::isatty(STDERR_FILENO))
    {
        m_sinceShown.start();
    }

    // From the second descriptor on, ten times a second at most.
    void update(std::size_t done)
    {
        if (!m_terminal || done < 2 || m_sinceShown.elapsed() < 100)
            return;
        m_sinceShown.restart();
        m_shown = true;
        CommandLine::print(stderr, QStringLiteral("\rkestrix-check: %1 descriptors checked").arg(done));
    }

    void clear()
    {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
        m_shown = false;
    }

private:
    bool m_terminal;
    bool m_shown = false;
    QElapsedTimer m_sinceShown;
};

int run(const Options& options)
{
    const std::vector<const Car*> cars = carsNeeded(options);
    ReferenceFolder reference(options.folder);

    if (options.skipReferenceCheck) {
        complain(QStringLiteral("the reference data in %1 was not checked by size and date (--skip-reference-check)")
                     .arg(QDir::toNativeSeparators(options.folder)));
    } else if (const QStringList failures = reference.verify(cars); !failures.isEmpty()) {
        for (const QString& failure : failures)
            complain(failure);
        complain(QStringLiteral("the reference data failed its check, so nothing was checked"));
        return Trouble;
    }

    std::vector<std::unique_ptr<ReferenceStore>> stores;
    for (int i = 0; i < options.jobs; ++i) {
        QString error;
        stores.push_back(reference.openStore(cars, &error));
        if (!stores.back()) {
            complain(error);
            return Trouble;
        }
    }
    reference.loadGenuine(cars, *stores.front());

    const QDateTime started = QDateTime::currentDateTime();
    const QString stamp = started.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    std::optional<HtmlReport> html;
    if (!options.report.isEmpty())
        html.emplace(QDir::toNativeSeparators(QDir(options.folder).absolutePath()), started);
    qint64 counts[3] = {0, 0, 0};
    Progress progress;

    // What --correct kept of each tweaked file, by its path.
    std::mutex keptMutex;
    std::map<QString, QString> kept;
    const auto correctTweaked = [&](Verdict& verdict) {
        if (!options.correct || verdict.status != Verdict::Status::Tweaked)
            return;
        QString keptAs;
        QString error;
        if (correctDescriptor(verdict.path, reference.genuine(*verdict.car)->bytes, stamp, &keptAs, &error)) {
            const std::lock_guard lock(keptMutex);
            kept[verdict.path] = keptAs;
        } else {
            verdict.status = Verdict::Status::Error;
            verdict.error = QStringLiteral("%1 (it is tweaked and was not corrected)").arg(error);
        }
    };
    const auto report = [&](const Verdict& verdict, std::size_t done) {
        ++counts[int(verdict.status)];
        QString keptAs;
        {
            const std::lock_guard lock(keptMutex);
            if (const auto entry = kept.find(verdict.path); entry != kept.end())
                keptAs = entry->second;
        }
        progress.clear();
        if (options.json) {
            QJsonObject object = verdictJson(verdict);
            if (!keptAs.isEmpty())
                object.insert(QStringLiteral("kept"), keptAs);
            std::fputs(jsonLine(object).constData(), stdout);
        } else if (verdict.status == Verdict::Status::Error) {
            std::fflush(stdout);
            complain(verdict.error);
        } else {
            CommandLine::print(stdout, verdictText(verdict, keptAs));
        }
        if (html)
            html->add(verdict);
        progress.update(done);
    };
    // With more than one thread, as many more list folders ahead of the walk.
    DescriptorFinder finder(options.paths, options.car, options.jobs > 1 ? options.jobs : 0);
    runChecks(finder, reference, stores, correctTweaked, report);
    progress.clear();

    const qint64 genuine = counts[int(Verdict::Status::Genuine)];
    const qint64 tweaked = counts[int(Verdict::Status::Tweaked)];
    qint64 errors = counts[int(Verdict::Status::Error)];
    if (!options.json)
        CommandLine::print(stdout, summaryText(genuine, tweaked, errors));
    if (html) {
        QString error;
        if (!html->write(options.report, &error)) {
            complain(error);
            ++errors;
        }
    }
    return errors > 0 ? Trouble : tweaked > 0 ? SomeTweaked : AllGenuine;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    int exitStatus = Trouble;
    const std::optional<Options> options = parseOptions(app.arguments(), &exitStatus);
    if (!options)
        return exitStatus;
    return run(*options);
}
