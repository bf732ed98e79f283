#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Gathers the first bytes of a stream, which must begin with marker, until
// the given number of "|" has arrived (the marker's own included), in any
// number of reads and within maxLength bytes: a FILEINFO header, a player's
// name, a proof.
class FieldsCollector
{
public:
    enum class Status { NeedMore, Complete, Wrong, TooLong };

    FieldsCollector(QByteArrayView marker, int separators, qsizetype maxLength);
    // On Complete, *rest is what follows the last "|".
    Status add(QByteArrayView bytes, QByteArrayView* rest);
    // The n-th field after the marker, 1-based, once whole.
    QByteArray field(int n) const;
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // What has arrived, up to and with the last "|" once whole.
    const QByteArray& bytes() const { return m_bytes; }
    void clear();

private:
    QByteArrayView m_marker;
    int m_separators;
    qsizetype m_maxLength;
    QByteArray m_bytes;
    int m_seen = 0;
};

