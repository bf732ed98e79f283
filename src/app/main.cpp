#include "KestrixApp.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vortrax Kestrix"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The layouts name the classic Windows fonts; these stand in for them.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Small Fonts"), QStringLiteral("Liberation Sans"));
    // Frames captioned on their border line, as the layouts are drawn.
    QApplication::setStyle(QStringLiteral("Windows"));

    KestrixApp kestrix(QCoreApplication::applicationDirPath());
    kestrix.start();
    return app.exec();
}
