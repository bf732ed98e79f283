#include "LeagueRules.h"

#include "Cp1252.h"
#include "DescriptorText.h"
#include "FileSystem.h"
#include "TomlText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <toml++/toml.h>

#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace {

// A rules file is a page or two of text; anything far larger is not one.
constexpr qint64 LargestRulesFile = 1024 * 1024;

// Above this many, explain counts a rule's matches instead of listing them.
constexpr std::size_t ListedMatches = 6;

QString carNames()
{
    return CarCatalogue::listEntries().join(QStringLiteral(", "));
}

// The car listed exactly so, letter case included.
const Car* carListedAs(const QString& name)
{
    for (const Car& car : CarCatalogue::cars()) {
        if (car.listEntry == name)
            return &car;
    }
    return nullptr;
}

bool isDigest(const QString& text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!(c >= u'0' && c <= u'9') && !(c >= u'a' && c <= u'f') && !(c >= u'A' && c <= u'F'))
            return false;
    }
    return true;
}

// The genuine values of a version of car that rule matches and yet does not
// allow: a player who keeps them, or moves from them, is judged against a
// range or list that the genuine file itself breaks.
QStringList valuesOutside(const AllowRule& rule, const Car& car, const DescriptorText& text, const QString& version)
{
    QStringList warnings;
    for (const TextLine& line : text.lines()) {
        if (line.kind != TextLine::Kind::Key || !line.inSection)
            continue;
        const QString section = fromCp1252(line.section);
        const QString key = fromCp1252(line.key);
        QString reason;
        if (rule.matchesName(section, key) && !rule.allowsValue(key, line.value, &reason))
            warnings << QStringLiteral("warning: rule at line %1: the genuine %2 [%3] %4 of version \"%5\" already "
                                       "lies outside it: %6")
                            .arg(QString::number(rule.line), car.listEntry, section, key, version, reason);
    }
    return warnings;
}

// What is wrong with a rules file: the fault that comes first in it is the
// one reported, whatever order the tables are read in.
class Faults
{
public:
    void add(const toml::source_region& where, const QString& what)
    {
        const std::pair<quint32, quint32> at{where.begin.line, where.begin.column};
        if (m_what.isEmpty() || at < m_at) {
            m_at = at;
            m_what = what;
        }
    }
    bool any() const { return !m_what.isEmpty(); }
    QString message(const QString& path) const
    {
        return tomlLocated(path, m_at.first, m_at.second, m_what);
    }

    std::optional<QString> string(const toml::node& node, const char* name)
    {
        if (const toml::value<std::string>* text = node.as_string())
            return tomlText(text->get());
        add(node.source(), QStringLiteral("%1 must be a string").arg(QLatin1String(name)));
        return std::nullopt;
    }
    std::optional<bool> boolean(const toml::node& node, const char* name)
    {
        if (const toml::value<bool>* value = node.as_boolean())
            return value->get();
        add(node.source(), QStringLiteral("%1 must be true or false").arg(QLatin1String(name)));
        return std::nullopt;
    }
    // An integer counts as a number.
    std::optional<double> number(const toml::node& node, const char* name)
    {
        std::optional<double> number;
        if (const toml::value<std::int64_t>* integer = node.as_integer())
            number = double(integer->get());
        else if (const toml::value<double>* floating = node.as_floating_point())
            number = floating->get();
        if (!number) {
            add(node.source(), QStringLiteral("%1 must be a number").arg(QLatin1String(name)));
            return std::nullopt;
        }
        if (!std::isfinite(*number)) {
            add(node.source(), QStringLiteral("%1 must be a finite number").arg(QLatin1String(name)));
            return std::nullopt;
        }
        return number;
    }
    void unknownKey(const toml::key& key, const char* table, const char* expected)
    {
        add(key.source(),
            QStringLiteral("unknown key \"%1\" in %2 (expected %3)")
                .arg(tomlText(key.str()), QLatin1String(table), QLatin1String(expected)));
    }

private:
    std::pair<quint32, quint32> m_at;
    QString m_what;
};

std::optional<bool> readFormatting(const toml::node& node, Faults& faults)
{
    const toml::table* table = node.as_table();
    if (!table) {
        faults.add(node.source(), QStringLiteral("formatting must be a table: [formatting]"));
        return std::nullopt;
    }
    std::optional<bool> ignore;
    for (auto&& [key, value] : *table) {
        if (key.str() == "ignore")
            ignore = faults.boolean(value, "ignore");
        else
            faults.unknownKey(key, "[formatting]", "ignore");
    }
    return ignore;
}

void readCar(const toml::node& node, AllowRule* rule, Faults& faults)
{
    const std::optional<QString> name = faults.string(node, "car");
    if (!name || *name == u'*')
        return;
    rule->car = carListedAs(*name);
    if (!rule->car)
        faults.add(node.source(), QStringLiteral("no car is listed as \"%1\" (cars: %2, or \"*\" for every car)")
                                      .arg(*name, carNames()));
}

void readValues(const toml::node& node, AllowRule* rule, Faults& faults)
{
    const toml::array* values = node.as_array();
    if (!values) {
        faults.add(node.source(), QStringLiteral("values must be an array of strings"));
        return;
    }
    if (values->empty())
        faults.add(node.source(), QStringLiteral("values lists no value"));
    for (const toml::node& value : *values) {
        if (const toml::value<std::string>* text = value.as_string())
            rule->values << tomlText(text->get());
        else
            faults.add(value.source(), QStringLiteral("values must be an array of strings"));
    }
}

AllowRule readAllow(const toml::table& table, Faults& faults)
{
    AllowRule rule;
    rule.line = table.source().begin.line;
    std::set<std::string_view> given;
    bool unknown = false;
    const toml::node* minNode = nullptr;
    const toml::node* valuesNode = nullptr;
    for (auto&& [key, node] : table) {
        const std::string_view name = key.str();
        given.insert(name);
        if (name == "car") {
            readCar(node, &rule, faults);
        } else if (name == "section") {
            rule.section = faults.string(node, "section").value_or(QString());
        } else if (name == "key") {
            rule.key = faults.string(node, "key").value_or(QString());
        } else if (name == "min") {
            rule.min = faults.number(node, "min");
            minNode = &node;
        } else if (name == "max") {
            rule.max = faults.number(node, "max");
        } else if (name == "values") {
            readValues(node, &rule, faults);
            valuesNode = &node;
        } else if (name == "optional") {
            rule.optional = faults.boolean(node, "optional").value_or(false);
        } else {
            faults.unknownKey(key, "[[allow]]", "car, section, key, min, max, values or optional");
            unknown = true;
        }
    }
    // A misspelt key is reported as such, not as the key it left out.
    if (!unknown) {
        for (const char* needed : {"car", "section", "key"}) {
            if (!given.count(needed))
                faults.add(table.source(), QStringLiteral("[[allow]] has no %1").arg(QLatin1String(needed)));
        }
    }
    if (rule.min && rule.max && *rule.min > *rule.max)
        faults.add(minNode->source(), QStringLiteral("min %1 is above max %2").arg(numberText(*rule.min),
                                                                                    numberText(*rule.max)));
    if (valuesNode && (given.count("min") || given.count("max")))
        faults.add(valuesNode->source(), QStringLiteral("values cannot go with min or max"));
    return rule;
}

void readDigests(const toml::node& node, ReferenceVersion* version, Faults& faults)
{
    const toml::table* table = node.as_table();
    if (!table) {
        faults.add(node.source(), QStringLiteral("sha256 must be a table of digests, as sha256.Brackwell = \"…\""));
        return;
    }
    for (auto&& [key, digest] : *table) {
        const Car* car = carListedAs(tomlText(key.str()));
        if (!car) {
            faults.add(key.source(), QStringLiteral("sha256.%1 names no car (cars: %2)").arg(tomlText(key.str()),
                                                                                           carNames()));
            continue;
        }
        const toml::value<std::string>* text = digest.as_string();
        if (!text || !isDigest(tomlText(text->get()))) {
            faults.add(digest.source(),
                       QStringLiteral("sha256.%1 must be a SHA-256 of 64 hex digits").arg(car->listEntry));
            continue;
        }
        version->sha256[car] = tomlText(text->get()).toLower().toLatin1();
    }
}

// A reference version and where its name stands in the file.
struct NamedVersion {
    ReferenceVersion version;
    const toml::node* nameNode = nullptr;
};

NamedVersion readReference(const toml::table& table, const QDir& base, Faults& faults)
{
    NamedVersion named;
    ReferenceVersion& version = named.version;
    version.line = table.source().begin.line;
    bool unknown = false;
    bool hasFolder = false;
    for (auto&& [key, node] : table) {
        const std::string_view name = key.str();
        if (name == "name") {
            named.nameNode = &node;
            version.name = faults.string(node, "name").value_or(QString());
            if (node.is_string() && version.name.isEmpty())
                faults.add(node.source(), QStringLiteral("name is empty"));
        } else if (name == "folder") {
            hasFolder = true;
            const std::optional<QString> folder = faults.string(node, "folder");
            if (folder && folder->isEmpty())
                faults.add(node.source(), QStringLiteral("folder is empty; \".\" is the rules file's own folder"));
            else if (folder)
                version.folder = QDir::cleanPath(base.absoluteFilePath(*folder));
        } else if (name == "sha256") {
            readDigests(node, &version, faults);
        } else {
            faults.unknownKey(key, "[[reference]]", "name, folder or sha256");
            unknown = true;
        }
    }
    if (unknown)
        return named;
    if (!named.nameNode)
        faults.add(table.source(), QStringLiteral("[[reference]] has no name"));
    if (!hasFolder)
        faults.add(table.source(), QStringLiteral("[[reference]] has no folder"));
    if (!table.contains("sha256"))
        faults.add(table.source(), QStringLiteral("[[reference]] pins no file: add a sha256.<car> = \"…\" line "
                                                  "for each car's .dat file in its folder"));
    return named;
}

// An array of tables, each given to read; false when node is something else.
template<typename Read>
bool eachTable(const toml::node& node, const char* name, Faults& faults, Read read)
{
    const toml::array* array = node.as_array();
    if (!array || !array->is_array_of_tables()) {
        faults.add(node.source(), QStringLiteral("%1 must be an array of tables: [[%1]]").arg(QLatin1String(name)));
        return false;
    }
    for (const toml::node& element : *array)
        read(*element.as_table());
    return true;
}

} // namespace

std::optional<LeagueRules> LeagueRules::load(const QString& path, QString* error)
{
    QByteArray bytes;
    if (!FileSystem::readAll(path, &bytes, error, LargestRulesFile, FileSystem::PathRules::Exact))
        return std::nullopt;
    return parse(bytes, path, error);
}

std::optional<LeagueRules> LeagueRules::parse(const QByteArray& bytes, const QString& path, QString* error)
{
    toml::table document;
    const std::string source = path.toStdString();
    try {
        document = toml::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())),
                               std::string_view(source));
    } catch (const toml::parse_error& failure) {
        const toml::source_position& where = failure.source().begin;
        *error = tomlLocated(path, where.line, where.column, tomlText(failure.description()));
        return std::nullopt;
    }

    LeagueRules rules;
    rules.m_path = path;
    rules.m_sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    rules.m_bytes = bytes;
    const QDir base = QFileInfo(path).absoluteDir();
    Faults faults;
    std::vector<NamedVersion> versions;
    for (auto&& [key, node] : document) {
        const std::string_view name = key.str();
        if (name == "formatting") {
            rules.m_ignoreFormatting = readFormatting(node, faults).value_or(true);
        } else if (name == "allow") {
            eachTable(node, "allow", faults, [&](const toml::table& table) {
                rules.m_allow.push_back(readAllow(table, faults));
            });
        } else if (name == "reference") {
            eachTable(node, "reference", faults, [&](const toml::table& table) {
                versions.push_back(readReference(table, base, faults));
            });
        } else {
            QString shown = QStringLiteral("key \"%1\"");
            if (node.is_table())
                shown = QStringLiteral("table [%1]");
            else if (node.is_array_of_tables())
                shown = QStringLiteral("table [[%1]]");
            faults.add(key.source(), QStringLiteral("unknown %1 (expected [formatting], [[allow]] or [[reference]])")
                                         .arg(shown.arg(tomlText(name))));
        }
    }

    // A verdict names the version it matched, and "original" is the name it
    // gives the program folder's own reference data.
    std::map<QString, qint64> lines;
    for (const NamedVersion& named : versions) {
        const ReferenceVersion& version = named.version;
        if (!named.nameNode || version.name.isEmpty())
            continue;
        if (version.name.compare(QStringLiteral("original"), Qt::CaseInsensitive) == 0)
            faults.add(named.nameNode->source(),
                       QStringLiteral("\"%1\" is the program folder's own reference data; name the version otherwise")
                           .arg(version.name));
        const auto [first, added] = lines.try_emplace(version.name, version.line);
        if (!added)
            faults.add(named.nameNode->source(), QStringLiteral("a reference named \"%1\" is already at line %2")
                                                     .arg(version.name, QString::number(first->second)));
    }
    if (faults.any()) {
        *error = faults.message(path);
        return std::nullopt;
    }
    for (NamedVersion& named : versions)
        rules.m_references.push_back(std::move(named.version));
    return rules;
}

bool LeagueRules::loadReferences(QString* error)
{
    for (ReferenceVersion& version : m_references) {
        if (!version.load(error))
            return false;
    }
    return true;
}

Judgement LeagueRules::judge(const Car& car, const Difference& difference) const
{
    Judgement judgement;
    for (const AllowRule& rule : m_allow) {
        if (!rule.matches(car, difference))
            continue;
        QString reason;
        if (rule.allows(difference, &reason))
            return {true, rule.line, QString()};
        if (judgement.ruleLine == 0) {
            judgement.ruleLine = rule.line;
            judgement.reason = reason;
        }
    }
    return judgement;
}

QStringList LeagueRules::explain(const GenuineSet& genuine) const
{
    QStringList lines;
    lines << QStringLiteral("rules %1 (sha256 %2)").arg(m_path, QString::fromLatin1(m_sha256));
    lines << QStringLiteral("formatting: a file that differs only in formatting counts as %1")
                 .arg(m_ignoreFormatting ? QStringLiteral("genuine") : QStringLiteral("tweaked"));
    for (const AllowRule& rule : m_allow) {
        lines << QStringLiteral("rule at line %1: %2").arg(rule.line).arg(rule.describe());
        QStringList matches;
        QStringList outside;
        std::map<const Car*, int> perCar;
        for (const GenuineDescriptor* descriptor : genuine) {
            if (!descriptor->car || !descriptor->text || !rule.matchesCar(*descriptor->car))
                continue;
            outside << valuesOutside(rule, *descriptor->car, descriptor->text->text,
                                     descriptor->version.isEmpty() ? QStringLiteral("original") : descriptor->version);
            std::set<std::pair<QString, QString>> seen;
            for (const TextLine& line : descriptor->text->text.lines()) {
                if (line.kind != TextLine::Kind::Key || !line.inSection)
                    continue;
                std::pair<QString, QString> name{fromCp1252(line.section), fromCp1252(line.key)};
                if (!rule.matchesName(name.first, name.second) || !seen.insert(name).second)
                    continue;
                ++perCar[descriptor->car];
                matches << QStringLiteral("%1 [%2] %3").arg(descriptor->car->listEntry, name.first, name.second);
            }
        }
        if (matches.isEmpty()) {
            lines << QStringLiteral("warning: rule at line %1 matches no key in any genuine descriptor%2")
                         .arg(rule.line)
                         .arg(rule.optional ? QStringLiteral("; it can only allow the key to be added")
                                            : QString());
        } else if (std::size_t(matches.size()) <= ListedMatches) {
            for (const QString& match : matches)
                lines << QStringLiteral("  matches ") + match;
        } else {
            QStringList counts;
            for (const auto& [car, count] : perCar)
                counts << QStringLiteral("%1 %2").arg(car->listEntry).arg(count);
            lines << QStringLiteral("  matches %1 keys: %2").arg(matches.size()).arg(counts.join(QStringLiteral(", ")));
        }
        for (const ReferenceVersion& version : m_references) {
            for (const auto& [car, bytes] : version.bytes) {
                if (rule.matchesCar(*car))
                    outside << valuesOutside(rule, *car, DescriptorText(bytes), version.name);
            }
        }
        lines << outside;
    }
    for (const ReferenceVersion& version : m_references) {
        QStringList cars;
        for (const auto& [car, digest] : version.sha256)
            cars << car->listEntry;
        lines << QStringLiteral("reference \"%1\" at line %2: %3 in %4")
                     .arg(version.name, QString::number(version.line), cars.join(QStringLiteral(", ")),
                          version.folder);
    }
    return lines;
}
