#include "CollectServer.h"

#include "CollectContext.h"
#include "EventLog.h"
#include "LastLine.h"
#include "PeerAddress.h"
#include "PlayerPreamble.h"
#include "Refusal.h"
#include "Transfer.h"

#include <QTcpSocket>

namespace {

// Connections the system keeps until the collector takes them, which it does at once.
constexpr int Backlog = 1024;

} // namespace

CollectServer::CollectServer(CollectContext& context, ConnectionLimits limits, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_limits(limits)
{
    m_grace.setSingleShot(true);
    connect(&m_grace, &QTimer::timeout, this, &CollectServer::endTransfers);
    connect(&m_server, &QTcpServer::newConnection, this, &CollectServer::takeConnections);
    m_server.setMaxPendingConnections(Backlog);
}

bool CollectServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    m_server.setListenBacklogSize(Backlog);
    if (!m_server.listen(address, port)) {
        *error = m_server.errorString();
        return false;
    }
    return true;
}

void CollectServer::takeConnections()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QString address = PeerAddress::nameOf(socket->peerAddress());
        const QString counted = PeerAddress::limitedAs(socket->peerAddress());
        if (m_stopping) {
            socket->abort();
            socket->deleteLater();
        } else if (m_open >= m_limits.maxPending && !makeRoom()) {
            refuseAtOnce(socket, address, counted, refusalCodeName(RefusalCode::Busy),
                         QStringLiteral("%1 connections are open or waiting, as many as the collector holds")
                             .arg(m_open));
        } else if (m_fromAddress[counted] >= m_limits.maxPerAddress) {
            refuseAtOnce(socket, address, counted, refusalCodeName(RefusalCode::TooManyFromAddress),
                         QStringLiteral("%1 connections from %2 are open or waiting, as many as one address may have")
                             .arg(m_fromAddress[counted])
                             .arg(counted));
        } else {
            auto* transfer = new Transfer(socket, address, m_context, this);
            ++m_open;
            ++m_fromAddress[counted];
            connect(transfer, &Transfer::openingWhole, this, [this, transfer, counted] {
                m_waiting.push(turnOf(transfer, counted), transfer);
                serveWaiting();
            });
            connect(transfer, &Transfer::finished, this, [this, transfer, counted] { transferFinished(transfer, counted); });
        }
    }
}

// The slots go round the players in turn; without a roster, round the
// addresses (an IPv6 /64 as one).
QString CollectServer::turnOf(const Transfer* transfer, const QString& counted) const
{
    return m_context.roster ? QString::fromUtf8(transfer->player()) : counted;
}

void CollectServer::refuseAtOnce(QTcpSocket* socket, const QString& address, const QString& counted,
                                 const QByteArray& code, const QString& words)
{
    const quint16 port = socket->peerPort();
    m_context.events->write(QStringLiteral("%1:%2").arg(address).arg(port),
                            QStringLiteral("refused (%1): %2").arg(QString::fromLatin1(code), words),
                            {{QStringLiteral("event"), QStringLiteral("refused")},
                             {QStringLiteral("code"), QString::fromLatin1(code)},
                             {QStringLiteral("reason"), words},
                             {QStringLiteral("peer"), address},
                             {QStringLiteral("port"), port}});
    if (m_fromAddress[counted] == 0)
        m_fromAddress.erase(counted);
    sayLastLine(socket, PlayerPreamble::refusedLine(code, words), m_context.limits.linger);
}

// The oldest connection still in its opening makes room for a new one: a
// proven player, or one yet to prove, is not kept out by the silent or the
// slow, and is refused busy only when every other has proved itself.
bool CollectServer::makeRoom()
{
    for (Transfer* transfer : findChildren<Transfer*>(Qt::FindDirectChildrenOnly)) {
        if (transfer->isInOpening()) {
            transfer->makeRoom();
            return true;
        }
    }
    return false;
}

void CollectServer::serveWaiting()
{
    while (!m_stopping && m_served < m_limits.maxConnections) {
        const std::optional<Transfer*> next = m_waiting.take();
        if (!next)
            return;
        ++m_served;
        (*next)->serve();
    }
}

void CollectServer::transferFinished(Transfer* transfer, const QString& counted)
{
    if (transfer->isServed())
        --m_served;
    else
        m_waiting.remove(turnOf(transfer, counted), transfer);
    --m_open;
    if (--m_fromAddress[counted] == 0)
        m_fromAddress.erase(counted);
    // Its own signal is on the stack.
    transfer->deleteLater();
    if (m_stopping) {
        if (m_open == 0) {
            m_grace.stop();
            emit stopped();
        }
        return;
    }
    serveWaiting();
}

void CollectServer::stop(std::chrono::milliseconds grace)
{
    // Asked twice: no more grace.
    if (m_stopping) {
        endTransfers();
        return;
    }
    m_stopping = true;
    m_server.close();
    if (m_open == 0) {
        emit stopped();
        return;
    }
    m_grace.start(grace);
    for (Transfer* transfer : findChildren<Transfer*>(Qt::FindDirectChildrenOnly))
        transfer->stop();
}

void CollectServer::endTransfers()
{
    for (Transfer* transfer : findChildren<Transfer*>(Qt::FindDirectChildrenOnly))
        transfer->end();
}
