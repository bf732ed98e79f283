#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// A new file written beside the file it is to become, and given that name only
// once it is complete: a crash, a full disk or a cut connection never leaves
// a half file under a good name. Dropped before it is moved, it is removed.
//
// It is made, named and removed relative to its folder as opened when it was
// created, so a folder of its path swapped for a link meanwhile leads it
// nowhere else. Failures leave errno as the system set it.
class TemporaryFile
{
public:
    enum class Existing { Replace, Keep };

    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates an empty file of a hidden name of its own in folder. shownName
    // is the name it is meant to take, the one failures name.
    bool create(const QString& folder, const QString& shownName, QString* error);
    // The same in an open folder (which it keeps open a while of its own),
    // for a file meant to be named forName, created with mode (less the umask).
    bool createIn(int folder, const QByteArray& forName, mode_t mode, QString* error);
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    QString path() const { return m_path; }
    qint64 size() const { return m_size; }

    // Every byte or a failure with the system's reason.
    bool write(QByteArrayView bytes, QString* error);
    // Data and metadata on the disk (owner, mode and times set through fd()).
    bool sync(QString* error);
    // Closes the file, keeping it under its temporary name (for a writer that
    // works on the path, such as a database engine).
    bool close(QString* error);
    // Closes the file, makes it durable and gives it the name target. With
    // Keep, an existing file of that name stays and the move fails.
    bool moveTo(const QString& target, Existing existing, QString* error);
    // Gives the file the name name in its own folder, as it stands (sync
    // first where it matters); with Keep, EEXIST when the name is taken.
    bool rename(const QByteArray& name, Existing existing, QString* error);

    // Removes the file now.
    void discard();

private:
    bool fail(const QString& shown, QString* error) const;
    bool renamed(int toFolder, const QByteArray& to, Existing existing);

    int m_folder = -1;
    int m_fd = -1;
    QByteArray m_name; // in m_folder; empty once named or removed
    QString m_path;
    QString m_shown;
    qint64 m_size = 0;
};
