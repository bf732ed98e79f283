#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a window of size goes beside the window at main: right of it, else
// left, below or above, the first place where it fits the screen's available
// area; where none does, the right-hand place moved inside that area.
QPoint placeBeside(const QRect& main, const QSize& size, const QRect& available);
