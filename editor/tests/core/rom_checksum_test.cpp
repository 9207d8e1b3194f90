#include "core/rom_checksum.h"

#include <gtest/gtest.h>

#include "support/test_rom.h"

namespace korvale {
namespace {

TEST(RomChecksum, TheDemoImageMatchesAndAnEditIsNoticed) {
    std::vector<uint8_t> image = test::romImage();
    ASSERT_TRUE(readRomChecksum(image)->matches());
    image[0x30000] ^= 1;
    EXPECT_FALSE(readRomChecksum(image)->matches());
    ASSERT_TRUE(fixRomChecksum(image));
    EXPECT_TRUE(readRomChecksum(image)->matches());
}

TEST(RomChecksum, TheRestOfAnOddSizedImageCountsAsOftenAsItIsMirrored) {
    // 64 KiB then 32 KiB of ones, no copier header: the console sees the
    // 32 KiB twice, and the four checksum bytes count as FF FF 00 00.
    const std::vector<uint8_t> image(0x18000, 1);
    const auto sum = readRomChecksum(image);
    ASSERT_TRUE(sum);
    EXPECT_EQ(sum->computed, static_cast<uint16_t>(0x10000 + 2 * 0x8000 - 4 + 0x1FE));
    EXPECT_FALSE(readRomChecksum(std::vector<uint8_t>(0x8000, 0)));
}

}  // namespace
}  // namespace korvale
