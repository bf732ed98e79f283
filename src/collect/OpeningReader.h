#pragma once

#include "HeaderCollector.h"
#include "Refusal.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// The opening of a transfer as the collector reads it: with a roster the
// player's name, the collector's challenge and the proof, then the FILEINFO
// header (docs/player-preamble.md). Bytes and the time since the accept go
// in, what to do comes out, with no socket and no timer: the transfer around
// it owns those.
class OpeningReader
{
public:
    // A roster player's key, the SHA-256 of its token in hex; none for a
    // name not on the roster.
    using KeyOf = std::function<std::optional<QByteArray>(const QByteArray& name)>;

    struct Setup {
        bool roster = false;
        KeyOf keyOf;
        QByteArray challengeHex; // fresh for each connection
        std::chrono::milliseconds timeout{5'000}; // the whole opening, from the accept
    };

    enum class Step {
        Say,    // write bytes to the peer, and go on reading
        Whole,  // the opening is whole, and proven where there is a roster:
                // bytes are those that followed the header
        Refuse, // with code and words; the connection ends
        Quiet,  // the peer closed before sending anything: it ends without a word
    };
    struct Action {
        Step step;
        QByteArray bytes = {};
        RefusalCode code = RefusalCode::BadHeader;
        QString words = {};
    };
    using Actions = std::vector<Action>;

    explicit OpeningReader(Setup setup);

    // Bytes as they arrive, in any pieces. Once the opening is whole or
    // refused, bytes are no longer its.
    Actions take(QByteArrayView bytes);
    // The time since the accept passed sinceAccept.
    Actions tick(std::chrono::milliseconds sinceAccept);
    // The peer closed.
    Actions closed();

    bool isDone() const { return m_phase == Phase::Done; }
    // How much of it arrived, in words: "nothing had arrived", …
    QString arrived() const;
    // The name a player gave, proven or not; empty while none was.
    const QByteArray& claimedPlayer() const { return m_player; }
    // Its player's proof held.
    bool isProven() const { return m_proven; }
    // The whole header, once it is; empty before.
    QByteArray header() const { return m_headerWhole ? m_header.header() : QByteArray(); }

private:
    enum class Phase { Start, PlayerName, Proof, Header, Done };

    bool takePlayer(QByteArrayView* bytes, Actions* actions);
    bool takeProof(QByteArrayView* bytes, Actions* actions);
    bool takeHeader(QByteArrayView* bytes, Actions* actions);
    void refuse(RefusalCode code, const QString& words, Actions* actions);

    Setup m_setup;
    Phase m_phase = Phase::Start;
    qint64 m_taken = 0;
    FieldsCollector m_playerName;
    FieldsCollector m_proof;
    HeaderCollector m_header;
    QByteArray m_player;
    bool m_headerWhole = false;
    bool m_proven = false;
};
