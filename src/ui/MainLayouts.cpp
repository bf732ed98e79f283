#include "MainLayouts.h"

#include "CarCatalogue.h"

namespace {

using K = ControlKind;

const Colour LightGrey{Rgb{192, 192, 192}, false};
const Colour Navy{Rgb{0, 0, 128}, false};

WindowLayout buildMainWindow()
{
    WindowLayout w;
    w.name = QStringLiteral("frmCompare");
    w.caption = QStringLiteral("Vortrax Kestrix v1.0.2 Beta");
    w.clientWidth = 7710;
    w.clientHeight = 5295;
    w.resizable = false;
    w.background = LightGrey;

    const QString window;
    const QString frame1 = QStringLiteral("Frame1");
    const QString frame2 = QStringLiteral("Frame2");
    const QString frame3 = QStringLiteral("Frame3");
    // name, kind, container, caption, left, top, width, height, shown, tab
    w.controls = {
        {QStringLiteral("Command8"), K::Button, window, QStringLiteral("CORRECT !"), 6240, 3000, 975, 255, false, 30},
        {QStringLiteral("Option2"), K::OptionButton, window, QStringLiteral("Remote"), 5040, 3000, 975, 255, false, 32},
        {QStringLiteral("Option1"), K::OptionButton, window, QStringLiteral("Local"), 3960, 3000, 975, 255, false, 31},
        {QStringLiteral("report"), K::RichTextBox, window, QString(), 3720, 480, 3735, 2775, true, 40},
        {QStringLiteral("cmdCompare"), K::Button, window, QStringLiteral("&Check"), 240, 480, 1095, 375, true, 41},
        {QStringLiteral("ProgressBar1"), K::ProgressBar, window, QString(), 120, 3960, 7455, 375, true, 29},
        {QStringLiteral("Command3"), K::Button, window, QStringLiteral("&Setup"), 3600, 3480, 1215, 375, true, 21},
        {QStringLiteral("Command7"), K::Button, window, QStringLiteral("About"), 6480, 3480, 1095, 375, true, 20},
        {QStringLiteral("Command6"), K::Button, window, QStringLiteral("&Help"), 5040, 3480, 1215, 375, true, 19},
        {QStringLiteral("dirList"), K::FolderList, window, QString(), 3720, 840, 3735, 1890, false, 15},
        {QStringLiteral("drvList"), K::DriveList, window, QString(), 3720, 480, 3735, 315, false, 14},
        {QStringLiteral("cmdClose"), K::Button, window, QStringLiteral("C&lose"), 2400, 3000, 855, 375, true, 10},
        {QStringLiteral("Command2"), K::Button, window, QStringLiteral("&Get Remote Descriptor"), 240, 3000, 2055, 375, true, 7},
        {QStringLiteral("CarList"), K::ListBox, window, QString(), 240, 2040, 3015, 870, true, 4},
        {QStringLiteral("Command1"), K::Button, window, QStringLiteral("&View Tweaked Data"), 1440, 480, 1815, 375, true, 0},
        {QStringLiteral("Data1"), K::DataControl, window, QStringLiteral("Data1"), 120, 6120, 7410, 360, false, -1},
        {QStringLiteral("Frame1"), K::Frame, window, QStringLiteral("Start"), 120, 120, 3255, 1455, true, 1},
        {QStringLiteral("Command5"), K::Button, frame1, QStringLiteral("&Reset"), 2280, 840, 855, 375, true, 18},
        {QStringLiteral("Text1"), K::ReadOnlyTextBox, frame1, QString(), 1560, 840, 615, 405, true, 2},
        {QStringLiteral("Label13"), K::Label, frame1, QStringLiteral("N/A"), 360, 360, 735, 375, false, 28},
        {QStringLiteral("Label1"), K::Label, frame1, QStringLiteral("Tweaks Found :"), 120, 960, 1575, 255, true, 3},
        {QStringLiteral("Frame2"), K::Frame, window, QStringLiteral("Scan Setup"), 120, 1680, 3255, 2175, true, 8},
        {QStringLiteral("Check1"), K::CheckBox, frame2, QStringLiteral("Scan a Local Descriptor "), 120, 1800, 3015, 255, true, 13},
        {QStringLiteral("Frame3"), K::Frame, window, QStringLiteral("Results"), 3600, 120, 3975, 3255, true, 9},
        {QStringLiteral("Command4"), K::Button, frame3, QStringLiteral("Done"), 120, 2760, 3735, 375, false, 16},
        {QStringLiteral("fixfile"), K::RichTextBox, window, QString(), 3720, 480, 3735, 2775, false, 39},
        {QStringLiteral("Label19"), K::Label, window, QString(), 1200, 4920, 1335, 255, true, 38},
        {QStringLiteral("Label18"), K::Label, window, QStringLiteral(".DAT Size :"), 120, 4920, 1095, 255, true, 37},
        {QStringLiteral("Line1"), K::Line, window, QString(), 120, 4800, 7440, 0, true, -1},
        {QStringLiteral("Label17"), K::Label, window, QStringLiteral("Updated :"), 2640, 4920, 855, 255, true, 36},
        {QStringLiteral("Label16"), K::Label, window, QStringLiteral("Status :"), 5760, 4920, 735, 255, true, 35},
        {QStringLiteral("Label15"), K::Label, window, QString(), 6600, 4920, 1095, 255, true, 34},
        {QStringLiteral("Label14"), K::Label, window, QString(), 3600, 4920, 1695, 255, true, 33},
        {QStringLiteral("Label12"), K::Label, window, QString(), 6600, 4440, 1095, 255, true, 27},
        {QStringLiteral("Label11"), K::Label, window, QStringLiteral("Status :"), 5760, 4440, 735, 255, true, 26},
        {QStringLiteral("Label10"), K::Label, window, QStringLiteral("Updated :"), 2640, 4440, 855, 255, true, 25},
        {QStringLiteral("Label9"), K::Label, window, QStringLiteral("Database Size :"), 120, 4440, 1455, 255, true, 24},
        {QStringLiteral("Label8"), K::Label, window, QString(), 3600, 4440, 1575, 255, true, 23},
        {QStringLiteral("Label7"), K::Label, window, QString(), 1560, 4440, 975, 255, true, 22},
        {QStringLiteral("Label6"), K::Label, window, QString(), 120, 5880, 7455, 255, true, 17},
        {QStringLiteral("Label5"), K::Label, window, QStringLiteral("/Sample.txt"), 120, 5400, 7455, 255, true, 12},
        {QStringLiteral("Label4"), K::Label, window, QString(), 120, 5640, 7455, 255, true, 11},
    };

    w.toolTips = {
        {QStringLiteral("Command8"), QStringLiteral("Converts a tweaked Car Descriptor back to a genuine file (i.e. un-tweaked).")},
        {QStringLiteral("Option2"), QStringLiteral("Select to correct a Remote Car Descriptor")},
        {QStringLiteral("Option1"), QStringLiteral("Select to correct a Local Car Descriptor")},
        {QStringLiteral("cmdCompare"), QStringLiteral("Begins a Scan with your selected settings.")},
        {QStringLiteral("Command3"), QStringLiteral("Sets the location of Vortrax before running a Local Scan")},
        {QStringLiteral("Command7"), QStringLiteral("Find out about Vortrax Kestrix.")},
        {QStringLiteral("Command6"), QStringLiteral("View help documents enclosed with Vortrax Kestrix.")},
        {QStringLiteral("dirList"), QStringLiteral("Select the Cars folder, found within your Vortrax installation.")},
        {QStringLiteral("drvList"), QStringLiteral("Choose the Physical Drive where Vortrax is located.")},
        {QStringLiteral("cmdClose"), QStringLiteral("Exit Vortrax Kestrix.")},
        {QStringLiteral("Command2"), QStringLiteral("Downloads a Remote Car Descriptor for Scanning (i.e. installed on another machine).")},
        {QStringLiteral("CarList"), QStringLiteral("Select the Car you want to Scan")},
        {QStringLiteral("Command1"), QStringLiteral("Displays the lines of text found to be tweaked.")},
        {QStringLiteral("Command5"), QStringLiteral("Resets the Tweak Counter, Results Window, and Un-Matched Log.")},
        {QStringLiteral("Text1"), QStringLiteral("Displays the number of tweaks found in any given Car Descriptor.")},
        {QStringLiteral("Check1"), QStringLiteral("Select to Scan a Local Car Descriptor (i.e. installed in your game).")},
        {QStringLiteral("Command4"), QStringLiteral("Save, and close this window.")},
        {QStringLiteral("Label19"), QStringLiteral("Displays the Mendrel DAT size in bytes.")},
        {QStringLiteral("Label15"), QStringLiteral("Shows you the status of this DAT file.")},
        {QStringLiteral("Label14"), QStringLiteral("Displays the date/time that this DAT was last updated.")},
        {QStringLiteral("Label12"), QStringLiteral("Shows the status of the Kestrix Database.")},
        {QStringLiteral("Label8"), QStringLiteral("Displays the date/time that this Database was last updated.")},
        {QStringLiteral("Label7"), QStringLiteral("Displays the Kestrix Database size in bytes.")},
    };

    const FontSpec bold{DefaultFontFamily, 8.25, true};
    for (const char* name : {"Frame1", "Frame2", "Frame3"})
        w.styles.insert(QString::fromLatin1(name), ControlStyle{std::nullopt, Navy, LightGrey});
    for (const char* name : {"Label1", "Label9", "Label10", "Label11", "Label16", "Label17", "Label18", "Check1"})
        w.styles.insert(QString::fromLatin1(name), ControlStyle{bold, Navy, LightGrey});
    for (const char* name : {"Label7", "Label8", "Label12", "Label14", "Label15", "Label19", "Option1", "Option2"})
        w.styles.insert(QString::fromLatin1(name), ControlStyle{std::nullopt, std::nullopt, LightGrey});
    w.styles.insert(QStringLiteral("Text1"), ControlStyle{FontSpec{DefaultFontFamily, 12, true}, Navy, std::nullopt});
    w.styles.insert(QStringLiteral("Label13"), ControlStyle{FontSpec{DefaultFontFamily, 18, true}, Navy, LightGrey});
    w.styles.insert(QStringLiteral("Command8"), ControlStyle{FontSpec{QStringLiteral("Small Fonts"), 6, false}, std::nullopt, std::nullopt});

    w.listEntries.insert(QStringLiteral("CarList"), CarCatalogue::listEntries());
    w.ranges.insert(QStringLiteral("ProgressBar1"), {1, 100});
    return w;
}

WindowLayout buildSplash()
{
    WindowLayout w;
    w.name = QStringLiteral("Splash");
    w.caption = QStringLiteral("Form1");
    w.clientWidth = 3990;
    w.clientHeight = 2805;
    w.framed = false;
    w.controls = {
        {QStringLiteral("Picture1"), K::PictureBox, QString(), QString(), 0, 0, 3990, 2820, true, 0},
    };
    return w;
}

} // namespace

const WindowLayout& mainWindowLayout()
{
    static const WindowLayout layout = buildMainWindow();
    return layout;
}

const WindowLayout& splashLayout()
{
    static const WindowLayout layout = buildSplash();
    return layout;
}
