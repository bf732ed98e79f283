#include "StandingBadge.h"

#include "LeagueFiles.h"

#include <array>

namespace {

// Worst first.
constexpr std::array<const char*, 4> Deviations{"tweaked", "damaged", "refused", "error"};

const char* colourOf(const QString& standing)
{
    if (standing == QLatin1String("genuine") || standing == QLatin1String("passed"))
        return "#1a7f37";
    if (standing == QLatin1String("tweaked") || standing == QLatin1String("failed"))
        return "#cf222e";
    if (standing == QLatin1String("damaged"))
        return "#bc4c00";
    if (standing == QLatin1String("refused"))
        return "#59636e";
    if (standing == QLatin1String("error"))
        return "#8250df";
    return "#8c959f";
}

// The width of a text in 11 px DejaVu Sans, near enough for a badge.
int widthOf(const QString& text)
{
    return int(text.size()) * 7 + 12;
}

} // namespace

namespace StandingBadge {

QString standing(const LeagueHistory::Cars* cars)
{
    if (!cars)
        return QStringLiteral("none");
    std::size_t worst = Deviations.size();
    bool any = false;
    for (const auto& [carName, car] : *cars) {
        // A file of no car is no car's standing.
        if (carName.isEmpty())
            continue;
        const QString status = car.latest.isEmpty() ? QStringLiteral("refused")
                                                    : car.latest.value(QLatin1String("status")).toString();
        any = true;
        for (std::size_t rank = 0; rank < worst; ++rank) {
            if (status == QLatin1String(Deviations[rank]))
                worst = rank;
        }
    }
    if (!any)
        return QStringLiteral("none");
    return worst < Deviations.size() ? QString::fromLatin1(Deviations[worst]) : QStringLiteral("genuine");
}

QByteArray svg(const QString& title, const QString& standing)
{
    const int left = widthOf(QStringLiteral("kestrix"));
    const int right = widthOf(standing);
    // Names last: what they hold is never read as a placeholder.
    return LeagueFiles::bytes(LeagueFiles::File::BadgeForm)
        .replace("{width}", QByteArray::number(left + right))
        .replace("{left}", QByteArray::number(left))
        .replace("{right}", QByteArray::number(right))
        .replace("{label-x}", QByteArray::number(left / 2))
        .replace("{standing-x}", QByteArray::number(left + right / 2))
        .replace("{colour}", colourOf(standing))
        .replace("{standing}", standing.toHtmlEscaped().toUtf8())
        .replace("{title}", (title + QStringLiteral(": ") + standing).toHtmlEscaped().toUtf8());
}

} // namespace StandingBadge
