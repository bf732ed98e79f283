#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The log of unmatched lines, "Unmatch.txt": one record a line, the line
// between double quotes (quotes inside stay as they are), then CR LF. The log
// is opened, appended and closed for each record, so that it is complete on
// disk at every moment.
class UnmatchLog
{
public:
    // The path is resolved once, for a scan that may append many records.
    explicit UnmatchLog(const QString& path);

    bool append(QByteArrayView line, QString* error);

private:
    QByteArray m_encodedPath;
    QByteArray m_record;
};
