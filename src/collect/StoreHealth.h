#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

// Whether DIR can take a file: on a file system that is not read-only,
// writable, with room for the largest file taken and its record. Asked when
// /healthz is; once a file could not be stored, DIR is tried with a test
// write at once and every few seconds until one succeeds, and until then it
// is said not to take files.
class StoreHealth : public QObject
{
    Q_OBJECT

public:
    // What a file's record may take beside the file: the records are bounded
    // to a few kilobytes.
    static constexpr qint64 RecordRoom = 64 * 1024;
    static constexpr std::chrono::milliseconds RetryEvery{2'000};

    StoreHealth(const QString& dir, qint64 largest, QObject* parent = nullptr);

    // What keeps DIR from taking a file, in words; empty while it can.
    QString problem() const;
    // A file could not be stored: DIR is tried now, and again while it fails.
    void failed();

    // The bytes free in folder are fewer than a file of size and its record
    // need: says so, without naming folder.
    static QString shortOfSpace(const QString& folder, qint64 size);

signals:
    // DIR stopped taking files (problem says why) or takes them again (empty).
    void changed(const QString& problem);

private:
    void probe();
    QString condition() const;
    QString testWrite() const;

    QString m_dir;
    qint64 m_largest;
    QString m_failing;
    QTimer m_retry;
};
