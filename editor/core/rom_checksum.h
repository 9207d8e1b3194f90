// The internal checksum of a HiROM image: the sum of every ROM byte, with
// the checksum and its complement counted as 0x0000 and 0xFFFF, and the ROM
// mirrored up to a power of two as the console sees it. Emulators warn when
// it does not match; the editor only changes it when asked to.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace korvale {

struct RomChecksum {
    uint16_t stored = 0;
    uint16_t complement = 0;
    uint16_t computed = 0;
    bool matches() const {
        return stored == computed && complement == static_cast<uint16_t>(computed ^ 0xFFFF);
    }
};

// The whole image file, copier header included. nullopt when the image is
// too small to hold the internal header or its size fits neither layout.
std::optional<RomChecksum> readRomChecksum(const std::vector<uint8_t>& image);

// Writes the computed checksum and complement into the image; false (and no
// change) where readRomChecksum gives nullopt.
bool fixRomChecksum(std::vector<uint8_t>& image);

}  // namespace korvale
