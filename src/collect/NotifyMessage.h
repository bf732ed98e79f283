#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The league's notifications as JSON bodies: kind, player (the roster's
// name, never the one shown), car, status, time (UTC), page (the player's or
// the event's page, when the league page has a public address) and
// content, one line of text for a person, so that the same address can be
// a Discord webhook. No sender's address and no path of the server's.
// docs/collect.md describes them, under "Notifications".
namespace NotifyMessage {

// The message a record appended to the verdicts calls for, if any: a
// tweaked or damaged verdict, a refusal of a proven player, or a car
// genuine again after a tweak (previous: the status of the car's latest
// verdict before this one, empty when none is known).
// shownName: the player as the pages name him; publicUrl: the league
// page's, without a closing "/", or empty.
std::optional<QJsonObject> ofRecord(const QJsonObject& record, const QString& previous, const QString& shownName,
                                    const QString& publicUrl);
// A race event's close, from its result (result.json's fields).
QJsonObject ofEventClose(const QJsonObject& result, const QString& publicUrl);
// What --notify-test sends.
QJsonObject test(const QDateTime& now);

} // namespace NotifyMessage
