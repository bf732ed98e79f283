#include "Transfer.h"

#include "CollectContext.h"
#include "DescriptorCheck.h"
#include "EventLog.h"
#include "FileSystem.h"
#include "ReceivedName.h"
#include "ReferenceFolder.h"
#include "RuledVerdict.h"
#include "VerdictJson.h"

#include <QDateTime>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>

namespace {

// "yyyyMMdd-HHmmss-zzz-" and, for a second file in the same millisecond, a
// number: what goes before a received name.
constexpr qsizetype StampBytes = 25;

// What a socket may hold unread: a peer faster than the disk keeps memory flat.
constexpr qint64 ReadBufferSize = 64 * 1024;

QString addressOf(const QHostAddress& peer)
{
    bool mapped = false;
    const quint32 ipv4 = peer.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(ipv4).toString();
    QHostAddress plain = peer;
    plain.setScopeId(QString());
    return plain.toString();
}

QString secondsText(std::chrono::milliseconds duration)
{
    return QStringLiteral("%1 s").arg(double(duration.count()) / 1000.0);
}

} // namespace

Transfer::Transfer(QTcpSocket* socket, CollectContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_socket(socket)
    , m_peer(addressOf(socket->peerAddress()))
    , m_peerPort(socket->peerPort())
    , m_folder(context.dir + u'/' + m_peer)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferSize);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &Transfer::idleTimedOut);
    connect(m_socket, &QTcpSocket::readyRead, this, &Transfer::readData);
    connect(m_socket, &QTcpSocket::disconnected, this, &Transfer::peerClosed);
    m_idle.start(m_context.idleTimeout);
    // Bytes, or the peer's close, may have come before the signals were connected.
    QMetaObject::invokeMethod(this, [this] {
        readData();
        if (!m_finished && m_socket->state() != QAbstractSocket::ConnectedState)
            peerClosed();
    }, Qt::QueuedConnection);
}

Transfer::~Transfer()
{
    if (m_file.isActive())
        m_file.keepPartial(m_folder + u'/' + partialName(m_name), partialName(m_name), TemporaryFile::Existing::Keep);
    releaseName();
}

void Transfer::readData()
{
    if (m_finished)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    m_idle.start(m_context.idleTimeout);
    take(bytes);
}

void Transfer::take(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && !m_finished) {
        switch (m_phase) {
        case Phase::Header: {
            QByteArrayView rest;
            const HeaderCollector::Status status = m_header.add(bytes, &rest);
            if (status == HeaderCollector::Status::NeedMore)
                return;
            if (status != HeaderCollector::Status::Complete) {
                refuse(HeaderCollector::refusal(status));
                return;
            }
            bytes = rest;
            if (!startFile())
                return;
            break;
        }
        case Phase::Data: {
            QString error;
            const qint64 taken = m_file.write(bytes, &error);
            if (taken < 0) {
                endEarly(QStringLiteral("writing failed: %1").arg(error));
                return;
            }
            bytes = bytes.sliced(taken);
            if (m_file.isComplete())
                placeFile();
            break;
        }
        case Phase::Stored:
            event(QStringLiteral("cut: more than the %1 bytes announced arrived; the file as announced is kept")
                      .arg(m_file.announced()),
                  {{QStringLiteral("event"), QStringLiteral("cut")}, {QStringLiteral("stored"), m_stored}});
            finish();
            return;
        }
    }
}

bool Transfer::startFile()
{
    QString reason;
    const std::optional<Announcement> announced =
        acceptAnnouncement(m_header.header(), m_context.ownFiles, m_context.dir, m_context.maxSize, StampBytes, &reason);
    if (!announced) {
        refuse(reason);
        return false;
    }
    QString error;
    if (!QDir().mkpath(m_folder)) {
        refuse(QStringLiteral("%1: the folder cannot be made").arg(QDir::toNativeSeparators(m_folder)));
        return false;
    }
    if (!chooseName(announced->name)) {
        refuse(QStringLiteral("no free name is left for \"%1\"").arg(shownName(announced->name)));
        return false;
    }
    if (!m_file.start(m_folder, *announced, &error)) {
        refuse(error);
        return false;
    }
    m_phase = Phase::Data;
    event(QStringLiteral("accepted \"%1\", %2 bytes").arg(shownName(announced->name), QString::number(announced->size)),
          {{QStringLiteral("event"), QStringLiteral("accepted")},
           {QStringLiteral("name"), announced->name},
           {QStringLiteral("size"), announced->size}});
    return true;
}

// Never in the place of another file, kept or arriving: a second file of
// the same name from the same sender within a millisecond takes a number.
bool Transfer::chooseName(const QString& received)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    for (int copy = 1; copy <= 1000; ++copy) {
        const QString name = copy == 1 ? stamp + u'-' + received : QStringLiteral("%1-%2-%3").arg(stamp).arg(copy).arg(received);
        const QString path = m_folder + u'/' + name;
        if (!m_context.namesInUse.count(path) && !QFileInfo::exists(path) && !QFileInfo::exists(path + QStringLiteral(".partial"))) {
            m_name = name;
            m_context.namesInUse.insert(path);
            return true;
        }
    }
    return false;
}

void Transfer::releaseName()
{
    if (!m_name.isEmpty())
        m_context.namesInUse.erase(m_folder + u'/' + m_name);
}

void Transfer::placeFile()
{
    const QString target = m_folder + u'/' + m_name;
    QString error;
    if (!m_file.place(target, TemporaryFile::Existing::Keep, &error)) {
        endEarly(QStringLiteral("storing failed: %1").arg(error));
        return;
    }
    m_stored = target;
    m_phase = Phase::Stored;
    event(QStringLiteral("stored %1").arg(QDir::toNativeSeparators(m_stored)),
          {{QStringLiteral("event"), QStringLiteral("stored")},
           {QStringLiteral("stored"), m_stored},
           {QStringLiteral("size"), m_file.announced()}});
    checkFile();
}

void Transfer::checkFile()
{
    const Car* car = CarCatalogue::carOfDescriptorName(m_file.name());
    Verdict verdict;
    verdict.path = QFile::encodeName(m_stored);
    verdict.car = car;
    QJsonObject record;
    if (!car) {
        verdict.player = m_peer.toUtf8();
        record = verdictJson(verdict);
        record.insert(QStringLiteral("status"), QStringLiteral("unchecked"));
        record.remove(QStringLiteral("error"));
    } else {
        if (m_context.reference->genuine(*car))
            verdict = checkDescriptor(QFile::encodeName(m_stored), m_context.reference->versions(*car),
                                      m_context.reference->allGenuine(), *m_context.store);
        else
            verdict.error = m_context.reference->genuineError(*car);
        if (m_context.rules)
            applyRules(verdict, *m_context.rules);
        verdict.player = m_peer.toUtf8();
        record = verdictJson(verdict);
    }
    for (auto field = m_context.proof.begin(); field != m_context.proof.end(); ++field)
        record.insert(field.key(), field.value());
    record.insert(QStringLiteral("time"), EventLog::timeNow());
    record.insert(QStringLiteral("sender"), m_peer);
    record.insert(QStringLiteral("size"), m_file.announced());

    QString error;
    if (!FileSystem::appendEncoded(m_context.verdictLog, jsonLine(record), &error))
        event(QStringLiteral("failed: the verdict could not be kept: %1").arg(error),
              {{QStringLiteral("event"), QStringLiteral("failed")}, {QStringLiteral("reason"), error}});

    const QString status = record.value(QStringLiteral("status")).toString();
    QString text = QStringLiteral("verdict %1").arg(status);
    if (verdict.status == Verdict::Status::Tweaked || verdict.status == Verdict::Status::Allowed)
        text += QStringLiteral(" (%1): %2").arg(car->listEntry, verdict.differenceCounts());
    else if (car)
        text += QStringLiteral(" (%1)").arg(car->listEntry)
            + (verdict.error.isEmpty() ? QString() : QStringLiteral(": ") + verdict.error);
    else
        text += QStringLiteral(": the name says no car");
    event(text, {{QStringLiteral("event"), QStringLiteral("verdict")},
                 {QStringLiteral("stored"), m_stored},
                 {QStringLiteral("status"), status},
                 {QStringLiteral("car"), car ? QJsonValue(car->listEntry) : QJsonValue()},
                 {QStringLiteral("tweaks"), qint64(verdict.tweaks.size())},
                 {QStringLiteral("missing"), qint64(verdict.missing.size())}});
    if (m_stopping)
        finish();
}

void Transfer::peerClosed()
{
    if (m_finished)
        return;
    readData();
    if (m_finished)
        return;
    if (m_phase == Phase::Data)
        endEarly(QStringLiteral("the connection closed"));
    else if (m_phase == Phase::Header && !m_header.isEmpty())
        refuse(QStringLiteral("the connection closed before its FILEINFO header was complete"));
    else
        finish();
}

void Transfer::idleTimedOut()
{
    const QString silence = QStringLiteral("sent nothing for %1").arg(secondsText(m_context.idleTimeout));
    if (m_phase == Phase::Stored) {
        finish(); // its file is whole and kept
        return;
    }
    if (m_phase == Phase::Data) {
        endEarly(QStringLiteral("timed out: %1").arg(silence));
        return;
    }
    const QString arrived = m_header.isEmpty()
        ? QStringLiteral("nothing had arrived")
        : QStringLiteral("only %1 bytes of a FILEINFO header had arrived").arg(m_header.header().size());
    event(QStringLiteral("timed out: %1; %2").arg(silence, arrived),
          {{QStringLiteral("event"), QStringLiteral("timed out")}, {QStringLiteral("reason"), silence + QStringLiteral("; ") + arrived}});
    finish();
}

void Transfer::stop()
{
    m_stopping = true;
    if (m_phase != Phase::Data)
        finish();
}

void Transfer::end(const QString& why)
{
    if (m_finished)
        return;
    if (m_phase == Phase::Data)
        endEarly(why);
    else
        finish();
}

// A file not yet whole keeps what arrived as a partial file.
void Transfer::endEarly(const QString& what)
{
    const QString partial = m_folder + u'/' + partialName(m_name);
    const QString progress = QStringLiteral("%1 of %2 bytes").arg(m_file.received()).arg(m_file.announced());
    const QString kept =
        m_file.keepPartial(partial, QDir::toNativeSeparators(partial), TemporaryFile::Existing::Keep);
    const bool timedOut = what.startsWith(u"timed out");
    event(QStringLiteral("%1 after %2 of \"%3\". %4").arg(what, progress, shownName(m_file.name()), kept),
          {{QStringLiteral("event"), timedOut ? QStringLiteral("timed out") : QStringLiteral("ended early")},
           {QStringLiteral("reason"), what},
           {QStringLiteral("name"), m_file.name()},
           {QStringLiteral("received"), m_file.received()},
           {QStringLiteral("size"), m_file.announced()},
           {QStringLiteral("kept"), kept}});
    finish();
}

void Transfer::refuse(const QString& reason)
{
    event(QStringLiteral("refused: %1").arg(reason),
          {{QStringLiteral("event"), QStringLiteral("refused")}, {QStringLiteral("reason"), reason}});
    finish();
}

void Transfer::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_idle.stop();
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
    emit finished();
}

void Transfer::event(const QString& text, QJsonObject fields)
{
    fields.insert(QStringLiteral("peer"), m_peer);
    fields.insert(QStringLiteral("port"), m_peerPort);
    m_context.events->write(QStringLiteral("%1:%2").arg(m_peer).arg(m_peerPort), text, fields);
}
