#pragma once

#include "Verdict.h"

#include <QJsonObject>

// A verdict as the tools write it for machines, one JSON object a
// descriptor: path, car, status, lines, tweaks (line, text, and the genuine
// line it replaced or null), missing (line, text), and error on errors
// only. Descriptor text is shown as Windows-1252.
QJsonObject verdictJson(const Verdict& verdict);

// One line of JSON Lines: the object, compact, then a line feed.
QByteArray jsonLine(const QJsonObject& object);
