#pragma once

#include "FileInfoHeader.h"
#include "TemporaryFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What a whole FILEINFO header announces, once it passes every rule: a size
// above 0, no larger than largest (when given) and no larger than the free
// space of folder, and a name the received-name rules allow, with room for
// prefixBytes before it. Otherwise nothing, and refusal says why.
struct Announcement {
    qint64 size = 0;
    QString name; // the header's 8-bit name, read as Windows-1252
};
// Which rule a refused announcement broke.
enum class AnnouncementFault { Header, Name, Size, Space };
std::optional<Announcement> acceptAnnouncement(const QByteArray& header, const QStringList& ownFiles,
                                               const QString& folder, std::optional<qint64> largest,
                                               qsizetype prefixBytes, QString* refusal,
                                               AnnouncementFault* fault = nullptr);

// The file a transfer announced, arriving: its bytes go to a temporary file
// beside the name it is to take, never more than announced, and it takes
// that name only once whole. What arrived of a transfer that ended early
// can be kept under a partial name instead.
class IncomingFile
{
public:
    // Starts the file in folder; failures name it.
    bool start(const QString& folder, const Announcement& announcement, QString* error);
    bool isActive() const { return !m_file.path().isEmpty(); }
    bool isComplete() const { return received() == m_announced; }
    qint64 received() const { return m_file.size(); }
    qint64 announced() const { return m_announced; }
    const QString& name() const { return m_name; }
    // Where its bytes are written until it takes a name.
    QString temporaryPath() const { return m_file.path(); }

    // Writes the file's share of bytes and says how many that was; what lies
    // beyond the announced size is not written. -1 on failure.
    qint64 write(QByteArrayView bytes, QString* error);
    // Gives the whole file its name.
    bool place(const QString& target, TemporaryFile::Existing existing, QString* error);
    // Ends a file that is not whole: what arrived takes the partial name
    // (replacing an older partial file, or only where none is); none arrived,
    // nothing is kept. Says which of the two, naming the partial file as shown.
    QString keepPartial(const QString& partialPath, const QString& shownPartial,
                        TemporaryFile::Existing existing = TemporaryFile::Existing::Replace);
    // Ends it without a trace.
    void discard();

private:
    TemporaryFile m_file;
    QString m_name;
    qint64 m_announced = 0;
};
