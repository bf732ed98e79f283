#pragma once

#include "Verdict.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <map>

// The page a league publishes of a check: when, by which tool, against which
// reference data (its folder's name and digest, never a path of the
// machine that ran it), the summary, a row for each player with those who
// tweaked first, each tweaked descriptor beside its genuine one, a line for
// each that differs only in formatting or is damaged, and the errors.
// It stands alone (no script, nothing outside it) and keeps its colours in
// print. It is well-formed XML whatever names and descriptors hold, so that
// a program can read it too. Only what the page shows is kept, not the
// verdicts: a row for each player and the text of each file that is not
// genuine.
class HtmlReport
{
public:
    // referenceDigest as referenceDigest() gives it; toolVersion as shown,
    // "kestrix-check 1.2.0"; when in the zone it is to be shown in.
    HtmlReport(const QString& referenceName, const QByteArray& referenceDigest, const QString& toolVersion,
               const QDateTime& when);

    // genuineBytes is the genuine descriptor of the verdict's car, read only
    // when the verdict is formatting, damaged or tweaked.
    // keptAs, when the descriptor was corrected, is where its tweaked file is kept.
    void add(const Verdict& verdict, const QByteArray& genuineBytes, const QByteArray& keptAs = QByteArray());

    // One file as the page shows it, with anchor as its id: its status, whose
    // it is, what differs in words and beside its genuine one; a list item
    // for an error; nothing for a genuine file. For pages of their own that
    // read as this one: with style() and legend().
    static QByteArray fileSection(const QByteArray& anchor, const Verdict& verdict, const QByteArray& genuineBytes,
                                  const QByteArray& keptAs = QByteArray());
    static QByteArray style();
    // How to read a side by side.
    static QByteArray legend();

    // The summary line as the caller printed it; without one, the page
    // counts its own, as summaryText() does, without corrections.
    void setSummary(const QString& summary) { m_summary = summary; }
    // The league's rules the check was made under: the file's name, its
    // SHA-256 and its text, shown whole so that a player sees what was allowed.
    void setRules(const QString& name, const QByteArray& sha256, const QByteArray& text);

    // By way of a temporary file beside path: a failure at any point leaves
    // what was there, and says why, naming the file.
    bool write(const QString& path, QString* error) const;

private:
    struct Player {
        qint64 counts[Verdict::StatusCount] = {};
        QByteArray links; // to each of the player's files that is not genuine
    };

    QByteArray page() const;

    QString m_referenceName;
    QByteArray m_referenceDigest;
    QString m_toolVersion;
    QDateTime m_when;
    QString m_summary;
    QString m_rulesName;
    QByteArray m_rulesSha256;
    QByteArray m_rulesText;
    qint64 m_counts[Verdict::StatusCount] = {};
    std::map<QByteArray, Player> m_players;
    qint64 m_files = 0; // not genuine, so far: each has an anchor of its own
    QByteArray m_tweaked;
    QByteArray m_formatting; // and damaged
    QByteArray m_errors;
};
