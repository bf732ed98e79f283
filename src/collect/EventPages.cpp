#include "EventPages.h"

#include "LeagueFiles.h"

namespace {

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

// The deadline as the file gave it, and its zone in words.
QByteArray withZone(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const QString zone = offset == 0 ? QStringLiteral("UTC")
                                     : QStringLiteral("UTC%1%2:%3")
                                           .arg(offset < 0 ? u'-' : u'+')
                                           .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                                           .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    return "<time datetime=\"" + escaped(RaceEvent::timeText(time)) + "\">" + escaped(RaceEvent::timeText(time)) + "</time> ("
        + escaped(zone) + ")";
}

} // namespace

namespace EventPages {

QByteArray page(const EventStanding& standing, const QDateTime& now, bool signedResults, bool live)
{
    const RaceEvent& event = standing.event();
    const bool final = now >= event.closes;
    const QByteArray phase = final ? "final" : "provisional";
    QByteArray body = "<h1>" + escaped(event.name) + " <span id=\"phase\" class=\"phase " + phase + "\">" + phase
        + "</span></h1>\n<p>" + (now < event.opens ? "Opens " + withZone(event.opens) + ". " : QByteArray())
        + "Deadline " + withZone(event.closes) + ".</p>\n<p>"
        + (signedResults ? "The final result is signed with the league's key: <a href=\"/league.pub\">league.pub</a>."
                         : "The final result is unsigned: the league has no signing key.")
        + "</p>\n<table id=\"event\">\n<thead><tr><th>player</th><th>entrant</th>";
    for (const QString& car : event.cars)
        body += "<th>" + escaped(car) + "</th>";
    body += "</tr></thead>\n<tbody>\n";
    for (const QByteArray& player : event.entrants) {
        const QByteArray name = escaped(QString::fromUtf8(player));
        const QByteArray status = escaped(standing.entrantStatus(player));
        body += "<tr data-player=\"" + name + "\" data-entrant-status=\"" + status + "\"><th>" + name + "</th><td>" + status
            + "</td>";
        for (const QString& car : event.cars) {
            const EventStanding::Counted* counted = standing.counted(player, car);
            const QByteArray carStatus = counted ? escaped(counted->status) : QByteArray("missing");
            body += "<td data-player=\"" + name + "\" data-car=\"" + escaped(car) + "\" data-status=\"" + carStatus + "\">"
                + carStatus + "</td>";
        }
        body += "</tr>\n";
    }
    body += "</tbody>\n</table>\n";
    const QByteArray closesMs = QByteArray::number(event.closes.toMSecsSinceEpoch());
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + escaped(event.name) + " — "
        + phase + "</title>\n<style>" + LeagueFiles::eventStyle() + "</style>\n</head>\n<body data-closes=\"" + closesMs + "\">\n" + body
        + (live && !final ? "<script src=\"/event.js\"></script>\n" : "") + "</body>\n</html>\n";
}

QByteArray links(const std::vector<const RaceEvent*>& events)
{
    if (events.empty())
        return {};
    QByteArray list = "<nav id=\"race-events\"><h2>Events</h2><ul>\n";
    for (const RaceEvent* event : events)
        list += "<li><a href=\"/event/" + escaped(event->id) + "\">" + escaped(event->name) + "</a></li>\n";
    return list + "</ul></nav>\n";
}

} // namespace EventPages
