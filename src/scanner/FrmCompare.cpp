#include "FrmCompare.h"

#include "CarCatalogue.h"
#include "FileSystem.h"
#include "GameFolder.h"
#include "Launcher.h"
#include "MessageBoxes.h"
#include "OpenReferenceStore.h"

#include <QDir>

FrmCompare::FrmCompare(ControlSurface& controls, const QString& programFolder, MessageBoxes& messages, Launcher& launcher)
    : m_programFolder(programFolder)
    , m_messages(messages)
    , m_launcher(launcher)
    , CarList(controls[u"CarList"])
    , Check1(controls[u"Check1"])
    , Command1(controls[u"Command1"])
    , Command2(controls[u"Command2"])
    , Command3(controls[u"Command3"])
    , Command4(controls[u"Command4"])
    , Command5(controls[u"Command5"])
    , Command6(controls[u"Command6"])
    , Command7(controls[u"Command7"])
    , Command8(controls[u"Command8"])
    , Frame3(controls[u"Frame3"])
    , Label12(controls[u"Label12"])
    , Label13(controls[u"Label13"])
    , Label14(controls[u"Label14"])
    , Label15(controls[u"Label15"])
    , Label19(controls[u"Label19"])
    , Label4(controls[u"Label4"])
    , Label5(controls[u"Label5"])
    , Label6(controls[u"Label6"])
    , Label7(controls[u"Label7"])
    , Label8(controls[u"Label8"])
    , Option1(controls[u"Option1"])
    , Option2(controls[u"Option2"])
    , ProgressBar1(controls[u"ProgressBar1"])
    , Text1(controls[u"Text1"])
    , cmdClose(controls[u"cmdClose"])
    , cmdCompare(controls[u"cmdCompare"])
    , dirList(controls[u"dirList"])
    , drvList(controls[u"drvList"])
    , report(controls[u"report"])
{
    const QString workingFolder = QDir::currentPath();
    drvList.setItems(GameFolder::drives());
    drvList.setText(GameFolder::driveOf(workingFolder, drvList.items()));
    dirList.setText(workingFolder);

    connect(&CarList, &Control::clicked, this, &FrmCompare::CarList_Click);
    connect(&dirList, &Control::textChanged, this, &FrmCompare::dirList_Change);
    connect(&drvList, &Control::textChanged, this, &FrmCompare::drvList_Change);
    connect(&Command3, &Control::clicked, this, &FrmCompare::Command3_Click);
    connect(&Command4, &Control::clicked, this, &FrmCompare::Command4_Click);
    connect(&Command6, &Control::clicked, this, &FrmCompare::Command6_Click);
    connect(&cmdCompare, &Control::clicked, this, &FrmCompare::cmdCompare_Click);
    connect(&Text1, &Control::textChanged, this, &FrmCompare::Text1_Change);
    connect(&Command1, &Control::clicked, this, &FrmCompare::Command1_Click);
    connect(&Command5, &Control::clicked, this, &FrmCompare::Command5_Click);
    connect(&Command8, &Control::clicked, this, &FrmCompare::Command8_Click);
    connect(&cmdClose, &Control::clicked, this, &FrmCompare::endRequested);
    connect(&Command2, &Control::clicked, this, &FrmCompare::receiverRequested);
    connect(&Command7, &Control::clicked, this, &FrmCompare::aboutRequested);
}

FrmCompare::~FrmCompare() = default;

QString FrmCompare::inProgramFolder(const QString& name) const
{
    return m_programFolder + name;
}

bool FrmCompare::Form_Load()
{
    CarList.select(QStringLiteral("Brackwell"));

    unm = 0;
    Text1.setText(QString::number(unm));

    if (!FileSystem::isOrdinaryFile(inProgramFolder(QStringLiteral("\\Sample.txt")))) {
        m_messages.show(QStringLiteral("Parameter file Missing\rContact Administrator"), MessageBoxes::Icon::Critical,
                        QString());
        return false;
    }

    if (!openReferenceDatabase())
        return false;

    const QString database = inProgramFolder(QStringLiteral("/sam.mdb"));
    const std::optional<qint64> size = FileSystem::length(database);
    const std::optional<QDateTime> time = FileSystem::modified(database);
    Label7.setText(size ? QString::number(*size) : QString());
    Label8.setText(time ? FileSystem::dateTimeText(*time) : QString());
    const bool genuine = time && FileSystem::dateMatches(*time, CarCatalogue::DatabaseTime)
        && Label7.text() == CarCatalogue::DatabaseSize;
    Label12.setText(genuine ? QStringLiteral("Correct") : QStringLiteral("Incorrect"));
    return true;
}

bool FrmCompare::openReferenceDatabase()
{
    QString error;
    CodesTable = openReferenceStore(FileSystem::resolve(inProgramFolder(QStringLiteral("\\Sam.mdb"))), &error);
    if (CodesTable)
        return true;
    m_messages.show(QStringLiteral("The reference database could not be opened, so Vortrax Kestrix will close.\n\n%1")
                        .arg(error),
                    MessageBoxes::Icon::Critical);
    return false;
}

void FrmCompare::Command6_Click()
{
    // The working folder's "help.txt" first, where the window has always
    // looked; then the one beside the program, wherever it was started from.
    QString help = QDir::current().absoluteFilePath(QStringLiteral("help.txt"));
    const QString own = FileSystem::resolve(inProgramFolder(QStringLiteral("\\help.txt")));
    if (!FileSystem::isOrdinaryFile(help) && FileSystem::isOrdinaryFile(own))
        help = own;
    if (!m_launcher.open(help))
        m_messages.show(QStringLiteral("The help file %1 could not be opened.").arg(QDir::toNativeSeparators(help)));
}
