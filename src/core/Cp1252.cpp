#include "Cp1252.h"

namespace {

// 0x80 … 0x9F; the other bytes are their Latin-1 characters.
constexpr char16_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool byteFor(char16_t character, char* byte)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        *byte = char(character);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (HighControls[i] == character) {
            *byte = char(0x80 + i);
            return true;
        }
    }
    return false;
}

} // namespace

QString fromCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out[i] = byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char16_t(byte);
    }
    return text;
}

QByteArray toCp1252(QStringView text, bool* ok)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    bool all = true;
    qsizetype length = 0;
    for (const QChar character : text) {
        char byte = 0;
        if (byteFor(character.unicode(), &byte))
            bytes[length++] = byte;
        else
            all = false;
    }
    bytes.truncate(length);
    if (ok)
        *ok = all;
    return bytes;
}
