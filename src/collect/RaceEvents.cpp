#include "RaceEvents.h"

#include "CarCatalogue.h"
#include "FileSystem.h"
#include "Roster.h"
#include "TomlText.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <toml++/toml.h>

#include <algorithm>
#include <set>

namespace {

constexpr qint64 LargestEventsFile = 4 * 1024 * 1024;

std::optional<QDateTime> dateTimeOf(const toml::node& node)
{
    const toml::date_time* value = node.as_date_time() ? &node.as_date_time()->get() : nullptr;
    if (!value || !value->offset)
        return std::nullopt;
    const QDate date(value->date.year, value->date.month, value->date.day);
    const QTime time(value->time.hour, value->time.minute, value->time.second, int(value->time.nanosecond / 1'000'000));
    return QDateTime(date, time, QTimeZone(value->offset->minutes * 60));
}

} // namespace

QString RaceEvent::timeText(const QDateTime& time)
{
    const bool utc = time.offsetFromUtc() == 0;
    const QString text = time.toString(time.time().msec() ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                                          : QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (utc)
        return text + u'Z';
    return text + time.timeZone().displayName(QTimeZone::StandardTime, QTimeZone::OffsetName).mid(3);
}

bool RaceEvent::hasEntrant(const QByteArray& player) const
{
    return std::find(entrants.begin(), entrants.end(), player) != entrants.end();
}

std::optional<std::vector<RaceEvent>> loadRaceEvents(const QString& path, const Roster& roster, QString* error)
{
    QByteArray bytes;
    if (!FileSystem::readAll(path, &bytes, error, LargestEventsFile, FileSystem::PathRules::Exact))
        return std::nullopt;
    return parseRaceEvents(bytes, path, roster, error);
}

std::optional<std::vector<RaceEvent>> parseRaceEvents(const QByteArray& bytes, const QString& path, const Roster& roster,
                                                      QString* error)
{
    toml::table document;
    const std::string source = path.toStdString();
    try {
        document = toml::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())), std::string_view(source));
    } catch (const toml::parse_error& failure) {
        *error = tomlLocated(path, failure.source(), tomlText(failure.description()));
        return std::nullopt;
    }
    const auto fail = [&](const toml::source_region& where, const QString& what) {
        *error = tomlLocated(path, where, what);
        return std::nullopt;
    };
    for (auto&& [key, node] : document) {
        if (key.str() != "event")
            return fail(key.source(), QStringLiteral("unknown key \"%1\" (expected [[event]] entries)").arg(tomlText(key.str())));
    }
    std::vector<RaceEvent> events;
    const toml::node* list = document.get("event");
    if (!list)
        return events;
    if (!list->is_array_of_tables())
        return fail(list->source(), QStringLiteral("event must be an array of tables: [[event]]"));
    static const QRegularExpression idForm(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    std::set<QString> ids;
    std::vector<QByteArray> everyone = roster.names();
    for (const toml::node& element : *list->as_array()) {
        const toml::table& table = *element.as_table();
        for (auto&& [key, node] : table) {
            static const std::set<std::string_view> known{"id", "name", "opens", "closes", "cars", "entrants"};
            if (!known.count(key.str()))
                return fail(key.source(), QStringLiteral("unknown key \"%1\" in [[event]] (expected id, name, opens, "
                                                         "closes, cars or entrants)")
                                              .arg(tomlText(key.str())));
        }
        RaceEvent event;
        for (const char* needed : {"id", "name", "opens", "closes"}) {
            if (!table.get(needed))
                return fail(table.source(), QStringLiteral("[[event]] has no %1").arg(QLatin1String(needed)));
        }
        const toml::node& id = *table.get("id");
        event.id = tomlText(id.value<std::string_view>().value_or(""));
        if (!idForm.match(event.id).hasMatch())
            return fail(id.source(), QStringLiteral("an event's id is 1 to 64 letters, digits, \"-\" or \"_\""));
        if (!ids.insert(event.id).second)
            return fail(id.source(), QStringLiteral("the id \"%1\" is given twice").arg(event.id));
        const toml::node& name = *table.get("name");
        if (!name.is_string())
            return fail(name.source(), QStringLiteral("name must be a string"));
        event.name = tomlText(name.value<std::string_view>().value_or(""));
        for (const char* key : {"opens", "closes"}) {
            const toml::node& node = *table.get(key);
            const std::optional<QDateTime> time = dateTimeOf(node);
            if (!time)
                return fail(node.source(), QStringLiteral("%1 must be a date-time with its offset, as "
                                                          "2027-03-01T18:00:00Z")
                                               .arg(QLatin1String(key)));
            (key[0] == 'o' ? event.opens : event.closes) = *time;
        }
        if (event.closes <= event.opens)
            return fail(table.get("closes")->source(), QStringLiteral("closes must come after opens"));
        if (const toml::node* cars = table.get("cars")) {
            if (!cars->is_array() || !cars->as_array()->is_homogeneous<std::string>() || cars->as_array()->empty())
                return fail(cars->source(), QStringLiteral("cars must be a list of car names, such as [\"Grelm\"]"));
            for (const toml::node& car : *cars->as_array()) {
                const Car* known = CarCatalogue::carNamed(tomlText(car.value<std::string_view>().value_or("")));
                if (!known)
                    return fail(car.source(), QStringLiteral("there is no car \"%1\"; the cars are %2")
                                                  .arg(tomlText(car.value<std::string_view>().value_or("")),
                                                       CarCatalogue::listEntries().join(QStringLiteral(", "))));
                if (!event.cars.contains(known->listEntry))
                    event.cars << known->listEntry;
            }
        } else {
            event.cars = CarCatalogue::listEntries();
        }
        if (const toml::node* entrants = table.get("entrants")) {
            if (!entrants->is_array() || !entrants->as_array()->is_homogeneous<std::string>())
                return fail(entrants->source(), QStringLiteral("entrants must be a list of player names, such as [\"alice\"]"));
            for (const toml::node& entrant : *entrants->as_array()) {
                const std::string_view name = entrant.value<std::string_view>().value_or("");
                const QByteArray player(name.data(), qsizetype(name.size()));
                if (!roster.tokenSha256Of(player))
                    return fail(entrant.source(),
                                QStringLiteral("\"%1\" is not on the roster").arg(tomlText(name)));
                event.entrants.push_back(player);
            }
        } else {
            event.entrants = everyone;
        }
        events.push_back(std::move(event));
    }
    return events;
}
