#include "pair_index.h"

#include <algorithm>
#include <new>

namespace zarni::codec {

bool KeyIndex::buildPairs(const uint8_t* data, uint32_t size) {
    count_ = size >= 2 ? size - 1 : 0;
    entries_.reset(new (std::nothrow) uint64_t[count_ ? count_ : 1]);
    if (!entries_) return false;
    for (uint32_t i = 0; i < count_; ++i)
        entries_[i] = (static_cast<uint64_t>(pairKey(data + i)) << 32) | i;
    return sortByKey(16);
}

bool KeyIndex::buildQuads(const uint8_t* data, uint32_t size) {
    count_ = size >= 4 ? size - 3 : 0;
    entries_.reset(new (std::nothrow) uint64_t[count_ ? count_ : 1]);
    if (!entries_) return false;
    for (uint32_t i = 0; i < count_; ++i)
        entries_[i] = (static_cast<uint64_t>(quadKey(data + i)) << 32) | i;
    return sortByKey(32);
}

// Stable radix sort on the key, a byte a pass; entries start in position
// order, so positions stay ascending within each key. Small tables only: the
// work and the memory touched grow with the input, not with the key's range.
bool KeyIndex::sortByKey(uint32_t keyBits) {
    // About one lookup bucket per entry, on the key's top bits.
    uint32_t bits = 8;
    while (bits < 16 && bits < keyBits && (1u << bits) < count_) ++bits;
    bucketShift_ = 32 + keyBits - bits;
    bucketCount_ = 1u << bits;
    buckets_.reset(new (std::nothrow) uint32_t[bucketCount_ + 1]);
    if (!buckets_) return false;
    if (count_ >= 2) {
        std::unique_ptr<uint64_t[]> scratch(new (std::nothrow) uint64_t[count_]);
        if (!scratch) return false;
        uint32_t counts[256];
        for (uint32_t shift = 32; shift < 32 + keyBits; shift += 8) {
            std::fill(std::begin(counts), std::end(counts), 0u);
            for (uint32_t i = 0; i < count_; ++i) ++counts[(entries_[i] >> shift) & 0xFF];
            uint32_t sum = 0;
            for (uint32_t& c : counts) {
                const uint32_t n = c;
                c = sum;
                sum += n;
            }
            for (uint32_t i = 0; i < count_; ++i)
                scratch[counts[(entries_[i] >> shift) & 0xFF]++] = entries_[i];
            entries_.swap(scratch);
        }
    }
    uint32_t entry = 0;
    for (uint32_t k = 0; k <= bucketCount_; ++k) {
        while (entry < count_ && (entries_[entry] >> bucketShift_) < k) ++entry;
        buckets_[k] = entry;
    }
    return true;
}

KeyIndex::Range KeyIndex::find(uint32_t key, uint32_t low, uint32_t high) const {
    const uint64_t* first = entries_.get();
    const uint64_t base = static_cast<uint64_t>(key) << 32;
    const uint64_t bucket = base >> bucketShift_;
    if (bucket >= bucketCount_) return {0, 0};  // wider than this index's keys
    const uint64_t* last = first + buckets_[bucket + 1];
    const uint64_t* b = std::lower_bound(first + buckets_[bucket], last, base | low);
    const uint64_t* e = high > low ? std::lower_bound(b, last, base | high) : b;
    return {static_cast<uint32_t>(b - first), static_cast<uint32_t>(e - first)};
}

}  // namespace zarni::codec
