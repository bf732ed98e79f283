#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

class QIODevice;
class ReferenceStore;

// The scan itself, without any window: every line of a descriptor (game line
// rules) is sought in the store under one index, and every line with no
// equal key is handed on, in file order, repeats included.
struct DescriptorScan {
    QString descriptorPath;
    QString indexName;

    struct Outcome {
        bool completed = false;
        QString error; // names the file or index that failed
        qint64 lines = 0;
        qint64 unmatched = 0;
        QByteArray lastLine; // the line read last
    };

    // Called for each unmatched line with its 1-based line number; false,
    // with a reason in error, stops the scan there.
    using Unmatched = std::function<bool(QByteArrayView line, qint64 lineNumber, QString* error)>;

    // Reads the file at descriptorPath.
    Outcome run(ReferenceStore& store, const Unmatched& onUnmatched) const;
    // Reads descriptor instead, already open; descriptorPath names it in failures.
    Outcome run(QIODevice& descriptor, ReferenceStore& store, const Unmatched& onUnmatched) const;
};
