#include "CarCatalogue.h"
#include "FileSystem.h"
#include "FrmCompare.h"
#include "GameFolder.h"
#include "MessageBoxes.h"

void FrmCompare::CarList_Click()
{
    const QString s = c[u"CarList"].text();
    for (const Car& car : CarCatalogue::cars()) {
        if (car.listEntry == s) {
            c[u"Label6"].setText(c[u"dirList"].text() + car.descriptorPath);
            c[u"Label4"].setText(car.indexName);
            c[u"Label5"].setText(car.receivedName);
        }
    }
    checkReferenceFile(s);
}

// Loads the car's reference file into fixfile and checks it by size and date.
// A file that cannot be read leaves fixfile empty, so nothing can be corrected
// with another car's text.
void FrmCompare::checkReferenceFile(const QString& s)
{
    const QString path = inProgramFolder(u'\\' + s + QStringLiteral(".dat"));
    QByteArray bytes;
    QString error;
    if (FileSystem::readAll(path, &bytes, &error)) {
        m_fixfile = std::move(bytes);
    } else {
        m_fixfile.reset();
        m_messages.show(QStringLiteral("The reference file could not be read.\n\n%1").arg(error));
    }

    const std::optional<QDateTime> time = FileSystem::modified(path);
    const std::optional<qint64> size = FileSystem::length(path);
    c[u"Label14"].setText(time ? FileSystem::dateTimeText(*time) : QString());
    c[u"Label19"].setText(size ? QString::number(*size) : QString());

    for (const Car& car : CarCatalogue::cars()) {
        if (m_fixfile && s == car.listEntry && c[u"Label19"].text() == car.referenceSize
            && c[u"Label14"].text() == car.referenceTime) {
            c[u"Label15"].setText(QStringLiteral("Correct"));
            return;
        }
    }
    c[u"Label15"].setText(QStringLiteral("Incorrect"));
    if (c[u"Label15"].text() == u"Incorrect") {
        m_messages.show(QStringLiteral(
            "System DAT file(s) are invalid! Scanning will be disabled until you obtain a valid DAT file-set"));
        disableScanning();
    }
}

void FrmCompare::disableScanning()
{
    c[u"Command1"].setEnabled(false);
    c[u"cmdCompare"].setEnabled(false);
    c[u"Command5"].setEnabled(false);
}

void FrmCompare::dirList_Change()
{
    const QString s = c[u"CarList"].text();
    for (const Car& car : CarCatalogue::cars()) {
        if (car.listEntry == s)
            c[u"Label6"].setText(c[u"dirList"].text() + car.descriptorPath);
    }
}

void FrmCompare::drvList_Change()
{
    Control& drvList = c[u"drvList"];
    Control& dirList = c[u"dirList"];
    const QString drive = drvList.text();
    // The drive of the current folder: nothing to move (a revert lands here).
    if (drive == GameFolder::driveOf(dirList.text(), drvList.items()))
        return;
    if (GameFolder::canOpen(drive)) {
        dirList.setText(drive);
        return;
    }
    // A drive that cannot be opened: back to the folder list's drive, silently.
    drvList.setText(GameFolder::driveOf(dirList.text(), drvList.items()));
}

void FrmCompare::Command3_Click()
{
    c[u"drvList"].setVisible(true);
    c[u"dirList"].setVisible(true);
    c[u"Command4"].setVisible(true);
    c[u"report"].setVisible(false);
    c[u"Frame3"].setText(QStringLiteral("Setup"));
    c[u"Option1"].setVisible(false);
    c[u"Option2"].setVisible(false);
    c[u"Command8"].setVisible(false);
}

void FrmCompare::Command4_Click()
{
    c[u"drvList"].setVisible(false);
    c[u"dirList"].setVisible(false);
    c[u"Command4"].setVisible(false);
    c[u"report"].setVisible(true);
    c[u"Frame3"].setText(QStringLiteral("Results"));
    c[u"report"].setHeight(2775);
}
