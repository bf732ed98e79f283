#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The FILEINFO header (wire/FileInfoFormat.h) for Qt's byte arrays and
// strings.

// The FieldPos-th "|"-delimited field of Field, 1-based. A field that no "|"
// follows comes out empty; a search that finds no "|" starts again at the
// beginning, so "A|B" gives "A" for field 3.
QByteArray GetField(QByteArrayView Field, qint32 FieldPos);

// A chunk is a header when its first eight bytes are "FILEINFO", upper case.
bool isFileInfoHeader(QByteArrayView chunk);

struct FileInfoHeader {
    qint64 size = 0;  // above 0
    QByteArray name;  // 8-bit text as sent, not yet checked as a file name
};

// What a header chunk announces; anything after the name's "|" is ignored.
// Without a usable size, error says why.
std::optional<FileInfoHeader> parseFileInfoHeader(QByteArrayView chunk, QString* error);

// The header a sender writes before the file's bytes.
QByteArray fileInfoHeader(qint64 size, QByteArrayView name);

// 8-bit protocol text made safe to show: control characters become "?".
QString displayText(QByteArrayView bytes);
