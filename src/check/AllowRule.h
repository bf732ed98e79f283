#pragma once

#include "CarCatalogue.h"
#include "Verdict.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// What a league's rules say of one difference.
struct Judgement {
    bool allowed = false;
    // The line of the rule that allows it, else of the first rule that names
    // its key; 0 when no rule names it.
    qint64 ruleLine = 0;
    // Why the rule that names the key does not allow it, in words
    // ("BoostBar=0.9 is above the league's 0.8"). Plain text, escaped where shown.
    QString reason;
};

// One [[allow]] of a league's rules: a key whose value may differ from the
// genuine one. Section and key are patterns over the whole name, letter case
// counting: "*" stands for any run of characters, "?" for one. A descriptor's
// bytes are read as Windows-1252, the game's text, to be matched.
struct AllowRule {
    qint64 line = 0;          // of its [[allow]] in the rules file
    const Car* car = nullptr; // null for every car ("*")
    QString section;
    QString key;
    std::optional<double> min;
    std::optional<double> max;
    QStringList values; // empty: no list
    bool optional = false; // the key may also be added or removed

    bool matchesCar(const Car& car) const;
    bool matchesName(QStringView section, QStringView key) const;
    // Only a difference with both a section and a key can match: a line of a
    // file that is not sectioned text is never a league's business.
    bool matches(const Car& car, const Difference& difference) const;

    // For a difference it matches: a value changed within the range or list
    // (or to anything, without one); with optional, also a key added (its
    // value within them) or removed. A moved or repeated key, damage,
    // formatting or another car's file never. reason says why not.
    bool allows(const Difference& difference, QString* reason) const;
    // Whether key may take value, by the range or list alone.
    bool allowsValue(const QString& key, QByteArrayView value, QString* reason) const;

    // What it allows, as "any value", "0.5 to 0.8" or "one of Soft, Medium, Hard".
    QString allowance() const;
    // "Brackwell [Engine] BoostBar: 0.5 to 0.8".
    QString describe() const;
};

bool wildcardMatch(QStringView pattern, QStringView name);

// A descriptor's value read as a number: an optional sign, then decimal
// digits with at most one point and a digit on at least one side of it
// ("5", "-0.25", ".5", "5."), nothing else. No exponent, hexadecimal, inf or
// nan: the game's files write none, and a value a league has to think twice
// about is better judged "not a number" than read one way by us and another
// by the game. None when the text is anything else.
std::optional<double> plainNumber(QByteArrayView text);

// A bound as a person writes it: the shortest form that reads back the same.
QString numberText(double number);
