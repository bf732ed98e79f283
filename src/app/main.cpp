#include "ClassicLook.h"
#include "KestrixApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vortrax Kestrix"));
    QApplication::setQuitOnLastWindowClosed(false);
    applyClassicLook();

    KestrixApp kestrix(QCoreApplication::applicationDirPath());
    kestrix.start();
    return app.exec();
}
