#pragma once

#include "Privileges.h"

#include <QDir>
#include <QFile>

#include <sys/mount.h>
#include <sys/stat.h>

// A folder nothing can be written to, and then can again: a read-only file
// system of its own mounted on it where the test runs as root (who ignores
// permissions), its permissions taken away otherwise.
class UnwritableFolder
{
public:
    explicit UnwritableFolder(const QString& path)
        : m_path(path)
        , m_encoded(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        m_mounted = runsAsRoot() && ::mount("tmpfs", m_encoded.constData(), "tmpfs", MS_RDONLY, "size=1m") == 0;
        if (!runsAsRoot())
            ::chmod(m_encoded.constData(), 0555);
        m_locked = m_mounted || !runsAsRoot();
    }
    ~UnwritableFolder()
    {
        if (m_mounted)
            ::umount2(m_encoded.constData(), MNT_DETACH);
        else
            ::chmod(m_encoded.constData(), 0755);
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    bool isLocked() const { return m_locked; }
    // Writable again, where it stands.
    bool unlock()
    {
        if (m_mounted)
            return ::mount(nullptr, m_encoded.constData(), nullptr, MS_REMOUNT, "size=1m") == 0;
        return ::chmod(m_encoded.constData(), 0755) == 0;
    }

private:
    QString m_path;
    QByteArray m_encoded;
    bool m_mounted = false;
    bool m_locked = false;
};
