#include "DesktopLauncher.h"
#include "FileSystem.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

// The offscreen platform has no desktop opener, as a machine without one.
class TestDesktopLauncher : public QObject
{
    Q_OBJECT

private slots:
    void withoutAnOpenerAFileIsShownAsText()
    {
        QTemporaryDir dir;
        const QString help = dir.filePath(QStringLiteral("help.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(help, "Vortrax Kestrix help\r\nCaf\xe9\r\n", &error));
        DesktopLauncher launcher;
        QVERIFY(launcher.open(help));
        QPlainTextEdit* window = launcher.textWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(window->isReadOnly());
        QCOMPARE(window->windowTitle(), QStringLiteral("help.txt"));
        QVERIFY2(window->toPlainText().contains(QStringLiteral("Caf\u00e9")), qPrintable(window->toPlainText()));
    }

    void nothingToShowIsAFailure()
    {
        QTemporaryDir dir;
        DesktopLauncher launcher;
        QVERIFY(!launcher.open(dir.filePath(QStringLiteral("missing.txt"))));
        QVERIFY(!launcher.open(QStringLiteral("https://kestrix.example/author")));
        QVERIFY(!launcher.textWindow());
    }
};

QTEST_MAIN(TestDesktopLauncher)
#include "test_desktop_launcher.moc"
