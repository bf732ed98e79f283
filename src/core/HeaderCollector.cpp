#include "HeaderCollector.h"

namespace {
constexpr QByteArrayView Marker("FILEINFO");
}

HeaderCollector::Status HeaderCollector::add(QByteArrayView bytes, QByteArrayView* rest)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (m_header.size() < Marker.size() && byte != Marker[m_header.size()])
            return Status::NotAHeader;
        m_header.append(byte);
        if (byte == '|' && ++m_separators == 3) {
            *rest = bytes.sliced(i + 1);
            return Status::Complete;
        }
        if (m_header.size() >= MaxLength)
            return Status::TooLong;
    }
    return Status::NeedMore;
}

void HeaderCollector::clear()
{
    m_header.clear();
    m_separators = 0;
}

QString HeaderCollector::refusal(Status status)
{
    switch (status) {
    case Status::NotAHeader:
        return QStringLiteral("data arrived before a FILEINFO header, so it has no file name");
    case Status::TooLong:
        return QStringLiteral("the FILEINFO header did not end within %1 bytes").arg(MaxLength);
    case Status::NeedMore:
    case Status::Complete:
        break;
    }
    return QString();
}
