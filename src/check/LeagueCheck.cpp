#include "LeagueCheck.h"

#include "CheckRun.h"
#include "CheckSetup.h"
#include "DescriptorCorrection.h"
#include "HtmlReport.h"
#include "LeagueRules.h"
#include "PlayerTally.h"
#include "ProgressLine.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "RunInterruption.h"
#include "ShownText.h"
#include "StdoutWriter.h"
#include "TextReport.h"
#include "VerdictJson.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace {

QString signalName(int signalNumber)
{
    return signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
}

} // namespace

// What one run keeps between its checks, and the steps it takes.
struct LeagueCheck::Run {
    Run(const LeagueCheckOptions& options, const Complaint& complain, StdoutWriter& output)
        : options(options)
        , complain(complain)
        , output(output)
    {
    }

    const LeagueCheckOptions& options;
    const Complaint& complain;
    StdoutWriter& output;

    std::vector<const Car*> cars;
    std::vector<std::unique_ptr<ReferenceStore>> stores;
    std::shared_ptr<const CheckSetup> setup;
    QString stamp; // of the tweaked files --correct keeps
    std::optional<HtmlReport> html;
    qint64 counts[Verdict::StatusCount] = {};
    PlayerTally players;
    ProgressLine progress{QStringLiteral("kestrix-check")};
    // What --correct kept of each tweaked file, by its path.
    std::mutex keptMutex;
    std::map<QByteArray, QByteArray> kept;

    FinderOptions finderOptions(int listers) const
    {
        FinderOptions finder = options.finder;
        finder.listers = listers;
        return finder;
    }

    // The cars whose reference data the descriptors need: a first walk that
    // takes nothing in, and stops once it has met every car.
    std::vector<const Car*> carsNeeded() const
    {
        DescriptorFinder finder(options.paths, finderOptions(0));
        std::set<const Car*> needed;
        FoundDescriptor found;
        while (needed.size() < CarCatalogue::cars().size() && finder.next(&found)) {
            if (found.car && found.error.isEmpty())
                needed.insert(found.car);
        }
        return {needed.begin(), needed.end()};
    }

    // The reference data checked, a store for each job, the setup read;
    // false, having said why, when nothing can be checked.
    bool prepare()
    {
        if (!options.explain)
            cars = carsNeeded();
        if (options.skipReferenceCheck) {
            complain(QStringLiteral("the reference data in %1 was not checked by size and date (--skip-reference-check)")
                         .arg(QDir::toNativeSeparators(options.folder)));
        } else if (const QStringList failures = ReferenceFolder(options.folder).verify(cars); !failures.isEmpty()) {
            for (const QString& failure : failures)
                complain(failure);
            complain(QStringLiteral("the reference data failed its check, so nothing was checked"));
            return false;
        }
        for (int i = 0; i < options.jobs; ++i) {
            QString error;
            stores.push_back(ReferenceFolder(options.folder).openStore(cars, &error));
            if (!stores.back()) {
                complain(error);
                return false;
            }
        }
        QString error;
        setup = loadCheckSetup(options.folder, options.rules, *stores.front(), options.tool, &error, cars);
        if (!setup)
            complain(error);
        return setup != nullptr;
    }

    bool closeOutput()
    {
        QString error;
        if (output.close(&error))
            return true;
        complain(error);
        return false;
    }

    // On the checking thread, once the rules judged the verdict.
    void correctTweaked(Verdict& verdict)
    {
        if (!options.correct || verdict.status != Verdict::Status::Tweaked)
            return;
        QByteArray keptAs;
        QString error;
        if (correctDescriptor(verdict.path, verdict.identity, setup->reference->genuine(*verdict.car)->bytes, stamp,
                              CorrectionPlace::of(verdict, options.keep), &keptAs, &error)) {
            const std::lock_guard lock(keptMutex);
            kept[verdict.path] = keptAs;
        } else {
            verdict.status = Verdict::Status::Error;
            verdict.error = error;
        }
    }

    // In the order found.
    void report(const Verdict& verdict, std::size_t done)
    {
        ++counts[int(verdict.status)];
        QByteArray keptAs;
        {
            const std::lock_guard lock(keptMutex);
            if (const auto entry = kept.find(verdict.path); entry != kept.end())
                keptAs = entry->second;
        }
        progress.clear();
        if (const QString warning = players.add(verdict); !warning.isEmpty())
            complain(warning);
        if (options.json) {
            QJsonObject object = verdictJson(verdict);
            for (auto field = setup->proof.begin(); field != setup->proof.end(); ++field)
                object.insert(field.key(), field.value());
            if (!keptAs.isEmpty())
                object.insert(QStringLiteral("kept"), ShownText::jsonName(keptAs));
            output.write(jsonLine(object));
        } else if (verdict.status == Verdict::Status::Error) {
            std::fflush(stdout);
            complain(verdict.error);
        } else {
            output.write(verdictText(verdict, keptAs));
        }
        if (html)
            html->add(verdict, setup->reference->genuineBytesOf(verdict), keptAs);
        progress.update(done);
    }

    int checkAll()
    {
        const ReferenceFolder& reference = *setup->reference;
        if (options.explain) {
            for (const QString& line : setup->rules->explain(reference.allGenuine()))
                output.write(line + u'\n');
            return closeOutput() ? AllGenuine : Trouble;
        }
        if (!setup->digest)
            complain(setup->digestError);
        const QDateTime started = QDateTime::currentDateTime();
        stamp = started.toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!options.report.isEmpty()) {
            if (!setup->digest)
                return Trouble;
            html.emplace(QDir(options.folder).absolutePath().section(u'/', -1), *setup->digest, options.tool, started);
        }

        // With more than one thread, as many more list folders ahead of the walk.
        DescriptorFinder finder(options.paths, finderOptions(options.jobs > 1 ? options.jobs : 0),
                                [this](const QString& notice) {
                                    progress.clear();
                                    complain(notice);
                                });
        RunInterruption::install();
        const bool finished = runChecks(
            finder, reference, stores, options.largest, setup->rules ? &*setup->rules : nullptr,
            [this](Verdict& verdict) { correctTweaked(verdict); },
            [this](const Verdict& verdict, std::size_t done) { report(verdict, done); },
            [] { return RunInterruption::signal() != 0; });
        progress.clear();
        return finish(finder, finished ? 0 : RunInterruption::signal());
    }

    // The errors of the walk, the players' lines, the summary and the page.
    int finish(const DescriptorFinder& finder, int interruption)
    {
        qint64 all = 0;
        for (const qint64 count : counts)
            all += count;
        const QStringList pathErrors = finder.pathErrors();
        for (const QString& pathError : pathErrors)
            complain(pathError);
        QStringList empty;
        for (const QByteArray& path : finder.emptyPaths())
            empty << ShownText::name(path);
        if (all == 0 && !interruption) {
            if (!empty.isEmpty())
                complain(QStringLiteral("no descriptors found in %1").arg(empty.join(QStringLiteral(", "))));
            return Trouble;
        }
        for (const QString& path : empty)
            complain(QStringLiteral("no descriptors found in %1").arg(path));
        const std::optional<LeagueRules>& rules = setup->rules;
        QString summary =
            summaryText(counts, players.players(), players.playersWithTweaks(),
                        options.correct ? std::optional<qint64>(qint64(kept.size())) : std::nullopt, rules.has_value());
        if (interruption)
            summary = summary.trimmed()
                + QStringLiteral("; interrupted by %1, the rest not checked\n").arg(signalName(interruption));
        if (!options.json) {
            for (const QString& line : players.lines())
                output.write(line + u'\n');
            output.write(summary);
        } else if (interruption) {
            complain(summary.trimmed());
        }
        bool trouble = counts[int(Verdict::Status::Error)] > 0 || !pathErrors.isEmpty();
        if (!closeOutput())
            trouble = true;
        if (html) {
            html->setSummary(summary.trimmed());
            if (rules)
                html->setRules(QFileInfo(rules->path()).fileName(), rules->sha256(), rules->bytes());
            QString error;
            if (!html->write(options.report, &error)) {
                complain(error);
                trouble = true;
            }
        }
        // As a shell reports a process that a signal ended.
        if (interruption)
            return 128 + interruption;
        if (trouble)
            return Trouble;
        return counts[int(Verdict::Status::Tweaked)] + counts[int(Verdict::Status::Damaged)] > 0 ? SomeTweaked
                                                                                                 : AllGenuine;
    }
};

LeagueCheck::LeagueCheck(LeagueCheckOptions options, Complaint complain)
    : m_options(std::move(options))
    , m_complain(std::move(complain))
{
}

int LeagueCheck::run(StdoutWriter& output)
{
    Run run(m_options, m_complain, output);
    return run.prepare() ? run.checkAll() : Trouble;
}
