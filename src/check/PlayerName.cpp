#include "PlayerName.h"

#include "CarCatalogue.h"

#include <climits>
#include <cstdlib>

namespace PlayerName {

namespace {

QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.first(slash);
}

} // namespace

bool isGameFolder(QByteArrayView name)
{
    if (name.compare("Cars", Qt::CaseInsensitive) == 0)
        return true;
    for (const Car& car : CarCatalogue::cars()) {
        if (name.compare(car.listEntry.toLatin1(), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray ofFolder(const QByteArray& folder)
{
    QByteArray path = withoutTrailingSlashes(folder);
    bool real = false;
    for (;;) {
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        if (name.isEmpty() || name == "." || name == "..") {
            // Only the real path says what "." is called; the root has no name.
            char resolved[PATH_MAX];
            if (real || !::realpath(path.isEmpty() ? "/" : path.constData(), resolved))
                return QByteArray();
            path = withoutTrailingSlashes(QByteArray(resolved));
            real = true;
            continue;
        }
        if (!isGameFolder(name))
            return name;
        path = withoutTrailingSlashes(parentOf(path));
    }
}

QByteArray ofFile(const QByteArray& file)
{
    return ofFolder(parentOf(withoutTrailingSlashes(file)));
}

} // namespace PlayerName
