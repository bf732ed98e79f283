#pragma once

#include "Verdict.h"

#include <QByteArray>
#include <QJsonObject>

// A verdict as one JSON object: path (UTF-8, with U+FFFD for bytes that are
// not, and then path_base64 with its exact bytes), player, car, status,
// kind, the window's tweaks and the lines missing, the differences, and for
// an error its reason. Descriptor bytes are read as Windows-1252.
// Every field is described in docs/verdict-record.md and its schema.
QJsonObject verdictJson(const Verdict& verdict);

// A JSON object as one line of JSON Lines.
QByteArray jsonLine(const QJsonObject& object);
