#include "EventPages.h"

#include "LeagueFiles.h"

namespace {

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

// A moment as the league shows it, and exactly for a machine.
QByteArray shown(const QDateTime& time, const ShownTime& times)
{
    return "<time datetime=\"" + escaped(RaceEvent::timeText(time)) + "\">" + escaped(times.text(time)) + "</time>";
}

} // namespace

namespace EventPages {

QByteArray page(const EventStanding& standing, const QDateTime& now, bool signedResults, bool live,
                const ShownTime& times, const LeaguePages::DisplayedName& displayed)
{
    const RaceEvent& event = standing.event();
    const bool final = now >= event.closes;
    const QByteArray phase = final ? "final" : "provisional";
    QByteArray body = "<h1>" + escaped(event.name) + " <span id=\"phase\" class=\"phase " + phase + "\">" + phase
        + "</span></h1>\n<p>" + (now < event.opens ? "Opens " + shown(event.opens, times) + ". " : QByteArray())
        + "Deadline " + shown(event.closes, times) + ".</p>\n<p>"
        + (signedResults ? "The final result is signed with the league's key: <a href=\"/league.pub\">league.pub</a>."
                         : "The final result is unsigned: the league has no signing key.")
        + "</p>\n<table id=\"event\">\n<thead><tr><th>player</th><th>entrant</th>";
    for (const QString& car : event.cars)
        body += "<th>" + escaped(car) + "</th>";
    body += "</tr></thead>\n<tbody>\n";
    for (const QByteArray& player : event.entrants) {
        const QString id = QString::fromUtf8(player);
        const QByteArray name = escaped(id);
        const QByteArray status = escaped(standing.entrantStatus(player));
        body += "<tr data-player=\"" + name + "\" data-entrant-status=\"" + status + "\"><th>" + escaped(displayed(id))
            + "</th><td>" + status + "</td>";
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
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>" + escaped(event.name) + " — "
        + phase + "</title>\n<style>" + LeagueFiles::bytes(LeagueFiles::File::EventStyle)
        + "</style>\n</head>\n<body data-closes=\"" + closesMs + "\">\n" + body
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
