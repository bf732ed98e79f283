#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

namespace CollectorTest {

// kestrix-send run to its end, the token given as a player's shell gives it.
struct Send {
    Send(quint16 port, const QString& file, const QStringList& extra, const QByteArray& token = QByteArray())
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KESTRIX_TOKEN"));
        if (!token.isNull())
            environment.insert(QStringLiteral("KESTRIX_TOKEN"), QString::fromLatin1(token));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTRIX_SEND),
                      QStringList{QStringLiteral("127.0.0.1"), QString::number(port), file} + extra);
        [[maybe_unused]] const bool ended = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30'000);
        status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        out = QString::fromLocal8Bit(process.readAllStandardOutput());
        errors = QString::fromLocal8Bit(process.readAllStandardError());
    }
    int status = -1;
    QString out;
    QString errors;
};

} // namespace CollectorTest
