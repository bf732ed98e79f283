#include "DescriptorScan.h"

#include "FileSystem.h"
#include "LineReader.h"
#include "ReferenceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The line between double quotes, then CR LF; quotes inside stay as they are.
void makeRecord(QByteArray& record, QByteArrayView line)
{
    record.resize(0);
    record.append('"').append(line).append('"').append("\r\n");
}

} // namespace

DescriptorScan::Outcome DescriptorScan::run(ReferenceStore& store,
                                            const std::function<void(QByteArrayView line)>& onUnmatched) const
{
    Outcome outcome;
    const QString shown = QDir::toNativeSeparators(descriptorPath);
    QFile descriptor(FileSystem::resolve(descriptorPath));
    if (QFileInfo(descriptor.fileName()).isDir()) {
        outcome.error = QStringLiteral("%1: is a folder, not a file").arg(shown);
        return outcome;
    }
    if (!descriptor.open(QIODevice::ReadOnly)) {
        outcome.error = QStringLiteral("%1: %2").arg(shown, descriptor.errorString());
        return outcome;
    }
    const QByteArray log = QFile::encodeName(FileSystem::resolve(logPath));
    QByteArray record;
    LineReader reader(descriptor);
    QByteArrayView line;
    while (reader.next(&line)) {
        ++outcome.lines;
        outcome.lastLine.resize(0);
        outcome.lastLine.append(line);
        if (!store.setIndex(indexName, &outcome.error) || !store.seek(line, &outcome.error))
            return outcome;
        if (!store.noMatch())
            continue;
        makeRecord(record, line);
        if (!FileSystem::appendEncoded(log, record, &outcome.error))
            return outcome;
        ++outcome.unmatched;
        onUnmatched(line);
    }
    if (reader.failed()) {
        outcome.error = QStringLiteral("%1: %2").arg(shown, descriptor.errorString());
        return outcome;
    }
    outcome.completed = true;
    return outcome;
}
