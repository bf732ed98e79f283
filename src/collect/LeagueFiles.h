#pragma once

#include <QByteArray>

// The league page's style sheets, scripts and badge form, compiled in as Qt
// resources from the files of the same names beside this one: each is read
// once and served or inlined as it stands.
namespace LeagueFiles {

// The grid's and a player's page: the grid's own rules, then how both fit
// a phone and a dark screen, on top of the report's style.
QByteArray gridStyle();   // league-grid.css
QByteArray layoutStyle(); // league-layout.css
QByteArray gridScript();  // league.js
// An event's page, live and as result.html.
QByteArray eventStyle();  // event.css
QByteArray eventScript(); // event.js
// A badge, with its {placeholders}.
QByteArray badgeForm();   // standing-badge.svg

} // namespace LeagueFiles
