#include "KeySet.h"

#include <QHashFunctions>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr std::size_t ChunkSize = 1 << 20;

void putVarint(std::string& out, std::size_t value)
{
    while (value >= 0x80) {
        out.push_back(char((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(char(value));
}

std::size_t getVarint(const char*& in)
{
    std::size_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*in++);
        value |= std::size_t(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

} // namespace

void KeySet::decodeNext(const char*& in, std::string& key)
{
    const std::size_t shared = getVarint(in);
    const std::size_t suffix = getVarint(in);
    key.resize(shared);
    key.append(in, suffix);
    in += suffix;
}

void KeySet::Builder::add(QByteArrayView key)
{
    const std::string_view bytes(key.data(), size_t(key.size()));
    if (m_count > 0 && bytes == m_previous)
        return;
    std::size_t shared = 0;
    if (m_count % BlockSize != 0) {
        const std::size_t limit = std::min(bytes.size(), m_previous.size());
        while (shared < limit && bytes[shared] == m_previous[shared])
            ++shared;
    }
    putVarint(m_block, shared);
    putVarint(m_block, bytes.size() - shared);
    m_block.append(bytes.substr(shared));
    m_previous.assign(bytes);
    if (++m_count % BlockSize == 0)
        closeBlock();
}

void KeySet::Builder::closeBlock()
{
    if (m_block.empty())
        return;
    if (m_block.size() > m_chunkFree) {
        const std::size_t size = std::max(ChunkSize, m_block.size());
        m_chunks.push_back(std::make_unique<char[]>(size));
        m_chunkEnd = m_chunks.back().get();
        m_chunkFree = size;
    }
    std::memcpy(m_chunkEnd, m_block.data(), m_block.size());
    m_blocks.push_back(m_chunkEnd);
    m_chunkEnd += m_block.size();
    m_chunkFree -= m_block.size();
    m_block.clear();
}

KeySet KeySet::Builder::finish()
{
    closeBlock();
    KeySet set;
    set.m_chunks = std::move(m_chunks);
    set.m_blocks = std::move(m_blocks);
    set.m_count = m_count;
    set.m_numberBits = std::max(1, int(std::bit_width(m_count + 1)));
    set.m_seed = QHashSeed::globalSeed();
    // About one slot in eight stays empty: probe runs stay short, and the
    // hash bits kept in each slot skip most of the keys they pass.
    set.m_slots.assign(std::max<std::size_t>(1, std::size_t(m_count) + m_count / 7 + 1), 0);

    std::uint32_t number = 0;
    set.forEach([&set, &number](QByteArrayView key) {
        const std::uint64_t hash = set.hashOf(key);
        const std::uint32_t entry = (++number) | (std::uint32_t(hash >> 32) & ~set.numberMask());
        for (std::uint32_t slot = set.slotOf(hash);; slot = slot + 1 == set.m_slots.size() ? 0 : slot + 1) {
            if (set.m_slots[slot] == 0) {
                set.m_slots[slot] = entry;
                break;
            }
        }
    });
    return set;
}

KeySet KeySet::fromUnsorted(std::vector<QByteArray> keys)
{
    std::sort(keys.begin(), keys.end());
    Builder builder;
    for (const QByteArray& key : keys)
        builder.add(key);
    return builder.finish();
}

std::uint32_t KeySet::numberMask() const
{
    return m_numberBits >= 32 ? ~std::uint32_t(0) : (std::uint32_t(1) << m_numberBits) - 1;
}

std::uint64_t KeySet::hashOf(QByteArrayView key) const
{
    // Seeded per process, so crafted lines cannot pile up in one probe run.
    return std::uint64_t(qHashBits(key.data(), size_t(key.size()), m_seed)) * 0x9E3779B97F4A7C15ull;
}

std::uint32_t KeySet::slotOf(std::uint64_t hash) const
{
    return std::uint32_t((std::uint64_t(std::uint32_t(hash)) * m_slots.size()) >> 32);
}

bool KeySet::keyEquals(const char* block, std::uint32_t position, std::string_view wanted)
{
    // Walks the block's keys up to the one at position without spelling any
    // of them out: matched is how many leading bytes the current key shares
    // with wanted. A key keeps the first shared bytes of the one before it,
    // so where those already differ from wanted, it differs at the same byte.
    std::size_t matched = 0;
    std::size_t length = 0;
    for (std::uint32_t i = 0; i <= position; ++i) {
        const std::size_t shared = getVarint(block);
        const std::size_t suffix = getVarint(block);
        if (shared <= matched) {
            matched = shared;
            while (matched < wanted.size() && matched - shared < suffix && block[matched - shared] == wanted[matched])
                ++matched;
        }
        length = shared + suffix;
        block += suffix;
    }
    return length == wanted.size() && matched == wanted.size();
}

bool KeySet::contains(QByteArrayView key) const
{
    if (m_count == 0)
        return false;
    const std::uint64_t hash = hashOf(key);
    const std::uint32_t mask = numberMask();
    const std::uint32_t hashBits = std::uint32_t(hash >> 32) & ~mask;
    const std::string_view wanted(key.data(), size_t(key.size()));
    for (std::uint32_t slot = slotOf(hash);; slot = slot + 1 == m_slots.size() ? 0 : slot + 1) {
        const std::uint32_t entry = m_slots[slot];
        if (entry == 0)
            return false;
        if ((entry & ~mask) != hashBits)
            continue;
        const std::uint32_t number = (entry & mask) - 1;
        if (keyEquals(m_blocks[number / BlockSize], number % BlockSize, wanted))
            return true;
    }
}
