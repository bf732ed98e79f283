#pragma once

#include "Verdict.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

// What each player's descriptors came to: one line a player, those with
// tweaks first ("bob: Brackwell tweaked (1 changed, 1 missing); 5 genuine").
class PlayerTally
{
public:
    // Counts a verdict under its player. A warning, naming both files, when
    // the player has a descriptor of that car already.
    QString add(const Verdict& verdict);

    qint64 players() const { return qint64(m_players.size()); }
    qint64 playersWithTweaks() const;
    QStringList lines() const;

private:
    struct Player {
        qint64 genuine = 0;
        bool tweaked = false;
        QStringList others; // "Brackwell tweaked (1 changed)", in the order found
        std::map<const Car*, QByteArray> firstPath;
    };
    std::map<QByteArray, Player> m_players;
};
