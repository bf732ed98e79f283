// receive_driver PROGRAM_FOLDER PORT: the receiver window's real handlers,
// without a display, over its real controls: listens on PORT, receives one
// file with the full per-chunk work (progress, caption, event processing)
// and exits once the sender has closed. Prints "listening" when ready.

#include "ControlSurface.h"
#include "FrmClient.h"
#include "HostResolver.h"
#include "Launcher.h"
#include "MessageBoxes.h"
#include "ReceiverLayout.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

struct PrintedMessages final : MessageBoxes {
    void show(const QString& text, Icon, const std::optional<QString>&) override
    {
        std::fprintf(stderr, "receive_driver: %s\n", qPrintable(text));
        ++count;
    }
    int count = 0;
};

// The address box is not what is measured.
struct NoResolver final : HostResolver {
    bool localHostName(QString* name, int*) override
    {
        *name = QStringLiteral("localhost");
        return true;
    }
    void lookUpIpv4(const QString&, QObject*, Answer answer) override { answer(QList{QByteArray("\x7f\0\0\1", 4)}); }
    QList<QByteArray> interfaceAddresses() override { return {}; }
};

struct NoLauncher final : Launcher {
    bool open(const QString&) override { return false; }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: receive_driver PROGRAM_FOLDER PORT\n");
        return 2;
    }
    ControlSurface c;
    populate(c, receiverWindowLayout());
    PrintedMessages messages;
    NoResolver resolver;
    NoLauncher launcher;
    FrmClient form(c, args.at(1), QStringLiteral("kestrix"), messages, resolver, launcher);
    form.Form_Load();
    c[u"Txt_Port"].setText(args.at(2));
    c[u"Btn_Listen"].click();
    if (form.Winsock_Receive.state() != TcpSocketControl::Listening)
        return 1;
    std::printf("listening\n");
    std::fflush(stdout);

    // Runs after the window's own close handler.
    QObject::connect(&form.Winsock_Receive, &TcpSocketControl::closeEvent, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    app.exec();
    std::printf("%s; %s; bar %.0f of %.0f\n", qPrintable(c[u"Txt_File"].text()), qPrintable(c[u"Lbl_Complete"].text()),
                c[u"FileBar"].value(), c[u"FileBar"].maximum());
    return messages.count == 0 ? 0 : 1;
}
