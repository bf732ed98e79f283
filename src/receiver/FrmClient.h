#pragma once

#include "ControlSurface.h"
#include "HeaderCollector.h"
#include "IncomingFile.h"
#include "TcpSocketControl.h"

#include <QObject>
#include <QTimer>

#include <chrono>

class HostResolver;
class Launcher;
class MessageBoxes;

// The receiver window's handlers and window-level state: it listens on a
// TCP port, accepts one connection and saves the file sent on it in the
// program folder. It works on the window's controls by name and on the
// outside world passed in, so it runs the same with or without a display.
//
// A file arrives into a temporary file beside its name and takes the name
// only once every announced byte is there, so an earlier file of that name
// survives any transfer that fails; what arrived of a transfer that ended
// early is kept under the name's partial name.
class FrmClient : public QObject
{
    Q_OBJECT

public:
    // programFile: the executable's file name, one of the names a received
    // file may never take.
    FrmClient(ControlSurface& controls, const QString& programFolder, const QString& programFile,
              MessageBoxes& messages, HostResolver& resolver, Launcher& launcher);
    // Ends the socket, the timer and any transfer, keeping its bytes, without
    // a message: the program is ending.
    ~FrmClient() override;

    void Form_Load();
    // Closing from the frame: the timer and the socket end; a transfer in
    // progress ends early, its bytes are kept and the user is told.
    void unload();
    void Timer1_Timer();
    void OpenAuthorPage();

    // How long a connection may send nothing before it is closed.
    std::chrono::milliseconds idleTimeout = std::chrono::seconds(30);

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
    void idleTimedOut();

    bool startFile();
    QByteArrayView receiveData(QByteArrayView bytes);
    void placeFile();
    // Ends the connection and any file still arriving, whose bytes are kept;
    // says what became of them.
    QString endConnection();
    void endTransfer(const QString& message);
    QString arrivedSoFar() const;
    QString unfinishedHeader() const;

    QString m_programFolder;
    QStringList m_ownFiles;
    MessageBoxes& m_messages;
    HostResolver& m_resolver;
    Launcher& m_launcher;

    // FileNum: the file arriving, from its header until every byte is there.
    HeaderCollector m_header;
    IncomingFile m_file;
    QString m_target;
    QString m_placedName; // the last file placed on this connection
    qint64 m_placedSize = 0;
    QTimer m_idle;

    // The controls the handlers work on, looked up once when the handlers are
    // made: a name the window lacks fails there, at start-up, and never
    // inside a handler.
    Control& Btn_Listen;
    Control& Command1;
    Control& FileBar;
    Control& Lbl_Averages;
    Control& Lbl_Complete;
    Control& Lbl_FileName;
    Control& Lbl_FileSize;
    Control& Lbl_Status;
    Control& Txt_CurrentIP;
    Control& Txt_File;
    Control& Txt_Port;
};
