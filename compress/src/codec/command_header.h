// Command headers of the LZ formats (0, 1, 2 and 4): a short form for
// lengths up to 32 and a long form for lengths up to 1024; 0xFF ends a stream.
#pragma once

#include <cstdint>

#include "frame.h"

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

// Fill candidates shared by the LZ encoders, each capped at limit.
inline uint32_t runLength(const uint8_t* p, uint32_t limit) {
    uint32_t n = 1;
    while (n < limit && p[n] == p[0]) ++n;
    return n;
}

inline uint32_t alternatingLength(const uint8_t* p, uint32_t limit) {
    uint32_t n = 2;
    while (n < limit && p[n] == p[n & 1]) ++n;
    return n;
}

inline uint32_t increasingLength(const uint8_t* p, uint32_t limit) {
    uint32_t n = 1;
    while (n < limit && p[n] == static_cast<uint8_t>(p[0] + n)) ++n;
    return n;
}

}  // namespace zarni::codec
