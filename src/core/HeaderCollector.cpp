#include "HeaderCollector.h"

HeaderCollector::Status HeaderCollector::add(QByteArrayView bytes, QByteArrayView* rest)
{
    switch (m_fields.add(bytes, rest)) {
    case FieldsCollector::Status::NeedMore:
        return Status::NeedMore;
    case FieldsCollector::Status::Complete:
        return Status::Complete;
    case FieldsCollector::Status::Wrong:
        return Status::NotAHeader;
    case FieldsCollector::Status::TooLong:
        break;
    }
    return Status::TooLong;
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
