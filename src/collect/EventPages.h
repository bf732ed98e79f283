#pragma once

#include "EventStanding.h"

#include <QByteArray>
#include <QDateTime>

// The HTML of a race event: entrants × cars, each cell with data-player,
// data-car and data-status, each row with data-entrant-status; before the
// deadline its header says provisional, after it final. The same page is
// served live at /event/<id> (kept current by event.js) and kept as
// result.html.
namespace EventPages {

QByteArray page(const EventStanding& standing, const QDateTime& now, bool signedResults, bool live);
// The links to every event, for the grid's page.
QByteArray links(const std::vector<const RaceEvent*>& events);

} // namespace EventPages
