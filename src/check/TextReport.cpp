#include "TextReport.h"

#include "Cp1252.h"

QString printable(const QByteArray& bytes)
{
    QString text = fromCp1252(bytes);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control && c != u'\t')
            c = u'?';
    }
    return text;
}

QString verdictText(const Verdict& verdict, const QString& keptAs)
{
    const QString car = verdict.car ? verdict.car->listEntry : QString();
    if (verdict.status == Verdict::Status::Genuine)
        return QStringLiteral("%1: genuine (%2)\n").arg(verdict.path, car);
    QString text = QStringLiteral("%1: tweaked (%2): %3\n").arg(verdict.path, car, verdict.countsText());
    for (const Tweak& tweak : verdict.tweaks) {
        text += QStringLiteral("  line %1: %2\n").arg(tweak.line).arg(printable(tweak.text));
        text += tweak.genuine ? QStringLiteral("    was: %1\n").arg(printable(*tweak.genuine))
                              : QStringLiteral("    added\n");
    }
    for (const MissingLine& missing : verdict.missing)
        text += QStringLiteral("  missing: genuine line %1: %2\n").arg(missing.line).arg(printable(missing.text));
    if (!keptAs.isEmpty())
        text += QStringLiteral("  corrected; the tweaked file is kept as %1\n").arg(keptAs);
    return text;
}

QString summaryText(qint64 genuine, qint64 tweaked, qint64 errors)
{
    const qint64 all = genuine + tweaked + errors;
    return QStringLiteral("%1 %2: %3 genuine, %4 tweaked, %5 %6\n")
        .arg(QString::number(all), all == 1 ? QStringLiteral("descriptor") : QStringLiteral("descriptors"),
             QString::number(genuine), QString::number(tweaked), QString::number(errors),
             errors == 1 ? QStringLiteral("error") : QStringLiteral("errors"));
}
