#pragma once

#include "ControlSurface.h"
#include "DesktopLauncher.h"
#include "QtMessageBoxes.h"
#include "SystemHostResolver.h"

#include <QObject>

#include <memory>

class FormWindow;
class FrmCompare;

// Wires the windows to their handlers: the splash first, then the main
// window once its picture is clicked and the load sequence has run.
class KestrixApp : public QObject
{
    Q_OBJECT

public:
    explicit KestrixApp(const QString& programFolder);
    ~KestrixApp() override;

    void start();

private:
    void Picture1_Click();
    void Command2_Click();
    void unloadReceiver();
    void showAbout();
    void end(int status);

    QString m_programFolder;
    QtMessageBoxes m_messages;
    DesktopLauncher m_launcher;
    ControlSurface m_splashControls;
    ControlSurface m_mainControls;
    std::unique_ptr<FormWindow> m_splash;
    std::unique_ptr<FormWindow> m_main;
    std::unique_ptr<FrmCompare> m_frmCompare;

    // The receiver window: loaded on first use, unloaded when closed from its
    // frame.
    struct Receiver;
    SystemHostResolver m_resolver;
    std::unique_ptr<Receiver> m_receiver;
};
