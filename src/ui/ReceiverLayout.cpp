#include "ReceiverLayout.h"

namespace {

using K = ControlKind;

const Colour ActiveBorder{std::nullopt, true};
const Colour Black{Rgb{0, 0, 0}, false};
const Colour Navy{Rgb{0, 0, 128}, false};

WindowLayout buildReceiverWindow()
{
    WindowLayout w;
    w.name = QStringLiteral("Frm_Client");
    w.caption = QStringLiteral("Get Remote Descriptor");
    w.clientWidth = 6720;
    w.clientHeight = 3015;
    w.resizable = true;
    w.background = ActiveBorder;

    const QString window;
    const QString advanced = QStringLiteral("Fra_Advanced");
    const QString server = QStringLiteral("FraServer");
    // name, kind, container, caption, left, top, width, height, shown, tab
    w.controls = {
        {QStringLiteral("Btn_Listen"), K::Button, window, QStringLiteral("Listen for file"), 120, 2520, 1455, 375, true, 13},
        {QStringLiteral("Command1"), K::Button, window, QStringLiteral("Close"), 5160, 2520, 1455, 375, true, 12},
        {QStringLiteral("Fra_Advanced"), K::Frame, window, QStringLiteral("Advanced Settings"), 4680, 120, 1935, 2295, true, 8},
        {QStringLiteral("Txt_CurrentIP"), K::TextBox, advanced, QString(), 120, 1800, 1695, 285, true, 16},
        {QStringLiteral("Txt_Port"), K::TextBox, advanced, QStringLiteral("0"), 120, 480, 1455, 285, true, 9},
        {QStringLiteral("lbl_ExternalIP"), K::Label, advanced, QStringLiteral("External IP:"), 120, 1560, 1695, 255, true, 15},
        {QStringLiteral("Lbl_Port"), K::Label, advanced, QStringLiteral("Port to listen to:"), 120, 240, 1695, 255, true, 11},
        {QStringLiteral("Lbl_Info"), K::WrappedLabel, advanced,
         QStringLiteral("(0 = free port, the port has to be the same in the server form)"), 120, 840, 1695, 615, true, 10},
        {QStringLiteral("FraServer"), K::Frame, window, QStringLiteral("Client Settings"), 120, 120, 4455, 2295, true, 0},
        {QStringLiteral("Timer1"), K::Timer, server, QString(), 0, 0, 0, 0, true, -1},
        {QStringLiteral("Txt_File"), K::TextBox, server, QStringLiteral("C:\\"), 120, 600, 4215, 285, true, 2},
        {QStringLiteral("FileBar"), K::ProgressBar, server, QString(), 120, 1920, 4215, 255, true, 1},
        {QStringLiteral("Dlg_Browser"), K::FileDialog, server, QString(), 0, 0, 0, 0, true, -1},
        {QStringLiteral("Lbl_Complete"), K::Label, server, QStringLiteral("Complete: 0%"), 120, 1680, 1575, 255, true, 4},
        {QStringLiteral("Label1"), K::Label, server, QStringLiteral("Save File to:"), 120, 360, 4335, 255, true, 7},
        {QStringLiteral("Lbl_FileSize"), K::Label, server, QStringLiteral("Filesize: 0 kb"), 120, 960, 4095, 255, true, 6},
        {QStringLiteral("Lbl_FileName"), K::Label, server, QStringLiteral("Filename: -"), 120, 1200, 4095, 255, true, 5},
        {QStringLiteral("Lbl_Averages"), K::CentredLabel, server, QStringLiteral("Average: 0 / KBps"), 1800, 1680, 2415, 255, true, 3},
        {QStringLiteral("Winsock_Receive"), K::TcpSocket, window, QString(), 0, 0, 0, 0, true, -1},
        {QStringLiteral("Lbl_Status"), K::BorderedLabel, window, QStringLiteral("winsock State"), 2280, 2640, 2415, 255, true, 14},
    };

    const FontSpec bold{DefaultFontFamily, 8.25, true};
    w.styles.insert(QStringLiteral("Fra_Advanced"), ControlStyle{std::nullopt, std::nullopt, ActiveBorder});
    w.styles.insert(QStringLiteral("FraServer"), ControlStyle{std::nullopt, Black, ActiveBorder});
    for (const char16_t* name : {u"Lbl_Port", u"Label1", u"Lbl_FileSize", u"Lbl_FileName"})
        w.styles.insert(QString::fromUtf16(name), ControlStyle{bold, Navy, std::nullopt});
    w.styles.insert(QStringLiteral("lbl_ExternalIP"), ControlStyle{bold, std::nullopt, std::nullopt});
    for (const char16_t* name : {u"Lbl_Complete", u"Lbl_Averages"})
        w.styles.insert(QString::fromUtf16(name), ControlStyle{std::nullopt, Navy, std::nullopt});

    w.ranges.insert(QStringLiteral("FileBar"), {0, 100});
    return w;
}

} // namespace

const WindowLayout& receiverWindowLayout()
{
    static const WindowLayout layout = buildReceiverWindow();
    return layout;
}
