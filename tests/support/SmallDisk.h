#pragma once

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

// A tiny file system of its own (tmpfs) in a temporary folder, to show what
// a full disk does. Mounting needs root; without it the test says so and
// skips (use: if (!disk.isMounted()) QSKIP(SmallDisk::NeedsRoot)).
class SmallDisk
{
public:
    static constexpr const char* NeedsRoot = "mounting a small file system to fill needs root";

    explicit SmallDisk(int kibibytes = 64)
    {
        const QByteArray options = "size=" + QByteArray::number(kibibytes) + 'k';
        m_mounted = m_dir.isValid() && ::geteuid() == 0
            && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.path() + u'/' + name; }

    // Takes every free byte, so the next write fails with ENOSPC.
    bool fill() const
    {
        const int fd = ::open(QFile::encodeName(file(QStringLiteral("filler"))).constData(), O_WRONLY | O_CREAT, 0600);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        // The last partial page, byte by byte.
        while (::write(fd, "f", 1) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(fd);
        return full;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};
