#include "Cp1252.h"
#include "FileSystem.h"
#include "FrmCompare.h"
#include "MessageBoxes.h"

#include <QDir>
#include <QFile>

// Runs inside whatever wrote the counter, before that code goes on.
void FrmCompare::Text1_Change()
{
    if (Text1.text().toInt() < 1)
        return;
    cmdCompare.setEnabled(false);
    Command8.setVisible(true);
    Option1.setVisible(true);
    Option2.setVisible(true);
    report.setHeight(2415);
}

void FrmCompare::Command1_Click()
{
    const QString path = inProgramFolder(QStringLiteral("\\Unmatch.txt"));
    // Opened for writing too, so a missing log is created empty; a log that
    // may only be read is still shown.
    QFile log;
    QString error;
    const bool opened = FileSystem::openOrdinary(path, QIODevice::ReadWrite, &log, &error)
        || (FileSystem::isOrdinaryFile(path) && FileSystem::openOrdinary(path, QIODevice::ReadOnly, &log, &error));
    const QByteArray bytes = opened ? log.readAll() : QByteArray();
    if (opened && log.error() != QFileDevice::NoError)
        error = FileSystem::failure(path, log.errorString());
    if (!opened || log.error() != QFileDevice::NoError) {
        m_messages.show(QStringLiteral("The log of tweaks could not be read.\n\n%1").arg(error));
        return;
    }
    report.setText(fromCp1252(bytes));
}

void FrmCompare::Command5_Click()
{
    unm = 0;
    Text1.setText(QString::number(unm));
    report.setText(QString());
    QString error;
    if (!FileSystem::writeAll(inProgramFolder(QStringLiteral("\\Unmatch.txt")), toCp1252(report.text()), &error))
        m_messages.show(QStringLiteral("The log of tweaks could not be emptied.\n\n%1").arg(error));
    cmdCompare.setEnabled(true);
    Command1.setEnabled(false);
    Command8.setVisible(false);
    Option1.setVisible(false);
    Option2.setVisible(false);
}
