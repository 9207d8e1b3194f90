// Command headers of the LZ formats (0, 1, 2 and 4): a short form for
// lengths up to 32 and a long form for lengths up to 1024; 0xFF ends a stream.
// Also the pieces several formats share: the commands 0 to 3 of the LZ
// decoders, literal flushing and the fill measurements of the encoders.
#pragma once

#include <cstdint>

#include "frame.h"
#include "pair_index.h"

namespace zarni::codec {

constexpr uint32_t kMaxCommandLength = 1024;

struct CommandHeader {
    uint32_t command;
    uint32_t length;
};

// Reads one header; false at the end marker or the end of the file.
inline bool readCommandHeader(DecoderFrame& f, CommandHeader& h) {
    uint8_t x;
    if (!f.read(x)) return false;
    if (x == 0xFF) {
        f.go = false;
        return false;
    }
    if ((x >> 5) == 7) {
        uint8_t y;
        if (!f.read(y)) return false;
        h.command = (x >> 2) & 7u;
        h.length = ((static_cast<uint32_t>(x & 3u) << 8) | y) + 1;
    } else {
        h.command = x >> 5;
        h.length = (x & 0x1Fu) + 1;
    }
    return true;
}

// Commands 0 to 2 read alike in every LZ format; false for any other command.
// A direct copy or byte fill that does not fit adds nothing; a word fill is
// cut short at the limit.
inline bool decodeSharedCommand(DecoderFrame& f, const CommandHeader& h) {
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
        default:
            return false;
    }
    return true;
}

// Command 3 of formats 0, 1 and 4.
inline void decodeIncreasingFill(DecoderFrame& f, uint32_t n) {
    uint8_t v;
    if (f.read(v)) f.increasingFill(v, n);
}

inline void writeCommandHeader(EncoderFrame& f, uint32_t command, uint32_t length) {
    const uint32_t n = length - 1;
    if (length <= 32) {
        f.put(static_cast<uint8_t>(command * 32 + n));
    } else {
        f.put(static_cast<uint8_t>(0xE0 + command * 4 + (n >> 8)));
        f.put(static_cast<uint8_t>(n & 0xFF));
    }
}

// Writes the pending literal run data[r, x) as direct copies (command 0) of
// at most 1024 bytes, the first ones full; then r = x.
inline void flushLiterals(EncoderFrame& f, const uint8_t* data, uint32_t& r, uint32_t x) {
    while (r < x && f.go) {
        uint32_t n = x - r < kMaxCommandLength ? x - r : kMaxCommandLength;
        writeCommandHeader(f, 0, n);
        f.putBlock(data + r, n);
        r += n;
    }
    r = x;
}

// Literal packets of formats 3, 100 and 101: the byte (length - 1), then the
// bytes; at most maxLength bytes a packet, the first ones full; then r = x.
inline void flushLiteralPackets(EncoderFrame& f, const uint8_t* data, uint32_t& r, uint32_t x,
                                uint32_t maxLength) {
    while (r < x && f.go) {
        uint32_t n = x - r < maxLength ? x - r : maxLength;
        f.put(static_cast<uint8_t>(n - 1));
        f.putBlock(data + r, n);
        r += n;
    }
    r = x;
}

// Fill candidates shared by the encoders, each capped at limit (at least 1
// and 2). A run repeats the byte before, an alternation the byte two before:
// both compare eight bytes at a time.
inline uint32_t runLength(const uint8_t* p, uint32_t limit) {
    return limit <= 1 ? 1 : 1 + matchLength(p + 1, p, limit - 1, 0);
}

inline uint32_t alternatingLength(const uint8_t* p, uint32_t limit) {
    return limit <= 2 ? 2 : 2 + matchLength(p + 2, p, limit - 2, 0);
}

// p[0], p[0] + step, p[0] + 2 step, ... modulo 256.
inline uint32_t stepLength(const uint8_t* p, uint32_t limit, uint8_t step) {
    uint32_t n = 1;
    while (n < limit && p[n] == static_cast<uint8_t>(p[n - 1] + step)) ++n;
    return n;
}

inline uint32_t increasingLength(const uint8_t* p, uint32_t limit) {
    return stepLength(p, limit, 1);
}

// The byte, word and increasing fills of formats 0, 1 and 4 at p, each 0 when
// shorter than its minimum (3, 4 and 3); e is the longest a command may be,
// and p has at least three bytes.
struct LzFills {
    uint32_t byteFill = 0, wordFill = 0, increasing = 0;
};

inline LzFills measureLzFills(const uint8_t* p, uint32_t e) {
    LzFills c;
    // Each fill needs one of these; on data without runs none holds.
    if (p[1] != p[0] && p[2] != p[0] && p[1] != static_cast<uint8_t>(p[0] + 1)) return c;
    if (p[0] == p[1]) {
        uint32_t n = runLength(p, e);
        c.byteFill = n >= 3 ? n : 0;
    } else {
        uint32_t n = alternatingLength(p, e);
        c.wordFill = n >= 4 ? n : 0;
    }
    if (p[1] == static_cast<uint8_t>(p[0] + 1)) {
        uint32_t n = increasingLength(p, e);
        c.increasing = n >= 3 ? n : 0;
    }
    return c;
}

// Writes the fill that formats 0, 1 and 4 take when no copy wins: a byte fill
// before a word fill before an increasing fill. Returns its length.
inline uint32_t writeLzFill(EncoderFrame& f, const LzFills& fills, const uint8_t* p) {
    if (fills.byteFill) {
        writeCommandHeader(f, 1, fills.byteFill);
        f.put(p[0]);
        return fills.byteFill;
    }
    if (fills.wordFill) {
        writeCommandHeader(f, 2, fills.wordFill);
        f.put(p[0]);
        f.put(p[1]);
        return fills.wordFill;
    }
    writeCommandHeader(f, 3, fills.increasing);
    f.put(p[0]);
    return fills.increasing;
}

// Tells the filter that the fill writeLzFill took at p repeats earlier bytes.
inline void noteLzFill(TripleFilter& seen, const LzFills& fills, uint32_t p, uint32_t n) {
    if (fills.byteFill) {
        seen.repeats(p + 1, p + n);
    } else if (fills.wordFill) {
        seen.repeats(p + 2, p + n);
    }
}

}  // namespace zarni::codec
