#include "PlayerTally.h"

#include "ShownText.h"

#include <algorithm>

QString PlayerTally::add(const Verdict& verdict)
{
    Player& player = m_players[verdict.player];
    QString warning;
    if (verdict.car) {
        const auto [first, added] = player.firstPath.emplace(verdict.car, verdict.path);
        if (!added) {
            warning = QStringLiteral("%1 has two descriptors of %2: %3 and %4")
                          .arg(ShownText::name(verdict.player), verdict.car->listEntry,
                               ShownText::name(first->second), ShownText::name(verdict.path));
        }
    }
    if (verdict.status == Verdict::Status::Genuine) {
        ++player.genuine;
        return warning;
    }
    QString note = QStringLiteral("%1 %2").arg(verdict.car ? verdict.car->listEntry : ShownText::name(verdict.path),
                                               verdict.statusText());
    if (verdict.status == Verdict::Status::Tweaked) {
        player.tweaked = true;
        note += QStringLiteral(" (%1)").arg(verdict.differenceCounts());
    }
    player.others << note;
    return warning;
}

qint64 PlayerTally::playersWithTweaks() const
{
    return std::count_if(m_players.begin(), m_players.end(), [](const auto& entry) { return entry.second.tweaked; });
}

QStringList PlayerTally::lines() const
{
    QStringList tweaked;
    QStringList rest;
    for (const auto& [name, player] : m_players) {
        QString line = ShownText::name(name) + QStringLiteral(": ") + player.others.join(QStringLiteral(", "));
        if (player.genuine > 0)
            line += (player.others.isEmpty() ? QString() : QStringLiteral("; ")) + QStringLiteral("%1 genuine").arg(player.genuine);
        (player.tweaked ? tweaked : rest) << line;
    }
    return tweaked + rest;
}
