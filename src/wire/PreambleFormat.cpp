#include "PreambleFormat.h"

#include "HexText.h"
#include "HmacSha256.h"

#include <algorithm>

namespace wire::preamble {

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
}

} // namespace

bool isValidName(std::string_view name)
{
    if (name.empty() || name.size() > NameLength || name.front() == '-' || name.front() == '_' || name.front() == '.')
        return false;
    return std::all_of(name.begin(), name.end(), isNameCharacter);
}

std::string_view tokenOf(std::string_view bytes)
{
    if (bytes.ends_with("\r\n"))
        bytes.remove_suffix(2);
    else if (bytes.ends_with('\n'))
        bytes.remove_suffix(1);
    return bytes;
}

std::string tokenSha256Hex(std::string_view token)
{
    return toHex(Sha256::of(token));
}

std::string playerLine(std::string_view name)
{
    return std::string(PlayerMarker) + std::string(name) + '|';
}

std::string challengeLine(std::string_view challengeHex)
{
    return std::string(ChallengeMarker) + std::string(challengeHex) + "|\n";
}

bool isChallenge(std::string_view line)
{
    return line.starts_with(ChallengeMarker) && line.size() == ChallengeMarker.size() + 2 * ChallengeBytes + 1
        && line.back() == '|' && isLowerHex(line.substr(ChallengeMarker.size(), 2 * ChallengeBytes), 2 * ChallengeBytes);
}

std::string proofLine(std::string_view proofHex)
{
    return std::string(ProofMarker) + std::string(proofHex) + '|';
}

std::string storedLine(std::string_view status)
{
    return std::string(StoredMarker) + std::string(status) + "|\n";
}

std::string refusedLine(std::string_view code, std::string_view words)
{
    std::string plain(words);
    std::replace(plain.begin(), plain.end(), '|', '/');
    std::replace(plain.begin(), plain.end(), '\n', ' ');
    std::replace(plain.begin(), plain.end(), '\r', ' ');
    return std::string(RefusedMarker) + std::string(code) + '|' + plain + "|\n";
}

std::string proofHex(std::string_view keyHex, std::string_view challengeHex, std::string_view name,
                     std::string_view fileInfoHeader)
{
    HmacSha256 code(fromHex(keyHex).value_or(std::string()));
    code.add(challengeHex);
    code.add("|");
    code.add(name);
    code.add("|");
    code.add(fileInfoHeader);
    return toHex(code.finish());
}

bool proofHolds(std::string_view proof, std::string_view keyHex, std::string_view challengeHex, std::string_view name,
                std::string_view fileInfoHeader)
{
    if (!isLowerHex(proof, ProofDigits))
        return false;
    const std::string expected = proofHex(keyHex, challengeHex, name, fileInfoHeader);
    unsigned char difference = 0;
    for (std::size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ proof[i]);
    return difference == 0;
}

} // namespace wire::preamble
