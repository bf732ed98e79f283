#include "LeaguePages.h"

#include "CarCatalogue.h"
#include "HtmlReport.h"
#include "LeagueFiles.h"
#include "Verdict.h"
#include "VerdictAdvice.h"

#include <QUrl>

#include <algorithm>
#include <map>
#include <set>

namespace {

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray shownTime(const ShownTime& times, const QString& time)
{
    return escaped(times.text(time));
}

QString textOf(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

// live: the grid's script keeps it current; refresh: it is loaded again in
// a second, for evidence still being drawn.
QByteArray page(const QString& title, const QByteArray& body, bool live, bool refresh = false)
{
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
        + QByteArray(refresh ? "<meta http-equiv=\"refresh\" content=\"1\"/>\n" : "")
        + "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>"
        + escaped(title) + "</title>\n<style>" + HtmlReport::style() + LeagueFiles::bytes(LeagueFiles::File::GridStyle)
        + LeagueFiles::bytes(LeagueFiles::File::LayoutStyle) + "</style>\n</head>\n<body>\n" + body
        + (live ? "<script src=\"/league.js\"></script>\n" : "") + "</body>\n</html>\n";
}

QByteArray badge(const QString& status)
{
    return "<span class=\"s " + escaped(status) + "\">" + escaped(status) + "</span>";
}

// A car's status on its player's page: its latest verdict's, or "refused"
// while only refusals came.
QString statusOf(const LeagueHistory::Car& car)
{
    return car.latest.isEmpty() ? QStringLiteral("refused") : textOf(car.latest, "status");
}

bool lastRefused(const LeagueHistory::Car& car)
{
    return !car.transfers.empty() && car.transfers.back().status == QLatin1String("refused");
}

// The cars a driver has to do something about come first.
int urgency(const LeagueHistory::Car& car)
{
    const QString status = statusOf(car);
    if (status == QLatin1String("tweaked"))
        return 0;
    if (status == QLatin1String("damaged"))
        return 1;
    return lastRefused(car) ? 2 : 3;
}

// What the driver can do about the car, when there is something.
QByteArray adviceOf(const LeagueHistory::Car& car)
{
    if (const char* advice = wire::verdictAdvice(statusOf(car).toStdString())) {
        const QString text = QString::fromUtf8(advice);
        return "<p class=\"advice\">" + escaped(text.left(1).toUpper() + text.mid(1)) + ".</p>\n";
    }
    if (lastRefused(car))
        return "<p class=\"advice\">The latest file was refused (" + escaped(car.transfers.back().reason)
            + "): put that right and send it again.</p>\n";
    return QByteArray();
}

const std::vector<QString>& statuses()
{
    static const std::vector<QString> all{QStringLiteral("tweaked"),    QStringLiteral("damaged"),
                                          QStringLiteral("allowed"),    QStringLiteral("formatting"),
                                          QStringLiteral("genuine"),    QStringLiteral("error"),
                                          QStringLiteral("none")};
    return all;
}

QByteArray cell(const QString& player, const QString& car, const QJsonObject* latest, const ShownTime& times)
{
    const QString status = latest ? textOf(*latest, "status") : QStringLiteral("none");
    QByteArray out = "<td data-player=\"" + escaped(player) + "\" data-car=\"" + escaped(car) + "\" data-status=\""
        + escaped(status) + "\">";
    if (!latest)
        return out + "–</td>";
    return out + "<a href=\"/player/" + LeaguePages::playerLink(player) + "#history-" + escaped(car) + "\">"
        + badge(status) + "<time>" + shownTime(times, textOf(*latest, "time")) + "</time></a></td>";
}

} // namespace

namespace LeaguePages {

QByteArray playerLink(const QString& name)
{
    return QUrl::toPercentEncoding(name);
}

QByteArray grid(const LeagueHistory& history, const std::vector<QByteArray>& players, const ShownTime& times,
                const DisplayedName& displayed)
{
    std::set<QString> names;
    for (const QByteArray& name : players)
        names.insert(QString::fromUtf8(name));
    for (const auto& [name, cars] : history.players())
        names.insert(name);

    std::map<QString, qint64> counts;
    QByteArray rows;
    for (const QString& name : names) {
        const LeagueHistory::Cars* cars = history.player(name);
        rows += "<tr><th>" + (cars ? "<a href=\"/player/" + playerLink(name) + "\">" + escaped(displayed(name)) + "</a>"
                                   : escaped(displayed(name)))
            + "</th>";
        for (const Car& car : CarCatalogue::cars()) {
            const QJsonObject* latest = nullptr;
            if (cars) {
                const auto found = cars->find(car.listEntry);
                if (found != cars->end() && !found->second.latest.isEmpty())
                    latest = &found->second.latest;
            }
            ++counts[latest ? textOf(*latest, "status") : QStringLiteral("none")];
            rows += cell(name, car.listEntry, latest, times);
        }
        rows += "</tr>\n";
    }

    QByteArray body = "<header>\n<h1>Vortrax league: every player's cars</h1>\n<ul class=\"counts\">"
                      "<li><b data-count=\"players\">" + QByteArray::number(qint64(names.size())) + "</b> players</li>";
    for (const QString& status : statuses())
        body += "<li>" + badge(status) + " <b data-count=\"" + escaped(status) + "\">"
            + QByteArray::number(counts[status]) + "</b></li>";
    body += "</ul>\n<p class=\"live\" id=\"live\">As it was when the page was loaded.</p>\n</header>\n"
            "<table class=\"grid\" id=\"grid\">\n<thead><tr><th>Player</th>";
    for (const Car& car : CarCatalogue::cars())
        body += "<th>" + escaped(car.listEntry) + "</th>";
    body += "</tr></thead>\n<tbody>\n" + rows + "</tbody>\n</table>\n"
            "<p class=\"how\">Each cell is the latest verdict on that player's car; it leads to the player's "
            "history and the evidence. <a href=\"/verdicts.json\">verdicts.json</a> holds the same records.</p>\n";
    return page(QStringLiteral("Vortrax league: every player's cars"), body, true);
}

QByteArray player(const QString& name, const LeagueHistory::Cars& cars, const ShownTime& times,
                  const DisplayedName& displayed)
{
    QByteArray body = "<header>\n<h1>" + escaped(displayed(name)) + "</h1>\n<nav><a href=\"/\">All players</a></nav>\n</header>\n"
        + HtmlReport::legend();
    std::vector<std::pair<QString, const LeagueHistory::Car*>> shown;
    for (const Car& car : CarCatalogue::cars()) {
        if (const auto found = cars.find(car.listEntry); found != cars.end())
            shown.emplace_back(car.listEntry, &found->second);
    }
    if (const auto none = cars.find(QString()); none != cars.end())
        shown.emplace_back(QString(), &none->second);
    std::stable_sort(shown.begin(), shown.end(),
                     [](const auto& a, const auto& b) { return urgency(*a.second) < urgency(*b.second); });

    bool drawing = false;
    for (const auto& [carName, car] : shown) {
        const QString title = carName.isEmpty() ? QStringLiteral("Files of no car") : carName;
        const QString status = statusOf(*car);
        body += "<section class=\"car\" id=\"history-" + escaped(carName) + "\">\n<h2>" + escaped(title) + ' '
            + badge(status) + "</h2>\n<p class=\"meta\">" + QByteArray::number(car->transferCount)
            + (car->transferCount == 1 ? " transfer" : " transfers");
        for (const LeagueHistory::Deviation& deviation : car->deviations) {
            body += " · " + escaped(deviation.status)
                + (deviation.back.isEmpty() ? " since " + shownTime(times, deviation.from)
                                            : " from " + shownTime(times, deviation.from) + ", genuine again at "
                                                  + shownTime(times, deviation.back));
        }
        body += "</p>\n" + adviceOf(*car) + "<table class=\"history\"><thead><tr><th>Time</th><th>Verdict</th><th>Compared with</th>"
                "<th>Reference data</th><th>Rules</th></tr></thead><tbody>\n";
        for (auto entry = car->transfers.rbegin(); entry != car->transfers.rend(); ++entry) {
            const QString verdict = entry->reason.isEmpty() ? entry->status
                                                            : entry->status + QStringLiteral(" (") + entry->reason + u')';
            body += "<tr><td>" + shownTime(times, entry->time) + "</td><td>" + escaped(verdict) + "</td><td>"
                + escaped(entry->version) + "</td><td><code title=\"" + escaped(entry->reference) + "\">"
                + escaped(entry->reference.left(12)) + "</code></td><td><code title=\"" + escaped(entry->rules)
                + "\">" + escaped(entry->rules.isEmpty() ? QStringLiteral("none") : entry->rules.left(12))
                + "</code></td></tr>\n";
        }
        if (qint64(car->transfers.size()) < car->transferCount)
            body += "<tr><td colspan=\"5\">" + QByteArray::number(car->transferCount - qint64(car->transfers.size()))
                + " earlier transfers are in verdicts.jsonl.</td></tr>\n";
        body += "</tbody></table>\n";
        if (!car->evidence.isEmpty())
            body += car->evidence;
        else if (const bool pending = status != QLatin1String("genuine") && status != QLatin1String("refused")
                                      && status != QLatin1String("error") && !carName.isEmpty()) {
            body += "<p class=\"none\">The evidence is being drawn; the page shows it in a moment.</p>\n";
            drawing = drawing || pending;
        }
        body += "</section>\n";
    }
    return page(displayed(name) + QStringLiteral(": Vortrax league"), body, false, drawing);
}

} // namespace LeaguePages
