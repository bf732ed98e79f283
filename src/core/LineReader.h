#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// Reads 8-bit text lines as the game writes them (the window's reading of line
// ends, docs/check.md "Line ends"): a line ends at CR or at a
// CR LF pair; a lone LF is an ordinary character. A final terminator starts
// no further line, and an empty input has no lines.
class LineReader
{
public:
    explicit LineReader(QIODevice& device);

    // The next line without its terminator; false at the end of the input
    // or on a read error (see failed()). The view stays valid until the next call.
    bool next(QByteArrayView* line);
    bool failed() const { return m_failed; }

private:
    bool fill();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    bool m_skipLineFeed = false;
    bool m_atEnd = false;
    bool m_failed = false;
};
