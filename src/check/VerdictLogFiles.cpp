#include "VerdictLogFiles.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

std::optional<QByteArray> inflated(const QString& path, QString* error)
{
    const QByteArray encoded = QFile::encodeName(path);
    gzFile file = gzopen(encoded.constData(), "rb");
    if (!file) {
        *error = FileSystem::failure(path, QStringLiteral("it cannot be opened"));
        return std::nullopt;
    }
    QByteArray bytes;
    char buffer[64 * 1024];
    int got = 0;
    while ((got = gzread(file, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    int code = Z_OK;
    const char* message = gzerror(file, &code);
    const QString reason = QString::fromUtf8(message);
    gzclose(file);
    // A file cut short reads without a failure from gzread; gzerror tells.
    if (got < 0 || (code != Z_OK && code != Z_STREAM_END)) {
        *error = FileSystem::failure(path, QStringLiteral("it is not whole gzip data (%1)").arg(reason));
        return std::nullopt;
    }
    return bytes;
}

} // namespace

namespace VerdictLogFiles {

QStringList inOrder(const QString& dir)
{
    // Rotation moves verdicts.jsonl to .1, .1 to .2 and so on: the highest
    // number is the oldest.
    static const QRegularExpression rotated(QStringLiteral("^verdicts\\.jsonl\\.([0-9]{1,6})(\\.gz)?$"));
    std::vector<std::pair<int, QString>> files;
    const QDir folder(dir);
    for (const QString& name : folder.entryList({QStringLiteral("verdicts.jsonl.*")}, QDir::Files)) {
        if (const QRegularExpressionMatch match = rotated.match(name); match.hasMatch())
            files.emplace_back(match.captured(1).toInt(), name);
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList paths;
    for (const auto& file : files)
        paths << folder.filePath(file.second);
    if (QFileInfo::exists(folder.filePath(QLatin1String(CurrentName))))
        paths << folder.filePath(QLatin1String(CurrentName));
    return paths;
}

std::optional<QByteArray> read(const QString& path, QString* error)
{
    if (path.endsWith(QLatin1String(".gz")))
        return inflated(path, error);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = FileSystem::failure(path, file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = FileSystem::failure(path, file.errorString());
        return std::nullopt;
    }
    return bytes;
}

QList<QByteArray> lines(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

std::optional<QByteArray> lastLine(const QString& dir, QString* error)
{
    const QDir folder(dir);
    for (const char* name : {"verdicts.jsonl", "verdicts.jsonl.1", "verdicts.jsonl.1.gz"}) {
        const QString path = folder.filePath(QLatin1String(name));
        if (!QFileInfo::exists(path))
            continue;
        const std::optional<QByteArray> bytes = read(path, error);
        if (!bytes)
            return std::nullopt;
        const QList<QByteArray> all = lines(*bytes);
        if (!all.isEmpty())
            return all.last();
    }
    return QByteArray();
}

} // namespace VerdictLogFiles
