#include "UnmatchLog.h"

#include "FileSystem.h"

#include <QFile>

UnmatchLog::UnmatchLog(const QString& path)
    : m_encodedPath(QFile::encodeName(FileSystem::resolve(path)))
{
}

bool UnmatchLog::append(QByteArrayView line, QString* error)
{
    m_record.resize(0);
    m_record.append('"').append(line).append('"').append("\r\n");
    return FileSystem::appendEncoded(m_encodedPath, m_record, error);
}
