#pragma once

#include "LeagueRules.h"
#include "ReferenceFolder.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

class ReferenceStore;

// What arriving files are checked against: the reference data, the
// league's rules, and the proof every verdict record carries (the digests of
// both and the tool). A reload makes a new one; a check keeps the one it
// began with.
struct CheckSetup {
    std::unique_ptr<ReferenceFolder> reference;
    std::optional<LeagueRules> rules;
    QJsonObject proof;
    QString digestError; // why the reference data has no digest
};

// Reads the program folder's genuine descriptors (checked against store) and,
// when rulesPath is given, the rules and the reference versions they accept.
// Nothing, with why in error, when the rules cannot be read.
std::shared_ptr<const CheckSetup> loadCheckSetup(const QString& folder, const QString& rulesPath,
                                                 ReferenceStore& store, const QString& tool, QString* error);
