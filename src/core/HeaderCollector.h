#pragma once

#include "FieldsCollector.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Gathers the first bytes of a transfer until its header "FILEINFO|size|name|"
// is whole. The header ends at its third "|"; whatever follows, in the same
// read or a later one, is the file's data. A header may arrive in any number
// of reads, but it must begin with "FILEINFO" and end within MaxLength bytes.
class HeaderCollector
{
public:
    static constexpr qsizetype MaxLength = 4096;

    enum class Status {
        NeedMore,   // every byte so far may still be a header's
        Complete,   // header() is whole
        NotAHeader, // the bytes do not begin with "FILEINFO"
        TooLong,    // no third "|" within MaxLength bytes
    };

    // Takes bytes until the header is whole; on Complete, *rest is the part
    // of bytes that follows it.
    Status add(QByteArrayView bytes, QByteArrayView* rest);

    // Why bytes that ended with status are no header, in words for a message.
    static QString refusal(Status status);

    // The header gathered so far, up to and with its third "|" once whole.
    const QByteArray& header() const { return m_fields.bytes(); }
    bool isEmpty() const { return m_fields.isEmpty(); }
    void clear() { m_fields.clear(); }

private:
    FieldsCollector m_fields{"FILEINFO", 3, MaxLength};
};
