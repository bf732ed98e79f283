#include "CheckSetup.h"

#include "ReferenceDigest.h"

std::shared_ptr<const CheckSetup> loadCheckSetup(const QString& folder, const QString& rulesPath,
                                                 ReferenceStore& store, const QString& tool, QString* error,
                                                 const std::optional<std::vector<const Car*>>& cars)
{
    auto setup = std::make_shared<CheckSetup>();
    if (!rulesPath.isEmpty()) {
        if (!(setup->rules = LeagueRules::load(rulesPath, error)) || !setup->rules->loadReferences(error))
            return nullptr;
    }
    setup->reference = std::make_unique<ReferenceFolder>(folder);
    std::vector<const Car*> every;
    for (const Car& car : CarCatalogue::cars())
        every.push_back(&car);
    setup->reference->loadGenuine(cars.value_or(every), store);
    if (setup->rules) {
        for (const ReferenceVersion& version : setup->rules->references()) {
            for (const auto& [car, bytes] : version.bytes)
                setup->reference->addVersion(version.name, *car, bytes, store);
        }
    }
    setup->digest = referenceDigest(folder, &setup->digestError);
    setup->proof = {
        {QStringLiteral("reference"), setup->digest ? QJsonValue(QString::fromLatin1(*setup->digest)) : QJsonValue()},
        {QStringLiteral("rules"), setup->rules ? QJsonValue(QString::fromLatin1(setup->rules->sha256())) : QJsonValue()},
        {QStringLiteral("tool"), tool},
    };
    return setup;
}
