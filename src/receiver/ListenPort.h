#pragma once

#include <QString>

#include <optional>

// The port that the port box's text asks for: a number, 0 letting the
// system choose; a fraction rounds to the nearest whole number, a half to
// the even one. Text that is no number, or beyond a 32-bit integer, gives
// nothing and a description of the failure. The port's range is the
// socket's to check.
std::optional<qint32> portFromText(const QString& text, QString* error);
