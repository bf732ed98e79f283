#include "Cp1252.h"
#include "FileSystem.h"
#include "FrmCompare.h"
#include "MessageBoxes.h"

#include <QDir>
#include <QFile>

// Runs inside whatever wrote the counter, before that code goes on.
void FrmCompare::Text1_Change()
{
    if (c[u"Text1"].text().toInt() < 1)
        return;
    c[u"cmdCompare"].setEnabled(false);
    c[u"Command8"].setVisible(true);
    c[u"Option1"].setVisible(true);
    c[u"Option2"].setVisible(true);
    c[u"report"].setHeight(2415);
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
    c[u"report"].setText(fromCp1252(bytes));
}

void FrmCompare::Command5_Click()
{
    unm = 0;
    c[u"Text1"].setText(QString::number(unm));
    c[u"report"].setText(QString());
    QString error;
    if (!FileSystem::writeAll(inProgramFolder(QStringLiteral("\\Unmatch.txt")), toCp1252(c[u"report"].text()), &error))
        m_messages.show(QStringLiteral("The log of tweaks could not be emptied.\n\n%1").arg(error));
    c[u"cmdCompare"].setEnabled(true);
    c[u"Command1"].setEnabled(false);
    c[u"Command8"].setVisible(false);
    c[u"Option1"].setVisible(false);
    c[u"Option2"].setVisible(false);
}
