#pragma once

#include "CarCatalogue.h"
#include "DescriptorText.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A tweak: a descriptor line that the car's index does not hold.
struct Tweak {
    qint64 line = 0; // in the descriptor, from 1
    QByteArray text;
    std::optional<QByteArray> genuine; // the genuine line it took the place of; none for an added line
};

// A genuine line that the descriptor lost and no tweak took the place of.
struct MissingLine {
    qint64 line = 0; // in the genuine descriptor, from 1
    QByteArray text;
};

// One way in which a descriptor differs from its car's genuine one, read as
// sections of keys and values.
struct Difference {
    // Other: a difference that no class explains; it counts as a tweak.
    enum class Class { Changed, Added, Missing, Moved, Duplicate, Formatting, Damaged, OtherCar, Other };

    Class kind = Class::Changed;
    std::optional<QByteArray> section; // without its brackets; none for a file that is not sectioned text
    std::optional<QByteArray> key;     // none for a line that is not Key=Value
    std::optional<QByteArray> genuine; // the genuine value (or line)
    // The descriptor's value (or line); for formatting and damage what
    // differs, in words; for another car, its name.
    std::optional<QByteArray> value;
    std::optional<qint64> line;        // in the descriptor, from 1
    std::optional<qint64> genuineLine; // in the genuine descriptor, from 1
    std::optional<QByteArray> toSection; // where a moved line went
    std::optional<qint64> firstLine;     // the first of a duplicated key's or section's lines
    // A missing key gone where the file is damaged: the damage explains it,
    // and it counts as damage, not as a value.
    bool byDamage = false;
    // A league's rules: whether one allows it, the line of the rule that
    // allows or names it (0 for none), and why a rule that names it does not.
    bool allowed = false;
    qint64 rule = 0;
    QString reason;

    // "changed", "added", … as in JSON.
    static QString className(Class kind);
    // Values, other car, damage, formatting: the order of seriousness.
    bool isValue() const;
    // Makes the file tweaked unless a league's rule allows it.
    bool isTweak() const { return isValue() || kind == Class::OtherCar || kind == Class::Other; }
};

// The file a check read, as it was when read: a correction replaces it only
// while its name still leads to this file, unchanged.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0; // since the epoch
};

// What a check says of one descriptor.
struct Verdict {
    enum class Status { Genuine, Formatting, Allowed, Damaged, Tweaked, Error };
    static constexpr int StatusCount = 6;

    QByteArray path; // as the system gives it: bytes, not always UTF-8
    QByteArray player;
    const Car* car = nullptr;
    Status status = Status::Error;
    qint64 lines = 0;
    std::vector<Tweak> tweaks;
    std::vector<MissingLine> missing;
    std::vector<Difference> differences;
    QString error; // names the file and the reason
    FileIdentity identity;
    QString version = QStringLiteral("original"); // of the genuine descriptor it was compared with
    QByteArray versionSha256;                     // of that version's file, lower-case hex
    QByteArray bytes; // the descriptor as read, kept only when it is not genuine
    // The reading of its line ends that its differences come from (their
    // line numbers are that reading's).
    LineReading reading = LineReading::Loose;

    // "genuine", "formatting", "allowed", "damaged", "tweaked" or "error".
    static QString statusText(Status status);
    QString statusText() const { return statusText(status); }
    // The most serious class present: "other-car", "values", "other",
    // "damaged", "formatting"; "allowed" when the league's rules allow what differs;
    // empty when genuine.
    QString kind() const;
    // "1 changed, 1 missing", in the order of the classes.
    QString differenceCounts() const;
    // "3 tweaked lines", the window's own count.
    QString windowCountText() const;
};
