#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

class ReferenceStore;

// The scan itself, without any window: every line of a descriptor is sought
// in the store under one index; every line with no equal key is appended to
// the log as one record, the log being opened and closed for each record so
// that it is complete on disk at every moment.
struct DescriptorScan {
    QString descriptorPath;
    QString indexName;
    QString logPath;

    struct Outcome {
        bool completed = false;
        QString error; // names the file or index that failed
        qint64 lines = 0;
        qint64 unmatched = 0;
        QByteArray lastLine; // the line read last
    };

    // onUnmatched runs after the line's record is on disk.
    Outcome run(ReferenceStore& store, const std::function<void(QByteArrayView line)>& onUnmatched) const;
};
