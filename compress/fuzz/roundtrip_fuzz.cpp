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
        return std::string(dir ? dir : "/tmp") + "/zarni-roundtrip-fuzz-" + std::to_string(getpid());
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 65537) return 0;
    const uint32_t formats[] = {0, 1, 2, 3, 4, 100, 101, 0, 1};
    const uint32_t format = formats[data[0] % 9];
    // Tile packing drops bytes, so those inputs only check that the kept bytes survive.
    const uint32_t flag = data[0] % 9 >= 7 ? 1 : 0;
    std::vector<uint8_t> input(data + 1, data + size);
    std::vector<uint8_t> work = input;
    static uint8_t stream[65536];
    const auto n = ZarniRecompress(work.data(), stream, static_cast<uint32_t>(work.size()), 65536,
                                   format, flag);
    if (n == 0) return 0;
    if (n > 65536) std::abort();
    std::FILE* f = std::fopen(streamPath().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(stream, 1, n, f);
    std::fclose(f);
    if (!ZarniOpenFile(streamPath().c_str(), 0)) return 0;
    static uint8_t out[65536];
    uint32_t end = 0;
    const uint32_t got = ZarniDecompress(out, 0, 65536, format, flag, &end);
    ZarniCloseFile();
    if (format == 101) {
        // No end marker: decoding runs to maxSize or the end of the file.
        if (got < input.size() || std::memcmp(out, input.data(), input.size()) != 0) std::abort();
        return 0;
    }
    if (end != n) std::abort();
    if (flag) {
        // Every byte the packing kept comes back; the dropped ones come back as 0.
        for (size_t i = 0; i < input.size() && i < got; ++i) {
            bool dropped = i >= 16 && (i & 16) && (i & 1);
            if (out[i] != (dropped ? 0 : input[i])) std::abort();
        }
        return 0;
    }
    if (got != input.size() || std::memcmp(out, input.data(), input.size()) != 0) std::abort();
    return 0;
}
