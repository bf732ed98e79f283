#include "HtmlReport.h"

#include "FileSystem.h"
#include "TextReport.h"

namespace {

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString cell(const QString& text, const QString& cssClass = QString())
{
    return cssClass.isEmpty() ? QStringLiteral("<td>%1</td>").arg(escaped(text))
                              : QStringLiteral("<td class=\"%1\">%2</td>").arg(cssClass, escaped(text));
}

const QString Style = QStringLiteral(
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "table{border-collapse:collapse;margin:1em 0}"
    "th,td{border:1px solid #bbb;padding:.2em .6em;text-align:left;vertical-align:top}"
    "td.text{font-family:monospace;white-space:pre-wrap}"
    "tr.genuine td.status{color:#176217}tr.tweaked td.status{color:#a11}tr.error td.status{color:#a60}"
    "td.added,td.missing{font-style:italic;color:#666}");

} // namespace

HtmlReport::HtmlReport(const QString& referenceFolder, const QDateTime& when)
    : m_referenceFolder(referenceFolder)
    , m_when(when)
{
}

void HtmlReport::add(const Verdict& verdict)
{
    ++m_counts[int(verdict.status)];
    const QString status = verdict.statusText();
    const QString anchor = QStringLiteral("d%1").arg(m_rows.size() + 1);
    const QString pathCell = verdict.status == Verdict::Status::Tweaked
        ? QStringLiteral("<td><a href=\"#%1\">%2</a></td>").arg(anchor, escaped(verdict.path))
        : cell(verdict.path);
    m_rows << QStringLiteral("<tr class=\"%1\" data-path=\"%2\" data-status=\"%1\">%3%4%5%6%7</tr>")
                  .arg(status, escaped(verdict.path), pathCell, cell(verdict.car ? verdict.car->listEntry : QString()),
                       cell(verdict.status == Verdict::Status::Error ? status + QStringLiteral(": ") + verdict.error
                                                                      : status,
                            QStringLiteral("status")),
                       cell(QString::number(verdict.tweaks.size())), cell(QString::number(verdict.missing.size())));
    if (verdict.status != Verdict::Status::Tweaked)
        return;

    QString detail = QStringLiteral("<h2 id=\"%1\">%2</h2>\n<table class=\"lines\" data-path=\"%3\">\n"
                                    "<tr><th>Line</th><th>Descriptor</th><th>Genuine</th></tr>\n")
                         .arg(anchor, escaped(verdict.path), escaped(verdict.path));
    for (const Tweak& tweak : verdict.tweaks) {
        detail += QStringLiteral("<tr class=\"tweak\">%1%2%3</tr>\n")
                      .arg(cell(QString::number(tweak.line)), cell(printable(tweak.text), QStringLiteral("text")),
                           tweak.genuine ? cell(printable(*tweak.genuine), QStringLiteral("text"))
                                         : cell(QStringLiteral("added"), QStringLiteral("added")));
    }
    for (const MissingLine& missing : verdict.missing) {
        detail += QStringLiteral("<tr class=\"missing\">%1%2%3</tr>\n")
                      .arg(cell(QStringLiteral("genuine %1").arg(missing.line)),
                           cell(QStringLiteral("missing"), QStringLiteral("missing")),
                           cell(printable(missing.text), QStringLiteral("text")));
    }
    m_details << detail + QStringLiteral("</table>\n");
}

bool HtmlReport::write(const QString& path, QString* error) const
{
    const QString when = FileSystem::dateTimeText(m_when);
    QString page = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                                  "<title>Vortrax Kestrix check, %1</title>\n<style>%2</style>\n</head>\n<body>\n"
                                  "<h1>Vortrax Kestrix check</h1>\n"
                                  "<p>Checked on %1 against the reference data in <code>%3</code>.</p>\n<p>%4</p>\n"
                                  "<table class=\"verdicts\">\n<tr><th>Descriptor</th><th>Car</th><th>Verdict</th>"
                                  "<th>Tweaked lines</th><th>Missing lines</th></tr>\n")
                       .arg(escaped(when), Style, escaped(m_referenceFolder),
                            escaped(summaryText(m_counts[int(Verdict::Status::Genuine)],
                                                m_counts[int(Verdict::Status::Tweaked)],
                                                m_counts[int(Verdict::Status::Error)])
                                        .trimmed()));
    page += m_rows.join(u'\n') + QStringLiteral("\n</table>\n") + m_details.join(QString());
    page += QStringLiteral("</body>\n</html>\n");
    return FileSystem::writeAll(path, page.toUtf8(), error, FileSystem::PathRules::Exact);
}
