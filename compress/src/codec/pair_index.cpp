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

// Stable radix sort on the key, 16 bits a pass; entries start in position
// order, so positions stay ascending within each key.
bool KeyIndex::sortByKey(uint32_t keyBits) {
    bucketShift_ = 32 + keyBits - 16;
    buckets_.reset(new (std::nothrow) uint32_t[65537]);
    if (!buckets_) return false;
    if (count_ < 2) {
        // At most one entry: the buckets after its own start past it.
        std::fill(buckets_.get(), buckets_.get() + 65537, 0u);
        buckets_[65536] = count_;
        for (uint32_t k = 0; k < 65536 && count_; ++k)
            if (k > (entries_[0] >> bucketShift_)) buckets_[k] = count_;
        return true;
    }
    std::unique_ptr<uint64_t[]> scratch(new (std::nothrow) uint64_t[count_]);
    std::unique_ptr<uint32_t[]> counts(new (std::nothrow) uint32_t[65536]);
    if (!scratch || !counts) return false;
    for (uint32_t shift = 32; shift < 32 + keyBits; shift += 16) {
        std::fill(counts.get(), counts.get() + 65536, 0u);
        for (uint32_t i = 0; i < count_; ++i) ++counts[(entries_[i] >> shift) & 0xFFFF];
        uint32_t sum = 0;
        for (uint32_t k = 0; k < 65536; ++k) {
            uint32_t c = counts[k];
            counts[k] = sum;
            buckets_[k] = sum;  // the last pass sorts by the top 16 bits
            sum += c;
        }
        for (uint32_t i = 0; i < count_; ++i)
            scratch[counts[(entries_[i] >> shift) & 0xFFFF]++] = entries_[i];
        entries_.swap(scratch);
    }
    buckets_[65536] = count_;
    return true;
}

KeyIndex::Range KeyIndex::find(uint32_t key, uint32_t low, uint32_t high) const {
    const uint64_t* first = entries_.get();
    const uint64_t base = static_cast<uint64_t>(key) << 32;
    const uint64_t bucket = base >> bucketShift_;
    if (bucket > 0xFFFF) return {0, 0};  // wider than this index's keys
    const uint64_t* last = first + buckets_[bucket + 1];
    const uint64_t* b = std::lower_bound(first + buckets_[bucket], last, base | low);
    const uint64_t* e = high > low ? std::lower_bound(b, last, base | high) : b;
    return {static_cast<uint32_t>(b - first), static_cast<uint32_t>(e - first)};
}

}  // namespace zarni::codec
