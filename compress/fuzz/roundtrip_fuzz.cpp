// Invariant: whatever the input, encoding then decoding gives it back, and the
// decoder consumes exactly the encoded stream. The shortest-stream encoder,
// many times slower, has a fuzzer and corpus of its own (smallest_fuzz).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zarni_compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 65537) return 0;
    const uint32_t formats[] = {0, 1, 2, 3, 4, 100, 101, 0, 1, 4};
    const uint32_t format = formats[data[0] % 10];
    // Tile packing drops bytes, so those inputs check the kept bytes and the zeros.
    const uint32_t flag = data[0] % 10 == 7 || data[0] % 10 == 8 ? 1 : 0;
    const uint8_t* input = data + 1;
    const auto length = static_cast<uint32_t>(size - 1);
    // The encoder may pack its input in place.
    std::vector<uint8_t> work(input, input + length);
    static uint8_t stream[65536];
    const auto n = ZarniRecompress(work.data(), stream, length, 65536, format, flag);
    if (n == 0) return 0;
    if (n > 65536) std::abort();
    // Exactly the stream's bytes, so that reading past them is caught.
    const std::vector<uint8_t> encoded(stream, stream + n);
    static uint8_t out[65536];
    uint32_t end = 0;
    // Format 101 has no end marker: it stops at maxSize.
    const uint32_t maxSize = format == 101 ? length : 65536;
    const uint32_t got =
        ZarniDecompressMemory(out, encoded.data(), n, 0, maxSize, format, flag, &end);
    if (end != n) std::abort();
    if (flag) {
        // The kept bytes come back and the dropped ones as 0; an odd tail
        // past offset 16 of its tile unpacks one byte longer.
        const uint32_t tail = length % 32;
        const uint32_t expected = length + (length > 16 && tail > 16 && (tail & 1) ? 1 : 0);
        if (got != expected) std::abort();
        for (uint32_t i = 0; i < got; ++i) {
            const bool dropped = i >= 16 && (i & 16) && (i & 1);
            if (out[i] != (dropped || i >= length ? 0 : input[i])) std::abort();
        }
        return 0;
    }
    if (got != length || std::memcmp(out, input, length) != 0) std::abort();
    return 0;
}
