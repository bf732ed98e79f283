#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

// The companion tools' usage text: asked for with --help it goes to stdout
// and the tool ends with status 0; after a wrong command line it goes to
// stderr and the status is 2. --version prints the tool's name and version,
// status 0.
namespace Usage {

inline bool asked(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
}

inline bool versionAsked(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--version"));
}

inline int showVersion()
{
    const QString line = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                       QCoreApplication::applicationVersion());
    std::fputs(line.toLocal8Bit().constData(), stdout);
    return 0;
}

inline int show(const QString& text, bool asked)
{
    std::fputs(text.toLocal8Bit().constData(), asked ? stdout : stderr);
    return asked ? 0 : 2;
}

} // namespace Usage
