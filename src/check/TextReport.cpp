#include "TextReport.h"

#include "Cp1252.h"
#include "ShownText.h"

namespace {

// Texts from a descriptor or a folder go into a message in one arg() call
// of strings, never through a second one: a second call would read a "%1"
// in the first one's text as its own place.

QString counted(qint64 count, const QString& one, const QString& many)
{
    return QString::number(count) + u' ' + (count == 1 ? one : many);
}

QString numbered(std::optional<qint64> number)
{
    return QString::number(number.value_or(0));
}

QString sectionText(const std::optional<QByteArray>& section)
{
    return section ? QStringLiteral("[%1] ").arg(printable(*section)) : QString();
}

QString keyed(const Difference& difference, const std::optional<QByteArray>& value)
{
    const QString shownValue = value ? printable(*value) : QString();
    return difference.key ? printable(*difference.key) + u'=' + shownValue : shownValue;
}

} // namespace

QString printable(const QByteArray& bytes)
{
    QString text = fromCp1252(bytes);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control && c != u'\t')
            c = u'?';
    }
    return text;
}

namespace {

QString plainDifferenceText(const Difference& difference);

} // namespace

QString differenceText(const Difference& difference)
{
    QString text = plainDifferenceText(difference);
    if (difference.allowed) {
        // The rule, not the line, is what a reader needs of an allowed change.
        const qsizetype open = text.lastIndexOf(QStringLiteral(" ("));
        return QStringLiteral("allowed %1 (rule at line %2)")
            .arg(open > 0 ? text.left(open) : text, QString::number(difference.rule));
    }
    if (!difference.reason.isEmpty())
        text += QStringLiteral("; %1 (rule at line %2)")
                    .arg(ShownText::message(difference.reason), QString::number(difference.rule));
    return text;
}

namespace {

QString plainDifferenceText(const Difference& difference)
{
    const QString section = sectionText(difference.section);
    const QString name = Difference::className(difference.kind);
    switch (difference.kind) {
    case Difference::Class::Changed:
        return QStringLiteral("changed %1%2: %3 -> %4 (line %5)%6")
            .arg(section, printable(difference.key.value_or(QByteArray())), printable(difference.genuine.value_or(QByteArray())),
                 printable(difference.value.value_or(QByteArray())), numbered(difference.line),
                 difference.byDamage ? QStringLiteral(", cut off") : QString());
    case Difference::Class::Added:
        if (!difference.key && !difference.value)
            return QStringLiteral("added section %1(line %2)").arg(section, numbered(difference.line));
        return QStringLiteral("added %1%2 (line %3)").arg(section, keyed(difference, difference.value), numbered(difference.line));
    case Difference::Class::Missing:
        return QStringLiteral("missing %1%2 (genuine line %3)%4")
            .arg(section, keyed(difference, difference.genuine), numbered(difference.genuineLine),
                 difference.byDamage ? QStringLiteral(", lost to the damage") : QString());
    case Difference::Class::Moved:
        return QStringLiteral("moved %1%2 to %3(line %4)")
            .arg(section, keyed(difference, difference.genuine), sectionText(difference.toSection), numbered(difference.line));
    case Difference::Class::Duplicate:
        if (!difference.key && !difference.value)
            return QStringLiteral("duplicate section %1(lines %2, %3)")
                .arg(section, numbered(difference.firstLine), numbered(difference.line));
        return QStringLiteral("duplicate %1%2 (lines %3, %4)")
            .arg(section, printable(difference.key.value_or(difference.value.value_or(QByteArray()))),
                 numbered(difference.firstLine), numbered(difference.line));
    case Difference::Class::OtherCar:
        return QStringLiteral("other car: this is %1's genuine descriptor").arg(printable(difference.value.value_or(QByteArray())));
    case Difference::Class::Formatting:
    case Difference::Class::Damaged:
    case Difference::Class::Other:
        break;
    }
    return QStringLiteral("%1: %2").arg(name, printable(difference.value.value_or(QByteArray())));
}

} // namespace

QString verdictText(const Verdict& verdict, const QByteArray& keptAs)
{
    QString car = verdict.car ? verdict.car->listEntry : QString();
    if (verdict.version != QStringLiteral("original"))
        car += QStringLiteral(", version %1").arg(verdict.version);
    QString text = QStringLiteral("%1: %2 (%3)").arg(ShownText::name(verdict.path), verdict.statusText(), car);
    if (verdict.status == Verdict::Status::Genuine)
        return text + u'\n';
    if (verdict.status == Verdict::Status::Tweaked || verdict.status == Verdict::Status::Allowed)
        text += QStringLiteral(": ") + verdict.differenceCounts();
    if (!verdict.tweaks.empty())
        text += QStringLiteral("; the window counts ") + verdict.windowCountText();
    text += u'\n';
    for (const Difference& difference : verdict.differences)
        text += QStringLiteral("  ") + differenceText(difference) + u'\n';
    if (!keptAs.isEmpty())
        text += QStringLiteral("  corrected; the tweaked file is kept as %1\n").arg(ShownText::name(keptAs));
    return text;
}

QString summaryText(const qint64 (&counts)[Verdict::StatusCount], qint64 players, qint64 playersWithTweaks,
                    std::optional<qint64> corrected, bool rules)
{
    qint64 all = 0;
    for (const qint64 count : counts)
        all += count;
    const auto of = [&counts](Verdict::Status status) { return counts[int(status)]; };
    const QString correctedText = corrected ? QStringLiteral("; %1 corrected").arg(*corrected) : QString();
    const QString allowed = rules ? QStringLiteral("%1 allowed, ").arg(of(Verdict::Status::Allowed)) : QString();
    return QStringLiteral("%1: %2 genuine, %3 formatting only, %4%5 damaged, %6 tweaked, %7; %8, %9 with tweaks%10\n")
        .arg(counted(all, QStringLiteral("descriptor"), QStringLiteral("descriptors")))
        .arg(of(Verdict::Status::Genuine))
        .arg(of(Verdict::Status::Formatting))
        .arg(allowed)
        .arg(of(Verdict::Status::Damaged))
        .arg(of(Verdict::Status::Tweaked))
        .arg(counted(of(Verdict::Status::Error), QStringLiteral("error"), QStringLiteral("errors")))
        .arg(counted(players, QStringLiteral("player"), QStringLiteral("players")))
        .arg(playersWithTweaks)
        .arg(correctedText);
}
