#include "CollectorAnswer.h"

#include "Connection.h"
#include "FileInfoFormat.h"
#include "PreambleFormat.h"
#include "Utf8Text.h"

#include <chrono>

namespace CollectorAnswer {

namespace {

// Controls and the invisible characters that format text, such as the
// ones that turn its direction: a peer's words must not reshape the line.
bool isHidden(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x600 && c <= 0x605) || c == 0x61C
        || c == 0x6DD || c == 0x70F || c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF
        || (c >= 0xFFF9 && c <= 0xFFFB) || c == 0x110BD || (c >= 0x1D173 && c <= 0x1D17A) || c == 0xE0001
        || (c >= 0xE0020 && c <= 0xE007F);
}

} // namespace

Answer read(Connection& connection, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Answer answer;
    // A byte at a time: the answer is short, and what follows it is not ours to take.
    while (answer.line.size() < LongestAnswer) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const Connection::Wait wait = connection.waitReadable(int(std::max<long long>(0, left)), &answer.error);
        if (wait == Connection::Wait::TimedOut)
            return {Answer::Kind::TimedOut, answer.line, std::string()};
        char byte = 0;
        const long got = wait == Connection::Wait::Failed ? -1 : connection.receive(&byte, 1, &answer.error);
        if (got < 0)
            return {Answer::Kind::Failed, answer.line, answer.error};
        if (got == 0)
            return {Answer::Kind::Closed, answer.line, std::string()};
        if (byte == '\n') {
            answer.kind = Answer::Kind::Line;
            return answer;
        }
        answer.line += byte;
    }
    answer.kind = Answer::Kind::TooLong;
    return answer;
}

std::string fieldShown(const std::string& line, int n)
{
    std::size_t start = 0;
    for (int i = 0; i < n && start != std::string::npos; ++i) {
        start = line.find('|', start);
        start = start == std::string::npos ? start : start + 1;
    }
    if (start == std::string::npos)
        return std::string();
    const std::string_view field = std::string_view(line).substr(start, line.find('|', start) - start);
    std::string shown;
    for (std::size_t at = 0; at < field.size();) {
        const std::optional<char32_t> c = wire::nextUtf8(field, &at);
        wire::appendUtf8(shown, !c ? U'\uFFFD' : isHidden(*c) ? U'?' : *c);
    }
    return shown;
}

std::string refusalOf(const Answer& answer)
{
    if (answer.kind != Answer::Kind::Line || !answer.line.starts_with(wire::preamble::RefusedMarker))
        return std::string();
    const std::string words = fieldShown(answer.line, 2);
    return "refused: " + fieldShown(answer.line, 1) + (words.empty() ? std::string() : " (" + words + ")");
}

std::string unexpected(const Answer& answer, const std::string& peer, const std::string& awaited, int timeoutMs)
{
    if (const std::string refused = refusalOf(answer); !refused.empty())
        return refused;
    switch (answer.kind) {
    case Answer::Kind::Closed:
        return peer + " closed the connection without an " + awaited;
    case Answer::Kind::TimedOut:
        return peer + " sent no " + awaited + " within " + std::to_string(timeoutMs / 1000) + " s";
    case Answer::Kind::TooLong:
        return peer + " sent a line longer than " + std::to_string(LongestAnswer) + " bytes in place of an " + awaited;
    case Answer::Kind::Failed:
        return "the connection failed while waiting for an " + awaited + ": " + answer.error;
    case Answer::Kind::Line:
        break;
    }
    return peer + " sent \"" + wire::shownText(answer.line) + "\" in place of an " + awaited;
}

} // namespace CollectorAnswer
