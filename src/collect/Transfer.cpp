#include "Transfer.h"

#include "ArrivalCheck.h"
#include "ArrivalJournal.h"
#include "ArrivalNames.h"
#include "CheckPool.h"
#include "CheckSetup.h"
#include "CollectContext.h"
#include "EventLog.h"
#include "FileInfoHeader.h"
#include "FileSystem.h"
#include "IncomingFile.h"
#include "LastLine.h"
#include "PlayerNotes.h"
#include "PlayerPreamble.h"
#include "ReceivedName.h"
#include "Roster.h"
#include "StoreHealth.h"
#include "VerdictLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>

#include <cerrno>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// What a socket may hold unread: a peer faster than the disk keeps memory flat.
constexpr qint64 ReadBufferSize = 64 * 1024;

RefusalCode codeOf(AnnouncementFault fault)
{
    switch (fault) {
    case AnnouncementFault::Header:
        return RefusalCode::BadHeader;
    case AnnouncementFault::Name:
        return RefusalCode::BadName;
    case AnnouncementFault::Space:
        return RefusalCode::CannotStore;
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
    , m_reader({bool(context.roster),
                [&context](const QByteArray& name) {
                    return context.roster ? context.roster->tokenSha256Of(name) : std::nullopt;
                },
                PlayerPreamble::newChallengeHex(), context.limits.openingTimeout})
    , m_clock(context.limits)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferSize);
    m_look.setSingleShot(true);
    m_openingDeadline.setSingleShot(true);
    m_openingDeadline.setTimerType(Qt::PreciseTimer);
    connect(&m_look, &QTimer::timeout, this, &Transfer::look);
    connect(&m_openingDeadline, &QTimer::timeout, this, &Transfer::openingTimedOut);
    m_accepted.start();
    m_openingDeadline.start(m_context.limits.openingTimeout);
    lookLater();
    // The opening is read as it comes, whether or not a slot is free: a
    // player's proof is known before the slots are given.
    connect(m_socket, &QTcpSocket::readyRead, this, &Transfer::readData);
    connect(m_socket, &QTcpSocket::disconnected, this, &Transfer::peerClosed);
}

Transfer::~Transfer()
{
    // A file handed over keeps its journal until it has its record, so that
    // the next start checks a file kept but never recorded.
    if (m_file && m_file->isActive()) {
        m_file->keepPartial(partialPath(), partialName(m_fileName), TemporaryFile::Existing::Keep);
        ArrivalJournal::remove(m_journal);
    }
    release();
}

// How records and events name a file kept: by its path under DIR.
QString Transfer::underDir(const QString& path) const
{
    return QDir(m_context.dir).relativeFilePath(path);
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

bool Transfer::isInOpening() const
{
    return !m_finished && m_phase == Phase::Opening;
}

void Transfer::serve()
{
    m_hasSlot = true;
    m_clock.serve(sinceAccept());
    lookLater();
    if (!startFile())
        return;
    take(std::exchange(m_afterHeader, QByteArray()));
    // Bytes, or the peer's close, may have come while it waited.
    QMetaObject::invokeMethod(this, [this] {
        readData();
        if (!m_finished && m_socket->state() != QAbstractSocket::ConnectedState)
            peerClosed();
    }, Qt::QueuedConnection);
}

void Transfer::readData()
{
    // Its file's bytes wait in the socket for its turn.
    if (m_finished || m_phase == Phase::Ready)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    m_clock.heard(bytes.size(), sinceAccept());
    lookLater();
    take(bytes);
}

void Transfer::take(QByteArrayView bytes)
{
    if (m_phase == Phase::Opening) {
        follow(m_reader.take(bytes));
        return;
    }
    while (!bytes.isEmpty() && !m_finished) {
        switch (m_phase) {
        case Phase::Opening:
        case Phase::Ready:
            return;
        case Phase::Data: {
            QString error;
            const qint64 taken = m_file->write(bytes, &error);
            if (taken < 0) {
                cannotStore(QStringLiteral("writing failed: %1").arg(error));
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

// Does what the opening's reader says.
void Transfer::follow(const OpeningReader::Actions& actions)
{
    for (const OpeningReader::Action& action : actions) {
        if (m_finished)
            return;
        // Events name the player claimed, proven or not.
        m_player = m_reader.claimedPlayer();
        switch (action.step) {
        case OpeningReader::Step::Say:
            m_socket->write(action.bytes);
            break;
        case OpeningReader::Step::Whole:
            opened(action.bytes);
            break;
        case OpeningReader::Step::Refuse:
            refuse(action.code, action.words);
            break;
        case OpeningReader::Step::Quiet:
            finish();
            break;
        }
    }
}

// The opening is whole: its player proved, or without a roster its address
// stands for one. It waits for its turn from now on, keeping what followed
// the header.
void Transfer::opened(const QByteArray& afterHeader)
{
    m_proven = true;
    if (m_reader.isProven()) {
        // Counted once proven: a name claimed without the token holds no one out.
        int& transfers = m_context.transfersOfPlayer[m_player];
        if (transfers >= m_context.limits.maxPerPlayer) {
            refuse(RefusalCode::TooManyForPlayer, QStringLiteral("%1 already has %2 transfers going")
                                                      .arg(QString::fromLatin1(m_player))
                                                      .arg(transfers));
            return;
        }
        ++transfers;
        m_counted = true;
    } else {
        m_player = m_address.toUtf8();
    }
    m_phase = Phase::Ready;
    m_openingDeadline.stop();
    m_clock.waitTurn();
    lookLater();
    m_afterHeader = afterHeader;
    emit openingWhole();
}

bool Transfer::startFile()
{
    QString reason;
    AnnouncementFault fault = AnnouncementFault::Header;
    const std::optional<Announcement> announced =
        acceptAnnouncement(m_reader.header(), m_context.ownFiles, m_context.dir, m_context.maxSize,
                           ArrivalNames::StampBytes, &reason, &fault);
    if (!announced) {
        if (codeOf(fault) == RefusalCode::CannotStore)
            cannotStore(reason);
        else
            refuse(codeOf(fault), reason);
        return false;
    }
    if (const QString unkeepable = ArrivalNames::refusalReason(announced->name); !unkeepable.isEmpty()) {
        refuse(RefusalCode::BadName, unkeepable);
        return false;
    }
    m_fileName = announced->name;
    m_announced = announced->size;
    if (const QString shortOfSpace = StoreHealth::shortOfSpace(m_context.dir, m_announced); !shortOfSpace.isEmpty()) {
        cannotStore(shortOfSpace);
        return false;
    }
    const QString folder = m_context.dir + u'/' + QString::fromUtf8(m_player);
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0 && errno != EEXIST) {
        cannotStore(QStringLiteral("%1: the player's folder cannot be made: %2").arg(folder, FileSystem::systemReason(errno)));
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
        cannotStore(QStringLiteral("%1 cannot take the file: %2").arg(folder, error));
        return false;
    }
    if (!startJournal())
        return false;
    m_phase = Phase::Data;
    event(QStringLiteral("accepted \"%1\", %2 bytes").arg(shownName(announced->name), QString::number(announced->size)),
          {{QStringLiteral("event"), QStringLiteral("accepted")},
           {QStringLiteral("name"), announced->name},
           {QStringLiteral("size"), announced->size}});
    return true;
}

// Who sends the file is on the disk before its first byte.
bool Transfer::startJournal()
{
    const QString journal = ArrivalJournal::pathOf(m_file->temporaryPath());
    QString error;
    if (!ArrivalJournal::write(journal, {underDir(m_target), m_fileName, m_announced, QString::fromUtf8(m_player),
                                         m_address, EventLog::timeNow()},
                               &error)) {
        ArrivalJournal::remove(journal);
        m_file->discard();
        cannotStore(error);
        return false;
    }
    m_journal = journal;
    return true;
}

// The whole file goes to a checking thread, to be kept and checked there.
void Transfer::handOver()
{
    m_phase = Phase::Checking;
    m_clock.fileWhole();
    lookLater();
    Arrival arrival{std::move(m_file), m_target, m_player, m_address, m_context.keepsEvidence,
                    QDateTime::currentDateTimeUtc()};
    m_context.checks->check(std::move(arrival), this, [this](const CheckedArrival& result) { checked(result); });
}

void Transfer::checked(const CheckedArrival& result)
{
    if (!result.stored) {
        cannotStore(result.failure, result.partial);
        return;
    }
    QString error;
    if (!m_context.verdicts->append(result.record, &error)) {
        // A file is answered for with its record or not at all.
        const QString partial = partialPath();
        const bool kept = ::renameat2(AT_FDCWD, QFile::encodeName(m_target).constData(), AT_FDCWD,
                                      QFile::encodeName(partial).constData(), RENAME_NOREPLACE)
            == 0;
        cannotStore(QStringLiteral("its record could not be kept: %1").arg(error), kept ? partial : QString());
        return;
    }
    m_context.verdicts->whenDurable(this, [this, result](const QString& syncError) { recorded(result, syncError); });
}

// The file and its record are on the disk: the player hears the verdict.
void Transfer::recorded(const CheckedArrival& result, const QString& syncError)
{
    if (!syncError.isEmpty()) {
        cannotStore(QStringLiteral("its record could not be made durable: %1").arg(syncError), result.target);
        return;
    }
    ArrivalJournal::remove(m_journal);
    m_journal.clear();
    event(QStringLiteral("stored %1").arg(QDir::toNativeSeparators(result.target)),
          {{QStringLiteral("event"), QStringLiteral("stored")},
           {QStringLiteral("stored"), result.target},
           {QStringLiteral("kept"), underDir(result.target)},
           {QStringLiteral("size"), m_announced}});
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
    m_clock.stored();
    lookLater();
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

// DIR, or the player's folder, cannot take the file: the sender is told, and
// DIR is tried until it can again.
void Transfer::cannotStore(const QString& words, const QString& partial)
{
    if (m_context.health)
        m_context.health->failed();
    // The sender reads it too: paths are named under DIR, which is the collector's own.
    refuse(RefusalCode::CannotStore, QString(words).replace(m_context.dir + u'/', QString()), partial);
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
    else if (m_phase == Phase::Ready)
        return; // what it sent is read in its turn
    else if (m_phase == Phase::Checking)
        m_peerGone = true; // the file is whole: its verdict ends the transfer
    else if (m_phase == Phase::Stored)
        finish();
    else
        follow(m_reader.closed());
}

TransferClock::Ms Transfer::sinceAccept() const
{
    return TransferClock::Ms(m_accepted.elapsed());
}

void Transfer::lookLater()
{
    const TransferClock::Ms next = m_clock.nextLook(sinceAccept());
    if (next == TransferClock::Ms::max())
        m_look.stop();
    else
        m_look.start(next);
}

// A time limit may have passed.
void Transfer::look()
{
    const TransferClock::Ms now = sinceAccept();
    const TransferClock::Due due = m_clock.due(now);
    if (due == TransferClock::Due::Nothing) {
        lookLater();
        return;
    }
    if (m_phase == Phase::Stored) {
        finish(); // its file is whole and kept
        return;
    }
    QString words = m_clock.words(due, now);
    if (due == TransferClock::Due::Silence && m_phase == Phase::Opening)
        words += QStringLiteral("; ") + m_reader.arrived();
    refuse(due == TransferClock::Due::TooSlow ? RefusalCode::TooSlow : RefusalCode::TimedOut, words);
}

// A connection is served only once its opening is whole, and a slow
// opening holds its place in the queue for this long at most.
void Transfer::openingTimedOut()
{
    const TransferClock::Ms since = sinceAccept();
    follow(m_reader.tick(since));
    // A timer may come a moment early.
    if (isInOpening())
        m_openingDeadline.start(m_context.limits.openingTimeout - since + TransferClock::Ms(1));
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

void Transfer::makeRoom()
{
    refuse(RefusalCode::Busy, QStringLiteral("the collector was full, and this connection, the oldest still in its "
                                             "opening, made room for a newer one"));
}

void Transfer::end()
{
    if (!m_finished && m_phase != Phase::Checking)
        refuse(RefusalCode::Stopping, QStringLiteral("the collector stopped before the file was whole"));
}

QJsonObject Transfer::fileFields() const
{
    if (m_fileName.isEmpty())
        return {};
    // Handed over, it had arrived whole.
    return {{QStringLiteral("name"), m_fileName},
            {QStringLiteral("received"), m_file ? m_file->received() : m_announced},
            {QStringLiteral("size"), m_announced}};
}

void Transfer::refuse(RefusalCode code, const QString& words, const QString& partial)
{
    const QString codeName = QString::fromLatin1(refusalCodeName(code));
    QJsonObject fields = fileFields();
    // A file the collector could not keep is its failure, not the sender's.
    fields.insert(QStringLiteral("event"), code == RefusalCode::CannotStore ? QStringLiteral("failed") : QStringLiteral("refused"));
    fields.insert(QStringLiteral("code"), codeName);
    fields.insert(QStringLiteral("reason"), words);
    QString text = QStringLiteral("%1 (%2): %3")
                       .arg(code == RefusalCode::CannotStore ? QStringLiteral("failed") : QStringLiteral("refused"),
                            codeName, words);
    QString kept = partial;
    if (m_file && m_file->isActive()) {
        const qint64 received = m_file->received();
        const QString what = m_file->keepPartial(partialPath(), QDir::toNativeSeparators(partialPath()),
                                                 TemporaryFile::Existing::Keep);
        if (received > 0 && QFileInfo::exists(partialPath()))
            kept = partialPath();
        text += QStringLiteral(", after %1 of %2 bytes of \"%3\". %4").arg(received).arg(m_announced).arg(shownName(m_fileName), what);
    } else if (!partial.isEmpty()) {
        text += QStringLiteral(". What arrived is kept in \"%1\".").arg(QDir::toNativeSeparators(partial));
    }
    if (!kept.isEmpty())
        fields.insert(QStringLiteral("kept"), underDir(kept));
    const bool recorded = !m_reader.header().isEmpty() && !m_player.isEmpty() && (m_context.roster || code == RefusalCode::CannotStore);
    qint64 heldBack = 0;
    if (recorded && !m_proven
        && !m_context.unproven.admit(m_address, m_player, QDateTime::currentMSecsSinceEpoch(), &heldBack))
        fields.insert(QStringLiteral("record_held_back"), true);
    event(text, fields);
    if (recorded && !fields.contains(QStringLiteral("record_held_back")))
        recordRefusal(code, words, fields.value(QStringLiteral("kept")).toString(), heldBack);
    finish(PlayerPreamble::refusedLine(refusalCodeName(code), words));
}

// A file a named player announced and was then refused has its record
// beside the verdicts, so that the league sees who tried to send what, and
// why not. Anonymous refusals stay events: they would only fill the log.
void Transfer::recordRefusal(RefusalCode code, const QString& words, const QString& kept, qint64 heldBack)
{
    QString unused;
    const FileInfoHeader announced = parseFileInfoHeader(m_reader.header(), &unused).value_or(FileInfoHeader{});
    QJsonObject record{
        {QStringLiteral("status"), QStringLiteral("refused")},
        {QStringLiteral("code"), QString::fromLatin1(refusalCodeName(code))},
        {QStringLiteral("reason"), words},
        {QStringLiteral("player"), m_proven ? QJsonValue(QString::fromUtf8(m_player)) : QJsonValue()},
        {QStringLiteral("sender"), m_address},
        {QStringLiteral("name"), displayText(announced.name)},
        {QStringLiteral("size"), announced.size},
        {QStringLiteral("received"), fileFields().value(QStringLiteral("received")).toInteger()},
        {QStringLiteral("time"), EventLog::timeNow()},
        {QStringLiteral("tool"), m_context.checks->setup()->proof.value(QStringLiteral("tool"))},
    };
    if (!m_proven && !m_player.isEmpty())
        record.insert(QStringLiteral("claimed_player"), QString::fromUtf8(m_player));
    if (!kept.isEmpty())
        record.insert(QStringLiteral("kept"), kept);
    if (heldBack > 0)
        record.insert(QStringLiteral("held_back"), heldBack);
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
        const qint64 received = m_file->received();
        const QString said = m_file->keepPartial(partialPath(), QDir::toNativeSeparators(partialPath()),
                                                 TemporaryFile::Existing::Keep);
        text = QStringLiteral("%1 after %2 of \"%3\". %4").arg(what, progress, shownName(m_fileName), said);
        if (received > 0 && QFileInfo::exists(partialPath()))
            fields.insert(QStringLiteral("kept"), underDir(partialPath()));
    }
    event(text, fields);
    finish();
}

void Transfer::finish(const QByteArray& lastLine)
{
    if (m_finished)
        return;
    m_finished = true;
    ArrivalJournal::remove(m_journal);
    release();
    m_look.stop();
    m_openingDeadline.stop();
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
