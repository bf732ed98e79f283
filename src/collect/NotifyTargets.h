#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

// The addresses notifications go to, read from the file of --notify-file:
// one http:// or https:// URL a line, blank lines and "#" comments aside.
// A webhook's address lets anyone post to it, so it is a secret: it lives
// in a file, never on the command line, and is shown only as shown() has it.
// docs/collect.md describes the file, under "Notifications".
namespace NotifyTargets {

inline constexpr int MostTargets = 32;

// The addresses, or nothing with why in error ("FILE:LINE: what").
// warning: set when others than its owner may read the file.
std::optional<std::vector<QUrl>> load(const QString& path, QString* error, QString* warning);
std::optional<std::vector<QUrl>> parse(const QByteArray& bytes, const QString& path, QString* error);

// An address with its secret parts hidden: "https://discord.com:443/…".
QString shown(const QUrl& url);

} // namespace NotifyTargets
