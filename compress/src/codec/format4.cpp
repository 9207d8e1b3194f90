// Format 4: literal runs, byte/word/increasing fills, plain and inverted
// copies by absolute position or backward distance.
#include "command_header.h"
#include "frame.h"
#include "pair_index.h"

namespace zarni::codec {

void decodeFormat4(DecoderFrame& f) {
    CommandHeader h;
    while (f.go && readCommandHeader(f, h)) {
        const uint32_t n = h.length;
        switch (h.command) {
            case 0:
                if (!f.fits(n)) {
                    f.go = false;
                    break;
                }
                f.readInto(n);
                break;
            case 1: {
                uint8_t v;
                if (!f.read(v)) break;
                if (!f.fits(n)) {
                    f.go = false;
                    break;
                }
                f.fill(v, n);
                break;
            }
            case 2: {
                uint8_t v0, v1;
                if (!f.read(v0) || !f.read(v1)) break;
                f.wordFill(v0, v1, n);
                break;
            }
            case 3: {
                uint8_t v;
                if (!f.read(v)) break;
                f.increasingFill(v, n);
                break;
            }
            default: {
                uint32_t s;
                if (h.command <= 5) {
                    uint8_t b0, b1;
                    if (!f.read(b0) || !f.read(b1)) break;
                    s = b0 + 256u * b1;
                } else {
                    uint8_t d;
                    if (!f.read(d)) break;
                    s = f.length - d;  // wraps to a huge value past the start
                }
                if (s >= kBufferSize || s + n > kBufferSize) {
                    f.go = false;
                    break;
                }
                f.copy(s, n, (h.command & 1) ? 0xFF : 0x00);
                break;
            }
        }
    }
}

namespace {

struct Candidates {
    uint32_t absolute = 0, absoluteSource = 0;    // O
    uint32_t relative = 0, relativeSource = 0;    // M
    uint32_t inverted = 0, invertedSource = 0;    // Lv
    uint32_t byteFill = 0, wordFill = 0, increasing = 0;
};

// Earliest of the longest matches, as a walk of the positions in increasing
// order that keeps only strictly longer candidates would find. A candidate
// can only beat the kept length `best` if it also matches at byte `best`.
struct Search {
    const uint8_t* data;
    uint32_t p;
    uint32_t limit;

    void scan(const KeyIndex& index, KeyIndex::Range r, uint8_t mask, uint32_t minimum,
              uint32_t& best, uint32_t& source) const {
        const uint8_t* target = data + p;
        for (uint32_t e = r.begin; e < r.end && best < limit; ++e) {
            const uint8_t* q = data + index.position(e);
            if (best && q[best] != static_cast<uint8_t>(target[best] ^ mask)) continue;
            uint32_t t = matchLength(target, q, limit, mask);
            if (t >= minimum && t > best) {
                best = t;
                source = index.position(e);
            }
        }
    }
};

}  // namespace

void encodeFormat4(EncoderFrame& f, uint8_t* data, uint32_t size) {
    KeyIndex pairs, quads;
    if (size < 2 || !pairs.buildPairs(data, size) || !quads.buildQuads(data, size)) {
        f.go = false;
        return;
    }
    uint32_t p = 0, r = 0;
    while (f.go) {
        if (p + 3 > size) {
            flushLiterals(f, data, r, size);
            f.put(0xFF);
            return;
        }
        const uint32_t e = size - p < kMaxCommandLength ? size - p : kMaxCommandLength;
        Candidates c;
        Search search{data, p, e};

        // Relative copies: distance 1 to 255, at least 3 bytes.
        search.scan(pairs, pairs.find(pairKey(data + p), p > 255 ? p - 255 : 0, p), 0, 3,
                    c.relative, c.relativeSource);
        if (e >= 4) {
            // Absolute and inverted copies need 4 bytes, so a 4-byte key finds them all.
            const uint32_t key = quadKey(data + p);
            search.scan(quads, quads.find(key, 0, p), 0, 4, c.absolute, c.absoluteSource);
            if (c.relative < e)
                search.scan(quads, quads.find(~key, 0, p), 0xFF, 4, c.inverted, c.invertedSource);
        }

        const uint8_t v0 = data[p], v1 = data[p + 1];
        if (v0 == v1) {
            uint32_t n = runLength(data + p, e);
            c.byteFill = n >= 3 ? n : 0;
        } else {
            uint32_t n = alternatingLength(data + p, e);
            c.wordFill = n >= 4 ? n : 0;
        }
        if (v1 == static_cast<uint8_t>(v0 + 1)) {
            uint32_t n = increasingLength(data + p, e);
            c.increasing = n >= 3 ? n : 0;
        }

        const uint32_t o = c.absolute, m = c.relative, lv = c.inverted;
        const uint32_t bf = c.byteFill, w = c.wordFill, inc = c.increasing;
        if (!(o | m | lv | bf | w | inc)) {
            ++p;
            if (p - r == kMaxCommandLength) flushLiterals(f, data, r, p);
            continue;
        }

        flushLiterals(f, data, r, p);
        uint32_t n;
        if (o > m + 1 && o > bf + 1 && o > w && o > inc + 1 && o > lv) {
            n = o;
            writeCommandHeader(f, 4, n);
            f.put(static_cast<uint8_t>(c.absoluteSource & 0xFF));
            f.put(static_cast<uint8_t>(c.absoluteSource >> 8));
        } else if (m > bf && m >= w && m > inc && m >= lv) {
            n = m;
            writeCommandHeader(f, 6, n);
            f.put(static_cast<uint8_t>(p - c.relativeSource));
        } else if (lv > bf + 1 && lv > w && lv > inc + 1) {
            n = lv;
            writeCommandHeader(f, 5, n);
            f.put(static_cast<uint8_t>(c.invertedSource & 0xFF));
            f.put(static_cast<uint8_t>(c.invertedSource >> 8));
        } else if (bf) {
            n = bf;
            writeCommandHeader(f, 1, n);
            f.put(v0);
        } else if (w) {
            n = w;
            writeCommandHeader(f, 2, n);
            f.put(v0);
            f.put(v1);
        } else {
            n = inc;
            writeCommandHeader(f, 3, n);
            f.put(v0);
        }
        p += n;
        r = p;
    }
}

}  // namespace zarni::codec
