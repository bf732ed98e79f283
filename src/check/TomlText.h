#pragma once

#include <QString>

#include <toml++/toml.h>

#include <string_view>

// The league's TOML files (rules, roster, events): their text as toml++
// holds it (UTF-8), and where a fault in one is.

inline QString tomlText(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// "FILE:LINE:COLUMN: what", in one pass, so that a "%1" in a name stays as it is.
inline QString tomlLocated(const QString& path, quint32 line, quint32 column, const QString& what)
{
    return QStringLiteral("%1:%2:%3: %4").arg(path, QString::number(line), QString::number(column), what);
}

inline QString tomlLocated(const QString& path, const toml::source_region& where, const QString& what)
{
    return tomlLocated(path, where.begin.line, where.begin.column, what);
}
