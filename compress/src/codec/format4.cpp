// Format 4: literal runs, byte/word/increasing fills, plain and inverted
// copies by absolute position or backward distance.
#include <algorithm>

#include "command_header.h"
#include "frame.h"
#include "pair_index.h"

namespace zarni::codec {

void decodeFormat4(DecoderFrame& f) {
    CommandHeader h;
    while (f.go && readCommandHeader(f, h)) {
        if (decodeSharedCommand(f, h)) continue;
        const uint32_t n = h.length;
        if (h.command == 3) {
            decodeIncreasingFill(f, n);
            continue;
        }
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
    }
}

void encodeFormat4(EncoderFrame& f, uint8_t* data, uint32_t size) {
    KeyIndex quads;
    TripleFilter seen;
    if (size < 2 || !quads.buildQuads(data, size) || !seen.build(data, size)) {
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
        if (uint32_t ahead; seen.ahead(p, ahead)) {
            seen.prefetch(ahead);
            seen.prefetch(ahead ^ 0xFFFFFF);
        }
        const uint32_t e = size - p < kMaxCommandLength ? size - p : kMaxCommandLength;

        // Fills first: a copy that cannot beat them by rules 1 to 3 below is
        // never chosen, and leaving it out changes no other comparison (a
        // relative or inverted copy too short for its own rule is also too
        // short to stop an absolute one), so each search starts at the
        // length that could win and is skipped when none could.
        const LzFills fills = measureLzFills(data + p, e);
        const uint32_t bf = fills.byteFill, w = fills.wordFill, inc = fills.increasing;
        const uint32_t beatsFills = largest(bf + 2, w + 1, inc + 2);

        // Relative copies: distance 1 to 255, at least 3 bytes.
        Match relative, absolute, inverted;
        const uint32_t relativeMin = largest(3u, bf + 1, w, inc + 1);
        // Every copy takes at least three bytes that start earlier, in order
        // or inverted; on data without repeats the filter rules out nearly
        // every search.
        const uint32_t triple = tripleKey(data + p);
        const bool plain = relativeMin <= e && seen.mayStartBefore(p);
        const uint32_t near = p > 255 ? p - 255 : 0;
        if (plain)
            scanLongest(data, size, pairKey(data + p), near, p, data + p, e, relativeMin, relative);
        // Absolute and inverted copies need 4 bytes, so a 4-byte key finds them all.
        const uint32_t key = e >= 4 ? quadKey(data + p) : 0;
        // An inverted copy is taken only when longer than the relative one.
        const uint32_t invertedMin = largest(4u, beatsFills, relative.length + 1);
        if (invertedMin <= e && seen.mayStartBefore(triple ^ 0xFFFFFF, p))
            keepLongest(quads, quads.find(~key, 0, p), data, p, e, invertedMin, 0xFF, inverted);
        const uint32_t absoluteMin =
            largest(4u, beatsFills, relative.length + 2, inverted.length + 1);
        // The relative search measured every source in its window, and an
        // absolute copy must be longer: the search ends where the window starts.
        if (plain && absoluteMin <= e && near > 0)
            keepLongest(quads, quads.find(key, 0, near), data, p, e, absoluteMin, 0, absolute);

        const uint32_t o = absolute.length, m = relative.length, lv = inverted.length;
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
            f.put(static_cast<uint8_t>(absolute.source & 0xFF));
            f.put(static_cast<uint8_t>(absolute.source >> 8));
            seen.repeats(p, p + n);
        } else if (m > bf && m >= w && m > inc && m >= lv) {
            n = m;
            writeCommandHeader(f, 6, n);
            f.put(static_cast<uint8_t>(p - relative.source));
            seen.repeats(p, p + n);
        } else if (lv > bf + 1 && lv > w && lv > inc + 1) {
            n = lv;
            writeCommandHeader(f, 5, n);
            f.put(static_cast<uint8_t>(inverted.source & 0xFF));
            f.put(static_cast<uint8_t>(inverted.source >> 8));
        } else {
            n = writeLzFill(f, fills, data + p);
            noteLzFill(seen, fills, p, n);
        }
        p += n;
        r = p;
    }
}

}  // namespace zarni::codec
