#include "BuiltWindow.h"
#include "ReceiverLayout.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>


class TestReceiverLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As the program does: stand-ins for the classic Windows fonts.
        applyClassicLook();
    }

    void opensWithTheLayoutTexts()
    {
        BuiltWindow w(receiverWindowLayout());
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Get Remote Descriptor"));
        QCOMPARE(w.window->size(), QSize(448, 201));
        const QList<std::pair<const char16_t*, const char16_t*>> labels{
            {u"Lbl_Complete", u"Complete: 0%"}, {u"Lbl_FileSize", u"Filesize: 0 kb"},
            {u"Lbl_FileName", u"Filename: -"},  {u"Lbl_Averages", u"Average: 0 / KBps"},
            {u"Lbl_Status", u"winsock State"},  {u"Label1", u"Save File to:"},
        };
        for (const auto& [name, text] : labels)
            QCOMPARE(w.widget<QLabel>(QString::fromUtf16(name))->text(), QString::fromUtf16(text));
        QCOMPARE(w.widget<QLineEdit>(QStringLiteral("Txt_Port"))->text(), QStringLiteral("0"));
        QCOMPARE(w.widget<QLineEdit>(QStringLiteral("Txt_File"))->text(), QStringLiteral("C:\\"));
        auto* bar = w.widget<QProgressBar>(QStringLiteral("FileBar"));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
        // The components without a face have no widget.
        for (const char16_t* name : {u"Timer1", u"Winsock_Receive", u"Dlg_Browser"})
            QVERIFY(!w.widget<QWidget>(QString::fromUtf16(name)));
        for (QWidget* child : w.window->findChildren<QWidget*>())
            QVERIFY2(child->toolTip().isEmpty(), qPrintable(child->objectName()));
    }

    // Larger or smaller, the window leaves every control where it was.
    void resizingKeepsEveryControlInPlace()
    {
        BuiltWindow w(receiverWindowLayout());
        QVERIFY(w.window->minimumSize() != w.window->maximumSize());
        QHash<QString, QRect> places;
        for (QWidget* child : w.window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            places.insert(child->objectName(), child->geometry());
        for (const QSize size : {QSize(900, 600), QSize(200, 100)}) {
            w.window->resize(size);
            QCOMPARE(w.window->size(), size);
            for (auto place = places.cbegin(); place != places.cend(); ++place)
                QCOMPARE(w.widget<QWidget>(place.key())->geometry(), place.value());
        }
    }

    void tabOrderFromTheFirstFocus()
    {
        BuiltWindow w(receiverWindowLayout());
        w.window->show();
        QApplication::setActiveWindow(w.window.get());
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QStringList visited;
        for (int i = 0; i < 6; ++i) {
            QTRY_VERIFY(QApplication::focusWidget());
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, (QStringList{QStringLiteral("Txt_File"), QStringLiteral("Txt_Port"), QStringLiteral("Command1"),
                                       QStringLiteral("Btn_Listen"), QStringLiteral("Txt_CurrentIP"),
                                       QStringLiteral("Txt_File")}));
    }

    void infoNoteWrapsInItsBox()
    {
        BuiltWindow w(receiverWindowLayout());
        auto* info = w.widget<QLabel>(QStringLiteral("Lbl_Info"));
        QCOMPARE(info->size(), QSize(113, 41));
        QVERIFY(info->wordWrap());
        const int lineHeight = info->fontMetrics().lineSpacing();
        const int needed = info->heightForWidth(info->width());
        QVERIFY2(needed > 2 * lineHeight && needed <= info->height(),
                 qPrintable(QStringLiteral("%1 px for lines of %2 px").arg(needed).arg(lineHeight)));
    }

    // A file's size in bytes can pass what the widget's int holds.
    void progressBarShowsAnyFileSize()
    {
        BuiltWindow w(receiverWindowLayout());
        Control& fileBar = w.controls[u"FileBar"];
        auto* bar = w.widget<QProgressBar>(QStringLiteral("FileBar"));
        fileBar.setRange(0, 512);
        fileBar.setValue(200);
        QCOMPARE(bar->maximum(), 512);
        QCOMPARE(bar->value(), 200);
        fileBar.setRange(0, 6'000'000'000.0);
        fileBar.setValue(3'000'000'000.0);
        QCOMPARE(double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum()), 0.5);
        fileBar.setValue(6'000'000'000.0);
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TestReceiverLayout)
#include "test_receiver_layout.moc"
