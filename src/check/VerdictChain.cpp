#include "VerdictChain.h"

#include "HexText.h"
#include "Sha256.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace VerdictChain {

QByteArray lineHash(QByteArrayView line)
{
    return QByteArray::fromStdString(
        wire::toHex(wire::Sha256::of(std::string_view(line.data(), std::size_t(line.size())))));
}

QByteArray prevOf(QByteArrayView line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray());
    return document.object().value(QLatin1String("prev")).toString().toLatin1();
}

} // namespace VerdictChain

bool ChainWalk::add(QByteArrayView line)
{
    if (m_brokenAt > 0)
        return false;
    ++m_lines;
    const QByteArray prev = VerdictChain::prevOf(line);
    if (!m_chained && prev.isEmpty()) {
        ++m_beforeChain;
    } else if (!m_chained && m_lines == 1) {
        m_chained = true;
        m_continues = prev != VerdictChain::Start;
    } else if (prev != m_head) {
        m_brokenAt = m_lines;
        return false;
    } else {
        m_chained = true;
    }
    m_head = VerdictChain::lineHash(line);
    return true;
}
