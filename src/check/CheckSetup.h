#pragma once

#include "LeagueRules.h"
#include "ReferenceFolder.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class ReferenceStore;

// What descriptors are checked against, by kestrix-check and by
// kestrix-collect alike: the reference data, the league's rules, and the
// proof every verdict record carries (the digests of both and the tool). The
// collector makes a new one at a reload; a check keeps the one it began with.
struct CheckSetup {
    std::unique_ptr<ReferenceFolder> reference;
    std::optional<LeagueRules> rules;
    QJsonObject proof;
    std::optional<QByteArray> digest; // of the reference data
    QString digestError;               // why it has none
};

// Reads the genuine descriptors of cars (every car when not given) in the
// program folder, checked against store, and, when rulesPath is given, the
// rules and the reference versions they accept. Nothing, with why in
// error, when the rules cannot be read.
std::shared_ptr<const CheckSetup> loadCheckSetup(const QString& folder, const QString& rulesPath,
                                                 ReferenceStore& store, const QString& tool, QString* error,
                                                 const std::optional<std::vector<const Car*>>& cars = std::nullopt);
