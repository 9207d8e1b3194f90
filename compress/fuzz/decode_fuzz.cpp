// Invariant: any bytes, decoded as any format number, neither read nor write
// outside a buffer, and the result never exceeds 64 KiB.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zarni_compress.h"

namespace {

std::string streamPath() {
    static std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/zarni-decode-fuzz-" + std::to_string(getpid());
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the maximum size and the flag; the rest is the stream.
    const uint32_t maxSizes[] = {0, 1, 16, 16384, 65536};
    const uint32_t maxSize = maxSizes[data[0] % 5];
    const uint32_t flag = (data[0] >> 3) & 1;
    std::FILE* f = std::fopen(streamPath().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    if (!ZarniOpenFile(streamPath().c_str(), 0)) return 0;
    static uint8_t out[65536];
    for (uint32_t format : {0u, 1u, 2u, 3u, 4u, 100u, 101u}) {
        uint32_t end = 0;
        uint32_t n = ZarniDecompress(out, 0, maxSize, format, flag, &end);
        if (n > 65536 || end > size - 1) std::abort();
    }
    ZarniCloseFile();
    return 0;
}
