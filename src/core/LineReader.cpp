#include "LineReader.h"

#include <QIODevice>

#include <cstring>

namespace {
constexpr qsizetype ChunkSize = 1 << 16;
}

LineReader::LineReader(QIODevice& device)
    : m_device(device)
{
}

// Moves the unread tail to the front and reads more behind it; the buffer
// grows only when one line is longer than everything held so far.
bool LineReader::fill()
{
    if (m_atEnd)
        return false;
    const qsizetype pending = m_end - m_start;
    if (m_start > 0 && pending > 0)
        std::memmove(m_buffer.data(), m_buffer.constData() + m_start, size_t(pending));
    m_start = 0;
    m_end = pending;
    if (m_buffer.size() - m_end < ChunkSize)
        m_buffer.resize(m_end + ChunkSize);
    const qint64 got = m_device.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
    if (got < 0) {
        m_failed = true;
        m_atEnd = true;
        return false;
    }
    if (got == 0) {
        m_atEnd = true;
        return false;
    }
    m_end += got;
    return true;
}

bool LineReader::next(QByteArrayView* line)
{
    qsizetype scanned = 0;
    for (;;) {
        if (m_skipLineFeed && m_start < m_end) {
            if (m_buffer[m_start] == '\n')
                ++m_start;
            m_skipLineFeed = false;
        }
        const char* begin = m_buffer.constData() + m_start;
        const qsizetype available = m_end - m_start;
        if (!m_skipLineFeed && scanned < available) {
            const void* cr = std::memchr(begin + scanned, '\r', size_t(available - scanned));
            if (cr) {
                const qsizetype length = static_cast<const char*>(cr) - begin;
                *line = QByteArrayView(begin, length);
                m_start += length + 1;
                m_skipLineFeed = true;
                return true;
            }
            scanned = available;
        }
        // scanned counts from m_start, which fill() keeps pointing at the same byte.
        if (!fill()) {
            if (m_end > m_start) {
                *line = QByteArrayView(m_buffer.constData() + m_start, m_end - m_start);
                m_start = m_end;
                return true;
            }
            return false;
        }
    }
}
