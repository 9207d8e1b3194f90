// Planar SNES tiles <-> one byte per pixel, colour conversions and a one-tile
// renderer. Pure functions over the caller's buffers: no state, no allocation.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "zarni_compress.h"

namespace {

// Byte of a tile that holds plane `plane` of row `row` at the given depth.
// Planes come in interleaved pairs; an odd depth's last plane stands alone,
// a row per byte, after the pairs.
constexpr size_t planeByte(uint32_t depth, uint32_t plane, uint32_t row) {
    if ((depth & 1) != 0 && plane == depth - 1) return 8 * (depth - 1) + row;
    return 16 * (plane / 2) + 2 * row + (plane & 1);
}

bool validConversion(const void* source, const void* destination, uint32_t depth) {
    return source && destination && source != destination && depth >= 1 && depth <= 8;
}

constexpr uint32_t halve(uint32_t c) {
    return (c >> 1) & 0x7F7F7Fu;
}

// Applies op to each of the red, green and blue bytes of a and b.
template <typename Op>
uint32_t perChannel(uint32_t a, uint32_t b, Op op) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int x = static_cast<int>((a >> shift) & 0xFF);
        const int y = static_cast<int>((b >> shift) & 0xFF);
        out |= static_cast<uint32_t>(op(x, y)) << shift;
    }
    return out;
}

// Red, green and blue set to 0xFF by the given option bits.
uint32_t forcedChannels(uint32_t options, uint32_t redBit, uint32_t greenBit, uint32_t blueBit) {
    uint32_t mask = 0;
    if (options & redBit) mask |= 0xFF0000u;
    if (options & greenBit) mask |= 0x00FF00u;
    if (options & blueBit) mask |= 0x0000FFu;
    return mask;
}

enum Option : uint32_t {
    kInvertTransparent = 0x1,
    kInvertDrawn = 0x2,
    kRedTransparent = 0x4,
    kRedDrawn = 0x8,
    kGreenTransparent = 0x10,
    kGreenDrawn = 0x20,
    kBlueTransparent = 0x40,
    kBlueDrawn = 0x80,
    kHalve = 0x100,
    kDarken = 0x200,
    kAdd = 0x400,
    kSubtract = 0x800,
    kAllowPriority = 0x1000,
    kAllowPriority1 = 0x2000,
    kAllowPriority2 = 0x4000,
    kAllowPriority3 = 0x8000,
    kOpaqueZero = 0x10000,
    kSprite = 0x20000,
    kHalveHighSpritePalettes = 0x40000,
};

}  // namespace

extern "C" {

ZARNI_API uint32_t ZARNI_CALL ZarniCreatePixelMap(const void* source, void* destination,
                                                  uint32_t numTiles, uint32_t bitsPerPixel) {
    if (!validConversion(source, destination, bitsPerPixel)) return 0;
    const auto* src = static_cast<const uint8_t*>(source);
    auto* dst = static_cast<uint8_t*>(destination);
    const size_t tileBytes = 8 * bitsPerPixel;
    for (uint32_t t = 0; t < numTiles; ++t, src += tileBytes, dst += 64) {
        for (uint32_t row = 0; row < 8; ++row) {
            for (uint32_t x = 0; x < 8; ++x) {
                uint8_t pixel = 0;
                for (uint32_t k = 0; k < bitsPerPixel; ++k) {
                    const uint8_t plane = src[planeByte(bitsPerPixel, k, row)];
                    pixel |= static_cast<uint8_t>(((plane >> (7 - x)) & 1) << k);
                }
                dst[8 * row + x] = pixel;
            }
        }
    }
    return 1;
}

ZARNI_API uint32_t ZARNI_CALL ZarniCreateBppMap(const void* source, void* destination,
                                                uint32_t numTiles, uint32_t bitsPerPixel) {
    if (!validConversion(source, destination, bitsPerPixel)) return 0;
    const auto* src = static_cast<const uint8_t*>(source);
    auto* dst = static_cast<uint8_t*>(destination);
    const size_t tileBytes = 8 * bitsPerPixel;
    std::fill(dst, dst + numTiles * tileBytes, uint8_t{0});
    for (uint32_t t = 0; t < numTiles; ++t, src += 64, dst += tileBytes) {
        for (uint32_t row = 0; row < 8; ++row) {
            for (uint32_t x = 0; x < 8; ++x) {
                const uint8_t pixel = src[8 * row + x];
                for (uint32_t k = 0; k < bitsPerPixel; ++k) {
                    dst[planeByte(bitsPerPixel, k, row)] |=
                        static_cast<uint8_t>(((pixel >> k) & 1) << (7 - x));
                }
            }
        }
    }
    return 1;
}

ZARNI_API uint32_t ZARNI_CALL ZarniSNEStoPCRGB(uint32_t c) {
    const uint32_t red = (c & 0x1F) * 8;
    const uint32_t green = ((c >> 5) & 0x1F) * 8;
    const uint32_t blue = ((c >> 10) & 0x1F) * 8;
    return (red << 16) | (green << 8) | blue;
}

ZARNI_API uint32_t ZARNI_CALL ZarniPCtoSNESRGB(uint32_t c) {
    auto level = [](uint32_t v) {
        uint32_t n = v >> 3;
        if ((v & 4) != 0 && n < 31) ++n;  // round half up, saturating
        return n;
    };
    const uint32_t red = level((c >> 16) & 0xFF);
    const uint32_t green = level((c >> 8) & 0xFF);
    const uint32_t blue = level(c & 0xFF);
    return red | (green << 5) | (blue << 10);
}

ZARNI_API uint32_t ZARNI_CALL ZarniRender8x8(uint32_t* destination, int32_t width, int32_t height,
                                             int32_t displayX, int32_t displayY,
                                             const uint8_t* pixelMap, const uint32_t* palette,
                                             uint32_t tileEntry, uint32_t renderOptions) {
    const uint32_t opt = renderOptions;
    if (!destination || !palette || !pixelMap) return 0;
    if (width <= 0 || height <= 0) return 0;
    // 64-bit so that positions near the int32 limits cannot overflow.
    const int64_t dx = displayX, dy = displayY;
    if (dx + 8 <= 0 || dy + 8 <= 0 || dx >= width || dy >= height) return 0;

    uint32_t tile, paletteIndex, priority;
    if (opt & kSprite) {
        tile = tileEntry & 0x1FF;
        paletteIndex = 8 + ((tileEntry >> 9) & 7);
        priority = (tileEntry >> 12) & 3;
        if (priority == 2 && !(opt & kAllowPriority2)) return 0;
        if (priority == 3 && !(opt & kAllowPriority3)) return 0;
    } else {
        tile = tileEntry & 0x3FF;
        paletteIndex = (tileEntry >> 10) & 7;
        priority = (tileEntry >> 13) & 1;
    }
    if (priority != 0 && !(opt & kAllowPriority)) return 0;
    if (priority == 1 && !(opt & kAllowPriority1)) return 0;
    const bool flipX = (tileEntry & 0x4000) != 0;
    const bool flipY = (tileEntry & 0x8000) != 0;

    const int64_t skipX = dx < 0 ? -dx : 0, skipY = dy < 0 ? -dy : 0;
    const int64_t x0 = dx < 0 ? 0 : dx, y0 = dy < 0 ? 0 : dy;
    // The visible columns run from the skipped ones to the destination's edge.
    const int64_t endX = std::min<int64_t>(8, skipX + width - x0);
    const int64_t endY = std::min<int64_t>(8, skipY + height - y0);

    const bool halving = (opt & kHalve) || ((opt & kHalveHighSpritePalettes) && paletteIndex >= 12);
    const uint8_t* tilePixels = pixelMap + 64 * static_cast<size_t>(tile);
    const uint32_t* colours = palette + 16 * paletteIndex;
    const uint32_t transparentSet =
        forcedChannels(opt, kRedTransparent, kGreenTransparent, kBlueTransparent);
    const uint32_t drawnSet = forcedChannels(opt, kRedDrawn, kGreenDrawn, kBlueDrawn);

    for (int64_t r = skipY; r < endY; ++r) {
        const int64_t tileRow = flipY ? 7 - r : r;
        uint32_t* line =
            destination + static_cast<size_t>(y0 + r - skipY) * static_cast<size_t>(width);
        for (int64_t c = skipX; c < endX; ++c) {
            const int64_t tileColumn = flipX ? 7 - c : c;
            const uint8_t index = tilePixels[8 * tileRow + tileColumn];
            uint32_t& d = line[x0 + c - skipX];
            if (index == 0 && !(opt & kOpaqueZero)) {
                if (opt & kInvertTransparent) d ^= 0xFFFFFFu;
                d |= transparentSet;
                continue;
            }
            uint32_t t = colours[index];
            if (opt & kDarken) t = halve(t);
            uint32_t result;
            if (opt & kAdd) {
                if (halving) t = halve(t);
                result = perChannel(d, t, [](int a, int b) { return std::min(a + b, 0xF8); });
            } else if (opt & kSubtract) {
                if (halving) t = halve(t);
                result = perChannel(d, t, [](int a, int b) { return std::max(a - b, 0); });
            } else if (halving) {
                result = perChannel(d, t, [](int a, int b) { return (a + b) >> 1; });
            } else {
                result = t;
            }
            if (opt & kInvertDrawn) result ^= 0xFFFFFFu;
            d = result | drawnSet;
        }
    }
    return 1;
}

}  // extern "C"
