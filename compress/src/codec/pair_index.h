// Positions grouped by a key of the four bytes that start there, each group
// in increasing position order. It is built as the encoder advances: a search
// below position `high` first adds the positions up to there, so an encoder
// that jumps over long fills and copies, or never searches at all, pays only
// for what it asks. Keys share buckets of a table sized to the input; a
// bucket's chain still runs in position order, and every search compares the
// bytes anyway, so another key in the bucket costs one compare.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace zarni::codec {

// The small helpers here are always inlined: in the fuzzers' sanitized
// builds they were calls in every search loop.

// std::max of a list, without the list (a call in the fuzzers' builds).
[[gnu::always_inline]] inline uint32_t largest(uint32_t a) {
    return a;
}
template <class... Rest>
[[gnu::always_inline]] inline uint32_t largest(uint32_t a, uint32_t b, Rest... rest) {
    return largest(a > b ? a : b, rest...);
}

[[gnu::always_inline]] inline uint32_t tripleKey(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

[[gnu::always_inline]] inline uint32_t pairKey(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8);
}

[[gnu::always_inline]] inline uint32_t quadKey(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Tables from calloc: zeroed pages that nothing touches cost nothing.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

class KeyIndex {
  public:
    static constexpr uint32_t kEnd = 0xFFFFFFFF;

    // Key of the four bytes at i, little-endian, for i in [0, size-4].
    // window: no search reaches further below the highest end asked so far
    // than this, so older positions are never added and only the last ones
    // are kept, and chains are walked back from their newest entry.
    bool buildQuads(const uint8_t* data, uint32_t size, uint32_t window = kEnd);

    // The positions of a search in increasing order: from first along
    // next() while below high. Entries of other keys may be among them.
    struct Range {
        uint32_t first;
        uint32_t high;
    };

    // Positions with key key in [low, high) (and perhaps others of its
    // bucket; a key and its bit-inverse share one).
    [[gnu::always_inline]] Range find(uint32_t key, uint32_t low, uint32_t high) {
        addBelow(high);
        const Bucket& b = buckets_[bucket(key)];
        if (!previous_ && low == 0) return {widen(b.head), high};
        return findFrom(b, low, high);
    }

    [[gnu::always_inline]] uint32_t next(uint32_t position) const {
        return widen(next_[position & ringMask_]);
    }

    // Windowed indexes: the last position of key's bucket below high (adding
    // the positions up to there first, as find does), and the one before a
    // position (both may lie before the window; callers stop there).
    [[gnu::always_inline]] uint32_t last(uint32_t key, uint32_t high) {
        addBelow(high);
        uint32_t e = widen(buckets_[bucket(key)].tail);
        while (e != kEnd && e >= high) e = previous(e);
        return e;
    }
    [[gnu::always_inline]] uint32_t previous(uint32_t position) const {
        return widen(previous_[position & ringMask_]);
    }

  private:
    // Slots hold a position + 1 (positions are below 65,535) and 0 for none,
    // so bucket tables come zeroed from the allocator and pages no key
    // reaches are never touched.
    using Slot = uint16_t;
    [[gnu::always_inline]] static uint32_t widen(Slot s) { return s == 0 ? kEnd : s - 1u; }
    static Slot narrow(uint32_t position) { return static_cast<Slot>(position + 1); }

    struct Bucket {
        Slot head, tail;  // oldest and newest entry
    };

    void addUpTo(uint32_t high);
    // Every search first adds the positions below its end.
    [[gnu::always_inline]] void addBelow(uint32_t high) {
        if (added_ < high && added_ < count_) addUpTo(high);
    }
    Range findFrom(const Bucket& b, uint32_t low, uint32_t high);
    // Plain and inverted copies look up a key and its inverse: one bucket.
    [[gnu::always_inline]] uint32_t bucket(uint32_t key) const {
        const uint32_t inverse = ~key;
        return ((key < inverse ? key : inverse) * 0x9E3779B1u) >> shift_;
    }

    const uint8_t* data_ = nullptr;
    uint32_t count_ = 0;  // positions that have a key
    uint32_t added_ = 0;  // positions below this are in the chains (or too old)
    uint32_t window_ = kEnd;
    uint32_t shift_ = 16;
    uint32_t ringMask_ = 0;  // links of position i live at i & ringMask_
    // Whole indexes walk from the head; windowed ones back from the tail.
    // Raw views of the tables for the walks: the sanitized fuzz builds do
    // not inline unique_ptr's accessors.
    Bucket* buckets_ = nullptr;
    Slot *next_ = nullptr, *previous_ = nullptr;
    std::unique_ptr<Bucket, FreeDeleter> bucketTable_;
    std::unique_ptr<Slot[]> nextLinks_, previousLinks_;
};

// The three-byte strings that start before a position, as bits of a hashed
// set filled as the encoder advances. A string with a bit clear starts
// nowhere before, so no match of three bytes or more can be found for it and
// the search is skipped; on data without repeats that is nearly every search.
// At 32 bits a position and two bits a string a false hit is rare: every
// search let through adds the positions before it to the indexes, and with
// one in thirty let through that was all of them. The set then outgrows the
// first-level cache, so encoders prefetch the bits they will ask for a few
// positions ahead.
class TripleFilter {
  public:
    TripleFilter() = default;
    TripleFilter(const TripleFilter&) = delete;
    TripleFilter& operator=(const TripleFilter&) = delete;
    ~TripleFilter();

    bool build(const uint8_t* data, uint32_t size);

    // False only when triple (bytes low first) starts at no position below high.
    [[gnu::always_inline]] bool mayStartBefore(uint32_t triple, uint32_t high) {
        addUpTo(high);
        const uint64_t h = hash(triple);
        const uint64_t bits = bitsOf(h);
        return (bits_[h >> shift_] & bits) == bits;
    }

    // mayStartBefore for the three bytes at p itself. Asked in order, the
    // answer and the adding of p touch one word.
    [[gnu::always_inline]] bool mayStartBefore(uint32_t p) {
        if (p >= count_) return false;  // fewer than three bytes there
        if (added_ != p && !catchUp(p)) return mayStartBefore(tripleKey(data_ + p), p);
        const uint64_t h = hash(tripleKey(data_ + p));
        uint64_t& word = bits_[h >> shift_];
        const uint64_t bits = bitsOf(h);
        const bool seen = (word & bits) == bits;
        word |= bits;
        added_ = p + 1;
        return seen;
    }

    // Encoders prefetch the bits they will ask for about a miss's time ahead:
    // the triple at p + 16, false where there is none.
    bool ahead(uint32_t p, uint32_t& triple) const {
        if (p + 16 >= count_) return false;
        triple = tripleKey(data_ + p + 16);
        return true;
    }
    void prefetch(uint32_t triple) const {
        __builtin_prefetch(bits_ + (hash(triple) >> shift_), 1);
    }

    // Bytes [from, to) repeat those a fixed distance before them (a plain
    // copy or a fill), so every triple that starts there before to - 2 has
    // started earlier: none need adding.
    void repeats(uint32_t from, uint32_t to) {
        addUpTo(from);
        if (to > added_ + 2) added_ = to - 2;
        addUpTo(to);  // the encoder goes on there
    }

  private:
    // Adds the positions below p after a jump; false if p itself is in.
    [[gnu::noinline]] bool catchUp(uint32_t p) {
        addUpTo(p);
        return added_ == p;
    }
    void addUpTo(uint32_t high) {
        if (high > count_) high = count_;
        // Encoders advance a position at a time: the loop is short.
        for (uint32_t i = added_; i < high; ++i) add(tripleKey(data_ + i));
        if (high > added_) added_ = high;
    }
    void add(uint32_t triple) {
        const uint64_t h = hash(triple);
        bits_[h >> shift_] |= bitsOf(h);
    }
    // A string sets two bits of one word: a sixth of the false hits or less
    // of one bit, and still one cache line a question. The word comes from
    // the top of the product, the bits from below it.
    [[gnu::always_inline]] static uint64_t hash(uint32_t triple) {
        return triple * 0x9E3779B97F4A7C15ull;
    }
    [[gnu::always_inline]] static uint64_t bitsOf(uint64_t h) {
        return uint64_t{1} << ((h >> 34) & 63) | uint64_t{1} << ((h >> 40) & 63);
    }

    const uint8_t* data_ = nullptr;
    uint32_t count_ = 0;
    uint32_t added_ = 0;
    uint32_t shift_ = 64;  // of the word index
    uint64_t* bits_ = nullptr;
    std::unique_ptr<uint64_t, FreeDeleter> own_;  // when not the thread's
};

// Leading bytes where a[k] == b[k] ^ mask, at most limit; eight at a time.
[[gnu::always_inline]] inline uint32_t matchLength(const uint8_t* a, const uint8_t* b,
                                                   uint32_t limit, uint8_t mask) {
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

// False when candidate b matches a (as b ^ mask) in fewer than need bytes,
// one of at most limit (need <= limit; both readable that far). A word of
// the bytes below need decides it: on data of few byte values the byte at
// need - 1 alone let half the candidates through, each at a mispredicted
// branch.
[[gnu::always_inline]] inline bool mayReach(const uint8_t* a, const uint8_t* b, uint32_t need,
                                            uint32_t limit, uint8_t mask) {
    if (limit < 8) return a[need - 1] == static_cast<uint8_t>(b[need - 1] ^ mask);
    const uint32_t at = need > 8 ? need - 8 : 0;
    uint64_t x, y;
    std::memcpy(&x, a + at, 8);
    std::memcpy(&y, b + at, 8);
    uint64_t diff = x ^ y ^ (0x0101010101010101ull * mask);
    if (need < 8) diff &= (uint64_t{1} << (8 * need)) - 1;
    return diff == 0;
}

struct Match {
    uint32_t length = 0;
    uint32_t source = 0;  // the index position of the kept candidate
};

// The match that a walk over the entries of r in increasing position order
// keeps when it takes a candidate of at least `minimum` bytes (never fewer
// than the key's) and at most `limit`, only if it is strictly longer than the
// one kept: the earliest of the longest. Candidates are the positions of
// `base`, an array laid out as the indexed data (the data itself, or each of
// its bytes bit-reversed), compared as b ^ mask against target. mayReach
// rules most candidates out with one compare.
inline void walkLongest(const KeyIndex& index, KeyIndex::Range r, const uint8_t* base,
                        const uint8_t* target, uint32_t limit, uint32_t minimum, uint8_t mask,
                        Match& m) {
    for (uint32_t pos = r.first; pos < r.high; pos = index.next(pos)) {
        const uint32_t need = m.length + 1 > minimum ? m.length + 1 : minimum;
        if (need > limit) return;
        const uint8_t* q = base + pos;
        if (!mayReach(target, q, need, limit, mask)) continue;
        const uint32_t t = matchLength(target, q, limit, mask);
        if (t >= need) m = {t, pos};
    }
}

// walkLongest, and when the target opens with a run of equal bytes, a
// candidate inside a run of them that is longer than the target's fails at
// the target's first other byte, and so do the next positions of its run
// until as many bytes of it are left: the walk jumps there, an entry of the
// same key. One not longer that fails leaves every later position of its run
// failing too: the walk goes on after the run. On maps of long runs that is
// most of the chain.
inline void keepLongest(const KeyIndex& index, KeyIndex::Range r, const uint8_t* base,
                        const uint8_t* target, uint32_t limit, uint32_t minimum, uint8_t mask,
                        Match& m) {
    const uint32_t run = limit >= 4 ? 1 + matchLength(target + 1, target, limit - 1, 0) : 0;
    if (run < 4 || run >= limit) {
        walkLongest(index, r, base, target, limit, minimum, mask, m);
        return;
    }
    const uint8_t v = target[0] ^ mask;  // the run's byte as the candidates hold it
    uint32_t pos = r.first;
    while (pos < r.high) {
        const uint32_t need = m.length + 1 > minimum ? m.length + 1 : minimum;
        if (need > limit) return;
        const uint8_t* q = base + pos;
        if (mayReach(target, q, need, limit, mask)) {
            const uint32_t t = matchLength(target, q, limit, mask);
            if (t >= need) m = {t, pos};
        } else if (q[0] == v && q[3] == v) {
            const uint32_t length = matchLength(q + 1, q, limit - 1, 0) + 1;
            if (length > run) {
                pos += length - run;
                continue;
            }
            // Not longer, it matched its length at most, and the rest of the
            // run fewer. An entry of another key may hold fewer than four.
            if (length >= 4) {
                pos += length - 4;
                if (pos >= r.high) return;
            }
        }
        pos = index.next(pos);
    }
}

// Bit i set where a[q + i] == x0 and a[q + i + 1] == x1, for i below n
// (at most 64); a is readable below `readable`.
[[gnu::always_inline]] inline uint64_t pairMask(const uint8_t* a, uint32_t q, uint32_t n,
                                                [[maybe_unused]] uint32_t readable, uint8_t x0,
                                                uint8_t x1) {
    uint64_t mask = 0;
    uint32_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i b0 = _mm_set1_epi8(static_cast<char>(x0));
    const __m128i b1 = _mm_set1_epi8(static_cast<char>(x1));
    for (; i < n && q + i + 17 <= readable; i += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + q + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + q + i + 1));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(first, b0), _mm_cmpeq_epi8(second, b1));
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(both))) << i;
    }
#endif
    for (; i < n; ++i)
        if (a[q + i] == x0 && a[q + i + 1] == x1) mask |= uint64_t{1} << i;
    return n < 64 ? mask & ((uint64_t{1} << n) - 1) : mask;
}

// Calls visit(q) for each q in [low, high) where the `bytes` (2 or 4) bytes
// at a + q are those of key (low byte first), oldest first, until it returns
// false. For a window of a few hundred bytes comparing them all, sixteen at
// a time, costs less than indexing every position.
template <class Visit>
[[gnu::always_inline]] inline void forEachKey(const uint8_t* a, uint32_t low, uint32_t high,
                                              uint32_t readable, uint32_t key, uint32_t bytes,
                                              Visit visit) {
    const auto x0 = static_cast<uint8_t>(key), x1 = static_cast<uint8_t>(key >> 8);
    const auto x2 = static_cast<uint8_t>(key >> 16), x3 = static_cast<uint8_t>(key >> 24);
    for (uint32_t q = low; q < high; q += 64) {
        const uint32_t n = high - q < 64 ? high - q : 64;
        uint64_t mask = pairMask(a, q, n, readable, x0, x1);
        if (bytes == 4 && mask) mask &= pairMask(a, q + 2, n, readable, x2, x3);
        for (; mask; mask &= mask - 1)
            if (!visit(q + static_cast<uint32_t>(std::countr_zero(mask)))) return;
    }
}

// The match walkLongest keeps, over the positions in [low, high) of data
// whose first `bytes` (2 or 4) bytes are key's: all compared, no index.
// Candidates are read from base, laid out as data (the data itself, or a
// converted copy that ready() completes before the first one is read).
template <class Ready>
inline void scanLongest(const uint8_t* data, uint32_t readable, uint32_t key, uint32_t bytes,
                        uint32_t low, uint32_t high, const uint8_t* base, const uint8_t* target,
                        uint32_t limit, uint32_t minimum, Match& m, Ready ready) {
    forEachKey(data, low, high, readable, key, bytes, [&](uint32_t q) {
        const uint32_t need = m.length + 1 > minimum ? m.length + 1 : minimum;
        if (need > limit) return false;
        ready();
        if (mayReach(target, base + q, need, limit, 0)) {
            const uint32_t t = matchLength(target, base + q, limit, 0);
            if (t >= need) m = {t, q};
        }
        return true;
    });
}

inline void scanLongest(const uint8_t* data, uint32_t readable, uint32_t pair, uint32_t low,
                        uint32_t high, const uint8_t* target, uint32_t limit, uint32_t minimum,
                        Match& m) {
    scanLongest(data, readable, pair, 2, low, high, data, target, limit, minimum, m, [] {});
}

// The common case: candidates are earlier positions of data itself.
inline void keepLongest(const KeyIndex& index, KeyIndex::Range r, const uint8_t* data, uint32_t p,
                        uint32_t limit, uint32_t minimum, uint8_t mask, Match& m) {
    keepLongest(index, r, data, data + p, limit, minimum, mask, m);
}

}  // namespace zarni::codec
