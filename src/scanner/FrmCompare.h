#pragma once

#include "ControlSurface.h"
#include "ReferenceStore.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <optional>

class Launcher;
class MessageBoxes;

// The main window's handlers and window-level state. It works on the window's
// controls by name and on the outside world passed in, so it runs the same
// with or without a display.
class FrmCompare : public QObject
{
    Q_OBJECT

public:
    FrmCompare(ControlSurface& controls, const QString& programFolder, MessageBoxes& messages, Launcher& launcher);
    ~FrmCompare() override;

    // The load sequence; false when the program must end instead of showing
    // the window.
    bool Form_Load();

    // Window-level state shared by the handlers.
    QByteArray sam;
    qint16 unm = 0;
    std::unique_ptr<ReferenceStore> CodesTable;
    QString UnmatchPath;

    // The selected car's genuine descriptor; empty when its reference file failed to load.
    const std::optional<QByteArray>& fixfile() const { return m_fixfile; }

signals:
    void endRequested();
    void receiverRequested();
    void aboutRequested();

private:
    void CarList_Click();
    void dirList_Change();
    void drvList_Change();
    void Command3_Click();
    void Command4_Click();
    void Command6_Click();
    void cmdCompare_Click();
    void Text1_Change();
    void Command1_Click();
    void Command5_Click();
    void Command8_Click();

    bool openReferenceDatabase();
    void checkReferenceFile(const QString& selected);
    void disableScanning();
    void scan(const QString& descriptorPath);
    bool correct(const QString& target);
    QString inProgramFolder(const QString& name) const;

    QString m_programFolder;
    MessageBoxes& m_messages;
    Launcher& m_launcher;
    std::optional<QByteArray> m_fixfile;

    // The controls the handlers work on, looked up once when the handlers are
    // made: a name the window lacks fails there, at start-up, and never
    // inside a handler.
    Control& CarList;
    Control& Check1;
    Control& Command1;
    Control& Command2;
    Control& Command3;
    Control& Command4;
    Control& Command5;
    Control& Command6;
    Control& Command7;
    Control& Command8;
    Control& Frame3;
    Control& Label12;
    Control& Label13;
    Control& Label14;
    Control& Label15;
    Control& Label19;
    Control& Label4;
    Control& Label5;
    Control& Label6;
    Control& Label7;
    Control& Label8;
    Control& Option1;
    Control& Option2;
    Control& ProgressBar1;
    Control& Text1;
    Control& cmdClose;
    Control& cmdCompare;
    Control& dirList;
    Control& drvList;
    Control& report;
};
