#pragma once

#include <QString>

#include <functional>

// Files a collector that crashed left half written: each arriving file is
// written under a hidden temporary name in its player's folder, which only
// its rename ends. At start they become partial files like any other
// transfer that ended early, and each is told of.
namespace LeftoverFiles {

// Renames every leftover in the players' folders below dir; renamed(from, to)
// for each, or failed(path, reason).
void recover(const QString& dir, const std::function<void(const QString& from, const QString& to)>& renamed,
             const std::function<void(const QString& path, const QString& reason)>& failed);

} // namespace LeftoverFiles
