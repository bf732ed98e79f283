#include "StandingBadge.h"

#include <array>

namespace {

// Worst first.
constexpr std::array<const char*, 4> Deviations{"tweaked", "damaged", "refused", "error"};

const char* colourOf(const QString& standing)
{
    if (standing == QLatin1String("genuine"))
        return "#1a7f37";
    if (standing == QLatin1String("tweaked"))
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
    const QString label = QStringLiteral("kestrix");
    const int left = widthOf(label);
    const int right = widthOf(standing);
    const QByteArray width = QByteArray::number(left + right);
    const QByteArray text = standing.toHtmlEscaped().toUtf8();
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"20\" role=\"img\" aria-label=\"kestrix: "
        + text + "\">\n<title>" + (title + QStringLiteral(": ") + standing).toHtmlEscaped().toUtf8()
        + "</title>\n<rect width=\"" + QByteArray::number(left) + "\" height=\"20\" fill=\"#555\"/>\n<rect x=\""
        + QByteArray::number(left) + "\" width=\"" + QByteArray::number(right) + "\" height=\"20\" fill=\""
        + colourOf(standing) + "\"/>\n"
          "<g fill=\"#fff\" font-family=\"DejaVu Sans,Verdana,sans-serif\" font-size=\"11\" text-anchor=\"middle\">\n"
          "<text x=\"" + QByteArray::number(left / 2) + "\" y=\"14\">kestrix</text>\n<text x=\""
        + QByteArray::number(left + right / 2) + "\" y=\"14\">" + text + "</text>\n</g>\n</svg>\n";
}

} // namespace StandingBadge
