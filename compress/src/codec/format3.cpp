// Format 3: literal runs below 0xF0 and sixteen commands 0xF0-0xFF (nibble
// and byte fills, repeated pairs and triples, groups with one free byte,
// 8-bit and 16-bit sequences, three backward copies, the end marker). The
// encoder scores candidates by the bytes they save, then a second pass
// re-codes the literal runs with the free-byte groups.
#include <algorithm>
#include <bit>
#include <cstring>

#include "command_header.h"
#include "frame.h"
#include "pair_index.h"

namespace zarni::codec {
namespace {

constexpr uint32_t kMaxLiteral = 240;

// Writes count bytes start, start + step, ... (modulo 256).
void stepFill(DecoderFrame& f, uint8_t start, uint8_t step, uint32_t count) {
    for (uint32_t i = 0; i < count && f.put(static_cast<uint8_t>(start + step * i)); ++i) {
    }
}

void repeatGroup(DecoderFrame& f, const uint8_t* group, uint32_t size, uint32_t times) {
    for (uint32_t t = 0; t < times; ++t)
        for (uint32_t k = 0; k < size; ++k)
            if (!f.put(group[k])) return;
}

// Groups of fixed bytes each followed by one byte of the stream, read only
// once its group's fixed bytes are out.
void freeByteGroups(DecoderFrame& f, const uint8_t* fixed, uint32_t size, uint32_t times) {
    for (uint32_t t = 0; t < times; ++t) {
        for (uint32_t k = 0; k < size; ++k)
            if (!f.put(fixed[k])) return;
        uint8_t v;
        if (!f.read(v) || !f.put(v)) return;
    }
}

// Reads count argument bytes; false when the file ends first.
bool readArgs(DecoderFrame& f, uint8_t* args, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!f.read(args[i])) return false;
    return true;
}

void copyBack(DecoderFrame& f, uint32_t distance, uint32_t count) {
    const uint32_t s = f.length - distance;  // wraps to a huge value past the start
    if (s >= kBufferSize || s + count > kBufferSize) {
        f.go = false;
        return;
    }
    f.copy(s, count, 0);
}

}  // namespace

void decodeFormat3(DecoderFrame& f) {
    uint8_t a[4];
    while (f.go) {
        uint8_t x;
        if (!f.read(x)) break;
        if (x < 0xF0) {
            if (!f.fits(x + 1u)) break;
            f.readInto(x + 1u);
            continue;
        }
        switch (x) {
            case 0xF0:
                if (!readArgs(f, a, 1)) break;
                if (!f.fits((a[0] & 15u) + 3)) return;
                f.fill(a[0] >> 4, (a[0] & 15u) + 3);
                break;
            case 0xF1:
                if (!readArgs(f, a, 2)) break;
                if (!f.fits(a[0] + 4u)) return;
                f.fill(a[1], a[0] + 4u);
                break;
            case 0xF2: {
                if (!readArgs(f, a, 2)) break;
                const uint8_t pair[2] = {static_cast<uint8_t>(a[1] & 15),
                                         static_cast<uint8_t>(a[1] >> 4)};
                repeatGroup(f, pair, 2, a[0] + 2u);
                break;
            }
            case 0xF3:
                if (readArgs(f, a, 3)) repeatGroup(f, a + 1, 2, a[0] + 2u);
                break;
            case 0xF4:
                if (readArgs(f, a, 4)) repeatGroup(f, a + 1, 3, a[0] + 2u);
                break;
            case 0xF5:
            case 0xF6:
            case 0xF7: {
                const uint32_t fixed = x - 0xF4u;  // 1, 2 or 3 fixed bytes a group
                if (readArgs(f, a, 1 + fixed)) freeByteGroups(f, a + 1, fixed, a[0] + 5u - fixed);
                break;
            }
            case 0xF8:
                if (readArgs(f, a, 2)) stepFill(f, a[1], 1, a[0] + 4u);
                break;
            case 0xF9:
                if (readArgs(f, a, 2)) stepFill(f, a[1], 0xFF, a[0] + 4u);
                break;
            case 0xFA:
                if (readArgs(f, a, 3)) stepFill(f, a[1], a[2], a[0] + 5u);
                break;
            case 0xFB:
                if (readArgs(f, a, 4)) {
                    uint32_t w = a[1] | a[2] << 8;
                    const auto step = static_cast<uint32_t>(static_cast<int8_t>(a[3]));
                    for (uint32_t i = 0; i < a[0] + 3u; ++i, w += step)
                        if (!f.put(static_cast<uint8_t>(w)) || !f.put(static_cast<uint8_t>(w >> 8)))
                            break;
                }
                break;
            case 0xFC:
                if (readArgs(f, a, 2))
                    copyBack(f, 1 + ((a[1] & 15u) << 8 | a[0]), (a[1] >> 4) + 4u);
                break;
            case 0xFD:
                if (readArgs(f, a, 2)) copyBack(f, 1 + a[0], a[1] + 20u);
                break;
            case 0xFE:
                if (readArgs(f, a, 1)) copyBack(f, 8 + 8 * (a[0] >> 4), (a[0] & 15u) + 3);
                break;
            default:  // 0xFF
                return;
        }
    }
}

namespace {

// Candidates in the order that settles ties, with the stream bytes each costs.
enum Kind {
    kNibbleFill,
    kByteFill,
    kNibblePair,
    kPairFill,
    kTriple,
    kIncreasing,
    kDecreasing,
    kArithmetic,
    kArithmetic16,
    kCopyFC,
    kCopyFD,
    kCopyFE,
    kKinds
};
constexpr int kCost[kKinds] = {2, 3, 3, 4, 5, 3, 3, 4, 5, 3, 3, 2};

uint32_t smaller(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

// Whole repeats of the first `group` bytes, counted in bytes.
uint32_t groupLength(const uint8_t* p, uint32_t limit, uint32_t group) {
    uint32_t n = group;
    while (n + group <= limit && std::memcmp(p + n, p, group) == 0) n += group;
    return n;
}

struct Candidates {
    uint32_t length[kKinds] = {};
    uint32_t source[kKinds] = {};  // copies only
    uint16_t step16 = 0;
    int best = -1;  // the kind that saves most so far; the first of equals
    int bestSaving = 0;

    // Kinds must be offered in their order.
    void offer(int kind, uint32_t n) {
        length[kind] = n;
        const int saving = static_cast<int>(n) - kCost[kind];
        if (n && saving > bestSaving) best = kind, bestSaving = saving;
    }
};

struct MainPass {
    const uint8_t* data;
    uint32_t size;
    KeyIndex quads;
    TripleFilter seen;

    // Copy sources lie at most 4096 back and need 4 bytes, except the 0xFE
    // copy, whose 16 possible sources need 3. The copies come
    // after the fills in the order of choice, so a copy that does not save
    // more than the best fill is never taken; nor does leaving it out change
    // which other copy wins, since that one must save more than the fill too.
    // So each search starts at the length that could win, or is skipped.
    void copies(uint32_t p, uint32_t e, int fillSaving, Candidates& c) {
        const uint8_t* target = data + p;
        const auto beatsFill = static_cast<uint32_t>(fillSaving) + 1;  // as saving
        const uint32_t fdMinimum = beatsFill + 3 > 20 ? beatsFill + 3 : 20;
        // Every copy needs three bytes that start earlier.
        if ((beatsFill > 19 - 3 && (e < 4 || e < fdMinimum)) || !seen.mayStartBefore(p)) return;
        // 0xFE: distances 128, 120, ..., 8, earliest source first; the kept
        // length is capped at 18, so a longer match at a later source wins.
        if (beatsFill <= 18 - 2 && p >= 8) {
            // The sources that start with the target's three bytes, found
            // without a branch per source: bit k stands for 8k back.
            uint32_t hits = 0;
            const uint32_t three = tripleKey(target);
            // Four bytes read a source, the fourth still before the target.
            auto at = [&](uint32_t back) {
                uint32_t q;
                std::memcpy(&q, target - back, 4);
                return uint32_t{(q & 0xFFFFFF) == three} << (back / 8);
            };
            if (p >= 128) {
                // All sixteen: a loop of fixed length, which the compiler
                // turns into a few vector compares.
                for (uint32_t back = 8; back <= 128; back += 8) hits |= at(back);
            } else {
                for (uint32_t back = 8; back <= p; back += 8) hits |= at(back);
            }
            uint32_t kept = 0;
            const uint32_t limit = smaller(e, 19);
            while (hits) {
                const uint32_t k = 31 - static_cast<uint32_t>(std::countl_zero(hits));
                hits &= ~(1u << k);
                const uint32_t q = p - 8 * k;
                // Only a longer match than the kept one counts.
                const uint32_t need = kept + 1 > 3 ? kept + 1 : 3;
                if (need > limit || !mayReach(target, data + q, need, limit, 0)) continue;
                const uint32_t t = matchLength(target, data + q, limit, 0);
                if (t >= need) {
                    kept = smaller(t, 18);
                    c.length[kCopyFE] = kept;
                    c.source[kCopyFE] = q;
                }
            }
        }
        if (e < 4) return;
        const uint32_t key = quadKey(target);
        // 0xFD: at most 256 back, 20 bytes or more. Walked oldest first: on
        // maps, whose rows repeat, several sources often reach the limit, and
        // a walk back from the newest would have to link the window anyway.
        if (e >= fdMinimum) {
            Match m;
            keepLongest(quads, quads.find(key, p > 256 ? p - 256 : 0, p), data, p, e, fdMinimum, 0,
                        m);
            c.length[kCopyFD] = m.length;
            c.source[kCopyFD] = m.source;
        }
        // 0xFC saves at most 16, less than a fill that saves as much or any
        // 0xFD copy (20 bytes or more).
        if (beatsFill > 19 - 3 || c.length[kCopyFD]) return;
        // 0xFC keeps its length capped at 19, so any match of 20 or more
        // replaces the kept one: the last such source wins. Without one, the
        // cap changes nothing and the earliest longest wins. One walk back
        // from the newest source finds either: the first of 20 bytes ends
        // it, and an older source as long as the kept one replaces it.
        const uint32_t low = p > 4096 ? p - 4096 : 0;
        const uint32_t cap = smaller(e, 19), reach = e >= 20 ? 20 : cap;
        const uint32_t minimum = beatsFill + 3 > 4 ? beatsFill + 3 : 4;
        Match m;
        for (uint32_t q = quads.last(key, p); q != KeyIndex::kEnd && q >= low;
             q = quads.previous(q)) {
            uint32_t need = m.length > minimum ? m.length : minimum;
            if (need > cap) {
                if (reach <= cap) break;
                need = 20;
            }
            if (!mayReach(target, data + q, need, reach, 0)) continue;
            const uint32_t t = matchLength(target, data + q, reach, 0);
            if (t >= 20) {
                c.length[kCopyFC] = 19;
                c.source[kCopyFC] = q;
                return;
            }
            if (t >= need) m = {t, q};
        }
        c.length[kCopyFC] = m.length;
        c.source[kCopyFC] = m.source;
    }

    void fills(uint32_t p, Candidates& c) const {
        const uint8_t* d = data + p;
        const uint32_t rem = size - p;
        const uint8_t v0 = d[0], v1 = d[1];
        if (v0 == v1) {
            const uint32_t t = runLength(d, smaller(rem, 259));
            if (t >= 3 && v0 < 16) c.offer(kNibbleFill, smaller(t, 16));
            if (t >= 4) c.offer(kByteFill, t);
        }
        const uint32_t pair = groupLength(d, smaller(rem, 514), 2);
        if (pair >= 4) c.offer(v0 < 16 && v1 < 16 ? kNibblePair : kPairFill, pair);
        if (p + 2 < size) {
            const uint32_t triple = groupLength(d, smaller(rem, 771), 3);
            if (triple >= 6) c.offer(kTriple, triple);
        }
        if (v1 == static_cast<uint8_t>(v0 + 1)) {
            const uint32_t n = stepLength(d, smaller(rem, 259), 1);
            if (n >= 4) c.offer(kIncreasing, n);
        }
        if (v0 == static_cast<uint8_t>(v1 + 1)) {
            const uint32_t n = stepLength(d, smaller(rem, 259), 0xFF);
            if (n >= 4) c.offer(kDecreasing, n);
        }
        const uint32_t n = stepLength(d, smaller(rem, 260), static_cast<uint8_t>(v1 - v0));
        if (n >= 5) c.offer(kArithmetic, n);
        if (p + 3 < size) {
            auto word = [d](uint32_t i) { return static_cast<uint32_t>(d[i] | d[i + 1] << 8); };
            const uint32_t step = (word(2) - word(0)) & 0xFFFF;
            if (step != 0 && (step <= 127 || step >= 0x10000 - 128)) {
                const uint32_t limit = smaller(rem, 516);
                uint32_t len = 4;
                while (len + 2 <= limit && word(len) == ((word(len - 2) + step) & 0xFFFF)) len += 2;
                if (len >= 6) {
                    c.offer(kArithmetic16, len);
                    c.step16 = static_cast<uint16_t>(step);
                }
            }
        }
    }
};

void writeCommand(EncoderFrame& f, const uint8_t* d, uint32_t p, int kind, const Candidates& c) {
    const uint32_t n = c.length[kind];
    const uint32_t back = p - c.source[kind];  // copies: the distance
    auto put = [&f](uint32_t v) { f.put(static_cast<uint8_t>(v)); };
    switch (kind) {
        case kNibbleFill:
            put(0xF0), put(n - 3 + 16 * d[0]);
            break;
        case kByteFill:
            put(0xF1), put(n - 4), put(d[0]);
            break;
        case kNibblePair:
            put(0xF2), put(n / 2 - 2), put(d[0] + 16 * d[1]);
            break;
        case kPairFill:
            put(0xF3), put(n / 2 - 2), put(d[0]), put(d[1]);
            break;
        case kTriple:
            put(0xF4), put(n / 3 - 2), put(d[0]), put(d[1]), put(d[2]);
            break;
        case kIncreasing:
            put(0xF8), put(n - 4), put(d[0]);
            break;
        case kDecreasing:
            put(0xF9), put(n - 4), put(d[0]);
            break;
        case kArithmetic:
            put(0xFA), put(n - 5), put(d[0]), put(d[1] - d[0]);
            break;
        case kArithmetic16:
            put(0xFB), put(n / 2 - 3), put(d[0]), put(d[1]), put(c.step16 & 0xFF);
            break;
        case kCopyFC:
            put(0xFC), put((back - 1) & 0xFF), put((n - 4) * 16 + ((back - 1) >> 8));
            break;
        case kCopyFD:
            put(0xFD), put(back - 1), put(n - 20);
            break;
        default:  // kCopyFE
            put(0xFE), put(n - 3 + 16 * ((back - 8) / 8));
            break;
    }
}

// Stream bytes and input bytes of the command at s (first byte 0xF0-0xFE).
void commandSize(const uint8_t* s, uint32_t& streamBytes, uint32_t& inputBytes) {
    switch (s[0]) {
        case 0xF0:
            streamBytes = 2, inputBytes = (s[1] & 15u) + 3;
            break;
        case 0xF1:
            streamBytes = 3, inputBytes = s[1] + 4u;
            break;
        case 0xF2:
            streamBytes = 3, inputBytes = 2 * (s[1] + 2u);
            break;
        case 0xF3:
            streamBytes = 4, inputBytes = 2 * (s[1] + 2u);
            break;
        case 0xF4:
            streamBytes = 5, inputBytes = 3 * (s[1] + 2u);
            break;
        case 0xF5:
            streamBytes = 3 + s[1] + 4u, inputBytes = 2 * (s[1] + 4u);
            break;
        case 0xF6:
            streamBytes = 4 + s[1] + 3u, inputBytes = 3 * (s[1] + 3u);
            break;
        case 0xF7:
            streamBytes = 5 + s[1] + 2u, inputBytes = 4 * (s[1] + 2u);
            break;
        case 0xF8:
        case 0xF9:
            streamBytes = 3, inputBytes = s[1] + 4u;
            break;
        case 0xFA:
            streamBytes = 4, inputBytes = s[1] + 5u;
            break;
        case 0xFB:
            streamBytes = 5, inputBytes = 2 * (s[1] + 3u);
            break;
        case 0xFC:
            streamBytes = 3, inputBytes = (s[2] >> 4) + 4u;
            break;
        case 0xFD:
            streamBytes = 3, inputBytes = s[2] + 20u;
            break;
        default:
            streamBytes = 2, inputBytes = (s[1] & 15u) + 3;
            break;  // 0xFE
    }
}

// Re-codes the literal run data[s, e) with free-byte groups where they save
// bytes. Never longer than the run was, so it may overwrite it in place.
void recodeRun(EncoderFrame& f, const uint8_t* data, uint32_t s, uint32_t e) {
    uint32_t cut = s, c = s;
    while (e - c >= 8) {
        const uint8_t* d = data + c;
        // Every group that saves repeats the first byte 2, 3 or 4 bytes on.
        if (d[2] != d[0] && d[3] != d[0] && d[4] != d[0]) {
            ++c;
            continue;
        }
        uint32_t pairs = 0, triples = 0, quads = 0;
        while (c + 2 * pairs + 2 <= e && d[2 * pairs] == d[0]) ++pairs;
        while (c + 3 * triples + 3 <= e && d[3 * triples] == d[0] && d[3 * triples + 1] == d[1])
            ++triples;
        while (c + 4 * quads + 4 <= e && std::memcmp(d + 4 * quads, d, 3) == 0) ++quads;
        const int savePairs = pairs >= 4 ? static_cast<int>(pairs) - 3 : 0;
        const int saveTriples = triples >= 3 ? 2 * static_cast<int>(triples) - 4 : 0;
        const int saveQuads = quads >= 2 ? 3 * static_cast<int>(quads) - 5 : 0;
        uint32_t group = 0, count = 0;
        if (savePairs > 0 && savePairs >= saveTriples && savePairs >= saveQuads)
            group = 2, count = pairs;
        else if (saveTriples > 0 && saveTriples >= saveQuads)
            group = 3, count = triples;
        else if (saveQuads > 0)
            group = 4, count = quads;
        if (!group) {
            ++c;
            continue;
        }
        flushLiteralPackets(f, data, cut, c, kMaxLiteral);
        f.put(static_cast<uint8_t>(0xF3 + group));
        f.put(static_cast<uint8_t>(count - (6 - group)));
        f.putBlock(d, group - 1);
        for (uint32_t k = 0; k < count; ++k) f.put(d[k * group + group - 1]);
        c += count * group;
        cut = c;
    }
    flushLiteralPackets(f, data, cut, e, kMaxLiteral);
}

void secondPass(EncoderFrame& f, const uint8_t* data) {
    const uint32_t end = f.length;
    uint8_t* stream = f.out;
    uint32_t read = 0, input = 0;
    f.length = 0;
    while (read < end) {
        const uint8_t x = stream[read];
        if (x == 0xFF) {
            f.put(0xFF);
            return;
        }
        if (x < 0xF0) {
            read += x + 2u;
            recodeRun(f, data, input, input + x + 1);
            input += x + 1u;
            continue;
        }
        uint32_t streamBytes, inputBytes;
        commandSize(stream + read, streamBytes, inputBytes);
        // The write position never passes the read position.
        for (uint32_t i = 0; i < streamBytes; ++i) f.put(stream[read + i]);
        read += streamBytes;
        input += inputBytes;
    }
}

}  // namespace

void encodeFormat3(EncoderFrame& f, uint8_t* data, uint32_t size) {
    MainPass pass{data, size, {}, {}};
    if (size < 2 || !pass.quads.buildQuads(data, size, 4096) || !pass.seen.build(data, size)) {
        f.go = false;
        return;
    }
    uint32_t p = 0, r = 0;
    while (f.go && p + 3 <= size) {
        if (uint32_t ahead; pass.seen.ahead(p, ahead)) pass.seen.prefetch(ahead);
        Candidates c;
        const uint32_t e = smaller(size - p, 275);
        pass.fills(p, c);
        pass.copies(p, e, c.bestSaving, c);
        // The copies are found in another order than they rank.
        for (int k = kCopyFC; k < kKinds; ++k) c.offer(k, c.length[k]);
        const int best = c.best;
        if (best < 0) {
            ++p;
            if (p - r == kMaxLiteral) flushLiteralPackets(f, data, r, p, kMaxLiteral);
            continue;
        }
        flushLiteralPackets(f, data, r, p, kMaxLiteral);
        writeCommand(f, data + p, p, best, c);
        // Copies and fills of whole groups repeat earlier bytes.
        constexpr uint32_t kRepeatDistance[kKinds] = {1, 1, 2, 2, 3, 0, 0, 0, 0, 0, 0, 0};
        if (best >= kCopyFC || kRepeatDistance[best])
            pass.seen.repeats(p + kRepeatDistance[best], p + c.length[best]);
        p += c.length[best];
        r = p;
    }
    flushLiteralPackets(f, data, r, size, kMaxLiteral);
    f.put(0xFF);
    if (f.go) secondPass(f, data);
}

}  // namespace zarni::codec
