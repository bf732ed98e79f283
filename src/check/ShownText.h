#pragma once

#include <QByteArrayView>
#include <QString>

// Names and messages as a person may safely see them. A path is bytes and
// may hold anything a file name can: escapes, newlines, bidirectional
// overrides, bytes that are not UTF-8. Shown, a backslash is "\\", newline
// and tab are "\n" and "\t", every other control character and every
// invalid byte is "\xHH", and invisible format characters are "\uHHHH", so
// that no name can fake a line of output or steer a terminal.
namespace ShownText {

// A name (UTF-8 where it is valid), escaped.
QString name(QByteArrayView bytes);
// A message already in text, escaped the same way but for backslashes:
// the names in a message are escaped already.
QString message(const QString& text);
// The name's text for JSON: its bytes as UTF-8, U+FFFD for each invalid one.
QString jsonName(QByteArrayView bytes);
// Whether the bytes are valid UTF-8, so that jsonName gives them back exactly.
bool isUtf8(QByteArrayView bytes);

} // namespace ShownText
