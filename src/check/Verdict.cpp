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
