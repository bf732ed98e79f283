#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows-1252 (wire/Windows1252.h) for Qt's strings.

// Every byte maps to a character; the five bytes Windows-1252 leaves
// undefined map to the C1 control of the same value.
QString fromCp1252(QByteArrayView bytes);

// ok is false when a character has no Windows-1252 byte; such characters
// never turn into "?" or anything else that could match.
QByteArray toCp1252(QStringView text, bool* ok = nullptr);
