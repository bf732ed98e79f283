#pragma once

#include <QByteArray>

// The league page's style sheets, scripts and badge form, compiled in as Qt
// resources from the files of the same names beside this one: each is read
// once and served or inlined as it stands.
namespace LeagueFiles {

enum class File {
    GridStyle,   // league-grid.css: the grid's and a player's page, on the report's style
    LayoutStyle, // league-layout.css: how both fit a phone and a dark screen
    GridScript,  // league.js
    EventStyle,  // event.css: an event's page, live and as result.html
    EventScript, // event.js
    BadgeForm,   // standing-badge.svg, with its {placeholders}
};

QByteArray bytes(File file);

} // namespace LeagueFiles
