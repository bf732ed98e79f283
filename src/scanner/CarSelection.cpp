#include "CarCatalogue.h"
#include "FileSystem.h"
#include "FrmCompare.h"
#include "GameFolder.h"
#include "MessageBoxes.h"

void FrmCompare::CarList_Click()
{
    const QString s = CarList.text();
    for (const Car& car : CarCatalogue::cars()) {
        if (car.listEntry == s) {
            Label6.setText(dirList.text() + car.descriptorPath);
            Label4.setText(car.indexName);
            Label5.setText(car.receivedName);
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
    Label14.setText(time ? FileSystem::dateTimeText(*time) : QString());
    Label19.setText(size ? QString::number(*size) : QString());

    for (const Car& car : CarCatalogue::cars()) {
        if (m_fixfile && s == car.listEntry && Label19.text() == car.referenceSize && time
            && FileSystem::dateMatches(*time, car.referenceTime)) {
            Label15.setText(QStringLiteral("Correct"));
            return;
        }
    }
    Label15.setText(QStringLiteral("Incorrect"));
    if (Label15.text() == u"Incorrect") {
        m_messages.show(QStringLiteral(
            "System DAT file(s) are invalid! Scanning will be disabled until you obtain a valid DAT file-set"));
        disableScanning();
    }
}

void FrmCompare::disableScanning()
{
    Command1.setEnabled(false);
    cmdCompare.setEnabled(false);
    Command5.setEnabled(false);
}

void FrmCompare::dirList_Change()
{
    const QString s = CarList.text();
    for (const Car& car : CarCatalogue::cars()) {
        if (car.listEntry == s)
            Label6.setText(dirList.text() + car.descriptorPath);
    }
}

void FrmCompare::drvList_Change()
{
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
    drvList.setVisible(true);
    dirList.setVisible(true);
    Command4.setVisible(true);
    report.setVisible(false);
    Frame3.setText(QStringLiteral("Setup"));
    Option1.setVisible(false);
    Option2.setVisible(false);
    Command8.setVisible(false);
}

void FrmCompare::Command4_Click()
{
    drvList.setVisible(false);
    dirList.setVisible(false);
    Command4.setVisible(false);
    report.setVisible(true);
    Frame3.setText(QStringLiteral("Results"));
    report.setHeight(2775);
}
