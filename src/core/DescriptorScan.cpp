#include "DescriptorScan.h"

#include "FileSystem.h"
#include "LineReader.h"
#include "ReferenceStore.h"

#include <QDir>
#include <QFile>

DescriptorScan::Outcome DescriptorScan::run(ReferenceStore& store, const Unmatched& onUnmatched) const
{
    QFile descriptor;
    QString error;
    if (!FileSystem::openOrdinary(descriptorPath, QIODevice::ReadOnly, &descriptor, &error)) {
        Outcome outcome;
        outcome.error = error;
        return outcome;
    }
    return run(descriptor, store, onUnmatched);
}

DescriptorScan::Outcome DescriptorScan::run(QIODevice& descriptor, ReferenceStore& store,
                                            const Unmatched& onUnmatched) const
{
    Outcome outcome;
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
        if (!onUnmatched(line, outcome.lines, &outcome.error))
            return outcome;
        ++outcome.unmatched;
    }
    if (reader.failed()) {
        outcome.error = FileSystem::failure(descriptorPath, descriptor.errorString());
        return outcome;
    }
    outcome.completed = true;
    return outcome;
}
