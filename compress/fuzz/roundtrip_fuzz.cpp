// Invariant: whatever the input, encoding then decoding gives it back, and the
// decoder consumes exactly the encoded stream.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zarni_compress.h"

namespace {

std::string streamPath() {
    static std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/zarni-roundtrip-fuzz-" +
               std::to_string(getpid());
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 65537) return 0;
    const uint32_t formats[] = {0, 1, 2, 3, 4, 100, 101, 0, 1, 4};
    const uint32_t format = formats[data[0] % 10];
    // Tile packing drops bytes, so those inputs check the kept bytes and the zeros.
    const uint32_t flag = data[0] % 10 == 7 || data[0] % 10 == 8 ? 1 : 0;
    const auto recompress = data[0] % 10 == 9 ? ZarniRecompressSmallest : ZarniRecompress;
    std::vector<uint8_t> input(data + 1, data + size);
    std::vector<uint8_t> work = input;
    static uint8_t stream[65536];
    const auto n =
        recompress(work.data(), stream, static_cast<uint32_t>(work.size()), 65536, format, flag);
    if (n == 0) return 0;
    if (n > 65536) std::abort();
    std::FILE* f = std::fopen(streamPath().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(stream, 1, n, f);
    std::fclose(f);
    if (!ZarniOpenFile(streamPath().c_str(), 0)) return 0;
    static uint8_t out[65536];
    uint32_t end = 0;
    // Format 101 has no end marker: it stops at maxSize.
    const auto length = static_cast<uint32_t>(input.size());
    const uint32_t maxSize = format == 101 ? length : 65536;
    const uint32_t got = ZarniDecompress(out, 0, maxSize, format, flag, &end);
    ZarniCloseFile();
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
    if (got != length || std::memcmp(out, input.data(), length) != 0) std::abort();
    return 0;
}
