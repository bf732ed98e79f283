#include "FileSender.h"

#include "CollectorAnswer.h"
#include "Connection.h"
#include "FileInfoFormat.h"
#include "LocalFiles.h"
#include "PreambleFormat.h"
#include "VerdictAdvice.h"
#include "Windows1252.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

constexpr std::size_t BlockSize = 1 << 20;
constexpr auto HeaderPause = std::chrono::milliseconds(100);
constexpr int ConfirmTimeoutMs = 60'000;
// The notes follow the verdict at once; an older collector sends none.
constexpr int NotesTimeoutMs = 5'000;

int fail(const std::string& message)
{
    std::fprintf(stderr, "\nkestrix-send: %s\n", message.c_str());
    return 1;
}

void showProgress(std::int64_t sent, std::int64_t size)
{
    std::fprintf(stderr, "\rkestrix-send: %lld of %lld bytes sent (%lld %%)", static_cast<long long>(sent),
                 static_cast<long long>(size), static_cast<long long>(size ? sent * 100 / size : 100));
}

// What a peer's close or reset after the header means, when it said why.
std::string refusalSaid(Connection& connection)
{
    return CollectorAnswer::refusalOf(CollectorAnswer::read(connection, 1000));
}

// The player's name and proof before the header; false, having said why,
// when the collector does not take them.
bool provePlayer(Connection& connection, const SendTarget& target, const std::string& header, std::string* opening)
{
    namespace P = wire::preamble;
    std::string error;
    if (!connection.sendAll(P::playerLine(*target.player), &error)) {
        fail("sending the player's name failed: " + error);
        return false;
    }
    const CollectorAnswer::Answer challenge = CollectorAnswer::read(connection, ConfirmTimeoutMs);
    if (challenge.kind != CollectorAnswer::Answer::Kind::Line || !P::isChallenge(challenge.line)) {
        const std::string why = CollectorAnswer::unexpected(challenge, target.host + " port " + target.port,
                                                            "answer to the player", ConfirmTimeoutMs);
        // A receiver window reads the preamble as data before a header, and closes.
        fail(challenge.kind != CollectorAnswer::Answer::Kind::Closed
                 ? why
                 : why + ": --player is for a league's kestrix-collect, and a receiver window takes no players");
        return false;
    }
    const std::string challengeHex = challenge.line.substr(P::ChallengeMarker.size(), 2 * P::ChallengeBytes);
    *opening = P::proofLine(P::proofHex(P::tokenSha256Hex(target.token), challengeHex, *target.player, header)) + header;
    return true;
}

// The file's bytes after the header, with progress.
bool sendBytes(Connection& connection, std::FILE* file, const std::string& path, std::int64_t size)
{
    using Clock = std::chrono::steady_clock;
    std::string block(BlockSize, '\0');
    std::int64_t sent = 0;
    Clock::time_point lastShown = Clock::now();
    showProgress(0, size);
    while (sent < size) {
        const std::size_t wanted = std::size_t(std::min<std::int64_t>(std::int64_t(BlockSize), size - sent));
        const std::size_t got = std::fread(block.data(), 1, wanted, file);
        if (got == 0) {
            fail(path + ": reading stopped after " + std::to_string(sent) + " of " + std::to_string(size) + " bytes: "
                 + (std::ferror(file) ? LocalFiles::errorText(errno) : std::string("the file became shorter")));
            return false;
        }
        std::string error;
        if (!connection.sendAll(std::string_view(block).substr(0, got), &error)) {
            if (const std::string refused = refusalSaid(connection); !refused.empty())
                fail(refused);
            else
                fail("the connection failed after " + std::to_string(sent) + " of " + std::to_string(size)
                     + " bytes: " + error);
            return false;
        }
        sent += std::int64_t(got);
        if (Clock::now() - lastShown >= std::chrono::milliseconds(250)) {
            showProgress(sent, size);
            lastShown = Clock::now();
        }
    }
    showProgress(sent, size);
    return true;
}

// The receiver closes only after reading our close, so its close confirms
// it took every byte; a reset means bytes were left unread.
int confirmTaken(Connection& connection, const SendTarget& target, const std::string& name, std::int64_t size)
{
    connection.shutdownSending();
    std::string error;
    if (connection.waitReadable(ConfirmTimeoutMs, &error) != Connection::Wait::Readable)
        return fail("the receiver did not close the connection within " + std::to_string(ConfirmTimeoutMs / 1000) + " s");
    char extra = 0;
    const long tail = connection.receive(&extra, 1, &error, true);
    if (tail > 0) {
        if (const std::string refused = refusalSaid(connection); !refused.empty())
            return fail(refused);
        return fail("the receiver sent data, which it never should");
    }
    if (tail < 0)
        return fail("the receiver dropped the connection: " + error);
    std::fprintf(stderr, "\nkestrix-send: sent %s (%lld bytes) to %s port %s\n", name.c_str(), static_cast<long long>(size),
                 target.host.c_str(), target.port.c_str());
    return 0;
}

// A collector answers a player once the file is kept and checked, then
// notes what it found, then closes. Our side stays open meanwhile: the
// collector takes a close for the end of the connection, and would have no
// one left to answer.
int confirmChecked(Connection& connection)
{
    const CollectorAnswer::Answer answer = CollectorAnswer::read(connection, ConfirmTimeoutMs);
    if (answer.kind != CollectorAnswer::Answer::Kind::Line || !answer.line.starts_with(wire::preamble::StoredMarker))
        return fail(CollectorAnswer::unexpected(answer, "the collector", "answer about the file", ConfirmTimeoutMs));
    std::fprintf(stderr, "\n");
    const std::string status = CollectorAnswer::fieldShown(answer.line, 1);
    std::printf("sent and checked: %s\n", status.c_str());
    for (std::size_t notes = 0; notes < wire::preamble::MostNotes; ++notes) {
        const CollectorAnswer::Answer note = CollectorAnswer::read(connection, NotesTimeoutMs);
        if (note.kind != CollectorAnswer::Answer::Kind::Line || !note.line.starts_with(wire::preamble::NoteMarker))
            break;
        std::printf("  %s\n", CollectorAnswer::fieldShown(note.line, 1).c_str());
    }
    if (const char* advice = wire::verdictAdvice(status))
        std::printf("advice: %s\n", advice);
    return 0;
}

} // namespace

int sendFile(const SendTarget& target, const std::string& path, const std::optional<std::string>& announcedAs)
{
    const std::string name = announcedAs.value_or(LocalFiles::fileNameOf(path));
    const std::optional<std::string> nameBytes = wire::cp1252FromUtf8(name);
    if (!nameBytes || nameBytes->empty() || nameBytes->find('|') != std::string::npos)
        return fail("the name \"" + name + "\" cannot be announced: it must be non-empty 8-bit text without \"|\"");

    if (LocalFiles::kindOf(path) == LocalFiles::Kind::Folder)
        return fail(path + ": cannot read it: it is a folder");
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(LocalFiles::openForReading(path), &std::fclose);
    if (!file)
        return fail(path + ": cannot read it: " + LocalFiles::errorText(errno));
    const std::optional<std::int64_t> size = LocalFiles::sizeOf(file.get());
    if (!size)
        return fail(path + ": cannot read it: " + LocalFiles::errorText(errno));
    if (*size == 0)
        return fail(path + ": the file is empty; the protocol cannot announce 0 bytes");
    std::string start(wire::FileInfoMarker.size(), '\0');
    start.resize(std::fread(start.data(), 1, start.size(), file.get()));
    if (wire::isFileInfoHeader(start))
        return fail(path + ": the file begins with \"FILEINFO\", which the receiver would take for a header");
    std::rewind(file.get());

    std::string error;
    const std::unique_ptr<Connection> connection = Connection::open(target.host, target.port, &error);
    if (!connection)
        return fail("cannot connect to " + target.host + " port " + target.port + ": " + error);

    const std::string header = wire::fileInfoHeader(*size, *nameBytes);
    std::string opening = header;
    if (target.player && !provePlayer(*connection, target, header, &opening))
        return 1;
    if (!connection->sendAll(opening, &error))
        return fail("sending the header failed: " + error);
    std::this_thread::sleep_for(HeaderPause);
    if (connection->waitReadable(0, &error) != Connection::Wait::TimedOut) {
        if (const std::string refused = refusalSaid(*connection); !refused.empty())
            return fail(refused);
        return fail(target.player ? "the collector closed the connection after the header without an answer"
                                  : "the receiver closed the connection after the header: it refused the file (its "
                                    "window says why)");
    }
    if (!sendBytes(*connection, file.get(), path, *size))
        return 1;
    return target.player ? confirmChecked(*connection) : confirmTaken(*connection, target, name, *size);
}
