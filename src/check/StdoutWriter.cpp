#include "StdoutWriter.h"

#include "FileSystem.h"

#include <cerrno>
#include <cstdio>

void StdoutWriter::write(const QByteArray& bytes)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) && !m_failure)
        m_failure = errno;
}

bool StdoutWriter::close(QString* error)
{
    if (std::fflush(stdout) != 0 && !m_failure)
        m_failure = errno;
    if (!m_failure && std::ferror(stdout))
        m_failure = EIO;
    if (m_failure)
        *error = QStringLiteral("the output could not be written: %1").arg(FileSystem::systemReason(m_failure));
    return m_failure == 0;
}
