#include "FileInfoHeader.h"

#include "Cp1252.h"

#include <algorithm>

namespace {

constexpr char Separator = '|';
constexpr QByteArrayView Marker("FILEINFO");

// 1-based position of the first separator at or after start; 0 when none.
qsizetype search(QByteArrayView text, qint64 start)
{
    if (start < 1 || start > text.size())
        return 0;
    const qsizetype found = text.indexOf(Separator, qsizetype(start - 1));
    return found < 0 ? 0 : found + 1;
}

} // namespace

QByteArray GetField(QByteArrayView Field, qint32 FieldPos)
{
    // The searches run through the separators' positions, then find none and
    // start over, so after n searches the found position is the
    // (n mod (separators + 1))-th separator, or 0 for the lap's last search.
    const qint64 searches = qint64(FieldPos) - 1;
    qsizetype found = 0;
    if (searches > 0) {
        const qsizetype separators = Field.count(Separator);
        const qint64 lap = (searches - 1) % (qint64(separators) + 1);
        if (lap < separators) {
            found = 0;
            for (qint64 i = 0; i <= lap; ++i)
                found = search(Field, qint64(found) + 1);
        }
    }
    const qint64 fieldStart = qint64(found) + 1;
    const qint64 fieldEnd = search(Field, fieldStart);
    if (fieldEnd >= fieldStart)
        return Field.sliced(qsizetype(fieldStart - 1), qsizetype(fieldEnd - fieldStart)).toByteArray();
    return QByteArray();
}

bool isFileInfoHeader(QByteArrayView chunk)
{
    return chunk.startsWith(Marker);
}

std::optional<FileInfoHeader> parseFileInfoHeader(QByteArrayView chunk, QString* error)
{
    const QByteArray sizeField = GetField(chunk, 2);
    const QByteArray digits = sizeField.trimmed();
    if (digits.isEmpty()) {
        *error = QStringLiteral("the header gives no size");
        return std::nullopt;
    }
    bool ok = false;
    const qint64 size = digits.toLongLong(&ok);
    const bool allDigits = std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; });
    if (!allDigits || !ok) {
        const QString shown = displayText(sizeField);
        *error = ok && size < 0 ? QStringLiteral("the size %1 is negative").arg(shown)
            : allDigits        ? QStringLiteral("the size %1 is too large").arg(shown)
                               : QStringLiteral("the size \"%1\" is not a whole number of bytes").arg(shown);
        return std::nullopt;
    }
    if (size == 0) {
        *error = QStringLiteral("the size is 0 bytes");
        return std::nullopt;
    }
    return FileInfoHeader{size, GetField(chunk, 3)};
}

QByteArray fileInfoHeader(qint64 size, QByteArrayView name)
{
    return Marker.toByteArray() + Separator + QByteArray::number(size) + Separator + name.toByteArray() + Separator;
}

QString displayText(QByteArrayView bytes)
{
    // A field may be as long as a whole chunk; a message needs its start only.
    constexpr qsizetype Shown = 80;
    QString text = fromCp1252(bytes.first(std::min(bytes.size(), Shown)));
    if (bytes.size() > Shown)
        text += QStringLiteral("...");
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    return text;
}
