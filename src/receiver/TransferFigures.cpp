#include "TransferFigures.h"

#include <cmath>
#include <cstdlib>

float progressAfter(float value, qint64 bytes)
{
    return float(double(value) + double(bytes));
}

qint64 completionPercent(float value, float maximum)
{
    const float q = 100.0f / maximum;
    // Two floats multiply exactly in double precision.
    return qint64(std::floor(double(value) * double(q)));
}

QString completionCaption(float value, float maximum)
{
    return QStringLiteral("Complete: %1 %").arg(completionPercent(value, maximum));
}

QString rateCaption(qint32 tickBytes)
{
    const qint64 tenths = (std::llabs(tickBytes) + 50) / 100;
    const QString figure = QStringLiteral("%1%2.%3")
                               .arg(tickBytes < 0 && tenths > 0 ? QStringLiteral("-") : QString())
                               .arg(tenths / 10)
                               .arg(tenths % 10);
    return QStringLiteral("Average: ") + figure + QStringLiteral(" / KBps");
}
