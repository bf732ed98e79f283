#include "FrmCompare.h"

#include "CarCatalogue.h"
#include "FileSystem.h"
#include "GameFolder.h"
#include "Launcher.h"
#include "MessageBoxes.h"
#include "OpenReferenceStore.h"

#include <QDir>

FrmCompare::FrmCompare(ControlSurface& controls, const QString& programFolder, MessageBoxes& messages, Launcher& launcher)
    : c(controls)
    , m_programFolder(programFolder)
    , m_messages(messages)
    , m_launcher(launcher)
{
    const QString workingFolder = QDir::currentPath();
    c[u"drvList"].setItems(GameFolder::drives());
    c[u"drvList"].setText(GameFolder::driveOf(workingFolder, c[u"drvList"].items()));
    c[u"dirList"].setText(workingFolder);

    connect(&c[u"CarList"], &Control::clicked, this, &FrmCompare::CarList_Click);
    connect(&c[u"dirList"], &Control::textChanged, this, &FrmCompare::dirList_Change);
    connect(&c[u"drvList"], &Control::textChanged, this, &FrmCompare::drvList_Change);
    connect(&c[u"Command3"], &Control::clicked, this, &FrmCompare::Command3_Click);
    connect(&c[u"Command4"], &Control::clicked, this, &FrmCompare::Command4_Click);
    connect(&c[u"Command6"], &Control::clicked, this, &FrmCompare::Command6_Click);
    connect(&c[u"cmdCompare"], &Control::clicked, this, &FrmCompare::cmdCompare_Click);
    connect(&c[u"Text1"], &Control::textChanged, this, &FrmCompare::Text1_Change);
    connect(&c[u"Command1"], &Control::clicked, this, &FrmCompare::Command1_Click);
    connect(&c[u"Command5"], &Control::clicked, this, &FrmCompare::Command5_Click);
    connect(&c[u"Command8"], &Control::clicked, this, &FrmCompare::Command8_Click);
    connect(&c[u"cmdClose"], &Control::clicked, this, &FrmCompare::endRequested);
    connect(&c[u"Command2"], &Control::clicked, this, &FrmCompare::receiverRequested);
    connect(&c[u"Command7"], &Control::clicked, this, &FrmCompare::aboutRequested);
}

FrmCompare::~FrmCompare() = default;

QString FrmCompare::inProgramFolder(const QString& name) const
{
    return m_programFolder + name;
}

bool FrmCompare::Form_Load()
{
    c[u"CarList"].select(QStringLiteral("Brackwell"));

    unm = 0;
    c[u"Text1"].setText(QString::number(unm));

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
    c[u"Label7"].setText(size ? QString::number(*size) : QString());
    c[u"Label8"].setText(time ? FileSystem::dateTimeText(*time) : QString());
    const bool genuine = c[u"Label8"].text() == CarCatalogue::DatabaseTime
        && c[u"Label7"].text() == CarCatalogue::DatabaseSize;
    c[u"Label12"].setText(genuine ? QStringLiteral("Correct") : QStringLiteral("Incorrect"));
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
    const QString help = QDir::current().absoluteFilePath(QStringLiteral("help.txt"));
    if (!m_launcher.open(help))
        m_messages.show(QStringLiteral("The help file %1 could not be opened.").arg(QDir::toNativeSeparators(help)));
}
