#include "ShownText.h"

#include <QList>

namespace ShownText {

namespace {

// The length of the valid UTF-8 sequence at the start of bytes; 0 when the
// first byte does not start one.
qsizetype validSequence(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    if (at(1) < low || at(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xBF)
            return 0;
    }
    return length;
}

QString hexByte(unsigned value)
{
    return QStringLiteral("\\x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

// One character of text, escaped where it must be.
void appendEscaped(QString& out, char32_t c)
{
    switch (c) {
    case U'\\':
        out += QStringLiteral("\\\\");
        return;
    case U'\n':
        out += QStringLiteral("\\n");
        return;
    case U'\t':
        out += QStringLiteral("\\t");
        return;
    default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        out += hexByte(unsigned(c));
        return;
    }
    const QChar::Category category = QChar::category(c);
    // Format characters (bidirectional overrides, zero-width joiners, …),
    // line and paragraph separators: invisible, or they move text about.
    if (category == QChar::Other_Format || category == QChar::Separator_Line || category == QChar::Separator_Paragraph
        || category == QChar::Other_Surrogate || category == QChar::Other_NotAssigned
        || category == QChar::Other_PrivateUse) {
        out += QStringLiteral("\\u") + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
        return;
    }
    if (QChar::requiresSurrogates(c)) {
        out += QChar(QChar::highSurrogate(c));
        out += QChar(QChar::lowSurrogate(c));
    } else {
        out += QChar(c);
    }
}

// The code point of a sequence validSequence took.
char32_t decoded(QByteArrayView sequence)
{
    const auto at = [&](qsizetype i) { return char32_t(static_cast<unsigned char>(sequence[i])); };
    static constexpr char32_t LeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = at(0) & LeadBits[sequence.size()];
    for (qsizetype i = 1; i < sequence.size(); ++i)
        c = (c << 6) | (at(i) & 0x3F);
    return c;
}

} // namespace

QString name(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        // Most names are plain ASCII, which stands as it is.
        qsizetype plain = at;
        while (plain < bytes.size() && bytes[plain] >= 0x20 && bytes[plain] < 0x7F && bytes[plain] != '\\')
            ++plain;
        if (plain > at) {
            out += QLatin1StringView(bytes.sliced(at, plain - at));
            at = plain;
            continue;
        }
        const char byte = bytes[at];
        const qsizetype length = validSequence(bytes.sliced(at));
        if (length == 0) {
            out += hexByte(static_cast<unsigned char>(byte));
            ++at;
            continue;
        }
        appendEscaped(out, decoded(bytes.sliced(at, length)));
        at += length;
    }
    return out;
}

QString message(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c == U'\\')
            out += u'\\';
        else
            appendEscaped(out, c);
    }
    return out;
}

QString jsonName(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

bool isUtf8(QByteArrayView bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = validSequence(bytes.sliced(at));
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

} // namespace ShownText
