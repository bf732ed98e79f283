#include "DescriptorText.h"

#include <algorithm>

namespace {

bool isBlankByte(char c)
{
    return c == ' ' || c == '\t';
}

// A control character that text editors do not write: not tab, LF or CR.
bool isBinaryByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F;
}

} // namespace

QByteArrayView trimmedField(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankByte(text[begin]))
        ++begin;
    while (end > begin && isBlankByte(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

TextLine::Kind classifyLine(QByteArrayView raw, QByteArrayView* name, QByteArrayView* value)
{
    const QByteArrayView text = trimmedField(raw);
    if (text.isEmpty())
        return TextLine::Kind::Blank;
    if (text.startsWith(';')) {
        *value = text;
        return TextLine::Kind::Comment;
    }
    if (text.size() >= 2 && text.startsWith('[') && text.endsWith(']')) {
        *name = trimmedField(text.sliced(1, text.size() - 2));
        return TextLine::Kind::Section;
    }
    if (const qsizetype equals = text.indexOf('='); equals > 0 && !trimmedField(text.first(equals)).isEmpty()) {
        *name = trimmedField(text.first(equals));
        *value = trimmedField(text.sliced(equals + 1));
        return TextLine::Kind::Key;
    }
    *value = text;
    return TextLine::Kind::Plain;
}

DescriptorText::DescriptorText(QByteArray bytes, LineReading reading)
    : m_bytes(std::move(bytes))
    , m_reading(reading)
{
    QByteArrayView rest(m_bytes);
    if (rest.startsWith("\xEF\xBB\xBF")) {
        m_byteOrderMark = true;
        rest = rest.sliced(3);
    }
    if (rest.endsWith('\x1A')) {
        m_dosEndMark = true;
        rest.chop(1);
    }
    m_endsWithLineEnd = rest.endsWith('\r') || rest.endsWith('\n');
    m_binary = std::any_of(rest.begin(), rest.end(), isBinaryByte);
    for (qsizetype at = 0; at < rest.size(); ++at) {
        if (rest[at] == '\r')
            ++(at + 1 < rest.size() && rest[at + 1] == '\n' ? m_crLf : m_cr);
        else if (rest[at] == '\n' && (at == 0 || rest[at - 1] != '\r'))
            ++m_lf;
    }
    // The window reads a byte order mark as bytes of its first line and a
    // Ctrl-Z as a byte of its last, unless a line end (CR LF or CR, to it)
    // comes before the mark: a section header or key with the mark before it
    // is none, and the last line holds a control byte.
    const qsizetype firstEnd = rest.indexOf('\r');
    QByteArrayView firstName;
    QByteArrayView firstValue;
    const TextLine::Kind firstKind = classifyLine(firstEnd < 0 ? rest : rest.first(firstEnd), &firstName, &firstValue);
    const bool markHidesFirst =
        m_byteOrderMark && (firstKind == TextLine::Kind::Section || firstKind == TextLine::Kind::Key);
    const bool markGlued = m_dosEndMark && !rest.isEmpty() && !rest.endsWith('\r') && !rest.endsWith("\r\n");
    const bool lfOnly = m_lf > 0 && m_crLf == 0 && m_cr == 0;
    m_readsTwoWays = !lfOnly && (m_lf > 0 || markHidesFirst || markGlued);

    const bool loose = reading == LineReading::Loose;
    QByteArrayView section;
    bool inSection = false;
    qint64 number = 0;
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != '\r' && (!loose || rest[end] != '\n'))
            ++end;
        TextLine line;
        line.number = ++number;
        line.raw = rest.sliced(0, end);
        if (end == rest.size()) {
            rest = QByteArrayView();
        } else if (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') {
            line.end = LineEnd::CrLf;
            rest = rest.sliced(end + 2);
        } else {
            line.end = rest[end] == '\r' ? LineEnd::Cr : LineEnd::Lf;
            rest = rest.sliced(end + 1);
        }

        // What the line reads as: in the window's reading with the marks it
        // holds there.
        QByteArrayView read = line.raw;
        if (!loose && number == 1 && markHidesFirst)
            read = QByteArrayView(read.data() - 3, read.size() + 3);
        if (!loose && rest.isEmpty() && line.end == LineEnd::None && markGlued)
            read = QByteArrayView(read.data(), read.size() + 1);
        const auto binaryAt = std::find_if(read.begin(), read.end(), isBinaryByte);
        line.binary = binaryAt != read.end();
        m_binary = m_binary || line.binary;
        QByteArrayView name;
        line.kind = classifyLine(read, &name, &line.value);
        if (line.binary) {
            QByteArrayView cleanName;
            QByteArrayView cleanValue;
            const QByteArrayView clean = read.first(binaryAt - read.begin());
            const TextLine::Kind cleanKind = classifyLine(clean, &cleanName, &cleanValue);
            const QByteArrayView cleanText = trimmedField(clean);
            if (cleanKind == TextLine::Kind::Key || cleanKind == TextLine::Kind::Section) {
                line.kind = cleanKind;
                name = cleanName;
                line.value = cleanValue;
            } else if (cleanText.startsWith('[') && cleanText.indexOf(']') > 1) {
                // A reader that takes a section's name up to its first ']'
                // (the Windows INI reader) starts a section here.
                line.kind = TextLine::Kind::Section;
                name = trimmedField(cleanText.sliced(1, cleanText.indexOf(']') - 1));
                line.value = QByteArrayView();
            }
        }
        if (line.kind == TextLine::Kind::Section) {
            section = name;
            inSection = true;
            m_sectioned = true;
        } else if (line.kind == TextLine::Kind::Key) {
            line.key = name;
        }
        line.section = section;
        line.inSection = inSection;
        m_lines.push_back(line);
    }
}

bool DescriptorText::isBlank() const
{
    return std::all_of(m_lines.begin(), m_lines.end(),
                       [](const TextLine& line) { return line.kind == TextLine::Kind::Blank; });
}
