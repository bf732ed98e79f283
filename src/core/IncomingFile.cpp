#include "IncomingFile.h"

#include "Cp1252.h"
#include "FileSystem.h"
#include "ReceivedName.h"

#include <algorithm>

std::optional<Announcement> acceptAnnouncement(const QByteArray& header, const QStringList& ownFiles,
                                               const QString& folder, std::optional<qint64> largest,
                                               qsizetype prefixBytes, QString* refusal, AnnouncementFault* fault)
{
    AnnouncementFault ownFault;
    fault = fault ? fault : &ownFault;
    *fault = AnnouncementFault::Header;
    const std::optional<FileInfoHeader> parsed = parseFileInfoHeader(header, refusal);
    if (!parsed)
        return std::nullopt;
    const QString name = fromCp1252(parsed->name);
    *fault = AnnouncementFault::Name;
    *refusal = refusalReason(name, ownFiles, prefixBytes);
    if (!refusal->isEmpty())
        return std::nullopt;
    *fault = AnnouncementFault::Size;
    if (largest && parsed->size > *largest)
        *refusal = QStringLiteral("its %1 bytes are more than the %2 bytes a file may have").arg(parsed->size).arg(*largest);
    if (refusal->isEmpty()) {
        *fault = AnnouncementFault::Space;
        if (const std::optional<qint64> free = FileSystem::bytesFree(folder); free && *free < parsed->size)
            *refusal = QStringLiteral("its %1 bytes are more than the %2 bytes free where it would be kept")
                           .arg(parsed->size)
                           .arg(*free);
    }
    if (!refusal->isEmpty())
        return std::nullopt;
    return Announcement{parsed->size, name};
}

bool IncomingFile::start(const QString& folder, const Announcement& announcement, QString* error)
{
    m_name = announcement.name;
    m_announced = announcement.size;
    return m_file.create(folder, shownName(m_name), error);
}

qint64 IncomingFile::write(QByteArrayView bytes, QString* error)
{
    const qint64 taken = std::min<qint64>(bytes.size(), m_announced - m_file.size());
    return m_file.write(bytes.first(taken), error) ? taken : -1;
}

bool IncomingFile::place(const QString& target, TemporaryFile::Existing existing, QString* error)
{
    return m_file.moveTo(target, existing, error);
}

QString IncomingFile::keepPartial(const QString& partialPath, const QString& shownPartial, TemporaryFile::Existing existing)
{
    const qint64 arrived = m_file.size();
    if (arrived == 0) {
        m_file.discard();
        return QStringLiteral("No byte of it had arrived, so nothing was kept.");
    }
    QString error;
    if (!m_file.moveTo(partialPath, existing, &error)) {
        m_file.discard();
        return QStringLiteral("Its bytes could not be kept: %1.").arg(error);
    }
    return QStringLiteral("The %1 bytes that arrived are kept in \"%2\".").arg(arrived).arg(shownPartial);
}

void IncomingFile::discard()
{
    m_file.discard();
}
