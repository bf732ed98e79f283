#pragma once

#include "AllowRule.h"
#include "CarCatalogue.h"
#include "DescriptorCheck.h"
#include "ReferenceVersion.h"
#include "Verdict.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A league's rules file, TOML: whether formatting alone counts as genuine,
// which values may differ from the genuine ones ([[allow]]), and which other
// genuine versions of the cars are accepted, pinned by SHA-256 ([[reference]]).
// Anything the file does not say right is an error, never a rule left out.
class LeagueRules
{
public:
    // Reads and checks the file. An error is "FILE:LINE:COLUMN: what is
    // wrong", FILE as given, at the first fault in the file.
    static std::optional<LeagueRules> load(const QString& path, QString* error);
    // The same for the file's bytes, read already; path names it in errors,
    // and reference folders lie relative to its folder.
    static std::optional<LeagueRules> parse(const QByteArray& bytes, const QString& path, QString* error);

    QString path() const { return m_path; }
    // Lower-case hex SHA-256 of the file's bytes: which rules a verdict was made under.
    QByteArray sha256() const { return m_sha256; }
    // The file's bytes, as read: for a page that shows the rules whole.
    QByteArray bytes() const { return m_bytes; }
    // A file that differs from the genuine one only in formatting counts as
    // genuine (the default), or else as tweaked.
    bool ignoreFormatting() const { return m_ignoreFormatting; }
    const std::vector<AllowRule>& allowRules() const { return m_allow; }
    const std::vector<ReferenceVersion>& references() const { return m_references; }

    // Reads every reference version's pinned files (ReferenceVersion::load);
    // the first that fails is the error, and a run must not go on without it.
    bool loadReferences(QString* error);

    // Allowed when any rule that matches allows it (the first such is named);
    // otherwise the first matching rule, if any, and its reason.
    Judgement judge(const Car& car, const Difference& difference) const;

    // The rules as understood, for a person to check before a season: the
    // file and its digest, the formatting setting, each rule with what it
    // allows and the genuine keys it matches (a warning for a rule that
    // matches none), and each reference version with its cars.
    QStringList explain(const GenuineSet& genuine) const;

private:
    LeagueRules() = default;

    QString m_path;
    QByteArray m_sha256;
    QByteArray m_bytes;
    bool m_ignoreFormatting = true;
    std::vector<AllowRule> m_allow;
    std::vector<ReferenceVersion> m_references;
};
