#include "VerdictLogWalk.h"

#include "VerdictLogFiles.h"

#include <QDir>
#include <QFileInfo>

VerdictLogWalk VerdictLogWalk::of(const QString& dir, const std::function<void(const QByteArray& hash)>& seen)
{
    VerdictLogWalk walk;
    walk.files = VerdictLogFiles::inOrder(dir);
    for (const QString& path : walk.files) {
        const std::optional<QByteArray> bytes = VerdictLogFiles::read(path, &walk.error);
        if (!bytes)
            return walk;
        qint64 number = 0;
        for (const QByteArray& line : VerdictLogFiles::lines(*bytes)) {
            ++number;
            if (!walk.chain.add(line)) {
                walk.brokenFile = path;
                walk.brokenFileLine = number;
                return walk;
            }
            if (seen)
                seen(walk.chain.head());
        }
    }
    return walk;
}

namespace {

QString count(qint64 number, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(number).arg(QLatin1String(number == 1 ? one : many));
}

} // namespace

int verifyLogCommand(const QString& dir, QString* out, QString* err)
{
    if (!QFileInfo(dir).isDir()) {
        *err = QStringLiteral("%1: no such folder").arg(QDir::toNativeSeparators(dir));
        return 2;
    }
    const VerdictLogWalk walk = VerdictLogWalk::of(dir);
    if (!walk.error.isEmpty()) {
        *err = walk.error;
        return 2;
    }
    if (walk.files.isEmpty()) {
        *err = QStringLiteral("%1: no verdict log (verdicts.jsonl) in it").arg(QDir::toNativeSeparators(dir));
        return 2;
    }
    const ChainWalk& chain = walk.chain;
    if (chain.brokenAt() > 0) {
        *out = QStringLiteral("the chain breaks at line %1 (%2 line %3): its prev is not the hash of the line before\n")
                   .arg(chain.brokenAt())
                   .arg(QDir::toNativeSeparators(walk.brokenFile))
                   .arg(walk.brokenFileLine);
        return 1;
    }
    const QString before = chain.beforeChain() > 0
        ? QStringLiteral("; %1 before the chain").arg(count(chain.beforeChain(), "line", "lines"))
        : QString();
    if (!chain.chained() && chain.lines() > 0) {
        *out = QStringLiteral("no line is chained: %1 before the chain\n").arg(count(chain.lines(), "line", "lines"));
        return 1;
    }
    *out = QStringLiteral("the chain holds over %1 in %2%3%4; its head is %5\n")
               .arg(count(chain.lines(), "line", "lines"), count(walk.files.size(), "file", "files"), before,
                    chain.continuesOlderChain()
                        ? QStringLiteral("; its first line goes on from a log no longer present")
                        : QString(),
                    QString::fromLatin1(chain.head()));
    return 0;
}
