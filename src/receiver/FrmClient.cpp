#include "FrmClient.h"

#include "FileSystem.h"
#include "ListenPort.h"
#include "MessageBoxes.h"
#include "ReceivedName.h"
#include "TellboxIPbas.h"
#include "TransferFigures.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

qint32 saturatingAdd(qint32 total, qint64 bytes)
{
    return qint32(std::min<qint64>(qint64(total) + bytes, std::numeric_limits<qint32>::max()));
}

const QString NothingSaved = QStringLiteral("Nothing was saved and the connection was closed.");
const QString NoFileSize = QStringLiteral("Filesize: 0 kb");
const QString NoFileName = QStringLiteral("Filename: -");

QString durationText(std::chrono::milliseconds duration)
{
    const qint64 ms = duration.count();
    if (ms % 1000 != 0)
        return QStringLiteral("%1 milliseconds").arg(ms);
    return ms == 1000 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(ms / 1000);
}

// Kilobytes of 1024 bytes, rounded up, so that any file shows at least 1.
qint64 kilobytes(qint64 bytes)
{
    return (bytes + 1023) / 1024;
}

} // namespace

FrmClient::FrmClient(ControlSurface& controls, const QString& programFolder, const QString& programFile,
                     MessageBoxes& messages, HostResolver& resolver, Launcher& launcher)
    : m_programFolder(programFolder)
    , m_ownFiles(programOwnFiles(programFile))
    , m_messages(messages)
    , m_resolver(resolver)
    , m_launcher(launcher)
    , Btn_Listen(controls[u"Btn_Listen"])
    , Command1(controls[u"Command1"])
    , FileBar(controls[u"FileBar"])
    , Lbl_Averages(controls[u"Lbl_Averages"])
    , Lbl_Complete(controls[u"Lbl_Complete"])
    , Lbl_FileName(controls[u"Lbl_FileName"])
    , Lbl_FileSize(controls[u"Lbl_FileSize"])
    , Lbl_Status(controls[u"Lbl_Status"])
    , Txt_CurrentIP(controls[u"Txt_CurrentIP"])
    , Txt_File(controls[u"Txt_File"])
    , Txt_Port(controls[u"Txt_Port"])
{
    Timer1.setInterval(1000);
    m_idle.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &FrmClient::Timer1_Timer);
    connect(&m_idle, &QTimer::timeout, this, &FrmClient::idleTimedOut);
    connect(&Btn_Listen, &Control::clicked, this, &FrmClient::Btn_Listen_Click);
    connect(&Command1, &Control::clicked, this, &FrmClient::Command1_Click);
    connect(&Winsock_Receive, &TcpSocketControl::connectionRequest, this, &FrmClient::Winsock_Receive_ConnectionRequest);
    connect(&Winsock_Receive, &TcpSocketControl::dataArrival, this, &FrmClient::Winsock_Receive_DataArrival);
    connect(&Winsock_Receive, &TcpSocketControl::closeEvent, this, &FrmClient::Winsock_Receive_Close);
}

FrmClient::~FrmClient()
{
    Timer1.stop();
    endConnection();
}

void FrmClient::unload()
{
    Timer1.stop();
    if (!m_file.isActive()) {
        endConnection();
        return;
    }
    endTransfer(QStringLiteral("The window was closed after %1, so the transfer ended early.").arg(arrivedSoFar()));
}

void FrmClient::Form_Load()
{
    TellboxIPbas::GetHostAddress(true, m_resolver, m_messages, this,
                                 [this](const QString& address) { Txt_CurrentIP.setText(address); });
    Txt_File.setText(m_programFolder);
    Timer1.start();
}

void FrmClient::Btn_Listen_Click()
{
    if (m_file.isActive())
        endTransfer(QStringLiteral("Listening started again after %1, so the transfer ended early.").arg(arrivedSoFar()));
    if (Winsock_Receive.state() != TcpSocketControl::Closed)
        endConnection();
    Lbl_FileSize.setText(NoFileSize);
    Lbl_FileName.setText(NoFileName);

    QString error;
    const std::optional<qint32> port = portFromText(Txt_Port.text(), &error);
    if (!port || !Winsock_Receive.setLocalPort(*port, &error) || !Winsock_Receive.listen(&error)) {
        m_messages.show(error, MessageBoxes::Icon::Critical);
        return;
    }
    Lbl_Status.setText(QStringLiteral("%1 on port: %2").arg(Winsock_Receive.state()).arg(Winsock_Receive.localPort()));
}

void FrmClient::Command1_Click()
{
    emit hideRequested();
}

void FrmClient::Winsock_Receive_ConnectionRequest(qintptr requestID)
{
    if (Winsock_Receive.state() != TcpSocketControl::Closed)
        endConnection();
    // A request that vanished before it was taken leaves the socket closed;
    // its sender sees the connection end.
    QString error;
    if (Winsock_Receive.accept(requestID, &error))
        m_idle.start(idleTimeout);
}

void FrmClient::Winsock_Receive_DataArrival(qint32 bytesTotal)
{
    Q_UNUSED(bytesTotal); // the chunk read says how much arrived
    const QByteArray chunk = Winsock_Receive.getData();
    if (chunk.isEmpty())
        return;
    m_idle.start(idleTimeout);
    QByteArrayView bytes(chunk);
    while (!bytes.isEmpty() && Winsock_Receive.state() == TcpSocketControl::Connected) {
        if (m_file.isActive()) {
            bytes = receiveData(bytes);
            continue;
        }
        QByteArrayView rest;
        const HeaderCollector::Status status = m_header.add(bytes, &rest);
        if (status == HeaderCollector::Status::NeedMore)
            return;
        if (status == HeaderCollector::Status::Complete) {
            bytes = rest;
            if (!startFile())
                return;
            continue;
        }
        // After a whole file, anything but another header is more than was announced.
        if (status == HeaderCollector::Status::NotAHeader && !m_placedName.isEmpty()) {
            endTransfer(QStringLiteral("More data arrived than the %1 bytes announced for \"%2\". The connection was "
                                       "closed; the %1 bytes announced are saved in the file.")
                            .arg(m_placedSize)
                            .arg(shownName(m_placedName)));
        } else {
            const QString refusal = HeaderCollector::refusal(status);
            endTransfer(refusal.at(0).toUpper() + refusal.sliced(1) + QStringLiteral(". ") + NothingSaved);
        }
        return;
    }
}

// A header starts the count afresh; its file is written beside the name it
// announces until every byte is there.
bool FrmClient::startFile()
{
    FileBar.setValue(0);
    QString reason;
    std::optional<Announcement> announced =
        acceptAnnouncement(m_header.header(), m_ownFiles, m_programFolder, std::nullopt, 0, &reason);
    // Resolved as the scan resolves it, so a name differing only in letter
    // case replaces the file the scan would read.
    const QString target = announced ? FileSystem::resolve(m_programFolder + u'/' + announced->name) : QString();
    if (announced) {
        const QFileInfo existing(target);
        if (existing.isSymLink())
            reason = QStringLiteral("\"%1\" is a link to a file elsewhere").arg(shownName(announced->name));
        else if (existing.isDir())
            reason = QStringLiteral("\"%1\" is a folder").arg(shownName(announced->name));
    }
    if (!reason.isEmpty()) {
        endTransfer(QStringLiteral("The file was refused: %1. ").arg(reason) + NothingSaved);
        return false;
    }

    m_placedName.clear();
    FileBar.setRange(0, float(announced->size));
    Txt_File.setText(announced->name);
    Lbl_FileSize.setText(QStringLiteral("Filesize: %1 kb").arg(kilobytes(announced->size)));
    Lbl_FileName.setText(QStringLiteral("Filename: ") + shownName(announced->name));
    QString error;
    if (!m_file.start(m_programFolder, *announced, &error)) {
        endTransfer(QStringLiteral("The file could not be created: %1. The connection was closed.").arg(error));
        return false;
    }
    m_target = target;
    return true;
}

// Takes the file's share of bytes, never more than was announced, and gives
// back what lies beyond it.
QByteArrayView FrmClient::receiveData(QByteArrayView bytes)
{
    QString error;
    const qint64 taken = m_file.write(bytes, &error);
    if (taken < 0) {
        endTransfer(QStringLiteral("Writing failed: %1. The connection was closed after %2.").arg(error, arrivedSoFar()));
        return {};
    }
    const float maximum = float(FileBar.maximum());
    // The bar never passes its maximum, whatever a float's rounding does.
    FileBar.setValue(std::min(progressAfter(float(FileBar.value()), taken), maximum));
    TickBytes = saturatingAdd(TickBytes, taken);
    Lbl_Complete.setText(completionCaption(float(FileBar.value()), maximum));
    if (m_file.isComplete())
        placeFile();
    return bytes.sliced(taken);
}

void FrmClient::placeFile()
{
    QString error;
    if (!m_file.place(m_target, TemporaryFile::Existing::Replace, &error)) {
        endTransfer(QStringLiteral("All %1 bytes of \"%2\" arrived, but the file could not take its name: %3.")
                        .arg(m_file.announced())
                        .arg(shownName(m_file.name()), error));
        return;
    }
    m_placedName = m_file.name();
    m_placedSize = m_file.announced();
    m_header.clear();
}

void FrmClient::Winsock_Receive_Close()
{
    if (m_file.isActive())
        endTransfer(QStringLiteral("The connection closed after %1.").arg(arrivedSoFar()));
    else if (!m_header.isEmpty())
        endTransfer(QStringLiteral("The connection closed before its FILEINFO header was complete. ") + unfinishedHeader());
    else
        endConnection();
}

void FrmClient::idleTimedOut()
{
    if (Winsock_Receive.state() != TcpSocketControl::Connected)
        return;
    const QString silence = QStringLiteral("%1 sent nothing for %2, so the connection was closed.")
                                .arg(Winsock_Receive.remoteHostIP(), durationText(idleTimeout));
    if (m_file.isActive())
        endTransfer(silence + QStringLiteral(" By then %1 had arrived.").arg(arrivedSoFar()));
    else if (!m_header.isEmpty())
        endTransfer(silence + QStringLiteral(" Only %1 bytes of a FILEINFO header had arrived. ").arg(m_header.header().size())
                    + unfinishedHeader());
    else if (m_placedName.isEmpty())
        endTransfer(silence + QStringLiteral(" Nothing had arrived."));
    else
        endConnection(); // its file is whole and in place
}

void FrmClient::Timer1_Timer()
{
    Lbl_Averages.setText(rateCaption(TickBytes));
    TickBytes = 0;
}

void FrmClient::OpenAuthorPage()
{
    TellboxIPbas::OpenWebPage(AuthorPage, m_launcher);
}

// What became of a header that never ended: nothing of its own was saved,
// but a file that arrived whole before it on the connection is.
QString FrmClient::unfinishedHeader() const
{
    if (m_placedName.isEmpty())
        return NothingSaved;
    return QStringLiteral("\"%1\", which arrived whole before it, is saved; nothing more was saved and the connection "
                          "was closed.")
        .arg(shownName(m_placedName));
}

QString FrmClient::arrivedSoFar() const
{
    return QStringLiteral("%1 of the %2 bytes announced for \"%3\"")
        .arg(m_file.received())
        .arg(m_file.announced())
        .arg(shownName(m_file.name()));
}

QString FrmClient::endConnection()
{
    m_idle.stop();
    Winsock_Receive.close();
    m_header.clear();
    m_placedName.clear();
    if (!m_file.isActive())
        return QString();
    const QString partial = partialName(m_file.name());
    return m_file.keepPartial(FileSystem::resolve(m_programFolder + u'/' + partial), shownName(partial))
        + QStringLiteral(" \"%1\" itself was not changed.").arg(shownName(m_file.name()));
}

void FrmClient::endTransfer(const QString& message)
{
    const QString kept = endConnection();
    m_messages.show(kept.isEmpty() ? message : message + u' ' + kept, MessageBoxes::Icon::Critical);
}
