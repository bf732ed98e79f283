#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The hash chain of verdicts.jsonl (docs/verdict-record.md): each record's
// "prev" is the SHA-256, in hex, of the line before it as written, without
// its line end; the very first record of a new log has 64 zeros.
namespace VerdictChain {

inline const QByteArray Start(64, '0');

QByteArray lineHash(QByteArrayView line);
// The "prev" of a line; empty when it is no record or has none.
QByteArray prevOf(QByteArrayView line);

} // namespace VerdictChain

// Follows a log's lines in order, counted from 1, and stops believing at the
// first line whose "prev" is not the hash of the line before. Lines before
// the first chained record are a log from before the chain; the first
// line of all may continue a chain whose older files are gone.
class ChainWalk
{
public:
    // false from the first line that breaks the chain on.
    bool add(QByteArrayView line);

    qint64 lines() const { return m_lines; }
    qint64 beforeChain() const { return m_beforeChain; }
    bool chained() const { return m_chained; }
    // Whether the first line's "prev" names a line no longer present.
    bool continuesOlderChain() const { return m_continues; }
    // The number of the line that broke the chain; 0 while it holds.
    qint64 brokenAt() const { return m_brokenAt; }
    // The hash of the last line taken.
    QByteArray head() const { return m_head; }

private:
    qint64 m_lines = 0;
    qint64 m_beforeChain = 0;
    bool m_chained = false;
    bool m_continues = false;
    qint64 m_brokenAt = 0;
    QByteArray m_head = VerdictChain::Start;
};
