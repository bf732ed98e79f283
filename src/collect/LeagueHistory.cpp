#include "LeagueHistory.h"

#include "CarCatalogue.h"
#include "FileSystem.h"
#include "PublicRecord.h"

#include "VerdictLogFiles.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

namespace {

QString text(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

bool deviates(const QString& status)
{
    return status == QLatin1String("tweaked") || status == QLatin1String("damaged")
        || status == QLatin1String("allowed");
}

} // namespace

bool LeagueHistory::backToGenuine(const QString& status)
{
    return status == QLatin1String("genuine") || status == QLatin1String("formatting");
}

// A refusal names the file the player announced, not its car.
QString LeagueHistory::carOf(const QJsonObject& record)
{
    if (record.contains(QLatin1String("car")))
        return text(record, "car");
    const ::Car* car = CarCatalogue::carOfDescriptorName(text(record, "name"));
    return car ? car->listEntry : QString();
}

LeagueHistory::LeagueHistory(QString publicDir)
    : m_publicDir(std::move(publicDir))
{
}

void LeagueHistory::add(const QJsonObject& record)
{
    const QString player = text(record, "player");
    if (player.isEmpty())
        return;
    Car& car = m_players[player][carOf(record)];
    const QString status = text(record, "status");
    const QString time = text(record, "time");
    // A refusal or a partial file is a transfer, never the car's latest verdict.
    const bool refused = status == QLatin1String("refused") || status == QLatin1String("partial");
    car.transfers.push_back({time, status, text(record, "version"), text(record, "reference"), text(record, "rules"),
                             refused ? text(record, "code") : QString()});
    if (car.transfers.size() > MostKept)
        car.transfers.pop_front();
    ++car.transferCount;
    if (refused)
        return;
    car.latest = record;
    car.latestLine = QJsonDocument(m_publicDir.isEmpty() ? record : PublicRecord::of(record, m_publicDir))
                         .toJson(QJsonDocument::Compact);
    car.evidence.clear();
    const bool deviating = !car.deviations.empty() && car.deviations.back().back.isEmpty();
    if (deviates(status) && !deviating) {
        car.deviations.push_back({time, status, QString()});
        // The first is kept, and the latest.
        if (car.deviations.size() > MostKept)
            car.deviations.erase(car.deviations.begin() + 1);
    }
    else if (backToGenuine(status) && deviating)
        car.deviations.back().back = time;
}

void LeagueHistory::setEvidence(const QString& player, const QString& car, const QString& time,
                                const QByteArray& evidence)
{
    const auto cars = m_players.find(player);
    if (cars == m_players.end())
        return;
    const auto found = cars->second.find(car);
    if (found != cars->second.end() && text(found->second.latest, "time") == time)
        found->second.evidence = evidence;
}

LeagueHistory::Loaded LeagueHistory::load(const QString& dir)
{
    Loaded loaded;
    for (const QString& path : VerdictLogFiles::inOrder(dir)) {
        QString error;
        const std::optional<QByteArray> bytes = VerdictLogFiles::read(path, &error);
        if (!bytes) {
            loaded.failures << error;
            continue;
        }
        qint64 records = 0;
        for (const QByteArray& line : VerdictLogFiles::lines(*bytes)) {
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (!document.isObject()) {
                ++loaded.unreadable;
                continue;
            }
            add(document.object());
            ++records;
        }
        loaded.files.push_back({QFileInfo(path).fileName(), records});
        loaded.records += records;
    }
    return loaded;
}

const LeagueHistory::Cars* LeagueHistory::player(const QString& name) const
{
    const auto found = m_players.find(name);
    return found == m_players.end() ? nullptr : &found->second;
}

QString LeagueHistory::latestStatus(const QString& player, const QString& car) const
{
    const Cars* cars = this->player(player);
    const auto found = cars ? cars->find(car) : Cars::const_iterator();
    return cars && found != cars->end() ? text(found->second.latest, "status") : QString();
}

QByteArray LeagueHistory::latestRecords() const
{
    QByteArray records = "[";
    for (const auto& [name, cars] : m_players) {
        for (const auto& [carName, car] : cars) {
            if (car.latestLine.isEmpty())
                continue;
            if (records.size() > 1)
                records += ',';
            records += car.latestLine;
        }
    }
    return records + "]\n";
}
