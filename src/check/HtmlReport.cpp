#include "HtmlReport.h"

#include "Cp1252.h"
#include "DescriptorText.h"
#include "FileSystem.h"
#include "ShownText.h"
#include "TextReport.h"

#include <QStringList>

#include <dtl/dtl.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

using Kind = TextLine::Kind;

// Of a line, the bytes shown: a descriptor line is a few dozen bytes, and
// one of thousands is damage, told well enough by its start.
constexpr qsizetype LongestShown = 1000;
// Unchanged lines shown around each change; the rest are folded.
constexpr std::size_t Context = 3;
constexpr std::size_t Examples = 3;
// Rows that differ shown of one file: a tweak is a few lines, and a page
// stays small whatever one player sends.
constexpr std::size_t MostShown = 300;

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray shownName(QByteArrayView bytes)
{
    return escaped(ShownText::name(bytes));
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// A mark standing for what cannot be seen: white space, a line end.
QByteArray seen(const QByteArray& text)
{
    return "<span class=\"w\">" + text + "</span>";
}

// A mark in words, which must not read as the line's own text.
QByteArray said(const QByteArray& words)
{
    return "<span class=\"b\">" + words + "</span>";
}

// Each byte of a descriptor as it shows: its Windows-1252 character, but its
// value for a byte that shows nothing by itself or that XML does not take
// (no C0 control, not even as a reference), as names show them.
const std::array<QByteArray, 256>& glyphs()
{
    static const std::array<QByteArray, 256> table = [] {
        std::array<QByteArray, 256> made;
        for (int byte = 0; byte < 256; ++byte) {
            QByteArray& glyph = made[std::size_t(byte)];
            const char c = char(byte);
            const QString text = fromCp1252(QByteArrayView(&c, 1));
            if (byte == '\t')
                glyph = seen("→");
            else if (byte == '&')
                glyph = "&amp;";
            else if (byte == '<')
                glyph = "&lt;";
            else if (byte == '>')
                glyph = "&gt;";
            else if (text.at(0).category() == QChar::Other_Control || byte == 0xA0 || byte == 0xAD)
                glyph = "<span class=\"x\">\\x" + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0') + "</span>";
            else
                glyph = text.toUtf8();
        }
        return made;
    }();
    return table;
}

// A line with its line end, as the side by side shows it.
struct Line {
    const TextLine* text = nullptr;
    LineEnd end = LineEnd::None;
    bool byteOrderMark = false;
    // The line's own bytes with its line end, and the byte order mark before
    // the first: what the line diff compares.
    std::string_view whole;
};

std::vector<Line> linesOf(const DescriptorText& text)
{
    static constexpr qsizetype EndSize[] = {2, 1, 1, 0}; // by LineEnd
    const QByteArray& bytes = text.bytes();
    std::vector<Line> lines;
    lines.reserve(text.lines().size());
    qsizetype begin = 0;
    for (const TextLine& line : text.lines()) {
        const qsizetype at = line.raw.data() - bytes.constData() + line.raw.size() + EndSize[int(line.end)];
        lines.push_back({&line, line.end, begin == 0 && text.hasByteOrderMark(),
                         std::string_view(bytes.constData() + begin, std::size_t(at - begin))});
        begin = at;
    }
    return lines;
}

// Where two lines differ, byte by byte: which bytes of each are not in the
// longest run they have in common.
struct Marks {
    std::vector<bool> genuine;
    std::vector<bool> descriptor;
};

Marks marksOf(QByteArrayView genuine, QByteArrayView descriptor)
{
    const std::string a(genuine.data(), std::size_t(std::min(genuine.size(), LongestShown)));
    const std::string b(descriptor.data(), std::size_t(std::min(descriptor.size(), LongestShown)));
    Marks marks{std::vector<bool>(a.size(), false), std::vector<bool>(b.size(), false)};
    dtl::Diff<char, std::string> diff(a, b);
    diff.compose();
    std::size_t i = 0;
    std::size_t j = 0;
    for (const auto& [c, info] : diff.getSes().getSequence()) {
        switch (info.type) {
        case dtl::SES_COMMON:
            ++i;
            ++j;
            break;
        case dtl::SES_DELETE:
            marks.genuine[i++] = true;
            break;
        case dtl::SES_ADD:
            marks.descriptor[j++] = true;
            break;
        }
    }
    return marks;
}

// Alike enough to show as one line changed rather than one lost and one
// added: most of their bytes in common, or one the start of the other, as a
// line cut off is.
bool alike(QByteArrayView a, QByteArrayView b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a.startsWith(b) || b.startsWith(a))
        return true;
    if (a.size() > 200 || b.size() > 200)
        return false;
    dtl::Diff<char, std::string> diff(std::string(a.data(), std::size_t(a.size())),
                                      std::string(b.data(), std::size_t(b.size())));
    diff.onOnlyEditDistance();
    diff.compose();
    const double both = double(a.size() + b.size());
    return (both - double(diff.getEditDistance())) / both >= 0.6;
}

// A line as it shows in a cell: white space at either end of it and within
// what is marked as "·" and "→", the line end as "␊", "␍" or "no line end"
// (CR LF, the genuine files' own, shows nothing). Marked bytes go inside
// tag, and so do the byte order mark and the line end when they differ.
QByteArray shownLine(const Line& line, const std::vector<bool>& marked, bool markEdges, const char* tag)
{
    QByteArray out;
    bool inside = false;
    const auto mark = [&](bool on) {
        if (on == inside)
            return;
        out += on ? "<" + QByteArray(tag) + '>' : "</" + QByteArray(tag) + '>';
        inside = on;
    };
    const QByteArrayView raw = line.text->raw;
    if (line.byteOrderMark) {
        mark(markEdges);
        out += said("BOM");
    }
    qsizetype lead = 0;
    while (lead < raw.size() && (raw[lead] == ' ' || raw[lead] == '\t'))
        ++lead;
    qsizetype trail = raw.size();
    while (trail > lead && (raw[trail - 1] == ' ' || raw[trail - 1] == '\t'))
        --trail;
    const qsizetype shown = std::min(raw.size(), LongestShown);
    for (qsizetype i = 0; i < shown; ++i) {
        const bool marking = std::size_t(i) < marked.size() && marked[std::size_t(i)];
        mark(marking);
        if (raw[i] == ' ' && (i < lead || i >= trail || marking))
            out += seen("·");
        else
            out += glyphs()[static_cast<unsigned char>(raw[i])];
    }
    mark(false);
    if (shown < raw.size())
        out += said("… " + number(raw.size() - shown) + " more bytes");
    if (line.end != LineEnd::CrLf) {
        mark(markEdges);
        out += line.end == LineEnd::None ? said("no line end")
                                     : "<span class=\"w e\">" + QByteArray(line.end == LineEnd::Lf ? "␊" : "␍") + "</span>";
    }
    mark(false);
    return out;
}

// A difference in words, as long as a line is shown.
QString cut(const QString& words)
{
    return words.size() <= LongestShown ? words : words.left(LongestShown) + QStringLiteral("…");
}

QByteArray lineRange(qint64 first, qint64 last)
{
    return first == last ? number(first) : number(first) + "–" + number(last);
}

// A descriptor beside its genuine one, after difflib's HtmlDiff: genuine on
// the left, the descriptor on the right, line numbers on both sides, the
// bytes that differ marked within each changed line, and a "-", "+" or "~"
// and the class of the difference in words on every row that differs, so
// that colour is never the only sign. Lines are split as the verdict read
// them (docs/check.md, "Line ends"), and line ends are compared too, so that
// a lone LF shows where it is.
class SideBySide
{
public:
    SideBySide(const QByteArray& genuine, const Verdict& verdict)
        : m_genuineText(genuine, verdict.reading)
        , m_descriptorText(verdict.bytes, verdict.reading)
        , m_genuine(linesOf(m_genuineText))
        , m_descriptor(linesOf(m_descriptorText))
    {
        for (const Difference& difference : verdict.differences) {
            if (difference.line)
                m_atLine.try_emplace(*difference.line, &difference);
            if (difference.genuineLine)
                m_atGenuineLine.try_emplace(*difference.genuineLine, &difference);
            m_otherCar = m_otherCar || difference.kind == Difference::Class::OtherCar;
            m_damaged = m_damaged || difference.kind == Difference::Class::Damaged;
        }
        layOut();
    }

    // Every change with the lines around it; the other unchanged lines folded.
    QByteArray table() const
    {
        std::vector<bool> near(m_rows.size(), false);
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].same)
                continue;
            const std::size_t from = i > Context ? i - Context : 0;
            const std::size_t to = std::min(m_rows.size(), i + Context + 1);
            std::fill(near.begin() + qsizetype(from), near.begin() + qsizetype(to), true);
        }
        QByteArray out = head();
        std::size_t shown = 0;
        std::size_t i = 0;
        while (i < m_rows.size() && shown < MostShown) {
            std::size_t end = i;
            while (end < m_rows.size() && !near[end])
                ++end;
            if (end - i >= 2) {
                out += folded(i, end);
                i = end;
            } else {
                shown += m_rows[i].same ? 0 : 1;
                out += row(m_rows[i++]);
            }
        }
        const auto left = std::count_if(m_rows.begin() + qsizetype(i), m_rows.end(), [](const Row& row) { return !row.same; });
        if (left > 0)
            out += "<tr class=\"f\"><td colspan=\"7\"><p class=\"cut\">" + number(left)
                + " more rows that differ are not shown.</p></td></tr>\n";
        return out + "</tbody></table>\n";
    }

    // The first few lines that differ, without context.
    QByteArray examples() const
    {
        QByteArray out;
        std::size_t shown = 0;
        for (std::size_t i = 0; i < m_rows.size() && shown < Examples; ++i) {
            if (!m_rows[i].same) {
                out += row(m_rows[i]);
                ++shown;
            }
        }
        return shown == 0 ? QByteArray() : head() + out + "</tbody></table>\n";
    }

private:
    struct Row {
        int genuine = -1; // an index into each side's lines; -1 for none
        int descriptor = -1;
        bool same = false;
    };

    static QByteArray head()
    {
        return "<table class=\"d\"><colgroup><col class=\"n\"/><col class=\"m\"/><col/><col class=\"k\"/>"
               "<col class=\"n\"/><col class=\"m\"/><col/></colgroup>\n"
               "<thead><tr><th colspan=\"3\">genuine</th><th>what</th><th colspan=\"3\">descriptor</th></tr></thead><tbody>\n";
    }

    void layOut()
    {
        std::vector<std::string_view> a;
        for (const Line& line : m_genuine)
            a.push_back(line.whole);
        std::vector<std::string_view> b;
        for (const Line& line : m_descriptor)
            b.push_back(line.whole);
        dtl::Diff<std::string_view> diff(a, b);
        diff.onHuge();
        diff.compose();
        // Line numbers are counted here, as in TweakPairing: the script's own
        // indexes are not kept the same way on every path through the library.
        int genuine = 0;
        int descriptor = 0;
        std::vector<int> lost;
        std::vector<int> added;
        for (const auto& [text, info] : diff.getSes().getSequence()) {
            switch (info.type) {
            case dtl::SES_COMMON:
                pairHunk(lost, added);
                m_rows.push_back({genuine++, descriptor++, true});
                break;
            case dtl::SES_DELETE:
                lost.push_back(genuine++);
                break;
            case dtl::SES_ADD:
                added.push_back(descriptor++);
                break;
            }
        }
        pairHunk(lost, added);
    }

    // Between two lines in common: which lost line each added line changed,
    // in order on both sides. A key's line pairs with the same key's line in
    // the same section; any other line only with the next lost line, and
    // only when alike.
    void pairHunk(std::vector<int>& lost, std::vector<int>& added)
    {
        std::vector<std::pair<std::size_t, std::size_t>> pairs;
        std::size_t nextLost = 0;
        for (std::size_t i = 0; i < added.size() && nextLost < lost.size(); ++i) {
            const TextLine& line = *m_descriptor[std::size_t(added[i])].text;
            for (std::size_t k = nextLost; k < lost.size(); ++k) {
                const TextLine& genuine = *m_genuine[std::size_t(lost[k])].text;
                bool matches = false;
                if (line.kind == Kind::Key && genuine.kind == Kind::Key)
                    matches = line.key == genuine.key && line.section == genuine.section
                        && line.inSection == genuine.inSection;
                else if (k == nextLost)
                    matches = (line.kind == Kind::Blank && genuine.kind == Kind::Blank) || alike(genuine.raw, line.raw);
                if (matches) {
                    pairs.emplace_back(k, i);
                    nextLost = k + 1;
                    break;
                }
                if (k == nextLost && line.kind != Kind::Key)
                    break;
            }
        }
        std::size_t k = 0;
        std::size_t i = 0;
        const auto upTo = [&](std::size_t lostEnd, std::size_t addedEnd) {
            for (; k < lostEnd; ++k)
                m_rows.push_back({lost[k], -1, false});
            for (; i < addedEnd; ++i)
                m_rows.push_back({-1, added[i], false});
        };
        for (const auto& [lostAt, addedAt] : pairs) {
            upTo(lostAt, addedAt);
            m_rows.push_back({lost[k++], added[i++], false});
        }
        upTo(lost.size(), added.size());
        lost.clear();
        added.clear();
    }

    // The class of the difference a row shows, in words: the verdict's own
    // where it names the line, and whether the league's rules allow it;
    // else damage for a line of control bytes, or another car's file, or
    // what else is left: formatting (white space, comments, blank lines,
    // order), or the lines damage took.
    QByteArray what(const Row& row) const
    {
        const auto named = [](const Difference& difference) {
            return escaped(Difference::className(difference.kind)) + (difference.allowed ? "<br/>allowed" : "")
                + (difference.byDamage ? "<br/>damage" : "");
        };
        const TextLine* genuine = row.genuine >= 0 ? m_genuine[std::size_t(row.genuine)].text : nullptr;
        const TextLine* descriptor = row.descriptor >= 0 ? m_descriptor[std::size_t(row.descriptor)].text : nullptr;
        if (descriptor) {
            if (const auto found = m_atLine.find(descriptor->number); found != m_atLine.end())
                return named(*found->second);
        }
        if (genuine) {
            if (const auto found = m_atGenuineLine.find(genuine->number); found != m_atGenuineLine.end())
                return named(*found->second);
        }
        if (descriptor && descriptor->binary)
            return escaped(Difference::className(Difference::Class::Damaged));
        if (m_otherCar)
            return escaped(Difference::className(Difference::Class::OtherCar));
        const auto meansNothing = [](const TextLine* line) {
            return !line || line->kind == Kind::Blank || line->kind == Kind::Comment;
        };
        const bool sameMeaning = genuine && descriptor && genuine->kind == descriptor->kind
            && genuine->key == descriptor->key && genuine->value == descriptor->value
            && genuine->section == descriptor->section;
        if (m_damaged && !sameMeaning && !(meansNothing(genuine) && meansNothing(descriptor)))
            return escaped(Difference::className(Difference::Class::Damaged));
        return escaped(Difference::className(Difference::Class::Formatting));
    }

    QByteArray row(const Row& row) const
    {
        static const std::vector<bool> none;
        const Line* genuine = row.genuine >= 0 ? &m_genuine[std::size_t(row.genuine)] : nullptr;
        const Line* descriptor = row.descriptor >= 0 ? &m_descriptor[std::size_t(row.descriptor)] : nullptr;
        const auto side = [](const Line* line, const char* sign, const QByteArray& text) -> QByteArray {
            if (!line)
                return "<td></td><td></td><td></td>";
            return "<td>" + number(line->text->number) + "</td><td>" + sign + "</td><td>" + text + "</td>";
        };
        if (row.same) {
            const QByteArray text = shownLine(*genuine, none, false, "");
            return "<tr>" + side(genuine, "", text) + "<td></td>" + side(descriptor, "", text) + "</tr>\n";
        }
        if (genuine && descriptor) {
            const Marks marks = marksOf(genuine->text->raw, descriptor->text->raw);
            const bool edges = genuine->end != descriptor->end || genuine->byteOrderMark != descriptor->byteOrderMark;
            return "<tr class=\"c\">" + side(genuine, "~", shownLine(*genuine, marks.genuine, edges, "del")) + "<td>"
                + what(row) + "</td>"
                + side(descriptor, "~", shownLine(*descriptor, marks.descriptor, edges, "ins")) + "</tr>\n";
        }
        if (genuine) {
            return "<tr class=\"l\">" + side(genuine, "-", shownLine(*genuine, none, false, "")) + "<td>"
                + what(row) + "</td>" + side(nullptr, "", QByteArray()) + "</tr>\n";
        }
        return "<tr class=\"r\">" + side(nullptr, "", QByteArray()) + "<td>" + what(row) + "</td>"
            + side(descriptor, "+", shownLine(*descriptor, none, false, "")) + "</tr>\n";
    }

    // Unchanged lines, once for both sides: their numbers on each side come
    // from CSS counters, which keeps a large league's page small.
    QByteArray folded(std::size_t from, std::size_t to) const
    {
        static const std::vector<bool> none;
        const qint64 genuineFirst = m_genuine[std::size_t(m_rows[from].genuine)].text->number;
        const qint64 descriptorFirst = m_descriptor[std::size_t(m_rows[from].descriptor)].text->number;
        const qint64 count = qint64(to - from);
        QByteArray out = "<tr class=\"f\"><td colspan=\"7\"><details><summary>" + number(count) + " unchanged lines ";
        if (genuineFirst == descriptorFirst)
            out += '(' + lineRange(genuineFirst, genuineFirst + count - 1) + ')';
        else
            out += "(genuine " + lineRange(genuineFirst, genuineFirst + count - 1) + ", descriptor "
                + lineRange(descriptorFirst, descriptorFirst + count - 1) + ')';
        out += "</summary><pre style=\"counter-reset:g " + number(genuineFirst - 1) + " d " + number(descriptorFirst - 1)
            + "\">";
        for (std::size_t i = from; i < to; ++i)
            out += "<b>" + shownLine(m_genuine[std::size_t(m_rows[i].genuine)], none, false, "") + "</b>";
        return out + "</pre></details></td></tr>\n";
    }

    DescriptorText m_genuineText;
    DescriptorText m_descriptorText;
    std::vector<Line> m_genuine;
    std::vector<Line> m_descriptor;
    std::vector<Row> m_rows;
    // Into the verdict's differences, which outlive this.
    std::unordered_map<qint64, const Difference*> m_atLine;
    std::unordered_map<qint64, const Difference*> m_atGenuineLine;
    bool m_otherCar = false;
    bool m_damaged = false;
};

QByteArray statusWords(Verdict::Status status)
{
    return status == Verdict::Status::Formatting ? QByteArrayLiteral("formatting only")
                                                 : Verdict::statusText(status).toUtf8();
}

// The start of a file's section: its status, its path, whose it is.
QByteArray fileHead(const QByteArray& anchor, const Verdict& verdict, const QByteArray& more)
{
    const QByteArray status = Verdict::statusText(verdict.status).toUtf8();
    QByteArray out = "<section class=\"file\" id=\"" + anchor + "\">\n<h3><span class=\"s " + status + "\">"
        + statusWords(verdict.status) + "</span> <code>" + shownName(verdict.path) + "</code></h3>\n<p class=\"meta\">";
    out += "player <b>" + (verdict.player.isEmpty() ? QByteArrayLiteral("(none)") : shownName(verdict.player)) + "</b>";
    if (verdict.car)
        out += " · " + escaped(verdict.car->listEntry);
    return out + more + "</p>\n";
}

const char* const Style = R"(
:root{--genuine:#1a7f37;--formatting:#0969da;--allowed:#1b7c83;--damaged:#bc4c00;--tweaked:#cf222e;--error:#8250df}
body{font:15px/1.45 "DejaVu Sans","Liberation Sans",system-ui,sans-serif;color:#1f2328;background:#fff;margin:0 auto;max-width:1500px;padding:20px 32px 40px;overflow-wrap:anywhere}
h1{font-size:25px;margin:0 0 2px}
h2{font-size:19px;margin:30px 0 10px;padding-bottom:4px;border-bottom:2px solid #d0d7de}
h3{font-size:15px;margin:0 0 4px;font-weight:600}
code,pre,.d td{font-family:"DejaVu Sans Mono","Liberation Mono",ui-monospace,monospace;font-size:13px}
a{color:#0550ae}
.summary{font-size:17px;font-weight:600;margin:6px 0 10px}
.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 14px;margin:0}
.facts dt{color:#59636e}.facts dd{margin:0}
.digest{overflow-wrap:anywhere}
.how{color:#59636e;font-size:13px;margin:6px 0 0}
nav{margin:14px 0 0;font-size:14px}nav a{margin-right:18px}
table{border-collapse:collapse}
.players{table-layout:fixed;width:100%}
.players th,.players td{border:1px solid #d0d7de;padding:2px 9px;text-align:left;vertical-align:top}
.players th{background:#f6f8fa;font-size:13px;width:6.5em}
.players th:first-child{width:17%}.players th:last-child{width:auto}
.players td{font-variant-numeric:tabular-nums}
.players tr.t td:first-child{border-left:4px solid #cf222e}
.players td:first-child{font-weight:600}
.s{display:inline-block;padding:0 7px;border-radius:3px;color:#fff;font-size:12px;font-weight:700;letter-spacing:.03em;text-transform:uppercase;vertical-align:1px}
.s.tweaked{background:var(--tweaked)}.s.damaged{background:var(--damaged)}.s.formatting{background:var(--formatting)}
.s.allowed{background:var(--allowed)}.s.error{background:var(--error)}
a.tweaked{color:#a40e26;font-weight:600}a.damaged{color:#953800}a.allowed{color:#0a5e5e}a.error{color:#6639ba}
.file{margin:0 0 22px}
.meta{margin:0 0 4px;color:#59636e;font-size:14px}
.meta b{color:#1f2328}
ul.words{margin:4px 0 6px;padding-left:22px;font-size:14px}
p.words{margin:4px 0 6px;font-size:14px}
.legend{font-size:13px;color:#59636e;margin:0 0 14px}
.legend code{color:#1f2328}
.d{width:100%;table-layout:fixed;border:1px solid #d0d7de;margin:6px 0 4px}
.d col.n{width:3.8em}.d col.m{width:1.7em}.d col.k{width:6.6em}
.d th{background:#f6f8fa;text-align:left;font-size:12px;font-weight:600;color:#59636e;padding:2px 8px;border-bottom:1px solid #d0d7de;text-transform:uppercase;letter-spacing:.04em}
.d th:nth-child(2){text-align:center}
.d td{padding:0 6px;vertical-align:top;white-space:pre-wrap;overflow-wrap:anywhere;line-height:1.5}
.d td:nth-child(1),.d td:nth-child(5){text-align:right;color:#6e7781;background:#f6f8fa}
.d td:nth-child(2),.d td:nth-child(6){text-align:center;font-weight:700;padding:0}
.d td:nth-child(4){font-family:"DejaVu Sans","Liberation Sans",sans-serif;font-size:12px;text-align:center;color:#59636e;border-left:1px solid #d0d7de;border-right:1px solid #d0d7de;white-space:nowrap}
.d tr.c td:nth-child(3),.d tr.l td:nth-child(3){background:#ffebe9}
.d tr.c td:nth-child(7),.d tr.r td:nth-child(7){background:#dafbe1}
.d tr.c td:nth-child(2),.d tr.l td:nth-child(2){color:#cf222e;background:#ffebe9}
.d tr.c td:nth-child(6),.d tr.r td:nth-child(6){color:#1a7f37;background:#dafbe1}
.d tr.c td:nth-child(4),.d tr.l td:nth-child(4),.d tr.r td:nth-child(4){color:#1f2328;font-weight:600}
.d tr.l td:nth-child(n+5),.d tr.r td:nth-child(-n+3){background:repeating-linear-gradient(135deg,#f6f8fa 0 4px,#eaeef2 4px 8px)}
.d del{background:#ff8182;text-decoration:none;border-radius:2px;box-shadow:0 0 0 1px #cf222e}
.d ins{background:#6fdd8b;text-decoration:none;border-radius:2px;box-shadow:0 0 0 1px #1a7f37}
.w{color:#6e7781;font-weight:700}
.e{font-size:1.3em;line-height:1;font-weight:400}
.w,.x{font-family:"DejaVu Sans Mono","Segoe UI Symbol","Apple Symbols","Noto Sans Symbols 2",Symbola,monospace}
.d ins .w,.d del .w{color:#1f2328}
.b{font:600 10px/1 "DejaVu Sans","Liberation Sans",sans-serif;color:#59636e;border:1px solid #8c959f;border-radius:3px;padding:0 3px;margin:0 2px;vertical-align:1px;white-space:nowrap}
.d ins .b,.d del .b{color:#1f2328;border-color:#1f2328}
.x{color:#fff;background:#8250df;border-radius:2px;padding:0 1px;font-size:.85em}
.d tr.f td{padding:0;text-align:left;background:#f6f8fa;border-top:1px dashed #d0d7de;border-bottom:1px dashed #d0d7de}
.d .cut{margin:0;padding:1px 8px;font:12px "DejaVu Sans","Liberation Sans",sans-serif;color:#59636e}
.d summary{cursor:pointer;padding:1px 8px;font:12px "DejaVu Sans","Liberation Sans",sans-serif;color:#59636e}
.d pre{margin:0;padding:0 0 4px;white-space:pre-wrap;overflow-wrap:anywhere;line-height:1.5;background:#fff;counter-reset:g d}
.d pre b{display:block;position:relative;min-height:1.5em;font-weight:400;padding-left:9.5em;counter-increment:g d}
.d pre b::before,.d pre b::after{position:absolute;top:0;width:3.8em;padding-right:6px;box-sizing:border-box;text-align:right;color:#6e7781}
.d pre b::before{content:counter(g);left:0}
.d pre b::after{content:counter(d);left:4.2em}
ul.errors{padding-left:22px}ul.errors li{margin:0 0 4px}
.none{color:#59636e}
footer{margin-top:36px;font-size:12px;color:#59636e}
@page{margin:12mm}
@media print{
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
body{max-width:none;padding:0;font-size:10pt}
nav{display:none}
.d td,.d pre,code{white-space:pre-wrap;overflow-wrap:anywhere;word-break:break-all}
.d tr{break-inside:avoid}
h2,h3{break-after:avoid}
}
)";

// How to read a side by side.
const char* const Legend = "<p class=\"legend\">Genuine on the left, the descriptor on the right. <code>~</code> a line "
                         "changed, <code>-</code> only in the genuine file, <code>+</code> only in the descriptor; "
                         "<span class=\"w\">·</span> a space at the end of a line, <span class=\"w\">→</span> a tab, "
                         "<span class=\"w e\">␊</span> a lone LF, <span class=\"w e\">␍</span> a lone CR, "
                         "<span class=\"b\">BOM</span> a byte order mark, <span class=\"x\">\\x00</span> a byte that "
                         "shows nothing, by its value. Unchanged lines are folded.</p>\n";

} // namespace

HtmlReport::HtmlReport(const QString& referenceName, const QByteArray& referenceDigest, const QString& toolVersion,
                       const QDateTime& when)
    : m_referenceName(referenceName)
    , m_referenceDigest(referenceDigest)
    , m_toolVersion(toolVersion)
    , m_when(when)
{
}

void HtmlReport::add(const Verdict& verdict, const QByteArray& genuineBytes, const QByteArray& keptAs)
{
    ++m_counts[int(verdict.status)];
    Player& player = m_players[verdict.player];
    ++player.counts[int(verdict.status)];
    if (verdict.status == Verdict::Status::Genuine)
        return;

    const QByteArray anchor = 'f' + number(++m_files);
    const QByteArray status = Verdict::statusText(verdict.status).toUtf8();
    if (!player.links.isEmpty())
        player.links += ", ";
    const QByteArray fileName = verdict.path.mid(verdict.path.lastIndexOf('/') + 1);
    player.links += "<a class=\"" + status + "\" href=\"#" + anchor + "\">"
        + (verdict.car ? escaped(verdict.car->listEntry) : shownName(fileName)) + ' ' + status + "</a>";

    const QByteArray section = fileSection(anchor, verdict, genuineBytes, keptAs);
    switch (verdict.status) {
    case Verdict::Status::Genuine:
        break;
    case Verdict::Status::Tweaked:
    case Verdict::Status::Allowed:
        m_tweaked += section;
        break;
    case Verdict::Status::Formatting:
    case Verdict::Status::Damaged:
        m_formatting += section;
        break;
    case Verdict::Status::Error:
        m_errors += section;
        break;
    }
}

QByteArray HtmlReport::fileSection(const QByteArray& anchor, const Verdict& verdict, const QByteArray& genuineBytes,
                                   const QByteArray& keptAs)
{
    switch (verdict.status) {
    case Verdict::Status::Genuine:
        break;
    case Verdict::Status::Tweaked:
    case Verdict::Status::Allowed: {
        QByteArray more = " · " + escaped(verdict.differenceCounts());
        if (!keptAs.isEmpty())
            more += " · corrected; the tweaked file is kept as <code>" + shownName(keptAs) + "</code>";
        if (!verdict.tweaks.empty())
            more += " · the window counts " + escaped(verdict.windowCountText());
        QByteArray out = fileHead(anchor, verdict, more) + "<ul class=\"words\">";
        const std::size_t listed = std::min(verdict.differences.size(), MostShown);
        for (std::size_t i = 0; i < listed; ++i)
            out += "<li>" + escaped(cut(differenceText(verdict.differences[i]))) + "</li>";
        if (listed < verdict.differences.size())
            out += "<li>" + number(qint64(verdict.differences.size() - listed)) + " more</li>";
        return out + "</ul>\n" + SideBySide(genuineBytes, verdict).table() + "</section>\n";
    }
    case Verdict::Status::Formatting:
    case Verdict::Status::Damaged: {
        QStringList words;
        for (const Difference& difference : verdict.differences)
            words << Difference::className(difference.kind) + QStringLiteral(": ")
                    + printable(difference.value.value_or(QByteArray()));
        return fileHead(anchor, verdict, QByteArray()) + "<p class=\"words\">" + escaped(words.join(QStringLiteral("; ")))
            + "</p>\n" + SideBySide(genuineBytes, verdict).examples() + "</section>\n";
    }
    case Verdict::Status::Error:
        return "<li id=\"" + anchor + "\">player <b>"
            + (verdict.player.isEmpty() ? QByteArrayLiteral("(none)") : shownName(verdict.player)) + "</b>: "
            + escaped(ShownText::message(verdict.error)) + "</li>\n";
    }
    return QByteArray();
}

QByteArray HtmlReport::style()
{
    return Style;
}

QByteArray HtmlReport::legend()
{
    return Legend;
}

void HtmlReport::setRules(const QString& name, const QByteArray& sha256, const QByteArray& text)
{
    m_rulesName = name;
    m_rulesSha256 = sha256;
    m_rulesText = text;
}

QByteArray HtmlReport::page() const
{
    const auto count = [this](Verdict::Status status) { return m_counts[int(status)]; };
    qint64 playersWithTweaks = 0;
    for (const auto& [name, player] : m_players)
        playersWithTweaks += player.counts[int(Verdict::Status::Tweaked)] > 0 ? 1 : 0;
    const QByteArray summary = escaped(
        m_summary.isEmpty()
            ? summaryText(m_counts, qint64(m_players.size()), playersWithTweaks, std::nullopt, count(Verdict::Status::Allowed) > 0)
                  .trimmed()
            : m_summary);
    const QDateTime when = m_when.toOffsetFromUtc(m_when.offsetFromUtc());
    const QByteArray whenText = when.toString(Qt::ISODate).toUtf8();

    QStringList names{QStringLiteral("Sam.mdb")};
    for (const Car& car : CarCatalogue::cars())
        names << car.listEntry + QStringLiteral(".dat");
    const QByteArray rulesFact = m_rulesSha256.isEmpty()
        ? QByteArrayLiteral("<dt>League rules</dt><dd>none</dd>\n")
        : "<dt>League rules</dt><dd><a href=\"#rules\"><b>" + escaped(ShownText::message(m_rulesName))
            + "</b></a>, SHA-256 <code class=\"digest\">" + escaped(QString::fromLatin1(m_rulesSha256)) + "</code></dd>\n";
    const QByteArray recompute = escaped(QStringLiteral("sha256sum %1 | sha256sum").arg(names.join(u' ')));

    // A column for each status a league can meet; "allowed" only where
    // the league's rules allowed something.
    std::vector<std::pair<Verdict::Status, const char*>> columns{
        {Verdict::Status::Genuine, "Genuine"}, {Verdict::Status::Formatting, "Formatting"},
        {Verdict::Status::Allowed, "Allowed"}, {Verdict::Status::Damaged, "Damaged"},
        {Verdict::Status::Tweaked, "Tweaked"}, {Verdict::Status::Error, "Errors"}};
    if (count(Verdict::Status::Allowed) == 0)
        columns.erase(columns.begin() + 2);
    QByteArray countHeads;
    QByteArray columnStyle;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const QByteArray status = Verdict::statusText(columns[i].first).toUtf8();
        countHeads += "<th>" + QByteArray(columns[i].second) + "</th>";
        columnStyle += ".players td:nth-child(" + number(qint64(i) + 2) + "){text-align:right;color:var(--" + status + ')'
            + (columns[i].first == Verdict::Status::Genuine ? "}" : ";font-weight:700}");
    }
    const QByteArray tweakedTitle = count(Verdict::Status::Allowed) > 0 ? "Tweaked and allowed" : "Tweaked";

    QByteArray out;
    out.reserve(m_tweaked.size() + m_formatting.size() + m_errors.size() + qsizetype(m_players.size()) * 100 + 16384);
    out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>Vortrax Kestrix: car descriptor check, "
        + whenText + "</title>\n<style>" + Style + columnStyle + "</style>\n</head>\n<body>\n<header>\n"
        + "<h1>Vortrax Kestrix: car descriptor check</h1>\n<p class=\"summary\">" + summary + "</p>\n<dl class=\"facts\">\n"
        + "<dt>Checked</dt><dd><time datetime=\"" + whenText + "\">" + whenText + "</time></dd>\n"
        + "<dt>By</dt><dd>" + escaped(ShownText::message(m_toolVersion)) + "</dd>\n"
        + "<dt>Reference data</dt><dd><b>" + escaped(ShownText::message(m_referenceName))
        + "</b>, SHA-256 <code class=\"digest\">" + escaped(QString::fromLatin1(m_referenceDigest)) + "</code></dd>\n"
        + rulesFact + "</dl>\n<p class=\"how\">The digest is that of what <code>" + recompute
        + "</code> prints in the reference folder, so anyone with the same files can check it.</p>\n<nav>"
        + "<a href=\"#players\">Players</a><a href=\"#tweaked\">" + tweakedTitle + " ("
        + number(count(Verdict::Status::Tweaked) + count(Verdict::Status::Allowed))
        + ")</a><a href=\"#formatting\">Formatting and damage ("
        + number(count(Verdict::Status::Formatting) + count(Verdict::Status::Damaged)) + ")</a><a href=\"#errors\">Errors ("
        + number(count(Verdict::Status::Error)) + ")</a></nav>\n</header>\n";

    out += "<h2 id=\"players\">Players</h2>\n<table class=\"players\">\n<thead><tr>"
           "<th>Player</th>" + countHeads + "<th>To look at</th></tr></thead>\n<tbody>\n";
    // Those who tweaked, then those with anything else to look at, then the rest.
    const auto group = [](const Player& player) {
        if (player.counts[int(Verdict::Status::Tweaked)] > 0)
            return 0;
        return player.links.isEmpty() ? 2 : 1;
    };
    for (int shown = 0; shown < 3; ++shown) {
        for (const auto& [name, player] : m_players) {
            if (group(player) != shown)
                continue;
            out += shown == 0 ? "<tr class=\"t\"><td>" : "<tr><td>";
            out += name.isEmpty() ? QByteArrayLiteral("<i>(none)</i>") : shownName(name);
            out += "</td>";
            for (const auto& [status, title] : columns) {
                const qint64 n = player.counts[int(status)];
                out += n == 0 ? QByteArrayLiteral("<td></td>") : "<td>" + number(n) + "</td>";
            }
            out += "<td>" + player.links + "</td></tr>\n";
        }
    }
    out += "</tbody>\n</table>\n";

    // How to read a side by side, once, above the first.
    QByteArray legend = Legend;
    out += "<h2 id=\"tweaked\">" + tweakedTitle + "</h2>\n";
    if (m_tweaked.isEmpty())
        out += "<p class=\"none\">No descriptor is tweaked.</p>\n";
    else
        out += std::exchange(legend, QByteArray()) + m_tweaked;
    out += "<h2 id=\"formatting\">Formatting and damage</h2>\n";
    if (m_formatting.isEmpty())
        out += "<p class=\"none\">No descriptor differs only in formatting or is damaged.</p>\n";
    else
        out += legend + m_formatting;
    out += "<h2 id=\"errors\">Errors</h2>\n";
    out += m_errors.isEmpty() ? QByteArrayLiteral("<p class=\"none\">No errors.</p>\n")
                              : "<ul class=\"errors\">\n" + m_errors + "</ul>\n";
    if (!m_rulesSha256.isEmpty()) {
        out += "<h2 id=\"rules\">The league's rules</h2>\n<details><summary>" + escaped(ShownText::message(m_rulesName))
            + "</summary><pre class=\"rules\">" + escaped(ShownText::message(QString::fromUtf8(m_rulesText)))
            + "</pre></details>\n";
    }
    out += "<footer>Made by " + escaped(ShownText::message(m_toolVersion)) + " on " + whenText
        + " against reference data " + escaped(QString::fromLatin1(m_referenceDigest))
        + (m_rulesSha256.isEmpty() ? QByteArray(" without league rules")
                                   : " under league rules " + escaped(QString::fromLatin1(m_rulesSha256)))
        + ". Genuine descriptors are counted, not shown.</footer>\n</body>\n</html>\n";
    return out;
}

bool HtmlReport::write(const QString& path, QString* error) const
{
    return FileSystem::writeAll(path, page(), error, FileSystem::PathRules::Exact);
}
