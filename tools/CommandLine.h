#pragma once

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

#include <cstdio>

// The ways of the command-line tools built on Qt's parser: --help and
// --version print on stdout and end the tool with status 0; a mistake says
// what it was and prints the usage on stderr, status 2. Messages on stderr
// start with the tool's name.
namespace CommandLine {

inline void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

inline void complain(const QString& message)
{
    print(stderr, QStringLiteral("%1: %2\n").arg(QCoreApplication::applicationName(), message));
}

// Adds --help and --version; false, with the status to end with, when the
// tool should not go on.
inline bool parse(QCommandLineParser& parser, const QStringList& arguments, int* exitStatus)
{
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
    parser.addOption(help);
    parser.addOption(version);
    *exitStatus = 0;
    if (!parser.parse(arguments)) {
        complain(parser.errorText());
        print(stderr, parser.helpText());
        *exitStatus = 2;
        return false;
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return false;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                     QCoreApplication::applicationVersion()));
        return false;
    }
    return true;
}

// A mistake found after parsing: the message, the usage, status 2.
inline int wrong(const QCommandLineParser& parser, const QString& message)
{
    complain(message);
    print(stderr, parser.helpText());
    return 2;
}

} // namespace CommandLine
