#pragma once

#include "OpeningReader.h"
#include "Refusal.h"
#include "TransferClock.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <memory>

class IncomingFile;
class QTcpSocket;
struct CheckedArrival;
struct CollectContext;

// One connection of a collection, carrying one file by the FILEINFO protocol
// as the receiver window reads it, after a player's preamble and proof where
// the league has a roster. It owns the socket and the timers: the opening's
// protocol is an OpeningReader and the time limits a TransferClock, which
// know neither. From its accept on it reads its opening (the preamble, the
// proof and the header) as it comes, within the opening time; once its proof
// holds (or, without a roster, its header is whole) it waits for its turn,
// keeping its sender's address. Served, it writes the file
// beside its stamped name in DIR/<player>/, and hands the whole file to the
// checking threads; a player learns the verdict once the file and its record
// are on the disk. A file that cannot be kept, or whose record cannot, is
// refused as cannot-store. A transfer that ends early keeps what arrived as
// a partial file. One whose opening is not whole within the opening time,
// that takes longer than the transfer timeout from its accept, averages less
// than the least rate once served for a while, or is silent for the idle
// time is refused, as is anything the rules do not allow.
class Transfer : public QObject
{
    Q_OBJECT

public:
    // Takes the socket over and reads the opening; the file waits until served.
    Transfer(QTcpSocket* socket, const QString& address, CollectContext& context, QObject* parent = nullptr);
    ~Transfer() override;

    QString address() const { return m_address; }
    // Its proven player, or its address without a roster, once openingWhole.
    const QByteArray& player() const { return m_player; }
    // Its turn came, after openingWhole.
    void serve();
    bool isServed() const { return m_hasSlot; }
    // Still reading its preamble, proof or header.
    bool isInOpening() const;
    bool isFinished() const { return m_finished; }

    // The collector is stopping: a file still arriving may finish, and the
    // transfer ends as soon as it is kept; any other ends now.
    void stop();
    // Ends one still in its opening, to make room for a newer one.
    void makeRoom();
    // Ends it now, as when the collector's grace is over: a file not yet
    // whole is kept as a partial file; one being checked still is.
    void end();

signals:
    // Its proof holds, or without a roster its header is whole: it may be served.
    void openingWhole();
    void finished();

private:
    enum class Phase { Opening, Ready, Data, Checking, Stored };

    void readData();
    void peerClosed();
    void take(QByteArrayView bytes);
    void follow(const OpeningReader::Actions& actions);
    void opened(const QByteArray& afterHeader);
    bool startFile();
    void handOver();
    void checked(const CheckedArrival& checked);
    void recorded(const CheckedArrival& checked, const QString& syncError);
    void cannotStore(const QString& words, const QString& partial = QString());
    void openingTimedOut();
    TransferClock::Ms sinceAccept() const;
    void lookLater();
    void look();
    void cut();
    // partial: where what arrived is kept already, when it is.
    void refuse(RefusalCode code, const QString& words, const QString& partial = QString());
    void recordRefusal(RefusalCode code, const QString& words, const QString& kept, qint64 heldBack);
    void endEarly(const QString& what);
    void finish(const QByteArray& lastLine = QByteArray());
    void event(const QString& text, QJsonObject fields);
    QJsonObject fileFields() const;
    QString partialPath() const;
    QString underDir(const QString& path) const;
    bool startJournal();
    void release();

    CollectContext& m_context;
    QTcpSocket* m_socket;
    QString m_address;
    quint16 m_peerPort = 0;
    Phase m_phase = Phase::Opening;
    bool m_hasSlot = false;
    QTimer m_look;
    QTimer m_openingDeadline;
    QElapsedTimer m_accepted;
    OpeningReader m_reader;
    TransferClock m_clock;
    QByteArray m_afterHeader; // read with the header, before its turn came
    QByteArray m_player; // named and counted, or the address without a roster
    bool m_counted = false;
    bool m_proven = false;      // its player proved, or the address without a roster
    std::unique_ptr<IncomingFile> m_file;
    QString m_fileName; // as announced
    qint64 m_announced = 0;
    QString m_target;   // DIR/<player>/<stamped name>
    QString m_journal;  // who sends it, until it has its record or ends
    bool m_stopping = false;
    bool m_cut = false;
    bool m_peerGone = false;
    bool m_finished = false;
};
