#include "Verdict.h"

QString Verdict::statusText() const
{
    switch (status) {
    case Status::Genuine:
        return QStringLiteral("genuine");
    case Status::Tweaked:
        return QStringLiteral("tweaked");
    case Status::Error:
        break;
    }
    return QStringLiteral("error");
}

namespace {
QString counted(std::size_t count, const QString& what)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(what, count == 1 ? QString() : QStringLiteral("s"));
}
} // namespace

QString Verdict::countsText() const
{
    return counted(tweaks.size(), QStringLiteral("tweaked line")) + QStringLiteral(", ")
        + counted(missing.size(), QStringLiteral("missing line"));
}
