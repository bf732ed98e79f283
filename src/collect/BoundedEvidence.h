#pragma once

#include <QJsonObject>

// A verdict record as the collector keeps it: at most MaxEntries of each of
// tweaks, missing and differences, and their totals, within a budget of
// bytes, so that verdicts.jsonl grows by a few kilobytes a file whatever the
// file holds. The whole evidence can always be made again from the stored
// file with kestrix-check.
namespace BoundedEvidence {

inline constexpr qsizetype MaxEntries = 100;
inline constexpr qsizetype BudgetBytes = 8 * 1024;

void bound(QJsonObject& record);

} // namespace BoundedEvidence
