#include "ListenPort.h"

#include <cmath>
#include <limits>

std::optional<qint32> portFromText(const QString& text, QString* error)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        *error = QStringLiteral("Type mismatch: the port to listen to must be a number, not \"%1\".").arg(text);
        return std::nullopt;
    }
    if (number == 0)
        return 0;
    // The default rounding mode rounds a half to the even neighbour.
    const double whole = std::nearbyint(number);
    if (whole < std::numeric_limits<qint32>::min() || whole > std::numeric_limits<qint32>::max()) {
        *error = QStringLiteral("Overflow: the port %1 is far beyond any port.").arg(text.trimmed());
        return std::nullopt;
    }
    return qint32(whole);
}
