// libFuzzer target for the FILEINFO header: GetField against a literal
// rendering of its search loop, the header parser, and the name check.
// Input: 4 bytes of field number, then the chunk.

#include "Cp1252.h"
#include "FileInfoHeader.h"
#include "ReceivedName.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The search loop step by step, as slow as it reads; for small field numbers.
QByteArray literalGetField(QByteArrayView text, qint32 fieldPos)
{
    const auto search = [&](qint64 from) -> qint64 {
        for (qint64 p = std::max<qint64>(from, 1); p <= text.size(); ++p) {
            if (text[p - 1] == '|')
                return p;
        }
        return 0;
    };
    qint64 start = 1;
    qint64 found = 0;
    for (qint64 i = 1; i <= qint64(fieldPos) - 1; ++i) {
        found = search(start);
        start = found + 1;
    }
    const qint64 fieldStart = found + 1;
    const qint64 fieldEnd = search(fieldStart);
    if (fieldEnd >= fieldStart)
        return text.sliced(fieldStart - 1, fieldEnd - fieldStart).toByteArray();
    return QByteArray();
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    qint32 fieldPos = 0;
    std::memcpy(&fieldPos, data, 4);
    const QByteArrayView chunk(reinterpret_cast<const char*>(data) + 4, qsizetype(size - 4));

    const QByteArray field = GetField(chunk, fieldPos);
    check(field.size() <= chunk.size() && !field.contains('|'));
    if (fieldPos > -1000 && fieldPos < 1000)
        check(field == literalGetField(chunk, fieldPos));

    QString error;
    const std::optional<FileInfoHeader> header = parseFileInfoHeader(chunk, &error);
    check(header.has_value() == error.isEmpty());
    if (header) {
        check(header->size > 0);
        check(header->name == GetField(chunk, 3));
        // What a sender writes for it reads back the same.
        const std::optional<FileInfoHeader> again = parseFileInfoHeader(fileInfoHeader(header->size, header->name), &error);
        check(again && again->size == header->size && again->name == header->name);
        check(isFileInfoHeader(fileInfoHeader(header->size, header->name)));

        const QString name = fromCp1252(header->name);
        const QString reason = refusalReason(name, programOwnFiles(QStringLiteral("kestrix")));
        if (reason.isEmpty())
            check(!name.contains(u'/') && !name.contains(u'\\') && !name.contains(QStringLiteral("..")) && !name.isEmpty());
    }
    displayText(chunk);
    return 0;
}
