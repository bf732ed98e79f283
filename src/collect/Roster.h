#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <map>
#include <optional>
#include <vector>

// A league's players: who may send, each proven by the SHA-256 of a secret
// token, read from a TOML file of [[player]] entries with name and
// token_sha256, and a display name for the pages where one is given. A name is a folder of the collector's, so it keeps to the
// player-name rules and never names a file the collector keeps beside the
// players' folders.
class Roster
{
public:
    // The roster, or nothing with why in error ("FILE:LINE:COLUMN: what").
    // warning: set when others than its owner may read the file, since the
    // hashes are secrets as well.
    static std::optional<Roster> load(const QString& path, QString* error, QString* warning);
    static std::optional<Roster> parse(const QByteArray& bytes, const QString& path, QString* error);

    // The player's token hash in hex, or nothing for a name not listed.
    std::optional<QByteArray> tokenSha256Of(QByteArrayView name) const;
    std::vector<QByteArray> names() const;
    // The name the pages show for a player ("Chloé Dupont"); empty where
    // none is given.
    QString displayOf(QByteArrayView name) const;
    std::size_t size() const { return m_players.size(); }

    // The three lines of a player's entry, for the roster file.
    static QByteArray entry(QByteArrayView name, QByteArrayView tokenSha256Hex);
    // The files the collector keeps beside the players' folders.
    static bool isCollectorFile(QByteArrayView name);

private:
    std::map<QByteArray, QByteArray> m_players; // name → token hash, in hex
    std::map<QByteArray, QString> m_display;
};
