// Format 2: literal runs, byte/word/zero fills, and forward, bit-reversed and
// backward copies addressed by a 15-bit position or a 7-bit distance.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "command_header.h"
#include "frame.h"
#include "pair_index.h"

namespace zarni::codec {
namespace {

constexpr uint32_t kAbsoluteLimit = 0x8000;  // absolute sources have 15 bits
constexpr uint32_t kMaxDistance = 127;

constexpr std::array<uint8_t, 256> kReversed = [] {
    std::array<uint8_t, 256> t{};
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < 8; ++b) r |= ((v >> b) & 1u) << (7 - b);
        t[v] = static_cast<uint8_t>(r);
    }
    return t;
}();

// The bytes of x in reverse order (std::byteswap comes with C++23); compilers
// make the shifts one instruction.
constexpr uint64_t byteSwap(uint64_t x) {
    x = (x >> 8 & 0x00FF00FF00FF00FFull) | (x & 0x00FF00FF00FF00FFull) << 8;
    x = (x >> 16 & 0x0000FFFF0000FFFFull) | (x & 0x0000FFFF0000FFFFull) << 16;
    return x >> 32 | x << 32;
}

}  // namespace

void decodeFormat2(DecoderFrame& f) {
    CommandHeader h;
    while (f.go && readCommandHeader(f, h)) {
        if (decodeSharedCommand(f, h)) continue;
        const uint32_t n = h.length;
        if (h.command == 3) {
            if (!f.fits(n)) break;
            f.fill(0, n);
            continue;
        }
        uint8_t a0, a1 = 0;
        if (!f.read(a0) || (a0 < 0x80 && !f.read(a1))) break;
        // A distance beyond the start of the output wraps to a huge source.
        const uint32_t s = a0 >= 0x80 ? f.length - (a0 & 0x7Fu) : a0 * 256u + a1;
        if (h.command <= 5) {
            if (s >= kBufferSize || s + n > kBufferSize) break;
            if (h.command == 4) {
                f.copy(s, n, 0);
            } else {
                f.clearAhead(s + n);
                for (uint32_t i = 0; i < n && f.put(kReversed[f.out[s + i]]); ++i) {
                }
            }
        } else {
            // Backward: may end exactly at position 0, never before it.
            if (s >= kBufferSize || s + 1 < n) break;
            f.clearAhead(s + 1);
            for (uint32_t i = 0; i < n && f.put(f.out[s - i]); ++i) {
            }
        }
    }
}

namespace {

// The four-byte strings that start below a position and below 0x8000, where
// absolute sources lie, as three bits of one word each. The triple filter
// lets through every string that occurred anywhere before; on data without
// repeats this one rules out nearly all of them, so the absolute searches,
// and the index they need, are skipped. Built on its first question; once a
// few strings have been found, the data repeats, and it answers yes to all.
class QuadFilter {
  public:
    void init(const uint8_t* data, uint32_t size) {
        data_ = data;
        const uint32_t count = size >= 4 ? size - 3 : 0;
        limit_ = count < kAbsoluteLimit ? count : kAbsoluteLimit;
    }

    bool mayStartBefore(uint32_t quad, uint32_t high) {
        if (found_ >= kEnough || (!bits_ && !allocate())) return true;
        if (high > limit_) high = limit_;
        for (; added_ < high; ++added_) {
            const uint64_t h = hash(quadKey(data_ + added_));
            bits_[h >> shift_] |= bitsOf(h);
        }
        const uint64_t h = hash(quad), b = bitsOf(h);
        if ((bits_[h >> shift_] & b) != b) return false;
        ++found_;
        return true;
    }

  private:
    static constexpr uint32_t kEnough = 16;

    // Each thread keeps the memory, as the triple filter does; format 2
    // encoders never run nested on one thread.
    bool allocate() {
        uint32_t words = 64;
        while (words < limit_) words <<= 1;
        shift_ = 64 - static_cast<uint32_t>(std::countr_zero(words));
        static thread_local std::unique_ptr<uint64_t, FreeDeleter> memory;
        static thread_local uint32_t capacity = 0;
        if (capacity < words) {
            memory.reset(static_cast<uint64_t*>(std::malloc(size_t{words} * 8)));
            capacity = memory ? words : 0;
            if (!memory) return false;
        }
        bits_ = memory.get();
        std::memset(bits_, 0, size_t{words} * 8);
        return true;
    }
    static uint64_t hash(uint32_t quad) { return quad * 0x9E3779B97F4A7C15ull; }
    static uint64_t bitsOf(uint64_t h) {
        return uint64_t{1} << ((h >> 20) & 63) | uint64_t{1} << ((h >> 26) & 63) |
               uint64_t{1} << ((h >> 32) & 63);
    }

    const uint8_t* data_ = nullptr;
    uint32_t limit_ = 0, added_ = 0, shift_ = 64, found_ = 0;
    uint64_t* bits_ = nullptr;
};

struct Candidates {
    Match fa, fr;  // forward, absolute and relative
    Match ra, rr;  // bit-reversed
    Match ba, br;  // backward; sources are index positions, see below
    uint32_t byteFill = 0, wordFill = 0, zeroFill = 0;
};

struct Encoder {
    const uint8_t* data;
    uint32_t size;
    KeyIndex quads;
    TripleFilter seen;
    QuadFilter far;
    uint32_t scanned = 0;  // bytes the absolute searches compared without the index
    std::unique_ptr<uint8_t[]> reversedBits;  // kReversed of every byte
    std::unique_ptr<uint8_t[]> mirrored;      // data back to front
    uint32_t converted = 0;                   // both hold data[0, converted)

    bool build() {
        reversedBits.reset(new (std::nothrow) uint8_t[size]);
        mirrored.reset(new (std::nothrow) uint8_t[size]);
        far.init(data, size);
        return reversedBits && mirrored && quads.buildQuads(data, size) && seen.build(data, size);
    }

    // The searches at p read sources below p and at most 1024 bytes on;
    // inputs made of fills never get that far. Asked at every candidate:
    // the test is inline, the work is not.
    [[gnu::always_inline]] void convertFor(uint32_t p) {
        if (converted < size && converted < p + kMaxCommandLength)
            convertUpTo(p + kMaxCommandLength);
    }
    [[gnu::noinline]] void convertUpTo(uint32_t end) {
        if (end > size) end = size;
        // Locals: stores through the byte pointers could alias the members.
        uint8_t* rev = reversedBits.get();
        uint8_t* back = mirrored.get() + size - 1;
        const uint8_t* in = data;
        uint32_t i = converted;
        // Eight bytes at a time: the sanitized builds check a word once.
        for (; i + 8 <= end; i += 8) {
            uint64_t x;
            std::memcpy(&x, in + i, 8);
            uint64_t r = (x >> 4 & 0x0F0F0F0F0F0F0F0Full) | (x & 0x0F0F0F0F0F0F0F0Full) << 4;
            r = (r >> 2 & 0x3333333333333333ull) | (r & 0x3333333333333333ull) << 2;
            r = (r >> 1 & 0x5555555555555555ull) | (r & 0x5555555555555555ull) << 1;
            std::memcpy(rev + i, &r, 8);
            const uint64_t m = byteSwap(x);
            std::memcpy(back - i - 7, &m, 8);
        }
        for (; i < end; ++i) {
            rev[i] = kReversed[in[i]];
            *(back - i) = in[i];
        }
        if (end > converted) converted = end;
    }

    // The filter bits that ask() reads first, some positions on from p. The
    // bit-reversed and back-to-front strings' bits cost more to prefetch
    // than the wait for them.
    void prefetchAhead(uint32_t p) const {
        uint32_t t;
        if (seen.ahead(p, t)) seen.prefetch(t);
    }

    // Every copy takes three bytes that start earlier: in order, bit
    // reversed, or back to front. The filter rules out nearly every search
    // on data without repeats. Asked before p itself is added: a string that
    // reads the same back to front would find itself.
    struct Seen {
        bool forward, reversed, backward;
    };
    [[gnu::always_inline]] Seen ask(uint32_t p) {
        const uint8_t* target = data + p;
        const uint32_t reversedTriple =
            kReversed[target[0]] | kReversed[target[1]] << 8 | kReversed[target[2]] << 16;
        const bool reversed = seen.mayStartBefore(reversedTriple, p);
        const bool backward = seen.mayStartBefore(target[2] | target[1] << 8 | target[0] << 16, p);
        return {seen.mayStartBefore(p), reversed, backward};
    }

    // Relative sources lie 1 to 127 back and take 3 bytes; absolute ones lie
    // below 0x8000 and take 4, so a 4-byte key finds every one of them.
    // beatsFills is the shortest copy that beats the fills. A shorter one is
    // never chosen and decides no comparison between the copies, except that
    // a relative backward copy one byte shorter still stops bit-reversed ones:
    // so the searches start there, or are skipped.
    void search(uint32_t p, uint32_t e, uint32_t beatsFills, Candidates& c) {
        const uint32_t minBr = std::max(3u, beatsFills - 1);
        if (minBr <= e) search(p, e, beatsFills, ask(p), c);
    }

    void search(uint32_t p, uint32_t e, uint32_t beatsFills, Seen answers, Candidates& c) {
        const uint8_t* target = data + p;
        const uint32_t near = p > kMaxDistance ? p - kMaxDistance : 0;
        // An absolute copy is taken only when longer than the relative one of
        // its kind, and every source inside the relative window has been
        // measured for that: absolute searches end where the window starts.
        const uint32_t absoluteEnd = std::min(near, kAbsoluteLimit);
        const uint8_t v0 = data[p], v1 = data[p + 1];
        const uint32_t min3 = std::max(3u, beatsFills), min4 = std::max(4u, beatsFills);
        const uint32_t minBr = std::max(3u, beatsFills - 1);
        const uint32_t reversedPair = kReversed[v0] | kReversed[v1] << 8;
        const uint32_t reversedTriple = reversedPair | kReversed[target[2]] << 16;
        const uint32_t backTriple = target[2] | v1 << 8 | v0 << 16;
        const bool reversed = min3 <= e && answers.reversed;
        const bool backward = answers.backward;
        const bool forward = min3 <= e && answers.forward;
        // Each absolute copy is taken only when longer than the relative copy
        // of its kind, and one not longer decides no other comparison.
        auto longer = [min4](const Match& relative) { return std::max(min4, relative.length + 1); };

        if (forward) {
            nearest(data, pairKey(target), 2, near, p, p, e, min3, c.fr);
            // A relative copy as long as can be stops every other: the
            // absolute one is taken only when longer.
            if (c.fr.length >= e) return;
            const uint32_t minFa = longer(c.fr);
            const uint32_t key = minFa <= e ? quadKey(target) : 0;
            if (minFa <= e && far.mayStartBefore(key, absoluteEnd)) {
                if (scanFar(absoluteEnd))
                    nearest(data, key, 4, 0, absoluteEnd, p, e, minFa, c.fa);
                else
                    keepLongest(quads, quads.find(key, 0, absoluteEnd), data, p, e, minFa, 0, c.fa);
            }
        }
        if (!reversed && !backward) return;

        if (reversed) {
            const uint8_t* rev = reversedBits.get();
            nearest(rev, reversedPair, 2, near, p, p, e, min3, c.rr);
            const uint32_t minRa = longer(c.rr);
            const uint32_t key =
                minRa <= e ? reversedTriple | static_cast<uint32_t>(kReversed[target[3]]) << 24 : 0;
            if (minRa <= e && far.mayStartBefore(key, absoluteEnd)) {
                if (scanFar(absoluteEnd)) {
                    nearest(rev, key, 4, 0, absoluteEnd, p, e, minRa, c.ra);
                } else {
                    convertFor(p);
                    keepLongest(quads, quads.find(key, 0, absoluteEnd), rev, target, e, minRa, 0,
                                c.ra);
                }
            }
            if (c.rr.length >= e) return;
        }
        if (!backward) return;

        // Backward from X: data[X - k] = data[p + k], read in the mirrored
        // data from size - 1 - X on, and never past position 0 (k <= X).
        // Relative sources come from the pair at X - 1, absolute ones from
        // the four bytes at X - 3, so entries ascend with X.
        const uint32_t nearPair = p > kMaxDistance + 1 ? p - kMaxDistance - 1 : 0;
        nearestBackward(v1 | v0 << 8, 2, nearPair, p > 0 ? p - 1 : 0, p, e, minBr, c.br);
        const uint32_t minBa = longer(c.br);
        const uint32_t key = minBa <= e ? target[3] | backTriple << 8 : 0;
        // Entries below backEnd copy from X = entry + 3 before the window's p - 127.
        const uint32_t backEnd = std::min(nearPair > 2 ? nearPair - 2 : 0, kAbsoluteLimit - 3);
        if (minBa <= e && backEnd > 0 && far.mayStartBefore(key, backEnd)) {
            if (scanFar(backEnd)) {
                nearestBackward(key, 4, 0, backEnd, p, e, minBa, c.ba);
            } else {
                convertFor(p);
                backwardLongest(quads, quads.find(key, 0, backEnd), p, e, 3, minBa, c.ba);
            }
        }
    }

    // An absolute search compares the bytes below its end until that has
    // cost about as much as indexing them, then uses the index: on data
    // without repeats the few searches let through never build it.
    bool scanFar(uint32_t end) {
        if (scanned + end > kAbsoluteLimit / 2) return false;
        scanned += end;
        return true;
    }

    // The earliest of the longest copies of at least `minimum` bytes from
    // [low, high) to p, each byte read from base (the data or its bit-reversed
    // copy, converted once a candidate needs it); key is what the data holds
    // where base reads the target's first `bytes` bytes.
    void nearest(const uint8_t* base, uint32_t key, uint32_t bytes, uint32_t low, uint32_t high,
                 uint32_t p, uint32_t e, uint32_t minimum, Match& m) {
        scanLongest(data, size, key, bytes, low, high, base, data + p, e, minimum, m, [&] {
            if (base != data) convertFor(p);
        });
    }

    // The same for backward copies from X = entry + bytes - 1, where the
    // entries in [low, high) hold the target's first bytes back to front.
    void nearestBackward(uint32_t key, uint32_t bytes, uint32_t low, uint32_t high, uint32_t p,
                         uint32_t e, uint32_t minimum, Match& m) {
        const uint8_t* target = data + p;
        const uint32_t last = size - 1;
        forEachKey(data, low, high, size, key, bytes, [&](uint32_t pos) {
            const uint32_t need = m.length + 1 > minimum ? m.length + 1 : minimum;
            if (need > e) return false;
            const uint32_t x = pos + bytes - 1;
            const uint32_t cap = x + 1 < e ? x + 1 : e;
            if (need <= cap) {
                convertFor(p);
                const uint8_t* q = mirrored.get() + last - x;  // q[k] = data[x - k]
                if (mayReach(target, q, need, cap, 0)) {
                    const uint32_t t = matchLength(target, q, cap, 0);
                    if (t >= need) m = {t, pos};
                }
            }
            return true;
        });
    }

    // keepLongest for the backward copies from X = entry + offset (the entry
    // holds data[X - offset, X]). When the target opens with a run, a
    // candidate inside a run of that byte whose run back from X is too short
    // for the length needed fails, and so do the next positions until it is
    // long enough: the walk jumps there. Each later X reads the run back
    // further, so one that reads back as far as the target's run and fails
    // leaves the rest of the run failing: the walk goes on after it.
    void backwardLongest(const KeyIndex& index, KeyIndex::Range r, uint32_t p, uint32_t e,
                         uint32_t offset, uint32_t minimum, Match& m) const {
        const uint8_t* target = data + p;
        const uint8_t* back = mirrored.get();
        const uint32_t last = size - 1;
        const uint32_t run = 1 + matchLength(target + 1, target, e - 1, 0);
        const uint8_t v = target[0];
        uint32_t pos = r.first;
        while (pos < r.high) {
            const uint32_t need = m.length + 1 > minimum ? m.length + 1 : minimum;
            if (need > e) return;
            const uint32_t x = pos + offset;
            const uint32_t cap = x + 1 < e ? x + 1 : e;
            const uint8_t* q = back + last - x;  // q[k] = data[x - k]
            if (need <= cap) {
                if (mayReach(target, q, need, cap, 0)) {
                    const uint32_t t = matchLength(target, q, cap, 0);
                    if (t >= need) m = {t, pos};
                } else if (run >= 4 && run < e && q[0] == v && q[offset] == v) {
                    const uint32_t down = 1 + matchLength(q + 1, q, cap - 1, 0);
                    const uint32_t up = 1 + matchLength(data + x + 1, data + x, last - x, 0);
                    const uint32_t enough = need < run ? need : run;
                    if (down >= run) {
                        pos += up - 1;
                        if (pos >= r.high) return;
                    } else if (down < enough) {
                        uint32_t jump = enough - down < up - 1 ? enough - down : up - 1;
                        // Land on an entry of this key: offset + 1 bytes of the run.
                        if (down + jump < offset + 1) jump = 0;
                        if (jump) {
                            pos += jump;
                            continue;
                        }
                    }
                }
            }
            pos = index.next(pos);
        }
    }
};

}  // namespace

void encodeFormat2(EncoderFrame& f, uint8_t* data, uint32_t size) {
    Encoder enc{data, size, {}, {}, {}, 0, nullptr, nullptr};
    if (size < 2 || !enc.build()) {
        f.go = false;
        return;
    }
    uint32_t p = 0, r = 0;
    while (f.go) {
        if (p + 2 > size) {
            flushLiterals(f, data, r, size);
            f.put(0xFF);
            return;
        }
        enc.prefetchAhead(p);
        const uint32_t e = size - p < kMaxCommandLength ? size - p : kMaxCommandLength;
        const uint8_t v0 = data[p], v1 = data[p + 1];
        Candidates c;
        if (v0 != v1 && e >= 4 && (data[p + 2] != v0 || data[p + 3] != v1)) {
            // No fill starts here, the common case on data without repeats:
            // a literal unless the filter lets a search through.
            const auto answers = enc.ask(p);
            if (!(answers.forward | answers.reversed | answers.backward)) {
                ++p;
                if (p - r == kMaxCommandLength) flushLiterals(f, data, r, p);
                continue;
            }
            enc.search(p, e, 3, answers, c);
        } else if (v0 == v1) {
            const uint32_t n = runLength(data + p, e);
            if (v0 != 0 && n >= 3) c.byteFill = n;
            if (v0 == 0) c.zeroFill = n;
            if (e >= 3) enc.search(p, e, largest(c.byteFill + 2, c.zeroFill + 3), c);
        } else {
            const uint32_t n = alternatingLength(data + p, e);
            if (n >= 4) c.wordFill = n;
            if (e >= 3) enc.search(p, e, largest(c.wordFill + 1, 3), c);
        }

        const uint32_t fa = c.fa.length, fr = c.fr.length, ra = c.ra.length, rr = c.rr.length;
        const uint32_t ba = c.ba.length, br = c.br.length;
        const uint32_t bf = c.byteFill, w = c.wordFill, z = c.zeroFill;
        if (!(fa | fr | ra | rr | ba | br | bf | w | z)) {
            ++p;
            if (p - r == kMaxCommandLength) flushLiterals(f, data, r, p);
            continue;
        }
        // A fill beats a copy unless the copy is longer by more than its extra bytes.
        auto beatsFills = [&](uint32_t t) { return t > bf + 1 && t > w && t > z + 2; };
        uint32_t command = 0, n = 0, source = 0;
        bool absolute = false;
        if (fa > fr && fa >= ra && fa > rr && fa >= ba && fa > br && beatsFills(fa)) {
            command = 4, n = fa, source = c.fa.source, absolute = true;
        } else if (fr >= ra && fr > rr && fr >= ba && fr > br && beatsFills(fr)) {
            command = 4, n = fr, source = c.fr.source;
        } else if (ra > rr && ra > ba && ra > br + 1 && beatsFills(ra)) {
            command = 5, n = ra, source = c.ra.source, absolute = true;
        } else if (rr > ba && rr > br + 1 && beatsFills(rr)) {
            command = 5, n = rr, source = c.rr.source;
        } else if (ba > br && beatsFills(ba)) {
            command = 6, n = ba, source = c.ba.source + 3, absolute = true;
        } else if (beatsFills(br)) {
            command = 6, n = br, source = c.br.source + 1;
        }

        flushLiterals(f, data, r, p);
        if (command) {
            writeCommandHeader(f, command, n);
            if (absolute) {
                f.put(static_cast<uint8_t>(source >> 8));
                f.put(static_cast<uint8_t>(source & 0xFF));
            } else {
                f.put(static_cast<uint8_t>(0x80 | (p - source)));
            }
            if (command == 4) enc.seen.repeats(p, p + n);
        } else if (bf) {
            n = bf;
            writeCommandHeader(f, 1, n);
            f.put(v0);
            enc.seen.repeats(p + 1, p + n);
        } else if (w) {
            n = w;
            writeCommandHeader(f, 2, n);
            f.put(v0);
            f.put(v1);
            enc.seen.repeats(p + 2, p + n);
        } else {
            n = z;
            writeCommandHeader(f, 3, n);
            enc.seen.repeats(p + 1, p + n);
        }
        p += n;
        r = p;
    }
}

}  // namespace zarni::codec
