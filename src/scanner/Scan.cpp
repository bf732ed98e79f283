#include "DescriptorScan.h"
#include "FrmCompare.h"
#include "MessageBoxes.h"
#include "UnmatchLog.h"

#include <limits>

void FrmCompare::cmdCompare_Click()
{
    c[u"report"].setHeight(2775);
    if (c[u"Label12"].text() == u"Incorrect") {
        m_messages.show(QStringLiteral(
            "Database is invalid! Scanning will be disabled until you obtain a valid Car Descriptor Database"));
        disableScanning();
        c[u"Label13"].setVisible(true);
        return;
    }
    if (!c[u"cmdCompare"].isEnabled())
        return;

    c[u"Command1"].setEnabled(false);
    scan(c[u"Check1"].value() == 0 ? m_programFolder + c[u"Label5"].text() : c[u"Label6"].text());
}

void FrmCompare::scan(const QString& descriptorPath)
{
    UnmatchPath = inProgramFolder(QStringLiteral("\\Unmatch.txt"));
    UnmatchLog log(UnmatchPath);
    const DescriptorScan scan{descriptorPath, c[u"Label4"].text()};
    const DescriptorScan::Outcome outcome = scan.run(*CodesTable, [this, &log](QByteArrayView line, qint64, QString* error) {
        if (!log.append(line, error))
            return false;
        sam = line.toByteArray();
        // The count stops at its largest value; every line is still logged.
        if (unm < std::numeric_limits<qint16>::max())
            ++unm;
        c[u"Text1"].setText(QString::number(unm));
        return true;
    });

    sam = outcome.lastLine;
    if (!outcome.completed) {
        // What was logged stays; the log can be viewed and the window reset.
        m_messages.show(QStringLiteral("The scan stopped after reading %1 line(s).\n\n%2").arg(outcome.lines).arg(outcome.error),
                        MessageBoxes::Icon::Critical);
        c[u"Command1"].setEnabled(true);
        c[u"Command5"].setEnabled(true);
        return;
    }

    c[u"ProgressBar1"].setValue(100);
    m_messages.show(QStringLiteral("Comparisation Completed and Unmatch file created"));
    if (c[u"Text1"].text().toInt() == 0)
        m_messages.show(QStringLiteral("No 'Car Descriptor Tweaks' were found. :)"));
    if (c[u"Text1"].text().toInt() > 0)
        m_messages.show(QStringLiteral("'Tweaks' have been found in your Car Descripter! Refer to the 'View Tweaked "
                                       "Data' function for more information."));
    c[u"Command1"].setEnabled(true);
    c[u"cmdCompare"].setEnabled(false);
    c[u"Command5"].setEnabled(true);
    if (c[u"Text1"].text() == u"0")
        c[u"ProgressBar1"].setValue(1);
}
