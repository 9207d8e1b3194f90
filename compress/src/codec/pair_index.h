// Positions grouped by a key of the bytes that start there, each group in
// increasing position order. It answers "which earlier positions share this
// key" as one contiguous range, so a search can begin at any distance back
// instead of walking a chain from its head.
#pragma once

#include <cstdint>
#include <bit>
#include <cstring>
#include <memory>

namespace zarni::codec {

class KeyIndex {
public:
    // Key of the two bytes at i: data[i] + 256 * data[i+1], for i in [0, size-2].
    bool buildPairs(const uint8_t* data, uint32_t size);
    // Key of the four bytes at i, little-endian, for i in [0, size-4].
    bool buildQuads(const uint8_t* data, uint32_t size);

    struct Range {
        uint32_t begin;
        uint32_t end;
    };

    // Entries whose key is key and whose position lies in [low, high).
    Range find(uint32_t key, uint32_t low, uint32_t high) const;

    uint32_t position(uint32_t entry) const { return static_cast<uint32_t>(entries_[entry]); }
    uint32_t count() const { return count_; }

private:
    bool sortByKey(uint32_t keyBits);

    // key << 32 | position, sorted by key, positions ascending within a key.
    std::unique_ptr<uint64_t[]> entries_;
    uint32_t count_ = 0;
};

inline uint32_t pairKey(const uint8_t* p) { return p[0] | (static_cast<uint32_t>(p[1]) << 8); }

inline uint32_t quadKey(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Leading bytes where a[k] == b[k] ^ mask, at most limit; eight at a time.
inline uint32_t matchLength(const uint8_t* a, const uint8_t* b, uint32_t limit, uint8_t mask) {
    const uint64_t wide = 0x0101010101010101ull * mask;
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        uint64_t diff = x ^ y ^ wide;
        if (diff) return n + static_cast<uint32_t>(std::countr_zero(diff) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == static_cast<uint8_t>(b[n] ^ mask)) ++n;
    return n;
}

}  // namespace zarni::codec
