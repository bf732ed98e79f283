#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>
#include <string_view>

// Between Qt's byte arrays and the plain wire library's strings.
namespace WireBytes {

inline std::string_view view(QByteArrayView bytes)
{
    return {bytes.data(), std::size_t(bytes.size())};
}

inline QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace WireBytes
