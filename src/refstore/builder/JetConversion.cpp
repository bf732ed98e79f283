#include "JetConversion.h"

#include "CarCatalogue.h"
#include "JetReferenceStore.h"
#include "ReferenceBuilder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <vector>

bool convertJetReference(const JetDatabasePath& from, const SqliteDatabasePath& to, QString* error)
{
    // The original is the data set the user has; a conversion never takes its place.
    const QFileInfo in(from.path);
    const QFileInfo out(to.path);
    if (out.exists() && in.canonicalFilePath() == out.canonicalFilePath()) {
        *error = QStringLiteral("%1: the converted database cannot replace the one it is read from")
                     .arg(QDir::toNativeSeparators(to.path));
        return false;
    }

    std::unique_ptr<JetReferenceStore> jet = JetReferenceStore::open(from.path, QStringLiteral("Codes"), error);
    if (!jet)
        return false;
    std::vector<QByteArray> keys[CarCatalogue::CarCount];
    for (int car = 1; car <= CarCatalogue::CarCount; ++car) {
        std::vector<QByteArray>& carKeys = keys[car - 1];
        if (!jet->readKeys(CarCatalogue::cars()[car - 1].indexName, &carKeys, error))
            return false;
        std::sort(carKeys.begin(), carKeys.end());
        carKeys.erase(std::unique(carKeys.begin(), carKeys.end()), carKeys.end());
    }

    ReferenceBuilder builder;
    if (!builder.create(to.path, error))
        return false;
    for (int car = 1; car <= CarCatalogue::CarCount; ++car) {
        for (const QByteArray& key : keys[car - 1]) {
            if (!builder.addKey(car, key, error))
                return false;
        }
    }
    return builder.finish(std::nullopt, error);
}
