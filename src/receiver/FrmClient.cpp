#include "FrmClient.h"

#include "Cp1252.h"
#include "FileInfoHeader.h"
#include "FileSystem.h"
#include "ListenPort.h"
#include "MessageBoxes.h"
#include "ReceivedName.h"
#include "TellboxIPbas.h"
#include "TransferFigures.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

// Counts a handler as running for as long as it is on the stack.
class Handling
{
public:
    explicit Handling(int& depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~Handling() { --m_depth; }
    Handling(const Handling&) = delete;
    Handling& operator=(const Handling&) = delete;

private:
    int& m_depth;
};

qint32 saturatingAdd(qint32 total, qint64 bytes)
{
    return qint32(std::min<qint64>(qint64(total) + bytes, std::numeric_limits<qint32>::max()));
}

const QString NothingSaved = QStringLiteral("Nothing was saved and the connection was closed.");

} // namespace

FrmClient::FrmClient(ControlSurface& controls, const QString& programFolder, const QString& programFile,
                     MessageBoxes& messages, HostResolver& resolver, Launcher& launcher)
    : c(controls)
    , m_programFolder(programFolder)
    , m_ownFiles(programOwnFiles(programFile))
    , m_messages(messages)
    , m_resolver(resolver)
    , m_launcher(launcher)
{
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &FrmClient::Timer1_Timer);
    connect(&c[u"Btn_Listen"], &Control::clicked, this, &FrmClient::Btn_Listen_Click);
    connect(&c[u"Command1"], &Control::clicked, this, &FrmClient::Command1_Click);
    connect(&Winsock_Receive, &TcpSocketControl::connectionRequest, this, &FrmClient::Winsock_Receive_ConnectionRequest);
    connect(&Winsock_Receive, &TcpSocketControl::dataArrival, this, &FrmClient::Winsock_Receive_DataArrival);
    connect(&Winsock_Receive, &TcpSocketControl::closeEvent, this, &FrmClient::Winsock_Receive_Close);
}

FrmClient::~FrmClient()
{
    unload();
}

void FrmClient::unload()
{
    Timer1.stop();
    closeConnection();
}

void FrmClient::Form_Load()
{
    const Handling handling(m_handling);
    TellboxIPbas::GetHostAddress(true, m_resolver, m_messages, this,
                                 [this](const QString& address) { c[u"Txt_CurrentIP"].setText(address); });
    c[u"Txt_File"].setText(m_programFolder);
    Timer1.start();
}

void FrmClient::Btn_Listen_Click()
{
    const Handling handling(m_handling);
    if (Winsock_Receive.state() != TcpSocketControl::Closed)
        closeConnection();

    QString error;
    const std::optional<qint32> port = portFromText(c[u"Txt_Port"].text(), &error);
    if (!port || !Winsock_Receive.setLocalPort(*port, &error) || !Winsock_Receive.listen(&error)) {
        m_messages.show(error, MessageBoxes::Icon::Critical);
        return;
    }
    c[u"Lbl_Status"].setText(QStringLiteral("%1 on port: %2").arg(Winsock_Receive.state()).arg(Winsock_Receive.localPort()));
}

void FrmClient::Command1_Click()
{
    emit hideRequested();
}

void FrmClient::Winsock_Receive_ConnectionRequest(qintptr requestID)
{
    const Handling handling(m_handling);
    if (Winsock_Receive.state() != TcpSocketControl::Closed)
        closeConnection();
    // A request that vanished before it was taken leaves the socket closed;
    // its sender sees the connection end.
    QString error;
    Winsock_Receive.accept(requestID, &error);
}

void FrmClient::Winsock_Receive_DataArrival(qint32 bytesTotal)
{
    Q_UNUSED(bytesTotal); // the chunk read says how much arrived
    const Handling handling(m_handling);
    const QByteArray chunk = Winsock_Receive.getData();
    if (chunk.isEmpty())
        return;
    if (isFileInfoHeader(chunk))
        receiveHeader(chunk);
    else
        receiveData(chunk);
}

void FrmClient::receiveHeader(const QByteArray& chunk)
{
    // A header starts the count afresh and ends a file an earlier header opened.
    closeFile();
    Control& bar = c[u"FileBar"];
    bar.setValue(0);

    QString reason;
    const std::optional<FileInfoHeader> header = parseFileInfoHeader(chunk, &reason);
    const QString name = header ? fromCp1252(header->name) : QString();
    if (header)
        reason = refusalReason(name, m_ownFiles);
    if (!reason.isEmpty()) {
        endTransfer(QStringLiteral("The file was refused: %1. ").arg(reason) + NothingSaved);
        return;
    }

    bar.setRange(0, float(header->size));
    c[u"Txt_File"].setText(name);
    // Resolved as the scan resolves it, so a name differing only in letter
    // case replaces the file the scan would read.
    auto file = std::make_unique<QFile>(FileSystem::resolve(m_programFolder + u'/' + name));
    if (QFileInfo(file->fileName()).isSymLink()) {
        endTransfer(QStringLiteral("The file was refused: \"%1\" is a link to a file elsewhere. ").arg(name)
                    + NothingSaved);
        return;
    }
    // Truncated, so no tail of an older, longer file survives.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        endTransfer(QStringLiteral("The file \"%1\" could not be created: %2. The connection was closed.")
                        .arg(name, file->errorString()));
        return;
    }
    m_file = std::move(file);
    m_fileName = name;
    m_announced = header->size;
    m_received = 0;
}

void FrmClient::receiveData(const QByteArray& chunk)
{
    if (!m_file) {
        endTransfer(QStringLiteral("Data arrived before a FILEINFO header, so it has no file name. ") + NothingSaved);
        return;
    }
    const qint64 bytes = chunk.size();
    Control& bar = c[u"FileBar"];
    const float maximum = float(bar.maximum());
    // The bar never passes its maximum, even when more arrives than announced.
    bar.setValue(std::min(progressAfter(float(bar.value()), bytes), maximum));
    TickBytes = saturatingAdd(TickBytes, bytes);
    c[u"Lbl_Complete"].setText(completionCaption(float(bar.value()), maximum));

    const qint64 written = m_file->write(chunk);
    m_received += bytes;
    if (written != bytes) {
        endTransfer(QStringLiteral("Writing \"%1\" failed: %2. The connection was closed; what was written "
                                   "before stays in the file.")
                        .arg(m_fileName, m_file->errorString()));
        return;
    }
    if (m_received > m_announced) {
        endTransfer(QStringLiteral("More data arrived than the %1 bytes announced for \"%2\". The connection was "
                                   "closed; all %3 bytes that arrived are saved in the file.")
                        .arg(m_announced)
                        .arg(m_fileName)
                        .arg(m_received));
        return;
    }
    QCoreApplication::processEvents();
}

void FrmClient::Winsock_Receive_Close()
{
    const Handling handling(m_handling);
    const bool cut = m_file && m_received < m_announced;
    closeFile();
    Winsock_Receive.close();
    if (cut) {
        m_messages.show(QStringLiteral("The connection closed after %1 of the %2 bytes announced for \"%3\". The "
                                       "bytes that arrived are saved in the file.")
                            .arg(m_received)
                            .arg(m_announced)
                            .arg(m_fileName),
                        MessageBoxes::Icon::Critical);
    }
}

void FrmClient::Timer1_Timer()
{
    c[u"Lbl_Averages"].setText(rateCaption(TickBytes));
    TickBytes = 0;
}

void FrmClient::OpenAuthorPage()
{
    TellboxIPbas::OpenWebPage(AuthorPage, m_launcher);
}

void FrmClient::closeConnection()
{
    closeFile();
    Winsock_Receive.close();
}

void FrmClient::closeFile()
{
    m_file.reset();
}

void FrmClient::endTransfer(const QString& message)
{
    closeConnection();
    m_messages.show(message, MessageBoxes::Icon::Critical);
}
