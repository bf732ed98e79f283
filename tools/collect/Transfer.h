#pragma once

#include "HeaderCollector.h"
#include "IncomingFile.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

class QTcpSocket;
struct CollectContext;

// One connection of a collection, carrying one file by the FILEINFO
// protocol as the receiver window reads it: the header may share a read with
// the file or span several, the same name rules apply, and the file goes to
// DIR/<sender address>/<yyyymmdd-hhmmss-mmm>-<name>, never in the place of
// another, written beside that name and renamed once whole. A file whose
// name says a car is then checked, and its verdict appended to
// DIR/verdicts.jsonl. A transfer that ends early keeps what arrived as a
// partial file; a peer silent for the idle time is closed; bytes beyond the
// announced size are cut off.
class Transfer : public QObject
{
    Q_OBJECT

public:
    // Takes the socket over.
    Transfer(QTcpSocket* socket, CollectContext& context, QObject* parent = nullptr);
    ~Transfer() override;

    // The collector is stopping: a file still arriving may finish, and the
    // transfer ends as soon as it is kept; any other ends now.
    void stop();
    // Ends it now, as when the collector's grace is over: a file not yet
    // whole is kept as a partial file.
    void end(const QString& why);

signals:
    void finished();

private:
    enum class Phase { Header, Data, Stored };

    void readData();
    void peerClosed();
    void idleTimedOut();
    void take(QByteArrayView bytes);
    bool startFile();
    void placeFile();
    void checkFile();
    void endEarly(const QString& what);
    void refuse(const QString& reason);
    void finish();
    void event(const QString& text, QJsonObject fields);
    bool chooseName(const QString& received);
    void releaseName();

    CollectContext& m_context;
    QTcpSocket* m_socket;
    QString m_peer;
    quint16 m_peerPort = 0;
    QString m_folder; // DIR/<sender address>
    QTimer m_idle;
    Phase m_phase = Phase::Header;
    HeaderCollector m_header;
    IncomingFile m_file;
    QString m_name;   // <yyyymmdd-hhmmss-mmm>-<name>, numbered when taken
    QString m_stored;
    bool m_stopping = false;
    bool m_finished = false;
};
