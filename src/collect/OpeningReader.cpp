#include "OpeningReader.h"

#include "PlayerPreamble.h"
#include "ReceivedName.h"

#include <utility>

OpeningReader::OpeningReader(Setup setup)
    : m_setup(std::move(setup))
    , m_playerName(PlayerPreamble::PlayerMarker, 2, PlayerPreamble::PlayerMarker.size() + PlayerPreamble::NameLength + 1)
    , m_proof(PlayerPreamble::ProofMarker, 2, PlayerPreamble::ProofMarker.size() + qsizetype(PlayerPreamble::Wire::ProofDigits) + 1)
{
}

OpeningReader::Actions OpeningReader::take(QByteArrayView bytes)
{
    Actions actions;
    if (m_phase == Phase::Done)
        return actions;
    m_taken += bytes.size();
    while (!bytes.isEmpty()) {
        switch (m_phase) {
        case Phase::Start:
            m_phase = bytes.front() == PlayerPreamble::PlayerMarker.front() ? Phase::PlayerName : Phase::Header;
            break;
        case Phase::PlayerName:
            if (!takePlayer(&bytes, &actions))
                return actions;
            break;
        case Phase::Proof:
            if (!takeProof(&bytes, &actions))
                return actions;
            break;
        case Phase::Header:
            takeHeader(&bytes, &actions);
            return actions;
        case Phase::Done:
            return actions;
        }
    }
    return actions;
}

bool OpeningReader::takePlayer(QByteArrayView* bytes, Actions* actions)
{
    QByteArrayView rest;
    switch (m_playerName.add(*bytes, &rest)) {
    case FieldsCollector::Status::NeedMore:
        return false;
    case FieldsCollector::Status::Complete:
        break;
    case FieldsCollector::Status::Wrong:
        refuse(RefusalCode::BadHeader, HeaderCollector::refusal(HeaderCollector::Status::NotAHeader), actions);
        return false;
    case FieldsCollector::Status::TooLong:
        refuse(RefusalCode::UnknownPlayer, QStringLiteral("no player's name is that long"), actions);
        return false;
    }
    *bytes = rest;
    const QByteArray name = m_playerName.field(1);
    if (!m_setup.roster) {
        refuse(RefusalCode::NoRoster,
               QStringLiteral("this collector has no roster, so it names no players: send without --player"), actions);
        return false;
    }
    if (!PlayerPreamble::isValidName(name) || !m_setup.keyOf(name)) {
        refuse(RefusalCode::UnknownPlayer,
               QStringLiteral("\"%1\" is not on the league's roster").arg(shownName(QString::fromLatin1(name))), actions);
        return false;
    }
    m_player = name;
    actions->push_back({Step::Say, PlayerPreamble::challengeLine(m_setup.challengeHex)});
    m_phase = Phase::Proof;
    return true;
}

bool OpeningReader::takeProof(QByteArrayView* bytes, Actions* actions)
{
    QByteArrayView rest;
    switch (m_proof.add(*bytes, &rest)) {
    case FieldsCollector::Status::NeedMore:
        return false;
    case FieldsCollector::Status::Complete:
        *bytes = rest;
        m_phase = Phase::Header;
        return true;
    case FieldsCollector::Status::Wrong:
    case FieldsCollector::Status::TooLong:
        break;
    }
    refuse(RefusalCode::BadProof, QStringLiteral("no proof of the player's token came after the challenge"), actions);
    return false;
}

bool OpeningReader::takeHeader(QByteArrayView* bytes, Actions* actions)
{
    QByteArrayView rest;
    const HeaderCollector::Status status = m_header.add(*bytes, &rest);
    if (status == HeaderCollector::Status::NeedMore)
        return false;
    if (status != HeaderCollector::Status::Complete) {
        refuse(RefusalCode::BadHeader, HeaderCollector::refusal(status), actions);
        return false;
    }
    m_headerWhole = true;
    if (m_setup.roster && m_player.isEmpty()) {
        refuse(RefusalCode::NoPlayer, QStringLiteral("this league takes files only from the players on its roster: "
                                                     "send with --player NAME"),
               actions);
        return false;
    }
    if (!m_player.isEmpty()) {
        const std::optional<QByteArray> key = m_setup.keyOf(m_player);
        if (!key || !PlayerPreamble::proofHolds(m_proof.field(1), *key, m_setup.challengeHex, m_player, m_header.header())) {
            refuse(RefusalCode::BadProof, QStringLiteral("the token is wrong"), actions);
            return false;
        }
        m_proven = true;
    }
    m_phase = Phase::Done;
    actions->push_back({Step::Whole, rest.toByteArray()});
    return true;
}

OpeningReader::Actions OpeningReader::tick(std::chrono::milliseconds sinceAccept)
{
    Actions actions;
    if (m_phase == Phase::Done || sinceAccept < m_setup.timeout)
        return actions;
    refuse(RefusalCode::TimedOut,
           QStringLiteral("its opening (a player's proof and the FILEINFO header) was not whole within %1 s of the "
                          "connection; %2")
               .arg(double(m_setup.timeout.count()) / 1000.0)
               .arg(arrived()),
           &actions);
    return actions;
}

QString OpeningReader::arrived() const
{
    return m_taken == 0 ? QStringLiteral("nothing had arrived") : QStringLiteral("only %1 bytes had arrived").arg(m_taken);
}

OpeningReader::Actions OpeningReader::closed()
{
    Actions actions;
    if (m_phase == Phase::Done)
        return actions;
    if (m_taken == 0) {
        m_phase = Phase::Done;
        actions.push_back({Step::Quiet, {}});
        return actions;
    }
    refuse(RefusalCode::BadHeader, QStringLiteral("the connection closed before its FILEINFO header was complete"),
           &actions);
    return actions;
}

void OpeningReader::refuse(RefusalCode code, const QString& words, Actions* actions)
{
    m_phase = Phase::Done;
    actions->push_back({Step::Refuse, {}, code, words});
}
