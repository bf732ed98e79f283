#pragma once

#include "Verdict.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// A page an administrator can publish: the date, the reference folder, a
// table of every descriptor with its verdict and counts, and each tweaked
// descriptor's lines beside the genuine ones. It stands alone: no script,
// no file besides it. Well-formed XML too, so that a program can read it.
class HtmlReport
{
public:
    HtmlReport(const QString& referenceFolder, const QDateTime& when);

    void add(const Verdict& verdict);
    // Written by way of a temporary file beside path.
    bool write(const QString& path, QString* error) const;

private:
    QString m_referenceFolder;
    QDateTime m_when;
    QStringList m_rows;
    QStringList m_details;
    qint64 m_counts[3] = {0, 0, 0};
};
