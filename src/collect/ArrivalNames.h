#pragma once

#include <QString>

#include <optional>
#include <set>

// The names files take on arrival, DIR/<player>/<kept name> (wire's KeptName.h):
// never in the place of another file, kept or arriving, so a second file of
// the same name from the same player within a millisecond takes a number.
class ArrivalNames
{
public:
    // What goes before a received name: the stamp, its "-", and room for a number.
    static constexpr qsizetype StampBytes = 25;

    // A free name for received in folder, held until released; nothing when
    // every numbered name is taken.
    std::optional<QString> take(const QString& folder, const QString& received);
    void release(const QString& path);

    // Why a received name cannot be kept under a stamp; empty when it can.
    static QString refusalReason(const QString& received);

private:
    std::set<QString> m_inUse; // whole paths
};
