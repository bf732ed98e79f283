#include "FieldsCollector.h"

#include <QList>

FieldsCollector::FieldsCollector(QByteArrayView marker, int separators, qsizetype maxLength)
    : m_marker(marker)
    , m_separators(separators)
    , m_maxLength(maxLength)
{
}

FieldsCollector::Status FieldsCollector::add(QByteArrayView bytes, QByteArrayView* rest)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (m_bytes.size() < m_marker.size() && byte != m_marker[m_bytes.size()])
            return Status::Wrong;
        m_bytes.append(byte);
        if (byte == '|' && ++m_seen == m_separators) {
            *rest = bytes.sliced(i + 1);
            return Status::Complete;
        }
        if (m_bytes.size() >= m_maxLength)
            return Status::TooLong;
    }
    return Status::NeedMore;
}

void FieldsCollector::clear()
{
    m_bytes.clear();
    m_seen = 0;
}

QByteArray FieldsCollector::field(int n) const
{
    const QList<QByteArray> fields = m_bytes.sliced(m_marker.size()).split('|');
    return n >= 1 && n <= fields.size() ? fields[n - 1] : QByteArray();
}

