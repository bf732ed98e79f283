// kestrix-collect: a league's always-on receiver. It takes every player's
// descriptor at once, by the same protocol as the receiver window, keeps
// each under its player, and checks it.

#include "Collector.h"
#include "CommandLine.h"
#include "DefaultReferenceFolder.h"
#include "NotifyMessage.h"
#include "NotifyPost.h"
#include "NotifyRetry.h"
#include "NotifyTargets.h"
#include "PlayerPreamble.h"
#include "Roster.h"
#include "SigningKey.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QThread>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

using namespace std::chrono_literals;
using CommandLine::complain;

constexpr int Trouble = 2;

const char* Description =
    "Receives Vortrax car descriptors from many players at once, by the FILEINFO\n"
    "protocol of the Kestrix receiver window (kestrix-send speaks it), keeps each as\n"
    "DIR/<player>/<yyyymmdd-hhmmss-mmm>-<name>, checks each whose name says a car\n"
    "against the reference data of a program folder, and appends its verdict to\n"
    "DIR/verdicts.jsonl. With --roster, only the players on it may send, each\n"
    "proving its token (kestrix-send --player); without, a player is the sender's\n"
    "address. One line an event on stdout. SIGINT or SIGTERM stops it: transfers in\n"
    "progress get 5 seconds to end, then keep what arrived as .partial. SIGHUP\n"
    "reloads the roster, the rules and the notification addresses. With\n"
    "--notify-file, tweaked and damaged verdicts, refusals of proven players, cars\n"
    "genuine again after a tweak and events' closes are posted as JSON to each\n"
    "address in the file (a Discord webhook takes them as they are).\n"
    "\n"
    "Exit status: 0 after a stop, 2 when it cannot start (a wrong option, reference\n"
    "data that fails its check, a roster, rules or notification addresses that\n"
    "cannot be read, a port it cannot listen on). --notify-test: 0 when every\n"
    "address answered 2xx, else 1.";

// What the command line asks for: a collector, or one of the token helpers.
struct Request {
    std::optional<CollectOptions> collect;
    QString newTokenFor;
    QString newSigningKey;
    QString notifyTest; // the file of the addresses to test
    bool hashToken = false;
};

template<typename Number>
bool readNumber(const QCommandLineParser& parser, const QCommandLineOption& option, Number least, Number* value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const qint64 number = parser.value(option).toLongLong(&ok);
    if (!ok || number < qint64(least) || number > qint64(std::numeric_limits<Number>::max()))
        return false;
    *value = Number(number);
    return true;
}

bool readSeconds(const QCommandLineParser& parser, const QCommandLineOption& option, std::chrono::milliseconds* value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double seconds = parser.value(option).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
        return false;
    *value = std::chrono::milliseconds(std::max<qint64>(1, qint64(seconds * 1000)));
    return true;
}

// "8080", "0.0.0.0:8080" or "[::1]:8080".
std::optional<HttpEndpoint> httpEndpoint(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    HttpEndpoint endpoint;
    if (colon >= 0) {
        QString address = text.left(colon);
        if (address.startsWith(u'[') && address.endsWith(u']'))
            address = address.mid(1, address.size() - 2);
        if (!endpoint.address.setAddress(address))
            return std::nullopt;
    }
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    endpoint.port = quint16(port);
    return endpoint;
}

std::optional<Request> parseOptions(const QStringList& arguments, int* exitStatus)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const auto option = [](const char* name, const char* description, const char* value = nullptr) {
        return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description), QString::fromLatin1(value))
                     : QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description));
    };
    const QCommandLineOption port = option("port", "The port to listen on (0: any free one).", "N");
    const QCommandLineOption dir = option("dir", "Where received files and verdicts go.", "DIR");
    const QCommandLineOption folder = option("folder",
                                             "The program folder with Sam.mdb and the cars' .dat files "
                                             "(default: the folder of kestrix-collect when it holds Sam.mdb, "
                                             "else " KESTRIX_REFERENCE_DIR ").",
                                             "PROGRAM_FOLDER");
    const QCommandLineOption bind = option("bind", "The address to listen on (default: all).", "ADDR");
    const QCommandLineOption roster = option("roster",
                                             "The league's players (TOML: [[player]] entries of name and "
                                             "token_sha256); only they may send.",
                                             "FILE");
    const QCommandLineOption rules = option("rules", "A league's rules (TOML), applied to every file received.", "FILE");
    const QCommandLineOption maxSize = option("max-size", "The largest file taken, as announced (default: 1048576).", "BYTES");
    const QCommandLineOption maxConnections =
        option("max-connections", "Connections served at once; more wait their turn (default: 64).", "N");
    const QCommandLineOption maxPending =
        option("max-pending", "Connections served and waiting; more are refused (default: 1024).", "N");
    const QCommandLineOption maxPerAddress =
        option("max-per-address", "Connections from one address, served and waiting (default: 8).", "N");
    const QCommandLineOption maxPerPlayer = option("max-per-player", "Transfers of one player at once (default: 4).", "N");
    const QCommandLineOption idle = option("idle-timeout", "A connection silent this long is closed (default: 30).", "SECONDS");
    const QCommandLineOption transferTimeout =
        option("transfer-timeout", "From its connection, the time a whole file may take (default: 60).", "SECONDS");
    const QCommandLineOption openingTimeout = option("opening-timeout",
        "From its connection, the time a player's proof and the FILEINFO header may take; only then is a "
        "connection served (default: 5).", "SECONDS");
    const QCommandLineOption minRate = option("min-rate",
                                              "After 5 s of service, a transfer averaging fewer bytes a second "
                                              "is closed (default: 256).",
                                              "BYTES");
    const QCommandLineOption http = option("http",
        "Serves the league page on PORT, of 127.0.0.1 unless ADDR is given (PORT 0: any free one).", "[ADDR:]PORT");
    const QCommandLineOption httpPerAddress = option("http-per-address",
        "The page's connections from one address, /events listeners among them (default: 16); "
        "behind a reverse proxy every reader comes from the proxy's address.", "N");
    const QCommandLineOption publicUrl = option("public-url",
        "Where players reach the league page (https://league.example.org); a player then hears "
        "the address of their own page with each verdict.", "URL");
    const QCommandLineOption timeZone = option("time-zone",
        "The zone the league page shows times in, by its IANA name (Europe/Paris; default: UTC).", "NAME");
    const QCommandLineOption jobs = option("jobs", "Threads that check files (default: the cores).", "N");
    const QCommandLineOption json = option("json", "Events as JSON Lines.");
    const QCommandLineOption skip =
        option("skip-reference-check", "Starts even when the reference data fails its size and date check.");
    const QCommandLineOption newToken =
        option("new-token", "Prints a fresh token for a player, and the player's roster entry.", "NAME");
    const QCommandLineOption hashToken = option("hash-token", "Reads a token on stdin and prints its roster line.");
    const QCommandLineOption events =
        option("events", "Race events (TOML: [[event]] entries); their results go to DIR/events. Needs --roster.", "FILE");
    const QCommandLineOption signingKey = option("signing-key", "Signs the events' results with this Ed25519 key.", "FILE");
    const QCommandLineOption newSigningKey =
        option("new-signing-key", "Writes a fresh signing key to FILE (mode 0600) and prints its public key.", "FILE");
    const QCommandLineOption notifyFile = option("notify-file",
        "Posts the league's notifications as JSON to each http:// or https:// address in FILE, one a line "
        "(a webhook's address is a secret: keep the file readable by the collector alone).", "FILE");
    const QCommandLineOption notifyTest = option("notify-test",
        "Sends one test notification to each address of --notify-file, prints each answer and exits.");
    parser.addOptions({port, dir, folder, bind, http, httpPerAddress, publicUrl, timeZone, roster, rules, maxSize, maxConnections, maxPending,
                       maxPerAddress, maxPerPlayer, idle, transferTimeout, openingTimeout, minRate, jobs, json, skip, newToken, hashToken,
                       events, signingKey, newSigningKey, notifyFile, notifyTest});
    if (!CommandLine::parse(parser, arguments, exitStatus))
        return std::nullopt;
    const auto wrong = [&](const QString& message) {
        *exitStatus = CommandLine::wrong(parser, message);
        return std::nullopt;
    };
    if (!parser.positionalArguments().isEmpty())
        return wrong(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    Request request;
    if (parser.isSet(newToken)) {
        request.newTokenFor = parser.value(newToken);
        if (!PlayerPreamble::isValidName(request.newTokenFor.toUtf8()) || Roster::isCollectorFile(request.newTokenFor.toUtf8()))
            return wrong(QStringLiteral("\"%1\" is no player's name: 1 to 64 letters, digits, \"-\", \"_\" or \".\" "
                                        "(ASCII), beginning with a letter or a digit")
                             .arg(request.newTokenFor));
        return request;
    }
    if (parser.isSet(hashToken)) {
        request.hashToken = true;
        return request;
    }
    if (parser.isSet(newSigningKey)) {
        request.newSigningKey = parser.value(newSigningKey);
        return request;
    }
    if (parser.isSet(notifyTest)) {
        if (!parser.isSet(notifyFile))
            return wrong(QStringLiteral("--notify-test needs --notify-file"));
        request.notifyTest = parser.value(notifyFile);
        return request;
    }
    if (!parser.isSet(port) || !parser.isSet(dir))
        return wrong(QStringLiteral("--port and --dir are needed"));

    CollectOptions options;
    if (!readNumber<quint16>(parser, port, 0, &options.port))
        return wrong(QStringLiteral("--port needs a port, 0 to 65535, not \"%1\"").arg(parser.value(port)));
    options.dir = parser.value(dir);
    options.folder = parser.isSet(folder) ? parser.value(folder) : defaultReferenceFolder();
    if (parser.isSet(bind) && !options.bind.setAddress(parser.value(bind)))
        return wrong(QStringLiteral("--bind needs an IP address, not \"%1\"").arg(parser.value(bind)));
    if (parser.isSet(http)) {
        options.http = httpEndpoint(parser.value(http));
        if (!options.http)
            return wrong(QStringLiteral("--http needs [ADDR:]PORT, such as 8080 or 0.0.0.0:8080, not \"%1\"")
                             .arg(parser.value(http)));
        if (!readNumber<int>(parser, httpPerAddress, 1, &options.http->maxPerAddress))
            return wrong(QStringLiteral("--http-per-address needs a whole number, 1 or more"));
    } else if (parser.isSet(httpPerAddress)) {
        return wrong(QStringLiteral("--http-per-address is for the page of --http; give both"));
    }
    if (parser.isSet(publicUrl)) {
        const QUrl url(parser.value(publicUrl), QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https") || url.host().isEmpty()
            || url.hasQuery() || url.hasFragment())
            return wrong(QStringLiteral("--public-url needs an http or https address, such as "
                                        "https://league.example.org, not \"%1\"")
                             .arg(parser.value(publicUrl)));
        options.publicUrl = url.toString(QUrl::FullyEncoded);
        while (options.publicUrl.endsWith(u'/'))
            options.publicUrl.chop(1);
    }
    if (parser.isSet(timeZone)) {
        const std::optional<ShownTime> shown = ShownTime::named(parser.value(timeZone));
        if (!shown)
            return wrong(QStringLiteral("--time-zone needs a zone's IANA name, such as Europe/Paris, not \"%1\"")
                             .arg(parser.value(timeZone)));
        options.shownTime = *shown;
    }
    options.jobs = std::max(1, QThread::idealThreadCount());
    const struct {
        const QCommandLineOption& option;
        int* value;
    } counts[] = {{maxConnections, &options.connections.maxConnections},
                  {maxPending, &options.connections.maxPending},
                  {maxPerAddress, &options.connections.maxPerAddress},
                  {maxPerPlayer, &options.transfers.maxPerPlayer},
                  {jobs, &options.jobs}};
    for (const auto& count : counts) {
        if (!readNumber<int>(parser, count.option, 1, count.value))
            return wrong(QStringLiteral("--%1 needs a whole number, 1 or more").arg(count.option.names().first()));
    }
    if (!readNumber<qint64>(parser, maxSize, 1, &options.maxSize))
        return wrong(QStringLiteral("--max-size needs a number of bytes, 1 or more"));
    if (!readNumber<qint64>(parser, minRate, 0, &options.transfers.minRate))
        return wrong(QStringLiteral("--min-rate needs a number of bytes, 0 or more"));
    for (const auto& [timeout, value] : {std::pair{&idle, &options.transfers.idleTimeout},
                                         std::pair{&transferTimeout, &options.transfers.transferTimeout},
                                         std::pair{&openingTimeout, &options.transfers.openingTimeout}}) {
        if (!readSeconds(parser, *timeout, value))
            return wrong(QStringLiteral("--%1 needs a number of seconds above 0, a day at most").arg(timeout->names().first()));
    }
    options.json = parser.isSet(json);
    options.skipReferenceCheck = parser.isSet(skip);
    options.rules = parser.value(rules);
    options.roster = parser.value(roster);
    options.events = parser.value(events);
    options.signingKey = parser.value(signingKey);
    options.notifyFile = parser.value(notifyFile);
    if (!options.events.isEmpty() && options.roster.isEmpty())
        return wrong(QStringLiteral("--events needs --roster: an event's entrants are the roster's players"));
    options.version = QCoreApplication::applicationVersion();
    options.tool = QStringLiteral("kestrix-collect %1").arg(options.version);
    request.collect = options;
    return request;
}

QByteArray newToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

int printNewToken(const QString& name)
{
    const QByteArray token = newToken();
    std::fputs((token + '\n' + Roster::entry(name.toUtf8(), PlayerPreamble::tokenSha256Hex(token))).constData(), stdout);
    return 0;
}

int printTokenHash()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        complain(QStringLiteral("stdin cannot be read"));
        return Trouble;
    }
    const QByteArray token = PlayerPreamble::tokenOf(input.readAll());
    if (token.isEmpty()) {
        complain(QStringLiteral("no token came on stdin"));
        return Trouble;
    }
    std::fputs(("token_sha256 = \"" + PlayerPreamble::tokenSha256Hex(token) + "\"\n").constData(), stdout);
    return 0;
}

int printNewSigningKey(const QString& path)
{
    QString error;
    const std::optional<QByteArray> publicKey = SigningKey::writeNew(path, &error);
    if (!publicKey) {
        complain(error);
        return Trouble;
    }
    std::fputs((*publicKey + '\n').constData(), stdout);
    return 0;
}

QByteArray userAgent()
{
    return QStringLiteral("kestrix-collect/%1").arg(QCoreApplication::applicationVersion()).toUtf8();
}

// Each address's answer, its secret parts hidden.
int testNotifications(const QString& file)
{
    QString error;
    QString warning;
    const std::optional<std::vector<QUrl>> targets = NotifyTargets::load(file, &error, &warning);
    if (!warning.isEmpty())
        complain(warning);
    if (!targets) {
        complain(error);
        return Trouble;
    }
    if (targets->empty()) {
        complain(QStringLiteral("%1: no address to test").arg(file));
        return 1;
    }
    QNetworkAccessManager network;
    const QByteArray body = QJsonDocument(NotifyMessage::test(QDateTime::currentDateTimeUtc())).toJson(QJsonDocument::Compact);
    postToEach(network, *targets, body, userAgent(), NotifySchedule{}.timeout, &network,
               [&targets](const std::vector<NotifyAnswer>& answers) {
                   int status = 0;
                   for (std::size_t i = 0; i < answers.size(); ++i) {
                       std::fputs((NotifyTargets::shown(targets->at(i)) + QStringLiteral(": ") + answers[i].text() + u'\n')
                                      .toUtf8()
                                      .constData(),
                                  stdout);
                       status = answers[i].delivered() ? status : 1;
                   }
                   QCoreApplication::exit(status);
               });
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-collect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    int exitStatus = Trouble;
    const std::optional<Request> request = parseOptions(app.arguments(), &exitStatus);
    if (!request)
        return exitStatus;
    if (!request->newTokenFor.isEmpty())
        return printNewToken(request->newTokenFor);
    if (request->hashToken)
        return printTokenHash();
    if (!request->newSigningKey.isEmpty())
        return printNewSigningKey(request->newSigningKey);
    if (!request->notifyTest.isEmpty())
        return testNotifications(request->notifyTest);

    Collector collector(*request->collect);
    QStringList failures;
    QStringList warnings;
    const bool started = collector.start(&failures, &warnings);
    for (const QString& line : warnings + failures)
        complain(line);
    if (!started)
        return Trouble;
    QObject::connect(&collector, &Collector::stopped, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}
