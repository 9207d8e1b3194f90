// Invariant: whatever the input, the shortest format 4 stream decodes back to
// it, the decoder consumes exactly that stream, and it is never longer than
// the greedy encoder's (which it also is whenever that one fits 64 KiB).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zarni_compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    const auto length = static_cast<uint32_t>(size);
    std::vector<uint8_t> work(data, data + size);
    static uint8_t stream[65536];
    const auto n = ZarniRecompressSmallest(work.data(), stream, length, 65536, 4, 0);
    const auto greedy = ZarniRecompress(work.data(), nullptr, length, 0, 4, 0);
    if (greedy != 0 && (n == 0 || n > greedy)) std::abort();
    if (n == 0) return 0;
    const std::vector<uint8_t> encoded(stream, stream + n);
    static uint8_t out[65536];
    uint32_t end = 0;
    const uint32_t got = ZarniDecompressMemory(out, encoded.data(), n, 0, 65536, 4, 0, &end);
    if (end != n || got != length || std::memcmp(out, data, length) != 0) std::abort();
    return 0;
}
