#include "Transfer.h"

#include "ArrivalCheck.h"
#include "ArrivalNames.h"
#include "CheckPool.h"
#include "CheckSetup.h"
#include "CollectContext.h"
#include "EventLog.h"
#include "FileInfoHeader.h"
#include "IncomingFile.h"
#include "LastLine.h"
#include "PlayerNotes.h"
#include "ReceivedName.h"
#include "Roster.h"
#include "VerdictLog.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>

namespace {

// What a socket may hold unread: a peer faster than the disk keeps memory flat.
constexpr qint64 ReadBufferSize = 64 * 1024;
constexpr std::chrono::milliseconds RateCheckEvery{1'000};

QString secondsText(std::chrono::milliseconds duration)
{
    return QStringLiteral("%1 s").arg(double(duration.count()) / 1000.0);
}

RefusalCode codeOf(AnnouncementFault fault)
{
    switch (fault) {
    case AnnouncementFault::Header:
        return RefusalCode::BadHeader;
    case AnnouncementFault::Name:
        return RefusalCode::BadName;
    case AnnouncementFault::Size:
        break;
    }
    return RefusalCode::TooLarge;
}

} // namespace

Transfer::Transfer(QTcpSocket* socket, const QString& address, CollectContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_socket(socket)
    , m_address(address)
    , m_peerPort(socket->peerPort())
    , m_playerName(PlayerPreamble::PlayerMarker, 2, PlayerPreamble::PlayerMarker.size() + PlayerPreamble::NameLength + 1)
    , m_proof(PlayerPreamble::ProofMarker, 2, PlayerPreamble::ProofMarker.size() + 64 + 1)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferSize);
    m_idle.setSingleShot(true);
    m_deadline.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &Transfer::idleTimedOut);
    connect(&m_deadline, &QTimer::timeout, this, &Transfer::deadlinePassed);
    connect(&m_rate, &QTimer::timeout, this, &Transfer::checkRate);
    m_deadline.start(m_context.limits.transferTimeout);
}

Transfer::~Transfer()
{
    if (m_file && m_file->isActive())
        m_file->keepPartial(partialPath(), partialName(m_fileName), TemporaryFile::Existing::Keep);
    release();
}

QString Transfer::partialPath() const
{
    return QFileInfo(m_target).path() + u'/' + partialName(QFileInfo(m_target).fileName());
}

// Its file's name and its player's count, once it no longer needs them.
void Transfer::release()
{
    if (!m_target.isEmpty())
        m_context.names.release(m_target);
    if (m_counted && --m_context.transfersOfPlayer[m_player] == 0)
        m_context.transfersOfPlayer.erase(m_player);
    m_counted = false;
}

void Transfer::serve()
{
    m_phase = Phase::Opening;
    m_served.start();
    m_rate.start(RateCheckEvery);
    m_idle.start(m_context.limits.idleTimeout);
    connect(m_socket, &QTcpSocket::readyRead, this, &Transfer::readData);
    connect(m_socket, &QTcpSocket::disconnected, this, &Transfer::peerClosed);
    // Bytes, or the peer's close, may have come while it waited.
    QMetaObject::invokeMethod(this, [this] {
        readData();
        if (!m_finished && m_socket->state() != QAbstractSocket::ConnectedState)
            peerClosed();
    }, Qt::QueuedConnection);
}

void Transfer::readData()
{
    if (m_finished)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    m_bytesRead += bytes.size();
    m_idle.start(m_context.limits.idleTimeout);
    take(bytes);
}

void Transfer::take(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && !m_finished) {
        switch (m_phase) {
        case Phase::Waiting:
            return;
        case Phase::Opening:
            m_phase = bytes.front() == PlayerPreamble::PlayerMarker.front() ? Phase::PlayerName : Phase::Header;
            break;
        case Phase::PlayerName:
            if (!takePlayer(&bytes))
                return;
            break;
        case Phase::Proof:
            if (!takeProof(&bytes))
                return;
            break;
        case Phase::Header:
            if (!takeHeader(&bytes))
                return;
            break;
        case Phase::Data: {
            QString error;
            const qint64 taken = m_file->write(bytes, &error);
            if (taken < 0) {
                endEarly(QStringLiteral("writing failed: %1").arg(error));
                return;
            }
            bytes = bytes.sliced(taken);
            if (m_file->isComplete())
                handOver();
            break;
        }
        case Phase::Checking:
        case Phase::Stored:
            cut();
            return;
        }
    }
}

bool Transfer::takePlayer(QByteArrayView* bytes)
{
    QByteArrayView rest;
    switch (m_playerName.add(*bytes, &rest)) {
    case FieldsCollector::Status::NeedMore:
        return false;
    case FieldsCollector::Status::Complete:
        *bytes = rest;
        return namePlayer(m_playerName.field(1));
    case FieldsCollector::Status::Wrong:
        break;
    case FieldsCollector::Status::TooLong:
        refuse(RefusalCode::UnknownPlayer, QStringLiteral("no player's name is that long"));
        return false;
    }
    refuse(RefusalCode::BadHeader, HeaderCollector::refusal(HeaderCollector::Status::NotAHeader));
    return false;
}

bool Transfer::namePlayer(const QByteArray& name)
{
    if (!m_context.roster) {
        refuse(RefusalCode::NoRoster,
               QStringLiteral("this collector has no roster, so it names no players: send without --player"));
        return false;
    }
    const std::optional<QByteArray> known =
        PlayerPreamble::isValidName(name) ? m_context.roster->tokenSha256Of(name) : std::nullopt;
    if (!known) {
        refuse(RefusalCode::UnknownPlayer,
               QStringLiteral("\"%1\" is not on the league's roster").arg(shownName(QString::fromLatin1(name))));
        return false;
    }
    m_player = name;
    m_challenge = PlayerPreamble::newChallengeHex();
    m_socket->write(PlayerPreamble::challengeLine(m_challenge));
    m_phase = Phase::Proof;
    return true;
}

bool Transfer::takeProof(QByteArrayView* bytes)
{
    QByteArrayView rest;
    switch (m_proof.add(*bytes, &rest)) {
    case FieldsCollector::Status::NeedMore:
        return false;
    case FieldsCollector::Status::Complete:
        *bytes = rest;
        m_phase = Phase::Header;
        return true;
    case FieldsCollector::Status::Wrong:
    case FieldsCollector::Status::TooLong:
        break;
    }
    refuse(RefusalCode::BadProof, QStringLiteral("no proof of the player's token came after the challenge"));
    return false;
}

bool Transfer::takeHeader(QByteArrayView* bytes)
{
    QByteArrayView rest;
    const HeaderCollector::Status status = m_header.add(*bytes, &rest);
    if (status == HeaderCollector::Status::NeedMore)
        return false;
    if (status != HeaderCollector::Status::Complete) {
        refuse(RefusalCode::BadHeader, HeaderCollector::refusal(status));
        return false;
    }
    m_headerWhole = true;
    *bytes = rest;
    return startFile();
}

bool Transfer::startFile()
{
    if (m_context.roster && m_player.isEmpty()) {
        refuse(RefusalCode::NoPlayer, QStringLiteral("this league takes files only from the players on its roster: "
                                                     "send with --player NAME"));
        return false;
    }
    if (!m_player.isEmpty()) {
        const std::optional<QByteArray> key = m_context.roster->tokenSha256Of(m_player);
        if (!key || !PlayerPreamble::proofHolds(m_proof.field(1), *key, m_challenge, m_player, m_header.header())) {
            refuse(RefusalCode::BadProof, QStringLiteral("the token is wrong"));
            return false;
        }
        m_proven = true;
        // Counted once proven: a name claimed without the token holds no one out.
        int& transfers = m_context.transfersOfPlayer[m_player];
        if (transfers >= m_context.limits.maxPerPlayer) {
            refuse(RefusalCode::TooManyForPlayer, QStringLiteral("%1 already has %2 transfers going")
                                                      .arg(QString::fromLatin1(m_player))
                                                      .arg(transfers));
            return false;
        }
        ++transfers;
        m_counted = true;
    } else if (!m_context.roster) {
        m_player = m_address.toUtf8();
    }
    m_proven = true;
    QString reason;
    AnnouncementFault fault = AnnouncementFault::Header;
    const std::optional<Announcement> announced =
        acceptAnnouncement(m_header.header(), m_context.ownFiles, m_context.dir, m_context.maxSize,
                           ArrivalNames::StampBytes, &reason, &fault);
    if (!announced) {
        refuse(codeOf(fault), reason);
        return false;
    }
    m_fileName = announced->name;
    m_announced = announced->size;
    const QString folder = m_context.dir + u'/' + QString::fromUtf8(m_player);
    if (!QDir().mkpath(folder)) {
        endEarly(QStringLiteral("%1: the folder cannot be made").arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    const std::optional<QString> name = m_context.names.take(folder, announced->name);
    if (!name) {
        refuse(RefusalCode::BadName, QStringLiteral("no free name is left for \"%1\"").arg(shownName(announced->name)));
        return false;
    }
    m_target = folder + u'/' + *name;
    m_file = std::make_unique<IncomingFile>();
    QString error;
    if (!m_file->start(folder, *announced, &error)) {
        endEarly(error);
        return false;
    }
    m_phase = Phase::Data;
    event(QStringLiteral("accepted \"%1\", %2 bytes").arg(shownName(announced->name), QString::number(announced->size)),
          {{QStringLiteral("event"), QStringLiteral("accepted")},
           {QStringLiteral("name"), announced->name},
           {QStringLiteral("size"), announced->size}});
    return true;
}

// The whole file goes to a checking thread, to be kept and checked there.
void Transfer::handOver()
{
    m_phase = Phase::Checking;
    m_deadline.stop();
    m_rate.stop();
    Arrival arrival{std::move(m_file), m_target, m_player, m_address, bool(m_context.onRecord),
                    QDateTime::currentDateTimeUtc()};
    m_context.checks->check(std::move(arrival), this, [this](const CheckedArrival& result) { checked(result); });
}

void Transfer::checked(const CheckedArrival& result)
{
    if (!result.stored) {
        event(QStringLiteral("%1 (\"%2\")").arg(result.failure, shownName(m_fileName)),
              {{QStringLiteral("event"), QStringLiteral("failed")},
               {QStringLiteral("reason"), result.failure},
               {QStringLiteral("name"), m_fileName}});
        finish();
        return;
    }
    event(QStringLiteral("stored %1").arg(QDir::toNativeSeparators(result.target)),
          {{QStringLiteral("event"), QStringLiteral("stored")},
           {QStringLiteral("stored"), result.target},
           {QStringLiteral("size"), m_announced}});
    QString error;
    if (!m_context.verdicts->append(result.record, &error))
        event(QStringLiteral("failed: the verdict could not be kept: %1").arg(error),
              {{QStringLiteral("event"), QStringLiteral("failed")}, {QStringLiteral("reason"), error}});
    if (m_context.onRecord)
        m_context.onRecord(result.record, result.verdict);
    event(result.summary, {{QStringLiteral("event"), QStringLiteral("verdict")},
                           {QStringLiteral("stored"), result.target},
                           {QStringLiteral("status"), result.status},
                           {QStringLiteral("car"), result.record.value(QStringLiteral("car"))},
                           {QStringLiteral("tweaks"), result.record.value(QStringLiteral("tweaks_total"))},
                           {QStringLiteral("missing"), result.record.value(QStringLiteral("missing_total"))},
                           {QStringLiteral("check_ms"), double(result.took.count()) / 1e6}});
    m_phase = Phase::Stored;
    // A player hears the verdict; a plain sender closes when it is done.
    if (m_counted) {
        const QString page = m_context.publicUrl.isEmpty()
            ? QString()
            : m_context.publicUrl + QStringLiteral("/player/") + QString::fromLatin1(m_player);
        finish(PlayerPreamble::storedLine(result.status.toUtf8()) + PlayerNotes::lines(result.firstDifferences, page));
    } else if (m_cut || m_stopping || m_peerGone) {
        finish();
    }
}

void Transfer::cut()
{
    m_cut = true;
    event(QStringLiteral("cut: more than the %1 bytes announced arrived; the file as announced is kept").arg(m_announced),
          {{QStringLiteral("event"), QStringLiteral("cut")}, {QStringLiteral("name"), m_fileName}});
    disconnect(m_socket, &QTcpSocket::readyRead, this, &Transfer::readData);
    if (m_phase == Phase::Stored)
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
    else if (m_phase == Phase::Checking)
        m_peerGone = true; // the file is whole: its verdict ends the transfer
    else if (m_phase == Phase::Stored || (m_phase == Phase::Opening && m_bytesRead == 0))
        finish();
    else
        refuse(RefusalCode::BadHeader, QStringLiteral("the connection closed before its FILEINFO header was complete"));
}

void Transfer::idleTimedOut()
{
    const QString silence = QStringLiteral("it sent nothing for %1").arg(secondsText(m_context.limits.idleTimeout));
    if (m_phase == Phase::Stored) {
        finish(); // its file is whole and kept
        return;
    }
    if (m_phase == Phase::Checking)
        return;
    if (m_phase != Phase::Data) {
        const QString arrived = m_bytesRead == 0 ? QStringLiteral("nothing had arrived")
                                                 : QStringLiteral("only %1 bytes had arrived").arg(m_bytesRead);
        refuse(RefusalCode::TimedOut, silence + QStringLiteral("; ") + arrived);
        return;
    }
    refuse(RefusalCode::TimedOut, silence);
}

void Transfer::deadlinePassed()
{
    if (m_phase == Phase::Checking || m_phase == Phase::Stored)
        return;
    refuse(RefusalCode::TimedOut, QStringLiteral("the whole file did not arrive within %1 of the connection")
                                      .arg(secondsText(m_context.limits.transferTimeout)));
}

void Transfer::checkRate()
{
    const qint64 servedMs = m_served.elapsed();
    if (servedMs < m_context.limits.rateGrace.count() || m_phase == Phase::Checking || m_phase == Phase::Stored)
        return;
    if (m_bytesRead * 1000 < m_context.limits.minRate * servedMs)
        refuse(RefusalCode::TooSlow, QStringLiteral("it sent %1 bytes in %2, less than %3 bytes a second")
                                         .arg(m_bytesRead)
                                         .arg(secondsText(std::chrono::milliseconds(servedMs)))
                                         .arg(m_context.limits.minRate));
}

void Transfer::stop()
{
    if (m_finished)
        return;
    m_stopping = true;
    if (m_phase == Phase::Stored)
        finish();
    else if (m_phase != Phase::Data && m_phase != Phase::Checking)
        refuse(RefusalCode::Stopping, QStringLiteral("the collector stops"));
}

void Transfer::end()
{
    if (!m_finished && m_phase != Phase::Checking)
        refuse(RefusalCode::Stopping, QStringLiteral("the collector stopped before the file was whole"));
}

QJsonObject Transfer::fileFields() const
{
    if (!m_file)
        return {};
    return {{QStringLiteral("name"), m_fileName},
            {QStringLiteral("received"), m_file->received()},
            {QStringLiteral("size"), m_announced}};
}

void Transfer::refuse(RefusalCode code, const QString& words)
{
    QJsonObject fields = fileFields();
    fields.insert(QStringLiteral("event"), QStringLiteral("refused"));
    fields.insert(QStringLiteral("code"), QString::fromLatin1(refusalCodeName(code)));
    fields.insert(QStringLiteral("reason"), words);
    QString text = QStringLiteral("refused (%1): %2").arg(QString::fromLatin1(refusalCodeName(code)), words);
    if (m_file && m_file->isActive()) {
        const QString kept = m_file->keepPartial(partialPath(), QDir::toNativeSeparators(partialPath()),
                                                 TemporaryFile::Existing::Keep);
        text += QStringLiteral(", after %1 of %2 bytes of \"%3\". %4")
                    .arg(m_file->received())
                    .arg(m_announced)
                    .arg(shownName(m_fileName), kept);
        fields.insert(QStringLiteral("kept"), kept);
    }
    event(text, fields);
    if (m_headerWhole && m_context.roster && !m_player.isEmpty())
        recordRefusal(code, words, fields.value(QStringLiteral("kept")).toString());
    finish(PlayerPreamble::refusedLine(refusalCodeName(code), words));
}

// A file a named player announced and was then refused has its record
// beside the verdicts, so that the league sees who tried to send what, and
// why not. Anonymous refusals stay events: they would only fill the log.
void Transfer::recordRefusal(RefusalCode code, const QString& words, const QString& kept)
{
    QString unused;
    const FileInfoHeader announced = parseFileInfoHeader(m_header.header(), &unused).value_or(FileInfoHeader{});
    QJsonObject record{
        {QStringLiteral("status"), QStringLiteral("refused")},
        {QStringLiteral("code"), QString::fromLatin1(refusalCodeName(code))},
        {QStringLiteral("reason"), words},
        {QStringLiteral("player"), m_proven ? QJsonValue(QString::fromUtf8(m_player)) : QJsonValue()},
        {QStringLiteral("sender"), m_address},
        {QStringLiteral("name"), displayText(announced.name)},
        {QStringLiteral("size"), announced.size},
        {QStringLiteral("received"), m_file ? m_file->received() : 0},
        {QStringLiteral("time"), EventLog::timeNow()},
        {QStringLiteral("tool"), m_context.checks->setup()->proof.value(QStringLiteral("tool"))},
    };
    if (!m_proven && !m_player.isEmpty())
        record.insert(QStringLiteral("claimed_player"), QString::fromUtf8(m_player));
    if (!kept.isEmpty())
        record.insert(QStringLiteral("kept"), kept);
    QString error;
    if (!m_context.verdicts->append(record, &error))
        event(QStringLiteral("failed: the refusal could not be kept: %1").arg(error),
              {{QStringLiteral("event"), QStringLiteral("failed")}, {QStringLiteral("reason"), error}});
    if (m_context.onRecord)
        m_context.onRecord(record, nullptr);
}

// A file not yet whole keeps what arrived as a partial file.
void Transfer::endEarly(const QString& what)
{
    QJsonObject fields = fileFields();
    fields.insert(QStringLiteral("event"), QStringLiteral("ended early"));
    fields.insert(QStringLiteral("reason"), what);
    QString text = what;
    if (m_file && m_file->isActive()) {
        const QString progress = QStringLiteral("%1 of %2 bytes").arg(m_file->received()).arg(m_announced);
        const QString kept = m_file->keepPartial(partialPath(), QDir::toNativeSeparators(partialPath()),
                                                 TemporaryFile::Existing::Keep);
        text = QStringLiteral("%1 after %2 of \"%3\". %4").arg(what, progress, shownName(m_fileName), kept);
        fields.insert(QStringLiteral("kept"), kept);
    }
    event(text, fields);
    finish();
}

void Transfer::finish(const QByteArray& lastLine)
{
    if (m_finished)
        return;
    m_finished = true;
    release();
    m_idle.stop();
    m_deadline.stop();
    m_rate.stop();
    disconnect(m_socket, nullptr, this, nullptr);
    if (lastLine.isEmpty()) {
        m_socket->abort();
    } else {
        sayLastLine(m_socket, lastLine, m_context.limits.linger);
        m_socket = nullptr;
    }
    emit finished();
}

void Transfer::event(const QString& text, QJsonObject fields)
{
    fields.insert(QStringLiteral("peer"), m_address);
    fields.insert(QStringLiteral("port"), m_peerPort);
    if (!m_player.isEmpty())
        fields.insert(QStringLiteral("player"), QString::fromUtf8(m_player));
    const QString who = QStringLiteral("%1:%2").arg(m_address).arg(m_peerPort);
    m_context.events->write(m_context.roster && !m_player.isEmpty()
                                ? QString::fromUtf8(m_player) + u'@' + who
                                : who,
                            text, fields);
}
