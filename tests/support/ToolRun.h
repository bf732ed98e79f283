#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// One run of a companion tool, waited for to its end.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QString errors;

    static ToolRun of(const QString& program, const QStringList& arguments, int timeoutMs = 60'000)
    {
        QProcess process;
        process.start(program, arguments);
        ToolRun run;
        if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            run.errors = QStringLiteral("did not end normally: ") + process.errorString();
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.errors = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
};
