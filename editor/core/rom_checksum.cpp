#include "core/rom_checksum.h"

#include <bit>
#include <numeric>

#include "core/rom_layout.h"

namespace korvale {

namespace {

constexpr uint32_t kComplementAt = 0xFFDC;
constexpr uint32_t kChecksumAt = 0xFFDE;

uint32_t plainSum(const uint8_t* p, size_t n) {
    return std::accumulate(p, p + n, 0u);
}

// A size that is not a power of two is its largest power of two followed by
// the rest, repeated until the rest fills as much again.
uint32_t mirroredSum(const uint8_t* p, size_t n) {
    if (n == 0 || std::has_single_bit(n)) return plainSum(p, n);
    const size_t base = std::bit_floor(n);
    const size_t rest = n - base;
    return plainSum(p, base) +
           mirroredSum(p + base, rest) * static_cast<uint32_t>(base / std::bit_ceil(rest));
}

uint16_t wordAt(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

std::optional<RomChecksum> readRomChecksum(const std::vector<uint8_t>& image) {
    uint32_t header = 0;
    switch (image.size() % 1024) {
        case 0:
            break;
        case layout::kCopierHeaderSize:
            header = layout::kCopierHeaderSize;
            break;
        default:
            return std::nullopt;
    }
    if (image.size() < header + kChecksumAt + 2) return std::nullopt;
    const uint8_t* rom = image.data() + header;
    RomChecksum result;
    result.complement = wordAt(rom + kComplementAt);
    result.stored = wordAt(rom + kChecksumAt);
    const uint32_t fields = plainSum(rom + kComplementAt, 4);
    // Count the four bytes as the pair FFFF 0000 whatever they hold now.
    const uint32_t sum = mirroredSum(rom, image.size() - header) - fields + 0x1FE;
    result.computed = static_cast<uint16_t>(sum);
    return result;
}

bool fixRomChecksum(std::vector<uint8_t>& image) {
    const auto sum = readRomChecksum(image);
    if (!sum) return false;
    uint8_t* rom = image.data() + (image.size() % 1024);
    const uint16_t complement = static_cast<uint16_t>(sum->computed ^ 0xFFFF);
    rom[kComplementAt] = static_cast<uint8_t>(complement);
    rom[kComplementAt + 1] = static_cast<uint8_t>(complement >> 8);
    rom[kChecksumAt] = static_cast<uint8_t>(sum->computed);
    rom[kChecksumAt + 1] = static_cast<uint8_t>(sum->computed >> 8);
    return true;
}

}  // namespace korvale
