// Formats 0 and 1: format 4's literal runs and fills with absolute copies
// only (low byte first in 0, high byte first in 1), and an optional packing
// of four-plane SNES tiles into three-plane ones.
#include <algorithm>

#include "command_header.h"
#include "frame.h"
#include "pair_index.h"

namespace zarni::codec {
namespace {

// Each 32-byte tile keeps bytes 0-15 and the even bytes 16-30; the odd bytes
// of its second half (the fourth plane) are dropped.
bool droppedByPacking(uint32_t position) {
    return (position & 16) && (position & 1);
}

// Spreads the first len packed bytes back into whole tiles from the end,
// zeros in the dropped bytes; returns the new length.
uint32_t unpackTiles(uint8_t* buffer, uint32_t len) {
    const uint32_t r = len % 24;
    uint32_t n = (len / 24) * 32 + (r <= 16 ? r : 2 * r - 16);
    if (n > kBufferSize) {
        n = kBufferSize;
        len = kBufferSize / 32 * 24;
    }
    // The tail holds exactly len - 16 kept positions, so j meets i at 15.
    uint32_t i = n - 1, j = len - 1;
    while (i >= 16) {
        if (i & 16) buffer[i--] = 0;
        buffer[i--] = buffer[j--];
    }
    return n;
}

// Packs data in place; returns the packed size.
uint32_t packTiles(uint8_t* data, uint32_t size) {
    uint32_t kept = 16;
    for (uint32_t p = 16; p < size; ++p)
        if (!droppedByPacking(p)) data[kept++] = data[p];
    return kept;
}

}  // namespace

void decodeFormat01(DecoderFrame& f) {
    const bool highFirst = f.switch2 == 1;
    CommandHeader h;
    while (f.go && readCommandHeader(f, h)) {
        if (decodeSharedCommand(f, h)) continue;
        const uint32_t n = h.length;
        if (h.command == 3) {
            decodeIncreasingFill(f, n);
            continue;
        }
        // Commands 4 to 7 are all plain absolute copies.
        uint8_t b0, b1;
        if (!f.read(b0) || !f.read(b1)) break;
        const uint32_t s = highFirst ? b0 * 256u + b1 : b0 + 256u * b1;
        if (s + n > kBufferSize) break;
        f.copy(s, n, 0);
    }
    if (f.switch1 == 1 && f.length > 16) f.length = unpackTiles(f.out, f.length);
}

void encodeFormat01(EncoderFrame& f, uint8_t* data, uint32_t size) {
    // The caller's buffer keeps the packed bytes: callers of the packing rely on it.
    if (f.switch1 == 1 && size > 16) size = packTiles(data, size);
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
        if (uint32_t ahead; seen.ahead(p, ahead)) seen.prefetch(ahead);
        const uint32_t e = size - p < kMaxCommandLength ? size - p : kMaxCommandLength;
        // Fills first: only a copy that beats them is searched for.
        const LzFills fills = measureLzFills(data + p, e);
        const uint32_t bf = fills.byteFill, w = fills.wordFill, inc = fills.increasing;
        const uint32_t copyMin = largest(4u, bf + 2, w + 1, inc + 2);
        Match copy;
        if (copyMin <= e && seen.mayStartBefore(p))
            keepLongest(quads, quads.find(quadKey(data + p), 0, p), data, p, e, copyMin, 0, copy);

        const uint32_t o = copy.length;
        if (!(o | bf | w | inc)) {
            ++p;
            if (p - r == kMaxCommandLength) flushLiterals(f, data, r, p);
            continue;
        }

        flushLiterals(f, data, r, p);
        uint32_t n;
        if (o > bf + 1 && o > w && o > inc + 1) {
            n = o;
            writeCommandHeader(f, 4, n);
            const auto low = static_cast<uint8_t>(copy.source & 0xFF);
            const auto high = static_cast<uint8_t>(copy.source >> 8);
            f.put(f.switch2 == 1 ? high : low);
            f.put(f.switch2 == 1 ? low : high);
            seen.repeats(p, p + n);
        } else {
            n = writeLzFill(f, fills, data + p);
            noteLzFill(seen, fills, p, n);
        }
        p += n;
        r = p;
    }
}

}  // namespace zarni::codec
