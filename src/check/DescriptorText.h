#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// One line of a descriptor, read as an editor shows it.
struct TextLine {
    enum class Kind { Blank, Comment, Section, Key, Plain };

    qint64 number = 0; // from 1
    Kind kind = Kind::Blank;
    QByteArrayView raw;     // without its line end
    QByteArrayView section; // the section it lies in; for a Section line its own name
    QByteArrayView key;     // trimmed, for a Key line
    QByteArrayView value;   // trimmed: a Key line's value, a Plain or Comment line's text
    bool binary = false;    // holds NUL or another control character that no editor writes
    bool inSection = false; // a section started before it
};

// A descriptor as sections (`[Engine]`) of `Key=Value` lines with `;`
// comments and blank lines. Any line end ends a line here (CR LF, CR or a
// lone LF), so that line ends are told apart from what the lines hold; the
// window's own reading is LineReader's. Names and values are compared
// byte for byte once the white space around each is trimmed. The views
// point into the bytes held, so a text is not copied.
class DescriptorText
{
public:
    explicit DescriptorText(QByteArray bytes);
    DescriptorText(const DescriptorText&) = delete;
    DescriptorText& operator=(const DescriptorText&) = delete;

    const QByteArray& bytes() const { return m_bytes; }
    const std::vector<TextLine>& lines() const { return m_lines; }

    bool hasByteOrderMark() const { return m_byteOrderMark; }
    qint64 crLfEnds() const { return m_crLf; }
    qint64 crEnds() const { return m_cr; }
    qint64 lfEnds() const { return m_lf; }
    bool endsWithLineEnd() const { return m_endsWithLineEnd; }
    // Whether any line starts a section.
    bool isSectioned() const { return m_sectioned; }
    bool hasBinary() const { return m_binary; }
    // No line holds more than white space.
    bool isBlank() const;

private:
    QByteArray m_bytes;
    std::vector<TextLine> m_lines;
    bool m_byteOrderMark = false;
    qint64 m_crLf = 0;
    qint64 m_cr = 0;
    qint64 m_lf = 0;
    bool m_endsWithLineEnd = false;
    bool m_sectioned = false;
    bool m_binary = false;
};

// White space around a name or value: spaces and tabs.
QByteArrayView trimmedField(QByteArrayView text);
// What one line is: for a section its name, for a key its key and value,
// for a comment or another line its text, all trimmed.
TextLine::Kind classifyLine(QByteArrayView raw, QByteArrayView* name, QByteArrayView* value);
