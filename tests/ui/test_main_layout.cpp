#include "BuiltWindow.h"
#include "MainLayouts.h"

#include <QApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>


class TestMainLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        applyClassicLook();
    }

    void placesAndStates()
    {
        BuiltWindow w(mainWindowLayout());
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Vortrax Kestrix v1.0.2 Beta"));
        QCOMPARE(w.window->size(), QSize(514, 353));
        QCOMPARE(w.window->minimumSize(), w.window->maximumSize());
        // Twips ÷ 15, relative to the container.
        QCOMPARE(w.widget(QStringLiteral("report"))->geometry(), QRect(248, 32, 249, 185));
        QCOMPARE(w.widget(QStringLiteral("Command5"))->geometry(), QRect(152, 56, 57, 25));
        QCOMPARE(w.widget(QStringLiteral("Command5"))->parentWidget()->objectName(), QStringLiteral("Frame1"));
        for (const char16_t* hidden : {u"Command8", u"Option1", u"Option2", u"drvList", u"dirList", u"Command4", u"Label13",
                                       u"fixfile"})
            QVERIFY(w.widget(QString::fromUtf16(hidden))->isHidden());
        QCOMPARE(w.widget<QListWidget>(QStringLiteral("CarList"))->count(), 6);
        QCOMPARE(w.widget<QGroupBox>(QStringLiteral("Frame3"))->title(), QStringLiteral("Results"));
        QCOMPARE(w.widget(QStringLiteral("cmdCompare"))->toolTip(), QStringLiteral("Begins a Scan with your selected settings."));

        // Height changes reach the widget; the report keeps its top edge.
        w.controls[u"report"].setHeight(2415);
        QCOMPARE(w.widget(QStringLiteral("report"))->geometry(), QRect(248, 32, 249, 161));
    }

    // A frame's navy caption and grey face stay the frame's own.
    void frameColoursStayInTheFrame()
    {
        BuiltWindow w(mainWindowLayout());
        const QColor navy(0, 0, 128);
        QCOMPARE(w.widget(QStringLiteral("Frame1"))->palette().color(QPalette::WindowText), navy);
        auto* reset = w.widget(QStringLiteral("Command5"));
        const QPalette plain = QApplication::palette(reset);
        QCOMPARE(reset->palette().color(QPalette::ButtonText), plain.color(QPalette::ButtonText));
        QCOMPARE(reset->palette().color(QPalette::Button), plain.color(QPalette::Button));
        QCOMPARE(w.widget(QStringLiteral("Label1"))->palette().color(QPalette::WindowText), navy);
        // A disabled button still looks disabled.
        QCOMPARE(reset->palette().color(QPalette::Disabled, QPalette::ButtonText),
                 plain.color(QPalette::Disabled, QPalette::ButtonText));
        QVERIFY(plain.color(QPalette::Disabled, QPalette::ButtonText) != plain.color(QPalette::Active, QPalette::ButtonText));
    }

    void tabOrderFollowsTheTabIndexes()
    {
        BuiltWindow w(mainWindowLayout());
        QStringList order;
        QWidget* next = w.widget(QStringLiteral("Command1"));
        while (order.size() < 12) {
            if (next->focusPolicy() != Qt::NoFocus)
                order << next->objectName();
            next = next->nextInFocusChain();
        }
        const QStringList expected{u"Command1"_qs, u"Text1"_qs,    u"CarList"_qs,  u"Command2"_qs,
                                   u"cmdClose"_qs, u"Check1"_qs,   u"drvList"_qs,  u"dirList"_qs,
                                   u"Command4"_qs, u"Command5"_qs, u"Command6"_qs, u"Command7"_qs};
        QCOMPARE(order, expected);
    }

    // The folder list shows the path down to the current folder, then its
    // subfolders; opening one makes it the current folder.
    void folderList()
    {
        BuiltWindow w(mainWindowLayout());
        QTemporaryDir game;
        QVERIFY(QDir(game.path()).mkpath(QStringLiteral("Vortrax/Cars")));
        QVERIFY(QDir(game.path()).mkpath(QStringLiteral("Vortrax/Tracks")));
        w.controls[u"dirList"].setText(game.path() + QStringLiteral("/Vortrax"));
        auto* list = w.widget<QListWidget>(QStringLiteral("dirList"));
        QCOMPARE(list->item(0)->text(), QStringLiteral("/"));
        QCOMPARE(list->item(list->count() - 2)->text().trimmed(), QStringLiteral("Cars"));
        QCOMPARE(list->item(list->count() - 1)->text().trimmed(), QStringLiteral("Tracks"));
        QCOMPARE(list->currentItem()->text().trimmed(), QStringLiteral("Vortrax"));

        emit list->itemActivated(list->item(list->count() - 2));
        QCOMPARE(w.controls[u"dirList"].text(), game.path() + QStringLiteral("/Vortrax/Cars"));
        QCOMPARE(list->currentItem()->text().trimmed(), QStringLiteral("Cars"));
        emit list->itemActivated(list->item(0));
        QCOMPARE(w.controls[u"dirList"].text(), QStringLiteral("/"));
    }

    // An access key clicks a visible, enabled button and nothing else.
    void accessKeys()
    {
        BuiltWindow w(mainWindowLayout());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QSignalSpy check(&w.controls[u"cmdCompare"], &Control::clicked);
        QTest::keyClick(w.window.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(check.size(), 1);

        w.controls[u"cmdCompare"].setEnabled(false);
        QTest::keyClick(w.window.get(), Qt::Key_C, Qt::AltModifier);
        w.controls[u"Command3"].setVisible(false);
        QSignalSpy setup(&w.controls[u"Command3"], &Control::clicked);
        QTest::keyClick(w.window.get(), Qt::Key_S, Qt::AltModifier);
        QTest::qWait(200);
        QCOMPARE(check.size(), 1);
        QCOMPARE(setup.size(), 0);
    }
};

QTEST_MAIN(TestMainLayout)
#include "test_main_layout.moc"
