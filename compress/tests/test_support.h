// Helpers shared by the library's tests: temporary files, decoding a stream
// through the open-file interface, and generators of shaped inputs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace zt {

using Bytes = std::vector<uint8_t>;

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

// "01 41 42 FF" -> bytes.
Bytes hex(const std::string& text);
Bytes ascii(const std::string& text);

struct Decoded {
    uint32_t result = 0;     // what ZarniDecompress returned
    uint32_t endOffset = 0;  // what it stored through endOffsetOut
    Bytes data;              // the first min(result, maxSize) bytes
};

// Writes `lead` filler bytes and then the stream to a temporary file and
// decodes it from offset `lead`.
Decoded decode(const Bytes& stream, uint32_t format, uint32_t formatFlag = 0,
               uint32_t maxSize = 0x10000, uint32_t lead = 0);

// ZarniRecompress on a copy of input; an empty result stands for 0.
Bytes encode(Bytes input, uint32_t format, uint32_t formatFlag = 0);

// Inputs for round-trip tests; shape selects the kind of content (any int,
// taken modulo kShapeCount). Every shape is reproducible from the engine.
constexpr int kShapeCount = 17;
Bytes shapedInput(std::mt19937& rng, uint32_t size, int shape);

// n bytes in which no encoder finds anything: no two-byte key appears twice,
// also not inverted, bit-reversed or back to front, and no fill or sequence
// starts anywhere. The same n and seed give the same bytes.
Bytes noise(size_t n, uint32_t seed = 7);

// Tile data for formats 0 and 1 with formatFlag: the bytes that tile packing
// drops (offset 16 and up, bit 4 set, odd) are zero, so they round-trip.
void zeroDroppedTileBytes(Bytes& data);

#if !defined(_WIN32)
// Runs `operation` in a child process in which no file may grow past `limit`
// bytes: a write beyond fails with EFBIG, as one on a full disk fails.
// Returns the child's exit code (operation's result), -1 when it did not exit.
int withFileSizeLimit(uint64_t limit, const std::function<int()>& operation);
#endif

// Sizes from 2 to 65,536, mostly small, some at the limit.
uint32_t propertySize(std::mt19937& rng);

}  // namespace zt
