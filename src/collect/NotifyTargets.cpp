#include "NotifyTargets.h"

#include "FileSystem.h"

#include <QFile>

#include <algorithm>

#include <sys/stat.h>

namespace {

// A few addresses; anything far larger is not such a file.
constexpr qint64 LargestFile = 64 * 1024;

QString located(const QString& path, int line, const QString& what)
{
    return QStringLiteral("%1:%2: %3").arg(path, QString::number(line), what);
}

} // namespace

namespace NotifyTargets {

std::optional<std::vector<QUrl>> load(const QString& path, QString* error, QString* warning)
{
    QByteArray bytes;
    struct stat status {};
    if (!FileSystem::readAllEncoded(QFile::encodeName(path), path, &bytes, error, LargestFile, &status))
        return std::nullopt;
    if (status.st_mode & (S_IRGRP | S_IROTH))
        *warning = QStringLiteral("%1: other users may read it, and a webhook's address lets anyone post to it: "
                                  "make it readable by the collector alone (chmod 600)")
                       .arg(path);
    return parse(bytes, path, error);
}

std::optional<std::vector<QUrl>> parse(const QByteArray& bytes, const QString& path, QString* error)
{
    std::vector<QUrl> targets;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const int number = int(index) + 1;
        const QByteArray line = lines[index].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url(QString::fromUtf8(line), QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https") || url.host().isEmpty()
            || url.hasFragment()) {
            *error = located(path, number, QStringLiteral("not an http:// or https:// address (one a line; "
                                                          "blank lines and # comments aside)"));
            return std::nullopt;
        }
        if (std::find(targets.begin(), targets.end(), url) != targets.end()) {
            *error = located(path, number, QStringLiteral("this address is listed twice"));
            return std::nullopt;
        }
        if (targets.size() == MostTargets) {
            *error = located(path, number, QStringLiteral("more than %1 addresses").arg(MostTargets));
            return std::nullopt;
        }
        targets.push_back(url);
    }
    return targets;
}

QString shown(const QUrl& url)
{
    QUrl bare;
    bare.setScheme(url.scheme());
    bare.setHost(url.host());
    bare.setPort(url.port(url.scheme() == u"https" ? 443 : 80));
    return bare.toString(QUrl::FullyEncoded) + QStringLiteral("/…");
}

} // namespace NotifyTargets
