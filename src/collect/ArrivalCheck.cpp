#include "ArrivalCheck.h"

#include "ArrivalStore.h"
#include "BoundedEvidence.h"
#include "CheckSetup.h"
#include "DescriptorCheck.h"
#include "EventLog.h"
#include "HtmlReport.h"
#include "PlayerNotes.h"
#include "TextReport.h"
#include "VerdictJson.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qsizetype MostEvidenceBytes = 512 * 1024;

Verdict verdictOf(const QString& path, const Car* car, const QByteArray& player, const CheckSetup& setup,
                  ReferenceStore& store)
{
    Verdict verdict;
    verdict.path = QFile::encodeName(path);
    verdict.player = player;
    verdict.car = car;
    if (!car)
        return verdict;
    if (setup.reference->genuine(*car))
        verdict = checkDescriptor(QFile::encodeName(path), setup.reference->versions(*car),
                                  setup.reference->allGenuine(), store, LargestDescriptor,
                                  setup.rules ? &*setup.rules : nullptr);
    else
        verdict.error = setup.reference->genuineError(*car);
    verdict.player = player;
    return verdict;
}

} // namespace

// With an anchor of the car's own, so that a link can lead to it, and the
// file named as the player's folder and the name it is kept under: the
// page is public, the collector's own paths are not.
QByteArray drawEvidence(Verdict verdict, const CheckSetup& setup)
{
    if (!verdict.car || verdict.status == Verdict::Status::Genuine)
        return QByteArray();
    const qsizetype name = verdict.path.lastIndexOf('/');
    verdict.path = verdict.path.mid(verdict.path.lastIndexOf('/', name - 1) + 1);
    const QByteArray anchor = "car-" + verdict.car->listEntry.toUtf8();
    const QByteArray evidence = HtmlReport::fileSection(anchor, verdict, setup.reference->genuineBytesOf(verdict));
    // The page keeps the latest evidence of every player's every car: a
    // file of nothing but damage must not make it megabytes.
    if (evidence.size() <= MostEvidenceBytes)
        return evidence;
    return "<section class=\"file\" id=\"" + anchor + "\"><p class=\"none\">The evidence of <code>"
        + verdict.path.toPercentEncoding("/") + "</code> is " + QByteArray::number(evidence.size() / 1024)
        + " KiB, too large to show here: <code>kestrix-check --report</code> on the kept file shows it whole.</p></section>\n";
}

namespace {

QString summaryOf(const Verdict& verdict, const QString& status)
{
    QString text = QStringLiteral("verdict %1").arg(status);
    if (!verdict.car)
        return text + QStringLiteral(": the name says no car");
    if (verdict.status == Verdict::Status::Tweaked || verdict.status == Verdict::Status::Allowed)
        return text + QStringLiteral(" (%1): %2").arg(verdict.car->listEntry, verdict.differenceCounts());
    return text + QStringLiteral(" (%1)").arg(verdict.car->listEntry)
        + (verdict.error.isEmpty() ? QString() : QStringLiteral(": ") + verdict.error);
}

} // namespace

CheckedArrival storeAndCheck(Arrival& arrival, const CheckSetup& setup, ReferenceStore& store)
{
    QElapsedTimer clock;
    clock.start();
    CheckedArrival failed;
    failed.target = arrival.target;
    const qint64 size = arrival.file->announced();
    if (!ArrivalStore::place(*arrival.file, arrival.target, &failed.failure, &failed.partial))
        return failed;
    CheckedArrival checked = checkKept(arrival.target, arrival.player, arrival.sender, size, arrival.receivedAt, arrival.evidence,
                                         setup, store);
    checked.took = std::chrono::nanoseconds(clock.nsecsElapsed());
    return checked;
}

CheckedArrival checkKept(const QString& target, const QByteArray& player, const QString& sender, qint64 size,
                         const QDateTime& receivedAt, bool evidence, const CheckSetup& setup, ReferenceStore& store)
{
    QElapsedTimer clock;
    clock.start();
    CheckedArrival checked;
    checked.target = target;
    checked.stored = true;
    const Car* car = CarCatalogue::descriptorNameOf(QFile::encodeName(QFileInfo(target).fileName())).car;
    const Verdict verdict = verdictOf(target, car, player, setup, store);
    if (evidence && verdict.car && verdict.status != Verdict::Status::Genuine
        && verdict.status != Verdict::Status::Error)
        checked.verdict = std::make_shared<const Verdict>(verdict);
    for (std::size_t i = 0; i < std::min<std::size_t>(verdict.differences.size(), PlayerNotes::MostDifferences); ++i)
        checked.firstDifferences << differenceText(verdict.differences[i]);
    QJsonObject record = verdictJson(verdict);
    if (!verdict.car) {
        record.insert(QStringLiteral("status"), QStringLiteral("unchecked"));
        record.remove(QStringLiteral("error"));
    }
    BoundedEvidence::bound(record);
    for (auto field = setup.proof.begin(); field != setup.proof.end(); ++field)
        record.insert(field.key(), field.value());
    record.insert(QStringLiteral("time"), EventLog::timeNow());
    record.insert(QStringLiteral("received_at"), receivedAt.toUTC().toString(Qt::ISODateWithMs));
    record.insert(QStringLiteral("sender"), sender);
    record.insert(QStringLiteral("size"), size);
    checked.status = record.value(QStringLiteral("status")).toString();
    checked.summary = summaryOf(verdict, checked.status);
    checked.record = record;
    checked.took = std::chrono::nanoseconds(clock.nsecsElapsed());
    return checked;
}

QByteArray evidenceOfKept(const QString& path, const QByteArray& player, const CheckSetup& setup,
                          ReferenceStore& store)
{
    const Car* car = CarCatalogue::descriptorNameOf(QFile::encodeName(QFileInfo(path).fileName())).car;
    return drawEvidence(verdictOf(path, car, player, setup, store), setup);
}
