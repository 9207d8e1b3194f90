// Invariant: any bytes, decoded as any format number, neither read nor write
// outside a buffer, the result never exceeds 64 KiB, and decoding ends within
// the stream.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "zarni_compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the format, the maximum size and the flag; the rest
    // is the stream, decoded straight from the fuzzer's buffer.
    const uint32_t formats[] = {0, 1, 2, 3, 4, 100, 101};
    const uint32_t maxSizes[] = {0, 1, 16, 16384, 65536};
    const uint32_t format = formats[data[0] % 7];
    const uint32_t maxSize = maxSizes[data[0] / 7 % 5];
    const uint32_t flag = data[0] / 35 % 2;
    // Exactly maxSize bytes, so that a write past them is caught.
    const std::unique_ptr<uint8_t[]> out(new uint8_t[maxSize]);
    const auto streamSize = static_cast<uint32_t>(size - 1);
    uint32_t end = 0;
    const uint32_t n =
        ZarniDecompressMemory(out.get(), data + 1, streamSize, 0, maxSize, format, flag, &end);
    if (n > 65536 || end > streamSize) std::abort();
    return 0;
}
