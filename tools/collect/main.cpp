// kestrix-collect: a league's always-on receiver. It takes every player's
// descriptor at once, by the same protocol as the receiver window, keeps
// each under its sender, and checks it.

#include "CollectContext.h"
#include "CollectServer.h"
#include "CommandLine.h"
#include "EventLog.h"
#include "FileSystem.h"
#include "ReceivedName.h"
#include "LeagueRules.h"
#include "ReferenceDigest.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <cmath>
#include <optional>

namespace {

using namespace std::chrono_literals;
using CommandLine::complain;

constexpr int Trouble = 2;
constexpr auto StopGrace = 5s;

struct Options {
    quint16 port = 0;
    QString dir;
    QString folder;
    QHostAddress bind = QHostAddress::Any;
    qint64 maxSize = 1024 * 1024;
    int maxConnections = 64;
    std::chrono::milliseconds idleTimeout = 30s;
    bool json = false;
    bool skipReferenceCheck = false;
    QString rules;
};

const char* Description =
    "Receives Vortrax car descriptors from many players at once, by the FILEINFO\n"
    "protocol of the Kestrix receiver window (kestrix-send speaks it), keeps each as\n"
    "DIR/<sender address>/<yyyymmdd-hhmmss-mmm>-<name>, checks each whose name says\n"
    "a car against the reference data of a program folder, and appends its verdict\n"
    "to DIR/verdicts.jsonl. One line an event on stdout. SIGINT or SIGTERM stops it:\n"
    "transfers in progress get 5 seconds to end, then keep what arrived as .partial.\n"
    "\n"
    "Exit status: 0 after a stop, 2 when it cannot start (a wrong option, reference\n"
    "data that fails its check, a port it cannot listen on).";

std::optional<Options> parseOptions(const QStringList& arguments, int* exitStatus)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("The port to listen on (0: any free one)."),
                                  QStringLiteral("N"));
    const QCommandLineOption dir(QStringLiteral("dir"), QStringLiteral("Where received files and verdicts go."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("The program folder with Sam.mdb and the cars' .dat files "
                                                   "(default: the folder of kestrix-collect)."),
                                    QStringLiteral("PROGRAM_FOLDER"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("The address to listen on (default: all)."),
                                  QStringLiteral("ADDR"));
    const QCommandLineOption maxSize(QStringLiteral("max-size"),
                                     QStringLiteral("The largest file taken, as announced (default: 1048576)."),
                                     QStringLiteral("BYTES"));
    const QCommandLineOption maxConnections(QStringLiteral("max-connections"),
                                            QStringLiteral("Connections served at once; more wait (default: 64)."),
                                            QStringLiteral("N"));
    const QCommandLineOption idle(QStringLiteral("idle-timeout"),
                                  QStringLiteral("A connection silent this long is closed (default: 30)."),
                                  QStringLiteral("SECONDS"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Events as JSON Lines."));
    const QCommandLineOption skip(QStringLiteral("skip-reference-check"),
                                  QStringLiteral("Starts even when the reference data fails its size and date check."));
    const QCommandLineOption rules(QStringLiteral("rules"),
                                   QStringLiteral("A league's rules (TOML), applied to every file received."),
                                   QStringLiteral("FILE"));
    parser.addOptions({port, dir, folder, bind, maxSize, maxConnections, idle, json, rules, skip});
    if (!CommandLine::parse(parser, arguments, exitStatus))
        return std::nullopt;
    const auto wrong = [&](const QString& message) {
        *exitStatus = CommandLine::wrong(parser, message);
        return std::nullopt;
    };
    if (!parser.positionalArguments().isEmpty())
        return wrong(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (!parser.isSet(port) || !parser.isSet(dir))
        return wrong(QStringLiteral("--port and --dir are needed"));

    Options options;
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return wrong(QStringLiteral("--port needs a port, 0 to 65535, not \"%1\"").arg(parser.value(port)));
    options.port = quint16(portNumber);
    options.dir = parser.value(dir);
    options.folder = parser.isSet(folder) ? parser.value(folder) : QCoreApplication::applicationDirPath();
    if (parser.isSet(bind) && !options.bind.setAddress(parser.value(bind)))
        return wrong(QStringLiteral("--bind needs an IP address, not \"%1\"").arg(parser.value(bind)));
    if (parser.isSet(maxSize)) {
        options.maxSize = parser.value(maxSize).toLongLong(&ok);
        if (!ok || options.maxSize < 1)
            return wrong(QStringLiteral("--max-size needs a number of bytes, 1 or more"));
    }
    if (parser.isSet(maxConnections)) {
        options.maxConnections = parser.value(maxConnections).toInt(&ok);
        if (!ok || options.maxConnections < 1)
            return wrong(QStringLiteral("--max-connections needs a whole number, 1 or more"));
    }
    if (parser.isSet(idle)) {
        const double seconds = parser.value(idle).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
            return wrong(QStringLiteral("--idle-timeout needs a number of seconds above 0, a day at most"));
        options.idleTimeout = std::chrono::milliseconds(std::max<qint64>(1, qint64(seconds * 1000)));
    }
    options.json = parser.isSet(json);
    options.skipReferenceCheck = parser.isSet(skip);
    options.rules = parser.value(rules);
    return options;
}

std::vector<const Car*> everyCar()
{
    std::vector<const Car*> cars;
    for (const Car& car : CarCatalogue::cars())
        cars.push_back(&car);
    return cars;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-collect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    int exitStatus = Trouble;
    const std::optional<Options> options = parseOptions(app.arguments(), &exitStatus);
    if (!options)
        return exitStatus;

    if (!QDir().mkpath(options->dir)) {
        complain(FileSystem::failure(options->dir, QStringLiteral("the folder cannot be made")));
        return Trouble;
    }
    ReferenceFolder reference(options->folder);
    const std::vector<const Car*> cars = everyCar();
    if (options->skipReferenceCheck) {
        complain(QStringLiteral("the reference data in %1 was not checked by size and date (--skip-reference-check)")
                     .arg(QDir::toNativeSeparators(options->folder)));
    } else if (const QStringList failures = reference.verify(cars); !failures.isEmpty()) {
        for (const QString& failure : failures)
            complain(failure);
        complain(QStringLiteral("the reference data failed its check, so the collector did not start"));
        return Trouble;
    }
    QString error;
    const std::unique_ptr<ReferenceStore> store = reference.openStore(cars, &error);
    if (!store) {
        complain(error);
        return Trouble;
    }
    reference.loadGenuine(cars, *store);
    std::optional<LeagueRules> rules;
    if (!options->rules.isEmpty()) {
        if (!(rules = LeagueRules::load(options->rules, &error)) || !rules->loadReferences(&error)) {
            complain(error);
            complain(QStringLiteral("the rules could not be read, so the collector did not start"));
            return Trouble;
        }
        for (const ReferenceVersion& version : rules->references()) {
            for (const auto& [car, bytes] : version.bytes)
                reference.addVersion(version.name, *car, bytes, *store);
        }
    }
    const std::optional<QByteArray> digest = referenceDigest(options->folder, &error);
    if (!digest)
        complain(error);

    EventLog events(options->json);
    CollectContext context;
    context.dir = QDir(options->dir).absolutePath();
    context.maxSize = options->maxSize;
    context.idleTimeout = options->idleTimeout;
    context.ownFiles = programOwnFiles(QStringLiteral("kestrix-collect"));
    context.reference = &reference;
    context.store = store.get();
    context.rules = rules ? &*rules : nullptr;
    context.proof = {
        {QStringLiteral("reference"), digest ? QJsonValue(QString::fromLatin1(*digest)) : QJsonValue()},
        {QStringLiteral("rules"), rules ? QJsonValue(QString::fromLatin1(rules->sha256())) : QJsonValue()},
        {QStringLiteral("tool"), QStringLiteral("kestrix-collect %1").arg(QCoreApplication::applicationVersion())},
    };
    context.events = &events;
    context.verdictLog = QFile::encodeName(context.dir + QStringLiteral("/verdicts.jsonl"));

    // Set before the first event says the collector listens, so that a stop
    // asked for at once is a stop like any other.
    StopSignals stopSignals;
    CollectServer server(context, options->maxConnections);
    if (!server.listen(options->bind, options->port, &error)) {
        complain(QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(options->bind.toString(), QString::number(options->port), error));
        return Trouble;
    }
    events.write(QString(),
                 QStringLiteral("listening on %1 port %2, keeping files in %3")
                     .arg(options->bind.toString(), QString::number(server.port()),
                          QDir::toNativeSeparators(context.dir)),
                 {{QStringLiteral("event"), QStringLiteral("listening")},
                  {QStringLiteral("address"), options->bind.toString()},
                  {QStringLiteral("port"), server.port()},
                  {QStringLiteral("dir"), context.dir}});

    QObject::connect(&stopSignals, &StopSignals::stopRequested, &server, [&](int signalNumber) {
        events.write(QString(), QStringLiteral("stopping on signal %1: no new connections").arg(signalNumber),
                     {{QStringLiteral("event"), QStringLiteral("stopping")}, {QStringLiteral("signal"), signalNumber}});
        server.stop(StopGrace);
    });
    QObject::connect(&server, &CollectServer::stopped, &app, [&] {
        events.write(QString(), QStringLiteral("stopped"), {{QStringLiteral("event"), QStringLiteral("stopped")}});
        QCoreApplication::exit(0);
    });
    return app.exec();
}
