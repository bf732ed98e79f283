// libFuzzer target for the FILEINFO header: GetField against a literal
// rendering of its search loop, the header collector fed the chunk cut into
// reads against the same chunk whole, the header parser, and the name check.
// Input: 4 bytes of field number (also the seed of the cuts), then the chunk.

#include "Cp1252.h"
#include "FileInfoHeader.h"
#include "HeaderCollector.h"
#include "ReceivedName.h"

#include <algorithm>
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

// The collector sees the same header and the same data after it however the
// chunk is cut into reads.
void checkCollector(QByteArrayView chunk, quint32 seed)
{
    HeaderCollector whole;
    QByteArrayView wholeRest;
    const HeaderCollector::Status expected = whole.add(chunk, &wholeRest);
    if (expected == HeaderCollector::Status::Complete) {
        const QByteArray& header = whole.header();
        check(header.startsWith("FILEINFO") && header.endsWith('|') && header.count('|') == 3);
        check(header.size() <= HeaderCollector::MaxLength);
        check(header.size() + wholeRest.size() == chunk.size());
    }

    HeaderCollector pieces;
    HeaderCollector::Status status = HeaderCollector::Status::NeedMore;
    QByteArray rest;
    qsizetype at = 0;
    while (at < chunk.size()) {
        seed = seed * 1664525u + 1013904223u;
        const qsizetype length = std::min<qsizetype>(chunk.size() - at, 1 + (seed >> 24) % 16);
        const QByteArrayView read = chunk.sliced(at, length);
        at += length;
        if (status == HeaderCollector::Status::Complete) {
            rest.append(read);
            continue;
        }
        QByteArrayView after;
        status = pieces.add(read, &after);
        if (status == HeaderCollector::Status::Complete)
            rest.append(after);
        else if (status != HeaderCollector::Status::NeedMore)
            break;
    }
    check(status == expected);
    if (status == HeaderCollector::Status::Complete)
        check(pieces.header() == whole.header() && rest == wholeRest);
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

    checkCollector(chunk, quint32(fieldPos));

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
            check(!name.contains(u'/') && !name.contains(u'\\') && !name.contains(QStringLiteral("..")) && !name.isEmpty()
                  && !name.startsWith(u' ') && !name.endsWith(u' ') && !name.endsWith(u'.'));
    }
    displayText(chunk);
    return 0;
}
