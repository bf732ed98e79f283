#include "PlayerNotes.h"

#include "PreambleFormat.h"
#include "ShownText.h"

namespace PlayerNotes {

QByteArray noteLine(const QString& text)
{
    static const QByteArray Cut = "...";
    QList<QByteArray> shown;
    qsizetype size = wire::preamble::NoteMarker.size() + 1; // and the closing "|"
    for (const char32_t c : text.toUcs4()) {
        shown << (c == U'|' ? QByteArray("\\x7C") : ShownText::name(QString::fromUcs4(&c, 1).toUtf8()).toUtf8());
        size += shown.last().size();
    }
    QByteArray line = QByteArray::fromStdString(std::string(wire::preamble::NoteMarker));
    // A cut falls between escapes, never inside one.
    const qsizetype room = size <= LongestLine ? LongestLine : LongestLine - Cut.size();
    for (const QByteArray& piece : shown) {
        if (line.size() + piece.size() + 1 > room)
            return line + Cut + "|\n";
        line += piece;
    }
    return line + "|\n";
}

QByteArray lines(const QStringList& differences, const QString& playerPage)
{
    QByteArray out;
    for (const QString& difference : differences.mid(0, MostDifferences))
        out += noteLine(difference);
    if (!playerPage.isEmpty())
        out += noteLine(playerPage);
    return out;
}

} // namespace PlayerNotes
