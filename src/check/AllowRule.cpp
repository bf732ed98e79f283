#include "AllowRule.h"

#include "Cp1252.h"

#include <QLocale>

#include <charconv>
#include <limits>

bool wildcardMatch(QStringView pattern, QStringView name)
{
    // Greedy with one point to return to: the last "*" seen takes one more
    // character whenever what follows it fails.
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype star = -1;
    qsizetype starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            starName = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

std::optional<double> plainNumber(QByteArrayView text)
{
    const bool hasSign = !text.isEmpty() && (text[0] == '-' || text[0] == '+');
    bool point = false;
    bool digit = false;
    bool wholeNonZero = false; // a digit other than 0 before the point
    for (qsizetype i = hasSign ? 1 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digit = true;
            wholeNonZero = wholeNonZero || (c != '0' && !point);
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit)
        return std::nullopt;
    const bool negative = text[0] == '-';
    // from_chars takes no "+", and reads the same whatever the locale.
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    double number = 0;
    const auto [stop, failure] = std::from_chars(begin, end, number, std::chars_format::fixed);
    if (failure == std::errc::result_out_of_range) {
        // Hundreds of digits: beyond any bound, or as good as zero.
        const double magnitude = wholeNonZero ? std::numeric_limits<double>::infinity() : 0.0;
        return negative ? -magnitude : magnitude;
    }
    if (failure != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

QString numberText(double number)
{
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

bool AllowRule::matchesCar(const Car& other) const
{
    return !car || car == &other;
}

bool AllowRule::matchesName(QStringView sectionName, QStringView keyName) const
{
    return wildcardMatch(section, sectionName) && wildcardMatch(key, keyName);
}

bool AllowRule::matches(const Car& other, const Difference& difference) const
{
    return difference.section && difference.key && matchesCar(other)
        && matchesName(fromCp1252(*difference.section), fromCp1252(*difference.key));
}

namespace {

// Whether value meets the rule's range or list; reason says why not.
bool valueAllowed(const AllowRule& rule, const QString& key, const QByteArray& value, QString* reason)
{
    const QString shown = key + u'=' + fromCp1252(value);
    if (!rule.values.isEmpty()) {
        if (rule.values.contains(fromCp1252(value)))
            return true;
        *reason = QStringLiteral("%1 is not one of the league's %2").arg(shown, rule.values.join(QStringLiteral(", ")));
        return false;
    }
    if (!rule.min && !rule.max)
        return true;
    const std::optional<double> number = plainNumber(value);
    if (!number) {
        *reason = QStringLiteral("%1 is not a number").arg(shown);
        return false;
    }
    if (rule.min && *number < *rule.min) {
        *reason = QStringLiteral("%1 is below the league's %2").arg(shown, numberText(*rule.min));
        return false;
    }
    if (rule.max && *number > *rule.max) {
        *reason = QStringLiteral("%1 is above the league's %2").arg(shown, numberText(*rule.max));
        return false;
    }
    return true;
}

} // namespace

bool AllowRule::allows(const Difference& difference, QString* reason) const
{
    const QString keyName = fromCp1252(difference.key.value_or(QByteArray()));
    switch (difference.kind) {
    case Difference::Class::Changed:
        return valueAllowed(*this, keyName, difference.value.value_or(QByteArray()), reason);
    case Difference::Class::Added:
        if (!optional) {
            *reason = QStringLiteral("%1 was added; the league's rule lets it change, not be added").arg(keyName);
            return false;
        }
        return valueAllowed(*this, keyName, difference.value.value_or(QByteArray()), reason);
    case Difference::Class::Missing:
        if (!optional) {
            *reason = QStringLiteral("%1 was removed; the league's rule lets it change, not be removed").arg(keyName);
            return false;
        }
        return true;
    case Difference::Class::Moved:
        *reason = QStringLiteral("%1 was moved; no rule allows a moved key").arg(keyName);
        return false;
    case Difference::Class::Duplicate:
        *reason = difference.key ? QStringLiteral("%1 is repeated; no rule allows a repeated key").arg(keyName)
                                 : QStringLiteral("[%1] is repeated; no rule allows a repeated section")
                                       .arg(fromCp1252(difference.section.value_or(QByteArray())));
        return false;
    case Difference::Class::Formatting:
    case Difference::Class::Damaged:
    case Difference::Class::OtherCar:
    case Difference::Class::Other:
        break;
    }
    *reason = QStringLiteral("no rule allows a difference of class %1").arg(Difference::className(difference.kind));
    return false;
}

bool AllowRule::allowsValue(const QString& key, QByteArrayView value, QString* reason) const
{
    return valueAllowed(*this, key, value.toByteArray(), reason);
}

QString AllowRule::allowance() const
{
    QString allowed;
    if (!values.isEmpty())
        allowed = QStringLiteral("one of ") + values.join(QStringLiteral(", "));
    else if (min && max)
        allowed = QStringLiteral("%1 to %2").arg(numberText(*min), numberText(*max));
    else if (min)
        allowed = QStringLiteral("at least ") + numberText(*min);
    else if (max)
        allowed = QStringLiteral("at most ") + numberText(*max);
    else
        allowed = QStringLiteral("any value");
    if (optional)
        allowed += QStringLiteral("; may also be added or removed");
    return allowed;
}

QString AllowRule::describe() const
{
    return QStringLiteral("%1 [%2] %3: %4")
        .arg(car ? car->listEntry : QStringLiteral("*"), section, key, allowance());
}
