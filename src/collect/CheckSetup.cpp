#include "CheckSetup.h"

#include "ReferenceDigest.h"

std::shared_ptr<const CheckSetup> loadCheckSetup(const QString& folder, const QString& rulesPath,
                                                 ReferenceStore& store, const QString& tool, QString* error)
{
    auto setup = std::make_shared<CheckSetup>();
    if (!rulesPath.isEmpty()) {
        if (!(setup->rules = LeagueRules::load(rulesPath, error)) || !setup->rules->loadReferences(error))
            return nullptr;
    }
    setup->reference = std::make_unique<ReferenceFolder>(folder);
    std::vector<const Car*> cars;
    for (const Car& car : CarCatalogue::cars())
        cars.push_back(&car);
    setup->reference->loadGenuine(cars, store);
    if (setup->rules) {
        for (const ReferenceVersion& version : setup->rules->references()) {
            for (const auto& [car, bytes] : version.bytes)
                setup->reference->addVersion(version.name, *car, bytes, store);
        }
    }
    const std::optional<QByteArray> digest = referenceDigest(folder, &setup->digestError);
    setup->proof = {
        {QStringLiteral("reference"), digest ? QJsonValue(QString::fromLatin1(*digest)) : QJsonValue()},
        {QStringLiteral("rules"), setup->rules ? QJsonValue(QString::fromLatin1(setup->rules->sha256())) : QJsonValue()},
        {QStringLiteral("tool"), tool},
    };
    return setup;
}
