#pragma once

#include "EventStanding.h"
#include "LeaguePages.h"
#include "ShownTime.h"

#include <QByteArray>
#include <QDateTime>

// The HTML of a race event: entrants × cars, each cell with data-player,
// data-car and data-status, each row with data-entrant-status; before the
// deadline its header says provisional, after it final. The same page is
// served live at /event/<id> (kept current by event.js) and kept as
// result.html. Entrants are shown by their display names and times as times
// says; the data attributes keep the ids, and result.json ids and UTC.
namespace EventPages {

QByteArray page(const EventStanding& standing, const QDateTime& now, bool signedResults, bool live,
                const ShownTime& times, const LeaguePages::DisplayedName& displayed);
// The links to every event, for the grid's page.
QByteArray links(const std::vector<const RaceEvent*>& events);

} // namespace EventPages
