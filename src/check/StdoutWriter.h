#pragma once

#include <QByteArray>
#include <QString>

// Output on stdout that must all arrive: a failed or short write is noted,
// and close() says so, so that a report to a full disk or a closed pipe is
// never taken for a complete one.
class StdoutWriter
{
public:
    void write(const QByteArray& bytes);
    void write(const QString& text) { write(text.toLocal8Bit()); }

    // Flushes; false, with why in error, when anything failed to arrive.
    bool close(QString* error);

private:
    int m_failure = 0; // errno of the first failure
};
