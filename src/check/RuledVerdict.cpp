#include "RuledVerdict.h"

#include "LeagueRules.h"

void applyRules(Verdict& verdict, const LeagueRules& rules)
{
    if (verdict.status == Verdict::Status::Genuine || verdict.status == Verdict::Status::Error || !verdict.car)
        return;
    bool blocking = false;
    bool allowed = false;
    bool damaged = false;
    for (Difference& difference : verdict.differences) {
        if (difference.byDamage) {
            damaged = true;
            continue;
        }
        switch (difference.kind) {
        case Difference::Class::Formatting:
            blocking = blocking || !rules.ignoreFormatting();
            break;
        case Difference::Class::Damaged:
            damaged = true;
            break;
        case Difference::Class::OtherCar:
        case Difference::Class::Other:
            blocking = true;
            break;
        default: {
            const Judgement judgement = rules.judge(*verdict.car, difference);
            difference.allowed = judgement.allowed;
            difference.rule = judgement.ruleLine;
            difference.reason = judgement.reason;
            allowed = allowed || judgement.allowed;
            blocking = blocking || !judgement.allowed;
            break;
        }
        }
    }
    if (blocking)
        verdict.status = Verdict::Status::Tweaked;
    else if (damaged)
        verdict.status = Verdict::Status::Damaged;
    else if (allowed)
        verdict.status = Verdict::Status::Allowed;
    else
        verdict.status = Verdict::Status::Formatting;
}
