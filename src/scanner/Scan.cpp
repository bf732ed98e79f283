#include "DescriptorScan.h"
#include "FrmCompare.h"
#include "MessageBoxes.h"
#include "UnmatchLog.h"

#include <limits>

void FrmCompare::cmdCompare_Click()
{
    report.setHeight(2775);
    if (Label12.text() == u"Incorrect") {
        m_messages.show(QStringLiteral(
            "Database is invalid! Scanning will be disabled until you obtain a valid Car Descriptor Database"));
        disableScanning();
        Label13.setVisible(true);
        return;
    }
    if (!cmdCompare.isEnabled())
        return;

    Command1.setEnabled(false);
    scan(Check1.value() == 0 ? m_programFolder + Label5.text() : Label6.text());
}

void FrmCompare::scan(const QString& descriptorPath)
{
    UnmatchPath = inProgramFolder(QStringLiteral("\\Unmatch.txt"));
    UnmatchLog log(UnmatchPath);
    const DescriptorScan scan{descriptorPath, Label4.text()};
    const DescriptorScan::Outcome outcome = scan.run(*CodesTable, [this, &log](QByteArrayView line, qint64, QString* error) {
        if (!log.append(line, error))
            return false;
        sam = line.toByteArray();
        // The count stops at its largest value; every line is still logged.
        if (unm < std::numeric_limits<qint16>::max())
            ++unm;
        Text1.setText(QString::number(unm));
        return true;
    });

    sam = outcome.lastLine;
    if (!outcome.completed) {
        // What was logged stays; the log can be viewed and the window reset.
        m_messages.show(QStringLiteral("The scan stopped after reading %1 line(s).\n\n%2").arg(outcome.lines).arg(outcome.error),
                        MessageBoxes::Icon::Critical);
        Command1.setEnabled(true);
        Command5.setEnabled(true);
        return;
    }

    ProgressBar1.setValue(100);
    m_messages.show(QStringLiteral("Comparisation Completed and Unmatch file created"));
    if (Text1.text().toInt() == 0)
        m_messages.show(QStringLiteral("No 'Car Descriptor Tweaks' were found. :)"));
    if (Text1.text().toInt() > 0)
        m_messages.show(QStringLiteral("'Tweaks' have been found in your Car Descripter! Refer to the 'View Tweaked "
                                       "Data' function for more information."));
    Command1.setEnabled(true);
    cmdCompare.setEnabled(false);
    Command5.setEnabled(true);
    if (Text1.text() == u"0")
        ProgressBar1.setValue(1);
}
