#include "JetConversion.h"

#include "JetReferenceStore.h"
#include "ReferenceBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

bool convertJetReference(const QString& jetPath, const QString& sqlitePath, QString* error)
{
    // Building starts by removing the output, which must not be the input.
    const QFileInfo in(jetPath);
    const QFileInfo out(sqlitePath);
    if (out.exists() && in.canonicalFilePath() == out.canonicalFilePath()) {
        *error = QStringLiteral("%1: the converted database cannot replace the one it is read from")
                     .arg(QDir::toNativeSeparators(sqlitePath));
        return false;
    }

    std::unique_ptr<JetReferenceStore> jet = JetReferenceStore::open(jetPath, QStringLiteral("Codes"), error);
    if (!jet)
        return false;
    std::vector<QByteArray> keys[ReferenceBuilder::CarCount];
    for (int car = 1; car <= ReferenceBuilder::CarCount; ++car) {
        std::vector<QByteArray>& carKeys = keys[car - 1];
        if (!jet->readKeys(QStringLiteral("Car%1").arg(car), &carKeys, error))
            return false;
        std::sort(carKeys.begin(), carKeys.end());
        carKeys.erase(std::unique(carKeys.begin(), carKeys.end()), carKeys.end());
    }

    ReferenceBuilder builder;
    bool built = builder.create(sqlitePath, error);
    for (int car = 1; built && car <= ReferenceBuilder::CarCount; ++car) {
        for (const QByteArray& key : keys[car - 1]) {
            if (!(built = builder.addKey(car, key, error)))
                break;
        }
    }
    built = built && builder.finish(std::nullopt, error);
    if (!built)
        QFile::remove(sqlitePath);
    return built;
}
