#include "FileInfoHeader.h"

#include "FileInfoFormat.h"
#include "WireBytes.h"

QByteArray GetField(QByteArrayView Field, qint32 FieldPos)
{
    return WireBytes::bytes(wire::headerField(WireBytes::view(Field), FieldPos));
}

bool isFileInfoHeader(QByteArrayView chunk)
{
    return wire::isFileInfoHeader(WireBytes::view(chunk));
}

std::optional<FileInfoHeader> parseFileInfoHeader(QByteArrayView chunk, QString* error)
{
    std::string why;
    std::optional<wire::AnnouncedFile> announced = wire::parseFileInfoHeader(WireBytes::view(chunk), &why);
    if (!announced) {
        *error = QString::fromStdString(why);
        return std::nullopt;
    }
    return FileInfoHeader{announced->size, WireBytes::bytes(announced->name)};
}

QByteArray fileInfoHeader(qint64 size, QByteArrayView name)
{
    return WireBytes::bytes(wire::fileInfoHeader(size, WireBytes::view(name)));
}

QString displayText(QByteArrayView bytes)
{
    return QString::fromStdString(wire::shownText(WireBytes::view(bytes)));
}
