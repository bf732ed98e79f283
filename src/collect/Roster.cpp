#include "Roster.h"

#include "FileSystem.h"
#include "PlayerPreamble.h"
#include "TomlText.h"

#include <QFile>

#include <toml++/toml.h>

#include <set>

#include <sys/stat.h>

namespace {

// A roster is a list of names and hashes; anything far larger is not one.
constexpr qint64 LargestRoster = 4 * 1024 * 1024;

bool isHexDigest(std::string_view text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// Hashes anyone can read: the examples' placeholder, which no token has,
// and the hash of the token the documentation shows. A roster entry with
// either would be a door open to everyone who read it.
const char* publishedHash(const QByteArray& lowerHex)
{
    if (lowerHex == QByteArray(64, '0'))
        return "the examples' placeholder";
    if (lowerHex == "717cd060a2987b10019e39d9fe91a4eb01b033792c8ef73ca9fe0df956e5e137")
        return "the hash of the token Kestrix's documentation shows";
    return nullptr;
}

constexpr qsizetype LongestDisplay = 64;

// What a display name may not hold: control characters, and those that
// turn the direction of the text around it.
bool shownSafely(const QString& display)
{
    for (const char32_t c : display.toUcs4()) {
        if (QChar::category(c) == QChar::Other_Control || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)
            || c == 0x200E || c == 0x200F || c == 0x061C)
            return false;
    }
    return true;
}

} // namespace

bool Roster::isCollectorFile(QByteArrayView name)
{
    const QByteArray lower = name.toByteArray().toLower();
    return lower == "verdicts.jsonl" || lower.startsWith("verdicts.jsonl.") || lower == "events";
}

QByteArray Roster::entry(QByteArrayView name, QByteArrayView tokenSha256Hex)
{
    return "[[player]]\nname = \"" + name.toByteArray() + "\"\ntoken_sha256 = \"" + tokenSha256Hex.toByteArray()
        + "\"\n";
}

std::optional<Roster> Roster::load(const QString& path, QString* error, QString* warning)
{
    QByteArray bytes;
    struct stat status {};
    if (!FileSystem::readAllEncoded(QFile::encodeName(path), path, &bytes, error, LargestRoster, &status))
        return std::nullopt;
    // Whoever may write it may name players and their tokens.
    if (status.st_mode & (S_IWGRP | S_IWOTH)) {
        *error = QStringLiteral("%1: other users may write it, and so add players or change their tokens: "
                                "make it writable by its owner alone (chmod 600)")
                     .arg(path);
        return std::nullopt;
    }
    if (status.st_mode & (S_IRGRP | S_IROTH))
        *warning = QStringLiteral("%1: other users may read it, and its token hashes are as secret as the tokens: "
                                  "make it readable by the collector alone (chmod 600)")
                       .arg(path);
    return parse(bytes, path, error);
}

std::optional<Roster> Roster::parse(const QByteArray& bytes, const QString& path, QString* error)
{
    toml::table document;
    const std::string source = path.toStdString();
    try {
        document = toml::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())), std::string_view(source));
    } catch (const toml::parse_error& failure) {
        *error = tomlLocated(path, failure.source(), QString::fromUtf8(failure.description().data(),
                                                                    qsizetype(failure.description().size())));
        return std::nullopt;
    }
    const auto fail = [&](const toml::source_region& where, const QString& what) {
        *error = tomlLocated(path, where, what);
        return std::nullopt;
    };
    for (auto&& [key, node] : document) {
        if (key.str() != "player")
            return fail(key.source(), QStringLiteral("unknown key \"%1\" (expected [[player]] entries)")
                                          .arg(QString::fromUtf8(key.str().data(), qsizetype(key.str().size()))));
    }
    Roster roster;
    const toml::node* players = document.get("player");
    if (!players)
        return roster;
    const toml::array* list = players->as_array();
    if (!list || !list->is_array_of_tables())
        return fail(players->source(), QStringLiteral("player must be an array of tables: [[player]]"));
    std::set<QByteArray> lowerNames;
    for (const toml::node& element : *list) {
        const toml::table& table = *element.as_table();
        for (auto&& [key, node] : table) {
            if (key.str() != "name" && key.str() != "token_sha256" && key.str() != "display")
                return fail(key.source(), QStringLiteral("unknown key \"%1\" in [[player]] (expected name, "
                                                         "token_sha256 or display)")
                                              .arg(QString::fromUtf8(key.str().data(), qsizetype(key.str().size()))));
        }
        const toml::node* nameNode = table.get("name");
        const toml::node* hashNode = table.get("token_sha256");
        if (!nameNode)
            return fail(table.source(), QStringLiteral("[[player]] has no name"));
        if (!hashNode)
            return fail(table.source(), QStringLiteral("[[player]] has no token_sha256"));
        const std::optional<std::string_view> name = nameNode->value<std::string_view>();
        if (!name || !PlayerPreamble::isValidName(QByteArrayView(name->data(), qsizetype(name->size()))))
            return fail(nameNode->source(),
                        QStringLiteral("a player's name is 1 to 64 letters, digits, \"-\", \"_\" or \".\" (ASCII), "
                                       "beginning with a letter or a digit"));
        const QByteArray playerName(name->data(), qsizetype(name->size()));
        if (isCollectorFile(playerName))
            return fail(nameNode->source(),
                        QStringLiteral("\"%1\" is the name of the collector's own file").arg(QString::fromLatin1(playerName)));
        if (!lowerNames.insert(playerName.toLower()).second)
            return fail(nameNode->source(),
                        QStringLiteral("\"%1\" is listed twice (letter case aside)").arg(QString::fromLatin1(playerName)));
        const std::optional<std::string_view> hash = hashNode->value<std::string_view>();
        if (!hash || !isHexDigest(*hash))
            return fail(hashNode->source(), QStringLiteral("token_sha256 must be a SHA-256 of 64 hex digits"));
        const QByteArray lowerHex = QByteArray(hash->data(), qsizetype(hash->size())).toLower();
        if (const char* published = publishedHash(lowerHex))
            return fail(hashNode->source(),
                        QStringLiteral("the token_sha256 of \"%1\" is %2, which anyone may read: make the player a token "
                                       "of their own with kestrix-collect --new-token %1")
                            .arg(QString::fromLatin1(playerName), QString::fromLatin1(published)));
        roster.m_players[playerName] = lowerHex;
        if (const toml::node* displayNode = table.get("display")) {
            const std::optional<std::string_view> display = displayNode->value<std::string_view>();
            const QString text = display ? QString::fromUtf8(display->data(), qsizetype(display->size())) : QString();
            if (text.trimmed().isEmpty() || text.toUcs4().size() > LongestDisplay || !shownSafely(text))
                return fail(displayNode->source(),
                            QStringLiteral("a display name is text of 1 to 64 characters, without control characters "
                                           "or ones that change the direction of text"));
            roster.m_display[playerName] = text;
        }
    }
    return roster;
}

std::optional<QByteArray> Roster::tokenSha256Of(QByteArrayView name) const
{
    const auto found = m_players.find(name.toByteArray());
    if (found == m_players.end())
        return std::nullopt;
    return found->second;
}

QString Roster::displayOf(QByteArrayView name) const
{
    const auto found = m_display.find(name.toByteArray());
    return found == m_display.end() ? QString() : found->second;
}

std::vector<QByteArray> Roster::names() const
{
    std::vector<QByteArray> names;
    for (const auto& [name, hash] : m_players)
        names.push_back(name);
    return names;
}
