#include "Verdict.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

QString counted(std::size_t count, const QString& what)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(what, count == 1 ? QString() : QStringLiteral("s"));
}

constexpr std::array ClassesInOrder{Difference::Class::OtherCar,  Difference::Class::Changed,
                                    Difference::Class::Added,     Difference::Class::Missing,
                                    Difference::Class::Moved,     Difference::Class::Duplicate,
                                    Difference::Class::Other,     Difference::Class::Damaged,
                                    Difference::Class::Formatting};

} // namespace

QString Difference::className(Class kind)
{
    switch (kind) {
    case Class::Changed:
        return QStringLiteral("changed");
    case Class::Added:
        return QStringLiteral("added");
    case Class::Missing:
        return QStringLiteral("missing");
    case Class::Moved:
        return QStringLiteral("moved");
    case Class::Duplicate:
        return QStringLiteral("duplicate");
    case Class::Formatting:
        return QStringLiteral("formatting");
    case Class::Damaged:
        return QStringLiteral("damaged");
    case Class::Other:
        return QStringLiteral("other");
    case Class::OtherCar:
        break;
    }
    return QStringLiteral("other-car");
}

bool Difference::isValue() const
{
    return (kind == Class::Changed || kind == Class::Added || kind == Class::Missing || kind == Class::Moved
            || kind == Class::Duplicate)
        && !byDamage;
}

QString Verdict::statusText(Status status)
{
    switch (status) {
    case Status::Genuine:
        return QStringLiteral("genuine");
    case Status::Formatting:
        return QStringLiteral("formatting");
    case Status::Allowed:
        return QStringLiteral("allowed");
    case Status::Damaged:
        return QStringLiteral("damaged");
    case Status::Tweaked:
        return QStringLiteral("tweaked");
    case Status::Error:
        break;
    }
    return QStringLiteral("error");
}

QString Verdict::kind() const
{
    if (status == Status::Allowed)
        return QStringLiteral("allowed");
    bool values = false;
    bool other = false;
    bool damaged = false;
    bool formatting = false;
    for (const Difference& difference : differences) {
        if (difference.kind == Difference::Class::OtherCar)
            return QStringLiteral("other-car");
        values = values || difference.isValue();
        other = other || difference.kind == Difference::Class::Other;
        damaged = damaged || difference.kind == Difference::Class::Damaged || difference.byDamage;
        formatting = formatting || difference.kind == Difference::Class::Formatting;
    }
    if (values)
        return QStringLiteral("values");
    if (other)
        return QStringLiteral("other");
    if (damaged)
        return QStringLiteral("damaged");
    return formatting ? QStringLiteral("formatting") : QString();
}

QString Verdict::differenceCounts() const
{
    QStringList parts;
    for (const Difference::Class kind : ClassesInOrder) {
        const auto count = std::count_if(differences.begin(), differences.end(), [kind](const Difference& difference) {
            return difference.kind == kind && !difference.allowed && !difference.byDamage;
        });
        if (count == 0)
            continue;
        if (kind == Difference::Class::Formatting)
            parts << QStringLiteral("formatting");
        else if (kind == Difference::Class::Damaged)
            parts << QStringLiteral("damaged");
        else if (kind == Difference::Class::OtherCar)
            parts << QStringLiteral("another car's descriptor");
        else
            parts << QStringLiteral("%1 %2").arg(count).arg(Difference::className(kind));
    }
    const auto allowed = std::count_if(differences.begin(), differences.end(),
                                       [](const Difference& difference) { return difference.allowed; });
    if (allowed > 0)
        parts << QStringLiteral("%1 allowed").arg(allowed);
    return parts.join(QStringLiteral(", "));
}

QString Verdict::windowCountText() const
{
    return counted(tweaks.size(), QStringLiteral("tweaked line"));
}
