#include "CollectServer.h"

#include "Transfer.h"

#include <QTcpSocket>

namespace {
// Connections the system keeps waiting while every slot is taken.
constexpr int Backlog = 1024;
} // namespace

CollectServer::CollectServer(CollectContext& context, int maxConnections, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_maxConnections(maxConnections)
{
    m_grace.setSingleShot(true);
    connect(&m_grace, &QTimer::timeout, this, &CollectServer::endTransfers);
    connect(&m_server, &QTcpServer::newConnection, this, &CollectServer::takeConnections);
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
    while (!m_stopping && m_active < m_maxConnections && m_server.hasPendingConnections()) {
        auto* transfer = new Transfer(m_server.nextPendingConnection(), m_context, this);
        ++m_active;
        connect(transfer, &Transfer::finished, this, [this, transfer] { transferFinished(transfer); });
    }
    if (m_active >= m_maxConnections)
        m_server.pauseAccepting();
}

void CollectServer::transferFinished(Transfer* transfer)
{
    --m_active;
    // Its own signal is on the stack.
    transfer->deleteLater();
    if (m_stopping) {
        if (m_active == 0) {
            m_grace.stop();
            emit stopped();
        }
        return;
    }
    m_server.resumeAccepting();
    takeConnections();
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
    while (QTcpSocket* waiting = m_server.nextPendingConnection()) {
        waiting->abort();
        waiting->deleteLater();
    }
    if (m_active == 0) {
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
        transfer->end(QStringLiteral("the collector stopped"));
}
