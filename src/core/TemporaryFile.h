#pragma once

#include <QByteArrayView>
#include <QString>

// A new file written beside the file it is to become, and given that name only
// once it is complete: a crash, a full disk or a cut connection never leaves
// a half file under a good name. Dropped before it is moved, it is removed.
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
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    qint64 size() const { return m_size; }

    // Every byte or a failure with the system's reason.
    bool write(QByteArrayView bytes, QString* error);
    // Closes the file, keeping it under its temporary name (for a writer that
    // works on the path, such as a database engine).
    bool close(QString* error);
    // Closes the file, makes it durable and gives it the name target. With
    // Keep, an existing file of that name stays and the move fails.
    bool moveTo(const QString& target, Existing existing, QString* error);

    // Removes the file now.
    void discard();

private:
    int m_fd = -1;
    QString m_path;
    QString m_shown;
    qint64 m_size = 0;
};
