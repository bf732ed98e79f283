#include "WindowPlacement.h"

#include <QList>

#include <algorithm>

QPoint placeBeside(const QRect& main, const QSize& size, const QRect& available)
{
    const QList<QPoint> places{{main.right() + 1, main.top()},
                               {main.left() - size.width(), main.top()},
                               {main.left(), main.bottom() + 1},
                               {main.left(), main.top() - size.height()}};
    for (const QPoint& place : places) {
        if (available.contains(QRect(place, size)))
            return place;
    }
    // Too big for any place beside: inside the area, its top left corner first.
    const QPoint first = places.first();
    return {std::max(available.left(), std::min(first.x(), available.right() + 1 - size.width())),
            std::max(available.top(), std::min(first.y(), available.bottom() + 1 - size.height()))};
}
