// Format 4, shortest stream: an exact minimum-size parse by dynamic
// programming. The greedy encoder's bytes are fixed; this one may pick any
// command sequence the decoder accepts, so it weighs every fill, every copy
// length and every literal run at every position.
//
// Longest copies come from one sorted order of the suffixes of the input and
// of its bit-inverse: among a set of earlier suffixes, the longest match of
// position p is a neighbour of p in that order, so the four kinds of copy
// (absolute and relative, plain and inverted) each keep their allowed sources
// in a small ordered bit set. The cost of the rest of the stream is then
// found from the end backwards, with range minima over the next 1024
// positions for the two header sizes.
#include <algorithm>
#include <bit>
#include <memory>
#include <new>
#include <utility>

#include "command_header.h"
#include "frame.h"

namespace zarni::codec {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kMaxDistance = 255;          // relative copies, commands 6 and 7
constexpr uint32_t kMaxInvertedRelative = 768;  // command 7 has only long headers
constexpr uint32_t kPrefixLevels = 11;          // prefixes of 1, 2, 4, ..., 1024 bytes

template <class T>
std::unique_ptr<T[]> allocate(size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n ? n : 1]);
}

// The suffixes of data followed by its bit-inverse, ordered by their first
// 1024 bytes (equal ones by position). Doubling keeps the rank of every
// prefix of 2^j bytes, which answers common prefix lengths in a few steps
// per level; the ranks of one suffix lie together, so climbing them costs no
// new line. A short input keeps only the levels that a common prefix within
// it can use.
class SuffixOrder {
  public:
    bool build(const uint8_t* data, uint32_t n);

    uint32_t place(uint32_t suffix) const { return place_[suffix]; }
    uint32_t suffixAt(uint32_t place) const { return sorted_[place]; }

    // Common prefix of the suffixes a and b, at most cap (1 <= cap <= 1024):
    // up the levels while the prefixes agree, then down from the longest
    // that does. The callers' caps keep both suffixes inside the two halves,
    // so the ranks read are always there.
    uint32_t commonPrefix(uint32_t a, uint32_t b, uint32_t cap) const {
        const uint32_t* ra = ranks_ + size_t{a} * stride_;
        const uint32_t* rb = ranks_ + size_t{b} * stride_;
        if (ra[0] != rb[0]) return 0;
        uint32_t j = 0;
        while (j + 1 < levels_ && (1u << j) < cap && ra[j + 1] == rb[j + 1]) ++j;
        uint32_t len = 1u << j;
        while (j-- > 0 && len < cap) {
            const uint32_t* na = ranks_ + (size_t{a} + len) * stride_;
            const uint32_t* nb = ranks_ + (size_t{b} + len) * stride_;
            if (na[j] == nb[j]) len += 1u << j;
        }
        return len < cap ? len : cap;
    }

  private:
    uint32_t m_ = 0;
    uint32_t stride_ = 0;  // levels room is kept for
    uint32_t levels_ = 0;  // levels filled: up to the first whose ranks all differ
    std::unique_ptr<uint32_t[]> memory_;
    uint32_t *ranks_ = nullptr, *sorted_ = nullptr, *place_ = nullptr;
};

bool SuffixOrder::build(const uint8_t* data, uint32_t n) {
    m_ = 2 * n;
    // Levels 0 .. stride_ - 1 add up to at least the longest common prefix
    // asked for, min(n, 1024).
    stride_ = std::bit_width(std::min(n, kMaxCommandLength));
    memory_ = allocate<uint32_t>(size_t{stride_ + 4} * m_ + std::max(m_, 256u));
    if (!memory_) return false;
    ranks_ = memory_.get();
    uint32_t* sorted = ranks_ + size_t{stride_} * m_;
    uint32_t* other = sorted + m_;  // the next order, and at the end the places
    uint32_t* prev = other + m_;
    uint32_t* cur = prev + m_;
    // Where each rank's group starts in sorted; the next pass fills the
    // groups from there.
    uint32_t* start = cur + m_;

    for (uint32_t i = 0; i < n; ++i) {
        cur[i] = data[i];
        cur[n + i] = static_cast<uint8_t>(~data[i]);
    }
    std::fill(start, start + 256, 0u);
    for (uint32_t i = 0; i < m_; ++i) ++start[cur[i]];
    for (uint32_t v = 0, sum = 0; v < 256; ++v) sum += std::exchange(start[v], sum);
    for (uint32_t i = 0; i < m_; ++i) sorted[start[cur[i]]++] = i;
    // Ranks are numbered densely, so that groups start where their rank says.
    uint32_t r = 0;
    start[0] = 0;
    for (uint32_t s = 0; s < m_; ++s) {
        const uint32_t b = sorted[s];
        if (s && cur[b] != cur[sorted[s - 1]]) start[++r] = s;
        prev[b] = r;
        ranks_[size_t{b} * stride_] = r;
    }
    levels_ = 1;

    // Once all ranks differ, longer prefixes order the same and no two
    // suffixes share more.
    for (uint32_t j = 1; j < kPrefixLevels && r + 1 < m_; ++j) {
        // Stably by the first half, taking the suffixes by their second
        // half: those too short for one come first.
        const uint32_t k = 1u << (j - 1);
        for (uint32_t i = m_ > k ? m_ - k : 0; i < m_; ++i) other[start[prev[i]]++] = i;
        for (uint32_t s = 0; s < m_; ++s) {
            const uint32_t i = sorted[s] - k;
            if (sorted[s] >= k) other[start[prev[i]]++] = i;
        }
        std::swap(sorted, other);

        auto second = [&](uint32_t i) { return i + k < m_ ? prev[i + k] + 1 : 0; };
        uint32_t* level = j < stride_ ? ranks_ + j : nullptr;
        r = 0;
        start[0] = 0;
        uint32_t firstHalf = prev[sorted[0]], secondHalf = second(sorted[0]);
        for (uint32_t s = 0; s < m_; ++s) {
            const uint32_t b = sorted[s];
            const uint32_t f = prev[b], g = second(b);
            if (f != firstHalf || g != secondHalf) {
                start[++r] = s;
                firstHalf = f;
                secondHalf = g;
            }
            cur[b] = r;
            if (level) level[size_t{b} * stride_] = r;
        }
        if (level) levels_ = j + 1;
        std::swap(prev, cur);
    }
    for (uint32_t s = 0; s < m_; ++s) other[sorted[s]] = s;
    sorted_ = sorted;
    place_ = other;
    return true;
}

// A set of places below 2^18 with the nearest member on either side of a
// place, in three levels of 64-bit words that the caller provides zeroed:
// words(size) of them for places below size.
class PlaceSet {
  public:
    static size_t words(uint32_t size) { return (size + 63) / 64 + (size + 4095) / 4096 + 1; }

    void attach(uint64_t* zeroed, uint32_t size) {
        words0_ = zeroed;
        words1_ = words0_ + (size + 63) / 64;
        words2_ = words1_ + (size + 4095) / 4096;
    }

    void insert(uint32_t x) {
        words0_[x >> 6] |= bit(x & 63);
        words1_[x >> 12] |= bit((x >> 6) & 63);
        words2_[x >> 18] |= bit((x >> 12) & 63);
    }

    void erase(uint32_t x) {
        if (words0_[x >> 6] &= ~bit(x & 63)) return;
        if (words1_[x >> 12] &= ~bit((x >> 6) & 63)) return;
        words2_[x >> 18] &= ~bit((x >> 12) & 63);
    }

    // The largest member below x, or kNone.
    uint32_t before(uint32_t x) const { return nearest<false>(x); }
    // The smallest member above x, or kNone.
    uint32_t after(uint32_t x) const { return nearest<true>(x); }

  private:
    static uint64_t bit(uint32_t b) { return uint64_t{1} << b; }
    static uint64_t below(uint32_t b) { return bit(b) - 1; }
    static uint64_t above(uint32_t b) { return b == 63 ? 0 : ~uint64_t{0} << (b + 1); }
    static uint32_t top(uint64_t w) { return 63 - static_cast<uint32_t>(std::countl_zero(w)); }
    static uint32_t low(uint64_t w) { return static_cast<uint32_t>(std::countr_zero(w)); }

    // The word of x first, then its summary word, then the top word.
    template <bool kUp>
    uint32_t nearest(uint32_t x) const {
        auto side = [](uint32_t b) { return kUp ? above(b) : below(b); };
        auto pick = [](uint64_t w) { return kUp ? low(w) : top(w); };
        uint32_t i = x >> 6;
        uint64_t w = words0_[i] & side(x & 63);
        if (w) return (i << 6) | pick(w);
        const uint32_t i1 = i >> 6;
        w = words1_[i1] & side(i & 63);
        if (w) {
            i = (i1 << 6) | pick(w);
        } else {
            w = words2_[0] & side(i1 & 63);
            if (!w) return kNone;
            const uint32_t k = pick(w);
            i = (k << 6) | pick(words1_[k]);
        }
        return (i << 6) | pick(words0_[i]);
    }

    // Places reach 2 x 65,536: up to 2048 words, 32 summary words, one top word.
    uint64_t* words0_ = nullptr;
    uint64_t* words1_ = nullptr;
    uint64_t* words2_ = nullptr;
};

// The kinds of command, numbered as in the stream.
enum Kind : uint32_t {
    kLiteral = 0,
    kByteFill = 1,
    kWordFill = 2,
    kIncreasingFill = 3,
    kAbsolute = 4,
    kAbsoluteInverted = 5,
    kRelative = 6,
    kRelativeInverted = 7,
};

// The longest copy of each kind at one position: relative, inverted
// relative, absolute, inverted absolute.
struct CopyMatch {
    uint16_t length[4];  // 0 when there is none
    uint16_t source[4];  // the source position
};

// Of the earlier suffixes in set, the one sharing the longest prefix with
// suffix p; equal lengths go to the later source (the shorter distance).
void longestIn(const SuffixOrder& order, const PlaceSet& set, uint32_t p, uint32_t offset,
               uint32_t cap, uint16_t& length, uint16_t& source) {
    const uint32_t x = order.place(p);
    uint32_t bestLength = 0, bestSource = 0;
    for (uint32_t y : {set.before(x), set.after(x)}) {
        if (y == kNone) continue;
        const uint32_t q = order.suffixAt(y);
        const uint32_t t = order.commonPrefix(p, q, cap);
        if (t > bestLength || (t == bestLength && t && q - offset > bestSource)) {
            bestLength = t;
            bestSource = q - offset;
        }
    }
    length = static_cast<uint16_t>(bestLength);
    source = static_cast<uint16_t>(bestSource);
}

// The longest copy of each kind at every position.
bool findCopies(const uint8_t* data, uint32_t n, CopyMatch* matches) {
    SuffixOrder order;
    if (!order.build(data, n)) return false;
    const size_t words = PlaceSet::words(2 * n);
    std::unique_ptr<uint64_t[]> memory(new (std::nothrow) uint64_t[4 * words]());
    if (!memory) return false;
    PlaceSet sets[4];
    for (int i = 0; i < 4; ++i) sets[i].attach(memory.get() + i * words, 2 * n);
    PlaceSet &relative = sets[0], &relativeInverted = sets[1], &absolute = sets[2],
             &absoluteInverted = sets[3];
    for (uint32_t p = 0; p < n; ++p) {
        if (p >= 1) {
            absolute.insert(order.place(p - 1));
            absoluteInverted.insert(order.place(n + p - 1));
        }
        // The relative sources are some of the absolute ones: when the best
        // absolute source lies within reach, or there is none, it is the best
        // relative one. So the relative sets serve only from the first
        // position that has a source out of reach.
        if (p > kMaxDistance) {
            for (uint32_t s = p == kMaxDistance + 1 ? 1 : p - 1; s < p; ++s) {
                relative.insert(order.place(s));
                relativeInverted.insert(order.place(n + s));
            }
            if (p > kMaxDistance + 1) {
                relative.erase(order.place(p - kMaxDistance - 1));
                relativeInverted.erase(order.place(n + p - kMaxDistance - 1));
            }
        }
        const uint32_t e = std::min(n - p, kMaxCommandLength);
        CopyMatch& c = matches[p];
        longestIn(order, absolute, p, 0, e, c.length[2], c.source[2]);
        if (c.length[2] == 0 || p - c.source[2] <= kMaxDistance) {
            c.length[0] = c.length[2];
            c.source[0] = c.source[2];
        } else {
            longestIn(order, relative, p, 0, e, c.length[0], c.source[0]);
        }
        longestIn(order, absoluteInverted, p, n, e, c.length[3], c.source[3]);
        const uint32_t ei = std::min(e, kMaxInvertedRelative);
        if (c.length[3] == 0 || p - c.source[3] <= kMaxDistance) {
            c.length[1] = std::min<uint32_t>(c.length[3], ei);
            c.source[1] = c.source[3];
        } else {
            longestIn(order, relativeInverted, p, n, ei, c.length[1], c.source[1]);
        }
    }
    return true;
}

// Range minima over positions p+1 .. p+1024 of a key that is filled in from
// the end backwards: level j holds the minimum of 2^j keys from each index.
class BackwardMinima {
  public:
    // Windows of up to longest positions.
    bool allocate(uint32_t count, uint32_t longest) {
        count_ = count;
        levels_ = std::bit_width(longest);
        keys_ = zarni::codec::allocate<uint64_t>(size_t{levels_} * count);
        return keys_ != nullptr;
    }

    void set(uint32_t i, uint64_t key) {
        uint64_t* k = keys_.get() + i;
        *k = key;
        for (uint32_t j = 1; j < levels_ && i + (1u << j) <= count_; ++j) {
            key = std::min(key, k[1u << (j - 1)]);
            k += count_;
            *k = key;
        }
    }

    // Minimum of the keys at first .. last.
    uint64_t min(uint32_t first, uint32_t last) const {
        const int j = std::bit_width(last - first + 1) - 1;
        const uint64_t* k = keys_.get() + static_cast<size_t>(j) * count_;
        return std::min(k[first], k[last - (1u << j) + 1]);
    }

  private:
    uint32_t count_ = 0;
    uint32_t levels_ = 0;
    std::unique_ptr<uint64_t[]> keys_;
};

// Keys order by cost, then by the later position (the longer command).
constexpr uint32_t kIndexBits = 17;
uint64_t key(uint32_t cost, uint32_t index) {
    return (uint64_t{cost} << kIndexBits) | ((1u << kIndexBits) - 1 - index);
}
uint32_t keyCost(uint64_t k) {
    return static_cast<uint32_t>(k >> kIndexBits);
}
uint32_t keyIndex(uint64_t k) {
    return (1u << kIndexBits) - 1 - static_cast<uint32_t>(k & ((1u << kIndexBits) - 1));
}

// A command choice at one position.
struct Choice {
    uint32_t cost = kNone;  // bytes from here to the end marker
    uint32_t length = 0;
    uint32_t rank = 0;  // preference among equal cost and length, higher wins
    Kind kind = kLiteral;

    bool beats(const Choice& other) const {
        if (cost != other.cost) return cost < other.cost;
        if (length != other.length) return length > other.length;
        return rank > other.rank;
    }
};

// Among equally short streams the longest fills and copies win, and at one
// length relative copies win over absolute ones and copies over fills: the
// second pass finds regular streams smaller.
uint32_t preference(Kind kind) {
    switch (kind) {
        case kRelative:
            return 7;
        case kRelativeInverted:
            return 6;
        case kAbsolute:
            return 5;
        case kAbsoluteInverted:
            return 4;
        case kByteFill:
            return 3;
        case kIncreasingFill:
            return 2;
        case kWordFill:
            return 1;
        default:
            return 0;
    }
}

}  // namespace

void encodeFormat4Smallest(EncoderFrame& f, uint8_t* data, uint32_t size) {
    const uint32_t n = size;
    std::unique_ptr<CopyMatch[]> matches = allocate<CopyMatch>(n);
    if (n < 2 || !matches || !findCopies(data, n, matches.get())) {
        f.go = false;
        return;
    }

    // cost[i]: the shortest stream for data[i, n) with its end marker. Two
    // range minima: of cost (copies and fills) and of cost + i (literal runs,
    // whose cost grows with their length).
    BackwardMinima commands, literals;
    std::unique_ptr<uint32_t[]> chosen = allocate<uint32_t>(n);
    // The longest window: a long command's lengths past its first 32.
    const uint32_t longest = std::min(n, kMaxCommandLength - 32);
    if (!chosen || !commands.allocate(n + 1, longest) || !literals.allocate(n + 1, longest)) {
        f.go = false;
        return;
    }
    commands.set(n, key(1, n));
    literals.set(n, key(1 + n, n));

    uint32_t run = 0, alternating = 0, increasing = 0;
    uint32_t costHere = 1;
    for (uint32_t p = n; p-- > 0;) {
        const uint8_t* d = data + p;
        const uint32_t left = n - p;
        run = left > 1 && d[1] == d[0] ? run + 1 : 1;
        increasing = left > 1 && d[1] == static_cast<uint8_t>(d[0] + 1) ? increasing + 1 : 1;
        alternating = left == 1 ? 1 : left > 2 && d[2] == d[0] ? alternating + 1 : 2;
        const uint32_t e = std::min(left, kMaxCommandLength);

        Choice best;
        // A command of any length 1 .. most, costing shortCost up to 32 bytes
        // and longCost beyond. Up to covered bytes a kind already weighed
        // costs no more at every length and wins at equal cost, so only
        // longer commands can win.
        auto consider = [&](Kind kind, uint32_t most, uint32_t shortCost, uint32_t longCost,
                            uint32_t covered) {
            if (most <= covered) return;
            const uint64_t a = commands.min(p + 1, p + std::min(most, 32u));
            Choice c{keyCost(a) + shortCost, keyIndex(a) - p, preference(kind), kind};
            if (most > 32) {
                const uint64_t b = commands.min(p + 33, p + most);
                const Choice l{keyCost(b) + longCost, keyIndex(b) - p, preference(kind), kind};
                if (l.beats(c)) c = l;
            }
            if (c.beats(best)) best = c;
        };
        const CopyMatch& m = matches[p];
        const uint32_t relative = m.length[0], relativeInverted = m.length[1],
                       absolute = m.length[2], absoluteInverted = m.length[3];
        const uint32_t bytes = std::min(run, e),
                       steps = increasing > 1 ? std::min(increasing, e) : 0,
                       words = left > 1 && d[0] != d[1] ? std::min(alternating, e) : 0;
        consider(kRelative, relative, 2, 3, 0);
        consider(kRelativeInverted, relativeInverted, 3, 3, relative);
        consider(kAbsolute, absolute, 3, 4, std::max(relative, relativeInverted));
        consider(kAbsoluteInverted, absoluteInverted, 3, 4,
                 std::max({relative, relativeInverted, absolute}));
        consider(kByteFill, bytes, 2, 3, relative);
        consider(kIncreasingFill, steps, 2, 3, std::max(relative, bytes));
        consider(kWordFill, words, 3, 4,
                 std::max({relative, relativeInverted, absolute, absoluteInverted, bytes, steps}));

        // Literal runs: header plus length; a run's own cost is key - p.
        const uint64_t a = literals.min(p + 1, p + std::min(e, 32u));
        Choice lit{keyCost(a) - p + 1, keyIndex(a) - p, 0, kLiteral};
        if (e > 32) {
            const uint64_t b = literals.min(p + 33, p + e);
            const Choice l{keyCost(b) - p + 2, keyIndex(b) - p, 0, kLiteral};
            if (l.beats(lit)) lit = l;
        }
        if (lit.beats(best)) best = lit;

        costHere = best.cost;
        chosen[p] = (best.kind << 16) | (best.length - 1);
        commands.set(p, key(costHere, p));
        literals.set(p, key(costHere + p, p));
    }
    if (costHere > kBufferSize) {
        f.go = false;
        return;
    }

    for (uint32_t p = 0; p < n && f.go;) {
        const auto kind = static_cast<Kind>(chosen[p] >> 16);
        const uint32_t length = (chosen[p] & 0xFFFF) + 1;
        const CopyMatch& m = matches[p];
        switch (kind) {
            case kLiteral: {
                uint32_t r = p;
                flushLiterals(f, data, r, p + length);
                break;
            }
            case kByteFill:
            case kIncreasingFill:
                writeCommandHeader(f, kind, length);
                f.put(data[p]);
                break;
            case kWordFill:
                writeCommandHeader(f, kind, length);
                f.put(data[p]);
                f.put(data[p + 1]);
                break;
            case kRelative:
                writeCommandHeader(f, kind, length);
                f.put(static_cast<uint8_t>(p - m.source[0]));
                break;
            case kRelativeInverted:
                // Command 7 exists only in the long form.
                f.put(static_cast<uint8_t>(0xE0 + kind * 4 + ((length - 1) >> 8)));
                f.put(static_cast<uint8_t>((length - 1) & 0xFF));
                f.put(static_cast<uint8_t>(p - m.source[1]));
                break;
            case kAbsolute:
            case kAbsoluteInverted: {
                const uint32_t source = m.source[kind == kAbsolute ? 2 : 3];
                writeCommandHeader(f, kind, length);
                f.put(static_cast<uint8_t>(source & 0xFF));
                f.put(static_cast<uint8_t>(source >> 8));
                break;
            }
        }
        p += length;
    }
    f.put(0xFF);
}

}  // namespace zarni::codec
