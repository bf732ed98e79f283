// Writes the report page of a made-up league checked against the sample
// reference data, for the browser test, the screenshot in docs/ and the
// render benchmark.
//   html_report_sample OUT.html           a few players with every kind of
//                                         verdict, hostile names included
//   html_report_sample OUT.html COUNT     COUNT players with a descriptor
//                                         each, every hundredth tweaked, as
//                                         bench/check_bench.sh makes them

#include "HtmlReport.h"
#include "ReferenceDigest.h"
#include "SampleLeague.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>

namespace {

using Lines = QList<QByteArray>;

QByteArray sampleCars(const Car& car)
{
    QFile file(QStringLiteral(KESTRIX_SOURCE_DIR "/data/Cars") + QString(car.descriptorPath).replace(u'\\', u'/'));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void addShowcase(const SampleLeague& league, HtmlReport& report)
{
    const auto add = [&](const Verdict& verdict) {
        report.add(verdict, verdict.car ? league.genuine(*verdict.car) : QByteArray());
    };
    const auto genuineExcept = [&](const QByteArray& player, std::initializer_list<const char*> except) {
        for (const Car& car : CarCatalogue::cars()) {
            if (std::none_of(except.begin(), except.end(),
                             [&](const char* name) { return car.listEntry == QLatin1String(name); }))
                add(league.check(player, car, league.genuine(car)));
        }
    };

    genuineExcept("alice", {});

    const Car& brackwell = SampleLeague::car("Brackwell");
    add(league.check("bob", brackwell, sampleCars(brackwell)));
    genuineExcept("bob", {"Brackwell"});

    // A value changed among white space an editor added: a trailing space,
    // a tab, a line end that is a lone LF.
    const Car& puddlewick = SampleLeague::car("Puddlewick");
    add(league.check("frank", puddlewick, league.edited(puddlewick, [](Lines& l) {
        l[15] = "Torque=162.7";
        l[16] = "PowerKW=81.6 ";
        l[17] = "IdleRPM=\t939";
        l[18] = "RedlineRPM=8400\nLimiterRPM=8600";
        l.removeAt(19);
    })));
    genuineExcept("frank", {"Puddlewick"});

    // A change the league's rules allow.
    Verdict allowed = league.check("gina", puddlewick, league.edited(puddlewick, [](Lines& l) { l[15] = "Torque=150.0"; }));
    allowed.status = Verdict::Status::Allowed;
    for (Difference& difference : allowed.differences) {
        difference.allowed = true;
        difference.rule = 12;
    }
    add(allowed);
    genuineExcept("gina", {"Puddlewick"});

    const Car& grelm = SampleLeague::car("Grelm");
    add(league.check("carol", grelm, sampleCars(grelm)));
    const Car& dunMarr = SampleLeague::car("DunMarr");
    add(league.check("carol", dunMarr, QByteArray(league.genuine(dunMarr)).replace("\r\n", "\n")));
    genuineExcept("carol", {"Grelm", "DunMarr"});

    // A key moved to another section and another repeated; a file cut off.
    const Car& oldGrist = SampleLeague::car("OldGrist");
    add(league.check("dave", oldGrist, league.edited(oldGrist, [](Lines& l) {
        l.insert(160, l[15]); // Torque, into [Brakes]
        l.removeAt(15);
        l.insert(20, "Inertia=0.059");
    })));
    const Car& skelder = SampleLeague::car("Skelder4");
    add(league.check("dave", skelder, league.genuine(skelder).left(2900)));

    add(SampleLeague::error("erin", SampleLeague::pathOf("erin", puddlewick),
                            QString::fromUtf8(SampleLeague::pathOf("erin", puddlewick))
                                + QStringLiteral(": Permission denied")));
    genuineExcept("erin", {"Puddlewick"});

    // A name that tries to steer a terminal and turn text round; a file with
    // a byte order mark, control bytes, white space, a lone LF and a long line.
    const QByteArray mallory = "mallory\x1b[31m\n\xe2\x80\xae\xff";
    add(league.check(mallory, brackwell, "\xEF\xBB\xBF" + league.edited(brackwell, [](Lines& l) {
        l[15] = QByteArrayLiteral("Torque=4\x00\x01" "12.5");
        l[16] = "PowerKW=255.9 ";
        l[17] = "IdleRPM=\t773";
        l[18] = "RedlineRPM=9800\nLimiterRPM=8000";
        l.removeAt(19);
        QByteArray tokens = "; notes:";
        for (int i = 0; i < 150; ++i)
            tokens += " t" + QByteArray::number(i).rightJustified(3, '0');
        l.insert(100, tokens);
        l.insert(101, "Tweak=" + QByteArray("0123456789").repeated(40) + "Z9");
    })));
}

void addLeague(const SampleLeague& league, HtmlReport& report, int count)
{
    for (int i = 0; i < count; ++i) {
        const Car& car = CarCatalogue::cars()[std::size_t(i % CarCatalogue::CarCount)];
        QByteArray bytes = league.genuine(car);
        if (i % 100 == 7) {
            const qsizetype torque = bytes.indexOf("\r\nTorque=") + 2;
            bytes.replace(torque, bytes.indexOf('\r', torque) - torque, "Torque=999.9");
        }
        report.add(league.check("p" + QByteArray::number(i).rightJustified(5, '0'), car, bytes), league.genuine(car));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        std::fputs("usage: html_report_sample OUT.html [COUNT]\n", stderr);
        return 2;
    }
    const SampleLeague league;
    QString error;
    const std::optional<QByteArray> digest = league.isValid() ? referenceDigest(league.programFolder(), &error)
                                                               : std::nullopt;
    if (!digest) {
        std::fprintf(stderr, "html_report_sample: %s\n", qPrintable(league.isValid() ? error : league.error()));
        return 1;
    }
    HtmlReport report(QStringLiteral("Kestrix 1.0.2"), *digest, QStringLiteral("kestrix-check 0.9.0"),
                      QDateTime(QDate(2024, 5, 18), QTime(21, 4, 37), QTimeZone(2 * 3600)));
    if (arguments.size() == 3)
        addLeague(league, report, arguments[2].toInt());
    else
        addShowcase(league, report);
    if (!report.write(arguments[1], &error)) {
        std::fprintf(stderr, "html_report_sample: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
