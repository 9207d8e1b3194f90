#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "test_support.h"
#include "zarni_compress.h"

using zt::Bytes;

namespace {

// ------------------------------------------------------ planar conversions

TEST(TileConversion, TwoBitTileWorkedValue) {
    Bytes planar(16, 0);
    planar[0] = 0x80;
    planar[1] = 0x80;
    Bytes pixels(64, 0xEE);
    ASSERT_EQ(ZarniCreatePixelMap(planar.data(), pixels.data(), 1, 2), 1u);
    EXPECT_EQ(pixels[0], 3u);
    for (int x = 1; x < 8; ++x) EXPECT_EQ(pixels[x], 0u) << x;
}

// Where one set pixel's planes land, for the layouts of each depth.
TEST(TileConversion, PlaneBytesPerDepth) {
    struct Case {
        uint32_t depth, x, y;
        uint8_t value;
        std::vector<size_t> bytes;  // each must be 0x80 >> x, all others 0
    };
    const Case cases[] = {
        {1, 0, 3, 0x01, {3}},          {2, 7, 0, 0x02, {1}},
        {3, 0, 7, 0x07, {14, 15, 23}}, {4, 2, 5, 0x0F, {10, 11, 26, 27}},
        {5, 1, 2, 0x10, {34}},         {6, 1, 2, 0x20, {37}},
        {7, 4, 6, 0x40, {54}},         {8, 7, 0, 0x80, {49}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        Bytes pixels(64, 0);
        pixels[8 * c.y + c.x] = c.value;
        Bytes planar(8 * c.depth, 0xEE);
        ASSERT_EQ(ZarniCreateBppMap(pixels.data(), planar.data(), 1, c.depth), 1u);
        Bytes expected(8 * c.depth, 0);
        for (size_t b : c.bytes) expected[b] = static_cast<uint8_t>(0x80 >> c.x);
        EXPECT_EQ(planar, expected);
        Bytes back(64, 0xEE);
        ASSERT_EQ(ZarniCreatePixelMap(planar.data(), back.data(), 1, c.depth), 1u);
        EXPECT_EQ(back, pixels);
    }
}

TEST(TileConversion, RoundTripsAtEveryDepth) {
    std::mt19937 rng(7);
    const uint32_t tiles = 5;
    for (uint32_t depth = 1; depth <= 8; ++depth) {
        SCOPED_TRACE(depth);
        Bytes pixels(64 * tiles);
        for (auto& p : pixels) p = static_cast<uint8_t>(rng() & ((1u << depth) - 1));
        Bytes planar(8 * depth * tiles + 1, 0xEE);
        ASSERT_EQ(ZarniCreateBppMap(pixels.data(), planar.data(), tiles, depth), 1u);
        EXPECT_EQ(planar.back(), 0xEEu) << "wrote past the last tile";
        Bytes back(64 * tiles + 1, 0xEE);
        ASSERT_EQ(ZarniCreatePixelMap(planar.data(), back.data(), tiles, depth), 1u);
        EXPECT_EQ(back.back(), 0xEEu) << "wrote past the last tile";
        back.pop_back();
        EXPECT_EQ(back, pixels);

        // And the other way: any planar bytes survive a trip through pixels.
        Bytes randomPlanar(8 * depth * tiles);
        for (auto& b : randomPlanar) b = static_cast<uint8_t>(rng());
        ASSERT_EQ(ZarniCreatePixelMap(randomPlanar.data(), back.data(), tiles, depth), 1u);
        Bytes again(8 * depth * tiles);
        ASSERT_EQ(ZarniCreateBppMap(back.data(), again.data(), tiles, depth), 1u);
        EXPECT_EQ(again, randomPlanar);
    }
}

TEST(TileConversion, BitsAboveTheDepthAreDropped) {
    Bytes pixels(64, 0xFF), planar(16, 0);
    ASSERT_EQ(ZarniCreateBppMap(pixels.data(), planar.data(), 1, 2), 1u);
    EXPECT_EQ(planar, Bytes(16, 0xFF));
    Bytes back(64, 0);
    ASSERT_EQ(ZarniCreatePixelMap(planar.data(), back.data(), 1, 2), 1u);
    EXPECT_EQ(back, Bytes(64, 3));
}

TEST(TileConversion, RefusalsTouchNothing) {
    Bytes a(64 * 2, 1), b(64 * 2, 2);
    for (auto* convert : {&ZarniCreatePixelMap, &ZarniCreateBppMap}) {
        EXPECT_EQ(convert(nullptr, b.data(), 1, 4), 0u);
        EXPECT_EQ(convert(a.data(), nullptr, 1, 4), 0u);
        EXPECT_EQ(convert(a.data(), a.data(), 1, 4), 0u);
        EXPECT_EQ(convert(a.data(), b.data(), 1, 0), 0u);
        EXPECT_EQ(convert(a.data(), b.data(), 1, 9), 0u);
        EXPECT_EQ(convert(a.data(), b.data(), 0, 4), 1u);
    }
    EXPECT_EQ(a, Bytes(64 * 2, 1));
    EXPECT_EQ(b, Bytes(64 * 2, 2));
}

// ----------------------------------------------------------------- colours

TEST(Colours, WorkedValues) {
    EXPECT_EQ(ZarniSNEStoPCRGB(0x7FFF), 0xF8F8F8u);
    EXPECT_EQ(ZarniSNEStoPCRGB(0x001F), 0xF80000u);
    EXPECT_EQ(ZarniSNEStoPCRGB(0x03E0), 0x00F800u);
    EXPECT_EQ(ZarniSNEStoPCRGB(0x7C00), 0x0000F8u);
    EXPECT_EQ(ZarniSNEStoPCRGB(0x8000), 0u);  // bit 15 is ignored
    EXPECT_EQ(ZarniPCtoSNESRGB(0xFFFFFF), 0x7FFFu);
    EXPECT_EQ(ZarniPCtoSNESRGB(0x000004), 0x0400u);
    EXPECT_EQ(ZarniPCtoSNESRGB(0x000003), 0x0000u);
    EXPECT_EQ(ZarniPCtoSNESRGB(0x0C0000), 0x0002u);  // 12 = 8 + 4 rounds up
    EXPECT_EQ(ZarniPCtoSNESRGB(0xFF000000), 0u);     // the top byte is ignored
}

TEST(Colours, EverySnesColourSurvivesTheRoundTrip) {
    for (uint32_t c = 0; c < 0x8000; ++c) ASSERT_EQ(ZarniPCtoSNESRGB(ZarniSNEStoPCRGB(c)), c);
}

// --------------------------------------------------------------- rendering

class Render : public ::testing::Test {
  protected:
    static constexpr int32_t W = 16, H = 16;
    static constexpr uint32_t kBackground = 0x00405060;

    void SetUp() override {
        // Tile 1: pixel (x, y) has index x + 1 except the diagonal, which is 0.
        pixels.assign(64 * 512, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) pixels[64 + 8 * y + x] = x == y ? 0 : x + 1;
        palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x01000000u * (i & 1) | (i << 8) | i;
        dest.assign(W * H, kBackground);
    }
    uint32_t draw(int32_t x, int32_t y, uint32_t entry, uint32_t options = 0, int32_t w = W,
                  int32_t h = H) {
        return ZarniRender8x8(dest.data(), w, h, x, y, pixels.data(), palette.data(), entry,
                              options);
    }
    uint32_t at(int x, int y) const { return dest[y * W + x]; }
    int changedPixels() const {
        int n = 0;
        for (uint32_t d : dest) n += d != kBackground;
        return n;
    }

    std::vector<uint8_t> pixels;
    std::vector<uint32_t> palette;
    std::vector<uint32_t> dest;
};

TEST_F(Render, DrawsWithPaletteAndLeavesIndexZero) {
    const uint32_t entry = 1 | (3u << 10);  // tile 1, palette 3
    ASSERT_EQ(draw(4, 5, entry), 1u);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint32_t want = x == y ? kBackground : palette[48 + x + 1];
            ASSERT_EQ(at(4 + x, 5 + y), want) << x << "," << y;
        }
    }
    EXPECT_EQ(changedPixels(), 56);
}

TEST_F(Render, Flips) {
    ASSERT_EQ(draw(0, 0, 1 | 0x4000), 1u);
    EXPECT_EQ(at(0, 0), palette[8]);  // column 7 of row 0
    EXPECT_EQ(at(6, 0), palette[2]);
    EXPECT_EQ(at(7, 0), kBackground);  // column 0 of row 0: the diagonal
    EXPECT_EQ(at(7, 7), palette[1]);   // column 0 of row 7
    EXPECT_EQ(at(0, 7), kBackground);  // the mirrored diagonal
    dest.assign(W * H, kBackground);
    ASSERT_EQ(draw(0, 0, 1 | 0x8000), 1u);
    EXPECT_EQ(at(0, 7), kBackground);  // row 0 lands at the bottom
    EXPECT_EQ(at(1, 7), palette[2]);
    EXPECT_EQ(at(0, 0), palette[1]);  // row 7, column 0
}

TEST_F(Render, ClipsAtEveryEdge) {
    ASSERT_EQ(draw(-7, 0, 1), 1u);
    EXPECT_EQ(at(0, 0), palette[8]);
    EXPECT_EQ(changedPixels(), 7);  // column 7 has one transparent pixel
    dest.assign(W * H, kBackground);
    EXPECT_EQ(draw(-8, 0, 1), 0u);
    EXPECT_EQ(draw(0, -8, 1), 0u);
    EXPECT_EQ(draw(16, 0, 1), 0u);
    EXPECT_EQ(draw(0, 16, 1), 0u);
    EXPECT_EQ(changedPixels(), 0);

    ASSERT_EQ(draw(13, 14, 1), 1u);  // 3 columns, 2 rows visible
    EXPECT_EQ(at(15, 15), palette[3]);
    EXPECT_EQ(changedPixels(), 4);

    dest.assign(W * H, kBackground);
    ASSERT_EQ(draw(3, -6, 1), 1u);  // rows 6 and 7 land in rows 0 and 1
    EXPECT_EQ(at(3, 0), palette[1]);
    EXPECT_EQ(at(9, 0), kBackground);
    EXPECT_EQ(at(10, 0), palette[8]);
    EXPECT_EQ(at(10, 1), kBackground);
    EXPECT_EQ(changedPixels(), 14);
}

TEST_F(Render, LeftClipInADestinationNarrowerThanATile) {
    // Width 3: tile columns 2, 3 and 4 are the visible ones.
    dest.assign(3 * 2, kBackground);
    ASSERT_EQ(draw(-2, 0, 1, 0, 3, 2), 1u);
    EXPECT_EQ(dest[0], palette[3]);
    EXPECT_EQ(dest[1], palette[4]);
    EXPECT_EQ(dest[2], palette[5]);
    EXPECT_EQ(dest[3], palette[3]);
    EXPECT_EQ(dest[4], palette[4]);
    EXPECT_EQ(dest[5], palette[5]);
}

TEST_F(Render, Refusals) {
    EXPECT_EQ(ZarniRender8x8(nullptr, W, H, 0, 0, pixels.data(), palette.data(), 1, 0), 0u);
    EXPECT_EQ(ZarniRender8x8(dest.data(), W, H, 0, 0, pixels.data(), nullptr, 1, 0), 0u);
    EXPECT_EQ(ZarniRender8x8(dest.data(), W, H, 0, 0, nullptr, palette.data(), 1, 0), 0u);
    EXPECT_EQ(draw(0, 0, 1, 0, 0, H), 0u);
    EXPECT_EQ(draw(0, 0, 1, 0, W, -1), 0u);
    EXPECT_EQ(draw(INT_MAX, 0, 1), 0u);
    EXPECT_EQ(draw(INT_MIN, 0, 1), 0u);
    EXPECT_EQ(changedPixels(), 0);
}

TEST_F(Render, BackgroundPriority) {
    const uint32_t entry = 1 | 0x2000;
    EXPECT_EQ(draw(0, 0, entry, 0x1000), 0u);
    EXPECT_EQ(draw(0, 0, entry, 0x2000), 0u);
    EXPECT_EQ(changedPixels(), 0);
    EXPECT_EQ(draw(0, 0, entry, 0x3000), 1u);
    EXPECT_EQ(changedPixels(), 56);
}

TEST_F(Render, SpriteEntries) {
    const uint32_t sprite = 0x20000;
    // Tile bits 0-8 (bit 9 is the palette's), palette 8 + bits 9-11.
    pixels[64 * 257 + 3] = 2;
    ASSERT_EQ(draw(0, 0, 257 | (1u << 9) | (2u << 10), sprite), 1u);
    EXPECT_EQ(at(3, 0), palette[16 * (8 + 5) + 2]);

    const uint32_t prio1 = 1 | (1u << 12), prio2 = 1 | (2u << 12), prio3 = 1 | (3u << 12);
    EXPECT_EQ(draw(0, 0, prio1, sprite | 0x1000), 0u);
    EXPECT_EQ(draw(0, 0, prio1, sprite | 0x1000 | 0x2000), 1u);
    EXPECT_EQ(draw(0, 0, prio2, sprite | 0x4000), 0u);
    EXPECT_EQ(draw(0, 0, prio2, sprite | 0x1000 | 0x2000), 0u);
    EXPECT_EQ(draw(0, 0, prio2, sprite | 0x1000 | 0x4000), 1u);
    EXPECT_EQ(draw(0, 0, prio3, sprite | 0x1000 | 0x4000), 0u);
    EXPECT_EQ(draw(0, 0, prio3, sprite | 0x1000 | 0x8000), 1u);
}

TEST_F(Render, TransparentPixelOptions) {
    dest.assign(W * H, 0x00123456);
    ASSERT_EQ(draw(0, 0, 1, 0x1), 1u);
    EXPECT_EQ(at(0, 0), 0x00EDCBA9u);
    EXPECT_EQ(at(1, 0), palette[2]);          // drawn pixels are not inverted
    ASSERT_EQ(draw(0, 0, 1, 0x1 | 0x4), 1u);  // inverted back, then red set
    EXPECT_EQ(at(1, 1), 0x00FF3456u);
    ASSERT_EQ(draw(0, 0, 1, 0x10 | 0x40), 1u);
    EXPECT_EQ(at(2, 2), 0x00FFFFFFu);
    // Index 0 drawn as a colour of its own.
    ASSERT_EQ(draw(0, 0, 1 | (2u << 10), 0x10000), 1u);
    EXPECT_EQ(at(3, 3), palette[32]);
}

TEST_F(Render, DrawnPixelOptions) {
    palette[5] = 0x00102030;
    pixels[64 + 4] = 5;
    ASSERT_EQ(draw(0, 0, 1, 0x2), 1u);
    EXPECT_EQ(at(4, 0), 0x00EFDFCFu);
    ASSERT_EQ(draw(0, 0, 1, 0x2 | 0x8), 1u);  // inverted first, then red forced
    EXPECT_EQ(at(4, 0), 0x00FFDFCFu);
    ASSERT_EQ(draw(0, 0, 1, 0x20 | 0x80), 1u);
    EXPECT_EQ(at(4, 0), 0x0010FFFFu);
    EXPECT_EQ(at(0, 0), kBackground);  // transparent pixels untouched
}

TEST_F(Render, ColourArithmetic) {
    pixels[64 + 1] = 2;
    auto drawOne = [&](uint32_t destColour, uint32_t tileColour, uint32_t options,
                       uint32_t entry = 1, uint32_t paletteNumber = 0) {
        palette[16 * paletteNumber + 2] = tileColour;
        dest.assign(W * H, destColour);
        EXPECT_EQ(draw(0, 0, entry, options), 1u);
        return at(1, 0);
    };
    EXPECT_EQ(drawOne(0x00102030, 0x00203040, 0x800), 0u);
    EXPECT_EQ(drawOne(0x00F0F0F0, 0x00202020, 0x400), 0x00F8F8F8u);
    EXPECT_EQ(drawOne(0x00102030, 0x00010203, 0x400), 0x00112233u);
    EXPECT_EQ(drawOne(0x00102030, 0x00203040, 0x400 | 0x100), 0x00203850u);  // T halved
    EXPECT_EQ(drawOne(0x00402010, 0x00203040, 0x800 | 0x100), 0x00300800u);
    EXPECT_EQ(drawOne(0x00102030, 0x00304050, 0x100), 0x00203040u);          // average
    EXPECT_EQ(drawOne(0x00102030, 0xFF203041, 0x200), 0x00101820u);          // darken
    EXPECT_EQ(drawOne(0x00102030, 0xFF203040, 0), 0xFF203040u);              // plain copy
    EXPECT_EQ(drawOne(0x00102030, 0x00203040, 0x400 | 0x800), 0x00305070u);  // add wins
    EXPECT_EQ(drawOne(0x00000000, 0x00808080, 0x200 | 0x100 | 0x400), 0x00202020u);

    // Sprites of palettes 12 to 15 halve when asked; lower palettes do not.
    const uint32_t sprite = 0x20000 | 0x40000;
    EXPECT_EQ(drawOne(0x00102030, 0x00304050, sprite, 1 | (4u << 9), 12), 0x00203040u);
    EXPECT_EQ(drawOne(0x00102030, 0x00304050, sprite, 1 | (3u << 9), 11), 0x00304050u);
    EXPECT_EQ(drawOne(0x00102030, 0x00304050, 0x40000, 1 | (7u << 10), 7), 0x00304050u);
}

}  // namespace
