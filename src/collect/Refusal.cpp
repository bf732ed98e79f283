#include "Refusal.h"

QByteArray refusalCodeName(RefusalCode code)
{
    switch (code) {
    case RefusalCode::NoPlayer:
        return "no-player";
    case RefusalCode::UnknownPlayer:
        return "unknown-player";
    case RefusalCode::BadProof:
        return "bad-proof";
    case RefusalCode::NoRoster:
        return "no-roster";
    case RefusalCode::TooManyFromAddress:
        return "too-many-from-address";
    case RefusalCode::TooManyForPlayer:
        return "too-many-for-player";
    case RefusalCode::TooSlow:
        return "too-slow";
    case RefusalCode::TimedOut:
        return "timed-out";
    case RefusalCode::BadHeader:
        return "bad-header";
    case RefusalCode::TooLarge:
        return "too-large";
    case RefusalCode::BadName:
        return "bad-name";
    case RefusalCode::Stopping:
        return "stopping";
    case RefusalCode::CannotStore:
        return "cannot-store";
    case RefusalCode::Busy:
        return "busy";
    }
    return QByteArray();
}

std::vector<RefusalCode> allRefusalCodes()
{
    std::vector<RefusalCode> codes;
    for (int code = 0; code <= int(RefusalCode::Busy); ++code)
        codes.push_back(RefusalCode(code));
    return codes;
}
