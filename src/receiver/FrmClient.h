#pragma once

#include "ControlSurface.h"
#include "TcpSocketControl.h"

#include <QObject>
#include <QTimer>

#include <memory>

class HostResolver;
class Launcher;
class MessageBoxes;
class QFile;

// The receiver window's handlers and window-level state: it listens on a
// TCP port, accepts one connection and saves the one file sent on it in the
// program folder. It works on the window's controls by name and on the
// outside world passed in, so it runs the same with or without a display.
class FrmClient : public QObject
{
    Q_OBJECT

public:
    // programFile: the executable's file name, one of the names a received
    // file may never take.
    FrmClient(ControlSurface& controls, const QString& programFolder, const QString& programFile,
              MessageBoxes& messages, HostResolver& resolver, Launcher& launcher);
    // Unloading ends the socket, the timer and any transfer.
    ~FrmClient() override;

    void Form_Load();
    // Closing from the frame: the timer, the socket and any transfer end.
    void unload();
    void Timer1_Timer();
    void OpenAuthorPage();

    // True while a handler runs, including the events it processes or the
    // message box it holds open: the window must not be destroyed then.
    bool isHandling() const { return m_handling > 0; }

    // Window-level state shared by the handlers.
    qint32 TickBytes = 0;
    TcpSocketControl Winsock_Receive;
    QTimer Timer1;

    static inline const QString AuthorPage = QStringLiteral("https://kestrix.example/author");

signals:
    void hideRequested();

private:
    void Btn_Listen_Click();
    void Command1_Click();
    void Winsock_Receive_ConnectionRequest(qintptr requestID);
    void Winsock_Receive_DataArrival(qint32 bytesTotal);
    void Winsock_Receive_Close();

    void receiveHeader(const QByteArray& chunk);
    void receiveData(const QByteArray& chunk);
    void closeConnection();
    void closeFile();
    void endTransfer(const QString& message);

    ControlSurface& c;
    QString m_programFolder;
    QStringList m_ownFiles;
    MessageBoxes& m_messages;
    HostResolver& m_resolver;
    Launcher& m_launcher;

    // FileNum: the received file, open from its header until the connection ends.
    std::unique_ptr<QFile> m_file;
    QString m_fileName;
    qint64 m_announced = 0;
    qint64 m_received = 0;
    int m_handling = 0;
};
