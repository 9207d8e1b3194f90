// Positions grouped by a key of the bytes that start there, each group in
// increasing position order. It answers "which earlier positions share this
// key" as one contiguous range, so a search can begin at any distance back
// instead of walking a chain from its head.
#pragma once

#include <bit>
#include <cstdint>
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
    // First entry of each value of the key's top bits, so that a search only
    // bisects the entries that share them.
    std::unique_ptr<uint32_t[]> buckets_;
    uint32_t bucketShift_ = 0;
    uint32_t bucketCount_ = 0;
};

inline uint32_t pairKey(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8);
}

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

struct Match {
    uint32_t length = 0;
    uint32_t source = 0;  // the index position of the kept candidate
};

// The match that a walk over the entries of r in increasing position order
// keeps when it takes a candidate of at least `minimum` bytes only if it is
// strictly longer than the one kept: the earliest of the longest. bytesAt(pos)
// is where a candidate's bytes start, compared as b ^ mask against target;
// capAt(pos) caps its length, never above limit. A candidate can only be kept
// if it matches at byte `need - 1`, which rules most out with one compare.
template <class BytesAt, class CapAt>
inline void keepLongest(const KeyIndex& index, KeyIndex::Range r, const uint8_t* target,
                        uint32_t limit, uint32_t minimum, uint8_t mask, Match& m, BytesAt bytesAt,
                        CapAt capAt) {
    for (uint32_t e = r.begin; e < r.end; ++e) {
        const uint32_t need = m.length + 1 > minimum ? m.length + 1 : minimum;
        if (need > limit) return;
        const uint32_t pos = index.position(e);
        const uint32_t cap = capAt(pos);
        if (need > cap) continue;
        const uint8_t* q = bytesAt(pos);
        if (q[need - 1] != static_cast<uint8_t>(target[need - 1] ^ mask)) continue;
        const uint32_t t = matchLength(target, q, cap, mask);
        if (t >= need) m = {t, pos};
    }
}

// The common case: candidates are earlier positions of data itself.
inline void keepLongest(const KeyIndex& index, KeyIndex::Range r, const uint8_t* data, uint32_t p,
                        uint32_t limit, uint32_t minimum, uint8_t mask, Match& m) {
    keepLongest(
        index, r, data + p, limit, minimum, mask, m, [data](uint32_t q) { return data + q; },
        [limit](uint32_t) { return limit; });
}

}  // namespace zarni::codec
