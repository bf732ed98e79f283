#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The keys of one index, held compactly for exact lookups: sorted keys are
// front-coded in blocks of sixteen, and an open-addressing table of 32-bit
// slots (key number plus a few hash bits) finds a candidate that is then
// compared byte for byte. Built once, then read-only: any number of threads
// may look keys up at once.
class KeySet
{
public:
    class Builder
    {
    public:
        // Keys must come in ascending byte order; repeats are dropped.
        void add(QByteArrayView key);
        KeySet finish();

    private:
        void closeBlock();

        std::vector<std::unique_ptr<char[]>> m_chunks;
        std::vector<const char*> m_blocks;
        std::string m_block;
        std::string m_previous;
        std::size_t m_chunkFree = 0;
        char* m_chunkEnd = nullptr;
        std::uint32_t m_count = 0;
    };

    // Sorts and removes repeats first; for key sources without an order.
    static KeySet fromUnsorted(std::vector<QByteArray> keys);

    bool contains(QByteArrayView key) const;
    std::uint32_t size() const { return m_count; }

    // Every key once, in ascending byte order.
    template <typename Visit>
    void forEach(Visit visit) const
    {
        std::string key;
        const char* in = nullptr;
        for (std::uint32_t number = 0; number < m_count; ++number) {
            if (number % BlockSize == 0) {
                in = m_blocks[number / BlockSize];
                key.clear();
            }
            decodeNext(in, key);
            visit(QByteArrayView(key.data(), qsizetype(key.size())));
        }
    }

private:
    static constexpr std::uint32_t BlockSize = 16;
    // Decodes the next key of a block over the previous one in key.
    static void decodeNext(const char*& in, std::string& key);
    // Whether the key at position of a block equals wanted.
    static bool keyEquals(const char* block, std::uint32_t position, std::string_view wanted);

    std::uint64_t hashOf(QByteArrayView key) const;
    std::uint32_t slotOf(std::uint64_t hash) const;
    std::uint32_t numberMask() const;

    // Blocks of front-coded keys live in large chunks, never moved, so that
    // building never holds two copies of the keys.
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::vector<const char*> m_blocks; // start of every sixteenth key
    std::vector<std::uint32_t> m_slots; // 0: empty; else (number + 1) | hash bits above numberMask()
    std::uint32_t m_count = 0;
    int m_numberBits = 0;
    std::size_t m_seed = 0;
};
