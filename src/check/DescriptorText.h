#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// The two readings a game could make of a descriptor's line ends (the
// model is described in docs/check.md, "Line ends"). The window's: CR LF and
// a lone CR end a line, a lone LF is a byte of the line (LineReader reads so
// for the window's scan). The loose one: CR LF, CR and LF each end a line.
// The two differ only where a lone LF is.
enum class LineReading { Window, Loose };

// What ended a line.
enum class LineEnd { CrLf, Lf, Cr, None };

// One line of a descriptor, in one reading.
struct TextLine {
    enum class Kind { Blank, Comment, Section, Key, Plain };

    qint64 number = 0; // from 1
    Kind kind = Kind::Blank;
    LineEnd end = LineEnd::None;
    QByteArrayView raw;     // without its line end
    QByteArrayView section; // the section it lies in; for a Section line its own name
    QByteArrayView key;     // trimmed, for a Key line
    QByteArrayView value;   // trimmed: a Key line's value, a Plain or Comment line's text
    // Holds NUL or another control character that no editor writes. Such a
    // line is read as a Key or Section line when what comes before its first
    // control byte is one, or starts a section up to its first ']' as the
    // Windows INI reader reads one; otherwise as the whole line reads (a key
    // whose name holds a control byte is still a key, the worse reading).
    bool binary = false;
    bool inSection = false; // a section started before it
};

// A descriptor as sections (`[Engine]`) of `Key=Value` lines with `;`
// comments and blank lines, in one reading of its line ends. A Ctrl-Z
// (0x1A) as the very last byte is a DOS end-of-file mark, and a UTF-8 byte
// order mark at the start is a mark too: in the loose reading neither is
// part of a line; the window's reading classifies the first line with the
// byte order mark where it stands before a section header or key, and the
// last line with a Ctrl-Z glued to it (a raw line never holds either mark).
// Names and values are compared byte for byte once the white space around
// each is trimmed. The views point into the bytes held, so a text is
// not copied.
class DescriptorText
{
public:
    explicit DescriptorText(QByteArray bytes, LineReading reading = LineReading::Loose);
    DescriptorText(const DescriptorText&) = delete;
    DescriptorText& operator=(const DescriptorText&) = delete;

    const QByteArray& bytes() const { return m_bytes; }
    LineReading reading() const { return m_reading; }
    const std::vector<TextLine>& lines() const { return m_lines; }

    bool hasByteOrderMark() const { return m_byteOrderMark; }
    bool hasDosEndMark() const { return m_dosEndMark; }
    // Line ends in the bytes, whatever the reading: a lone LF is counted
    // even where the window's reading keeps it inside a line.
    qint64 crLfEnds() const { return m_crLf; }
    qint64 crEnds() const { return m_cr; }
    qint64 lfEnds() const { return m_lf; }
    // The two readings give other lines: lone LFs beside other line ends, a
    // byte order mark before a section header or key, or a DOS end-of-file
    // mark glued to the last line (the window reads both marks as bytes of
    // the line). An LF-only file is read the loose way alone.
    bool readsTwoWays() const { return m_readsTwoWays; }
    bool endsWithLineEnd() const { return m_endsWithLineEnd; }
    // Whether any line starts a section.
    bool isSectioned() const { return m_sectioned; }
    bool hasBinary() const { return m_binary; }
    // No line holds more than white space.
    bool isBlank() const;

private:
    QByteArray m_bytes;
    LineReading m_reading = LineReading::Loose;
    std::vector<TextLine> m_lines;
    bool m_byteOrderMark = false;
    bool m_dosEndMark = false;
    qint64 m_crLf = 0;
    qint64 m_cr = 0;
    qint64 m_lf = 0;
    bool m_endsWithLineEnd = false;
    bool m_sectioned = false;
    bool m_binary = false;
    bool m_readsTwoWays = false;
};

// White space around a name or value: spaces and tabs.
QByteArrayView trimmedField(QByteArrayView text);
// What one line is: for a section its name, for a key its key and value,
// for a comment or another line its text, all trimmed.
TextLine::Kind classifyLine(QByteArrayView raw, QByteArrayView* name, QByteArrayView* value);
