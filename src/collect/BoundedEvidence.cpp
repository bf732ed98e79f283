#include "BoundedEvidence.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <array>

namespace BoundedEvidence {

namespace {

qsizetype sizeOf(const QJsonValue& entry)
{
    return QJsonDocument(entry.toObject()).toJson(QJsonDocument::Compact).size() + 1;
}

} // namespace

void bound(QJsonObject& record)
{
    const std::array<QString, 3> lists{QStringLiteral("tweaks"), QStringLiteral("missing"),
                                       QStringLiteral("differences")};
    // The budget is shared out in turn, one entry of each list at a time, so
    // a long list of one kind never crowds out the others.
    std::array<QJsonArray, 3> whole;
    std::array<QJsonArray, 3> kept;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        whole[i] = record.value(lists[i]).toArray();
        record.insert(lists[i] + QStringLiteral("_total"), whole[i].size());
    }
    qsizetype spent = 0;
    std::array<bool, 3> full{};
    for (qsizetype at = 0; at < MaxEntries; ++at) {
        bool any = false;
        for (std::size_t i = 0; i < lists.size(); ++i) {
            if (full[i] || at >= whole[i].size())
                continue;
            const qsizetype size = sizeOf(whole[i][at]);
            if (spent + size > BudgetBytes) {
                full[i] = true;
                continue;
            }
            spent += size;
            kept[i].append(whole[i][at]);
            any = true;
        }
        if (!any)
            break;
    }
    for (std::size_t i = 0; i < lists.size(); ++i)
        record.insert(lists[i], kept[i]);
}

} // namespace BoundedEvidence
