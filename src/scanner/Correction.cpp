#include "FileSystem.h"
#include "FrmCompare.h"
#include "MessageBoxes.h"

void FrmCompare::Command8_Click()
{
    if (Option2.value() != 0) {
        if (!correct(inProgramFolder(u'\\' + CarList.text() + QStringLiteral("Descriptor.txt"))))
            return;
        Option1.setVisible(false);
    } else if (Option1.value() != 0) {
        if (!correct(Label6.text()))
            return;
        Option1.setVisible(false);
    } else {
        m_messages.show(QStringLiteral("You must select Local or Remote option before correcting a Car Descriptor."));
        return;
    }
    Option2.setVisible(false);
    Command8.setVisible(false);
    report.setHeight(2775);
}

// Writes the selected car's genuine descriptor over target. On failure the
// row stays, so the user can choose again.
bool FrmCompare::correct(const QString& target)
{
    if (!m_fixfile) {
        m_messages.show(QStringLiteral("Nothing was corrected: the genuine descriptor of %1 could not be loaded from "
                                       "its reference file.")
                            .arg(CarList.text()));
        return false;
    }
    QString error;
    if (!FileSystem::writeAll(target, *m_fixfile, &error)) {
        m_messages.show(QStringLiteral("The descriptor could not be corrected.\n\n%1").arg(error));
        return false;
    }
    return true;
}
