#include "Cp1252.h"

#include "Windows1252.h"

QString fromCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = wire::unicodeOfCp1252(static_cast<unsigned char>(bytes[i]));
    return text;
}

QByteArray toCp1252(QStringView text, bool* ok)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    bool all = true;
    qsizetype length = 0;
    for (const QChar character : text) {
        if (const std::optional<char> byte = wire::cp1252Of(character.unicode()))
            bytes[length++] = *byte;
        else
            all = false;
    }
    bytes.truncate(length);
    if (ok)
        *ok = all;
    return bytes;
}
