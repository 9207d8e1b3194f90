// Formats 100 and 101: run-length packets, a literal run (0x00-0x7F) or a
// repeat run (0x80-0xFF). Format 100 ends with 0xFF 0xFF; format 101 has no
// end marker and stops at the caller's maximum size.
#include "command_header.h"
#include "frame.h"

namespace zarni::codec {
namespace {

constexpr uint32_t kMaxPacket = 128;

bool hasEndMarker(int switch1) {
    return switch1 == 2;
}

}  // namespace

void decodeFormat100(DecoderFrame& f) {
    const bool marked = hasEndMarker(f.switch1);
    while (f.go) {
        uint8_t x;
        if (!f.read(x)) break;
        const uint32_t n = (x & 0x7Fu) + 1;
        if (x < 0x80) {
            if (!f.fits(n)) break;
            f.readInto(n);
        } else {
            uint8_t v;
            if (!f.read(v)) break;
            // At the very start 0xFF 0xFF is a run of 128 bytes 0xFF.
            if (marked && x == 0xFF && v == 0xFF && f.length > 0) break;
            if (!f.fits(n)) break;
            f.fill(v, n);
        }
        if (!marked && f.length >= f.maxSize) break;
    }
}

void encodeFormat100(EncoderFrame& f, uint8_t* data, uint32_t size) {
    const bool marked = hasEndMarker(f.switch1);
    // An empty input has no stream in format 100: its end marker alone would
    // decode as 128 bytes 0xFF.
    if (marked && size == 0) {
        f.go = false;
        return;
    }
    uint32_t p = 0, r = 0;
    while (f.go) {
        if (p + 2 >= size) {
            flushLiteralPackets(f, data, r, size, kMaxPacket);
            if (marked) {
                f.put(0xFF);
                f.put(0xFF);
            }
            return;
        }
        uint32_t run = 0;
        if (data[p] == data[p + 1]) {
            const uint32_t e = size - p < kMaxPacket ? size - p : kMaxPacket;
            run = runLength(data + p, e);
            if (run < 3) run = 0;
        }
        if (!run) {
            ++p;
            if (p - r == kMaxPacket) flushLiteralPackets(f, data, r, p, kMaxPacket);
            continue;
        }
        // Keeps 0xFF 0xFF out of the stream but at its start, where it is a run.
        if (marked && run == kMaxPacket && data[p] == 0xFF && p != 0) run = kMaxPacket - 1;
        flushLiteralPackets(f, data, r, p, kMaxPacket);
        f.put(static_cast<uint8_t>(0x80 + run - 1));
        f.put(data[p]);
        p += run;
        r = p;
    }
}

}  // namespace zarni::codec
