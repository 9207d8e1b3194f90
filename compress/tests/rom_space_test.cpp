#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>

#include "test_support.h"
#include "zarni_compress.h"

using zt::Bytes;

namespace {

constexpr uint32_t kHeader = 0x200;

class RomSpace : public ::testing::Test {
  protected:
    void TearDown() override { ZarniCloseFile(); }

    // Writes the image and opens it in the given mode.
    void open(const Bytes& image, uint32_t mode = 1) {
        zt::writeFile(path, image);
        ASSERT_EQ(ZarniOpenFile(path.c_str(), mode), 1u);
    }
    Bytes closeAndRead() {
        ZarniCloseFile();
        return zt::readFile(path);
    }

    zt::TempDir dir;
    std::string path = dir.file("rom.smc");
};

// A ROM image of `romSize` bytes of 0xFF, after a copier header when asked.
Bytes romImage(uint32_t romSize, bool header) {
    Bytes image(romSize + (header ? kHeader : 0), 0xFF);
    if (header) std::fill(image.begin(), image.begin() + kHeader, uint8_t{0});
    return image;
}

void putWord(Bytes& image, size_t at, uint16_t value) {
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

void zero(Bytes& image, size_t from, size_t to) {
    std::fill(image.begin() + from, image.begin() + to, uint8_t{0});
}

// ---------------------------------------------------------------- erasing

TEST_F(RomSpace, EraseWritesZerosAndKeepsTheRest) {
    open(Bytes(64, 0xAB));
    EXPECT_EQ(ZarniEraseArea(10, 20), 1u);
    // The stream must still serve a read right after the write.
    uint8_t probe[4] = {};
    ASSERT_EQ(ZarniReadFile(probe, 4, 28, 1), 1u);
    EXPECT_EQ(probe[0], 0u);
    EXPECT_EQ(probe[1], 0u);
    EXPECT_EQ(probe[2], 0xABu);
    Bytes expected(64, 0xAB);
    zero(expected, 10, 30);
    EXPECT_EQ(closeAndRead(), expected);
}

TEST_F(RomSpace, EraseBeyondTheEndGrowsTheFile) {
    open(Bytes(16, 0xAB));
    EXPECT_EQ(ZarniEraseArea(12, 8), 1u);
    EXPECT_EQ(ZarniGetFileSize(), 20u);
    Bytes expected(20, 0);
    std::fill(expected.begin(), expected.begin() + 12, uint8_t{0xAB});
    EXPECT_EQ(closeAndRead(), expected);
}

TEST_F(RomSpace, EraseRefusesWithoutWritableFileOrSize) {
    EXPECT_EQ(ZarniEraseArea(0, 4), 0u);
    open(Bytes(16, 0xAB), 0);
    EXPECT_EQ(ZarniEraseArea(0, 4), 0u);
    EXPECT_EQ(closeAndRead(), Bytes(16, 0xAB));
    open(Bytes(16, 0xAB), 1);
    EXPECT_EQ(ZarniEraseArea(0, 0), 0u);
    // An area reaching past 4 GiB cannot be addressed with 32-bit offsets.
    EXPECT_EQ(ZarniEraseArea(0xFFFFFF00u, 0x200), 0u);
    EXPECT_EQ(closeAndRead(), Bytes(16, 0xAB));
}

TEST_F(RomSpace, FailedWritesAreNotReportedAsSuccess) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ASSERT_EQ(ZarniOpenFile("/dev/full", 1), 1u);
    EXPECT_EQ(ZarniEraseArea(0, 16), 0u);
    EXPECT_EQ(ZarniExpandROM(1), 0u);
}

#if !defined(_WIN32)
TEST_F(RomSpace, EraseThatCannotGrowLeavesTheFileAsItWas) {
    const Bytes image = zt::noise(1000);
    zt::writeFile(path, image);
    // Reaches 100 bytes into the old content, then far past the end.
    const int result = zt::withFileSizeLimit(50000, [&] {
        if (!ZarniOpenFile(path.c_str(), 1)) return 99;
        const uint32_t erased = ZarniEraseArea(900, 100000);
        const bool reason = errno == EFBIG;
        ZarniCloseFile();
        return static_cast<int>(erased) + (reason ? 0 : 10);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(zt::readFile(path), image);
}
#endif

// -------------------------------------------------------------- expanding

TEST_F(RomSpace, ExpandToNothingOrTooMuch) {
    open(romImage(0x80000, true));
    EXPECT_EQ(ZarniExpandROM(0), 4u);
    EXPECT_EQ(ZarniExpandROM(4), 4u);
    EXPECT_EQ(ZarniExpandROM(33), 0u);
    EXPECT_EQ(closeAndRead(), romImage(0x80000, true));
    EXPECT_EQ(ZarniExpandROM(16), 0u);  // no file open
}

TEST_F(RomSpace, ExpandHeaderedHiRomSetsItsSizeByte) {
    Bytes image = romImage(0x80000, true);
    putWord(image, kHeader + 0xFFDC, 0x1234);
    putWord(image, kHeader + 0xFFDE, 0xEDCB);
    putWord(image, kHeader + 0x7FDC, 0x1234);  // not a pair: ORs to 0x1234
    putWord(image, kHeader + 0x7FDE, 0x1230);
    open(image);
    EXPECT_EQ(ZarniExpandROM(16), 16u);
    EXPECT_EQ(ZarniGetFileSize(), 0x200200u);
    Bytes grown = closeAndRead();
    ASSERT_EQ(grown.size(), 0x200200u);
    EXPECT_TRUE(
        std::all_of(grown.begin() + 0x80200, grown.end(), [](uint8_t b) { return b == 0; }));
    Bytes expected = image;
    expected[kHeader + 0xFFD7] = 11;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), grown.begin()));
}

#if !defined(_WIN32)
TEST_F(RomSpace, ExpandThatCannotGrowLeavesTheImageAsItWasAndCanBeRetried) {
    Bytes image = romImage(0x80000, true);
    putWord(image, kHeader + 0xFFDC, 0x0000);
    zt::writeFile(path, image);
    const auto expand = [&] {
        if (!ZarniOpenFile(path.c_str(), 1)) return 99;
        const uint32_t megabits = ZarniExpandROM(16);
        ZarniCloseFile();
        return static_cast<int>(megabits);
    };
    EXPECT_EQ(zt::withFileSizeLimit(0xC0000, expand), 0);
    EXPECT_EQ(zt::readFile(path), image);

    // With room again, the header is still recognised and the size byte set.
    EXPECT_EQ(expand(), 16);
    const Bytes grown = zt::readFile(path);
    ASSERT_EQ(grown.size(), 0x200200u);
    EXPECT_EQ(grown[kHeader + 0xFFD7], 11u);
}
#endif

TEST_F(RomSpace, ExpandUnheaderedLoRomAndBothPositions) {
    Bytes image = romImage(0x40000, false);
    putWord(image, 0x7FDC, 0x0000);  // with 0xFFFF: a blank checksum of a fresh image
    open(image);
    EXPECT_EQ(ZarniExpandROM(8), 8u);
    Bytes grown = closeAndRead();
    ASSERT_EQ(grown.size(), 0x100000u);
    EXPECT_EQ(grown[0x7FD7], 10u);
    EXPECT_EQ(grown[0xFFD7], 10u);  // 0xFFFF | 0xFFFF there as well
}

TEST_F(RomSpace, ExpandWithoutChecksumPairWritesNoSizeByte) {
    Bytes image = romImage(0x20000, true);
    for (uint32_t base : {0x7FC0u, 0xFFC0u}) {
        putWord(image, kHeader + base + 0x1C, 0x00FF);
        putWord(image, kHeader + base + 0x1E, 0x00FF);
    }
    open(image);
    EXPECT_EQ(ZarniExpandROM(2), 2u);
    Bytes grown = closeAndRead();
    ASSERT_EQ(grown.size(), 0x40200u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), grown.begin()));
}

TEST_F(RomSpace, SizeByteFollowsTheMegabitTable) {
    const std::pair<uint32_t, uint8_t> table[] = {{1, 8},  {3, 8},   {4, 9},   {7, 9},   {8, 10},
                                                  {9, 10}, {10, 11}, {20, 11}, {21, 12}, {32, 12}};
    for (auto [megabits, sizeByte] : table) {
        SCOPED_TRACE(megabits);
        Bytes image = romImage(0x10000, false);  // all 0xFF: the pair ORs to 0xFFFF
        open(image);
        EXPECT_EQ(ZarniExpandROM(megabits), megabits);
        Bytes grown = closeAndRead();
        EXPECT_EQ(grown.size(), megabits * 0x20000u);
        EXPECT_EQ(grown[0x7FD7], sizeByte);
        EXPECT_EQ(grown[0xFFD7], sizeByte);
    }
}

TEST_F(RomSpace, ReadOnlyFileExpandsOnlyWhenNoGrowthIsNeeded) {
    const Bytes image = romImage(0x80000, true);
    open(image, 0);
    EXPECT_EQ(ZarniExpandROM(2), 4u);
    EXPECT_EQ(ZarniExpandROM(16), 0u);
    EXPECT_EQ(closeAndRead(), image);
}

// ------------------------------------------------------ finding free space

TEST_F(RomSpace, HiRomRunsStopAtBankBorders) {
    Bytes image = romImage(0x30000, true);
    zero(image, kHeader + 0xFF80, kHeader + 0x10100);  // 0x80 before the border, 0x100 after
    open(image, 0);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x80, 2), kHeader + 0xFF80);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x81, 2), kHeader + 0x10000);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x101, 2), 0u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x101, 4), 0u);
    // Without bank limits the run is one.
    EXPECT_EQ(ZarniVerifyFreeSpace(kHeader, 0xFFFFFFFF, 0x180, 0), kHeader + 0xFF80);
    EXPECT_EQ(ZarniVerifyFreeSpace(kHeader, 0xFFFFFFFF, 0x181, 0), 0u);
    // ... and the zero copier header is free space when nothing skips it.
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x180, 0), 1u);
}

TEST_F(RomSpace, NoRunAboveOneBankWithBankLimits) {
    Bytes image(kHeader + 0x30000, 0);
    open(image, 0);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x10000, 2), kHeader);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x10001, 2), 0u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x8001, 1), 0u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x20000, 0), 1u);  // 0 is taken as 1
}

TEST_F(RomSpace, LoRomBanksAreCountedFromTheHeaderEnd) {
    Bytes image = romImage(0x20000, true);
    zero(image, kHeader + 0x7F00, kHeader + 0x8100);
    zero(image, kHeader + 0x100, kHeader + 0x200);
    open(image, 0);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x100, 1), kHeader + 0x100);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x101, 1), 0u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 0x101, 2), kHeader + 0x7F00);
    // A run under way at the start counts from the start only.
    EXPECT_EQ(ZarniVerifyFreeSpace(kHeader + 0x180, 0xFFFFFFFF, 0x80, 1), kHeader + 0x180);
    EXPECT_EQ(ZarniVerifyFreeSpace(kHeader + 0x180, 0xFFFFFFFF, 0x81, 1), kHeader + 0x7F00);
}

TEST_F(RomSpace, OtherKindsCutPiecesFromTheSearchStart) {
    Bytes image = romImage(0x30000, true);
    zero(image, kHeader + 0x17F00, kHeader + 0x18100);
    open(image, 0);
    const uint32_t start = kHeader + 0x8000;  // pieces end at start + 0x10000 = the run's middle
    EXPECT_EQ(ZarniVerifyFreeSpace(start, 0xFFFFFFFF, 0x200, 3), 0u);
    EXPECT_EQ(ZarniVerifyFreeSpace(start, 0xFFFFFFFF, 0x100, 3), kHeader + 0x17F00);
    EXPECT_EQ(ZarniVerifyFreeSpace(start, 0xFFFFFFFF, 0x200, 2), kHeader + 0x17F00);
}

TEST_F(RomSpace, HeaderIsSkippedOnlyWithBankLimits) {
    open(Bytes(kHeader + 0x1000, 0), 0);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 16, 2), kHeader);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0xFFFFFFFF, 16, 0), 1u);
    EXPECT_EQ(ZarniVerifyFreeSpace(5, 0xFFFFFFFF, 16, 0), 5u);
}

TEST_F(RomSpace, RangeLimits) {
    Bytes image(0x1000, 0xFF);
    zero(image, 0xF00, 0x1000);
    open(image, 0);
    // The end is cut back to the file size.
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0xFFFFFFFF, 0x100, 0), 0xF00u);
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0xFFFFFFFF, 0x101, 0), 0u);
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0xF7F, 0x80, 0), 0u);  // the run would pass the end
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0xF80, 0x80, 0), 0xF00u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0xF80, 0xF00, 0, 0), 0u);                // end before start
    EXPECT_EQ(ZarniVerifyFreeSpace(0xFFFFFFF0u, 0xFFFFFFFF, 0x20, 0), 0u);  // no wrap-around
    // Size 0 gives the start back while it lies below the end.
    EXPECT_EQ(ZarniVerifyFreeSpace(0x10, 0x20, 0, 0), 0x10u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0, 0x20, 0, 0), 1u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0x20, 0x20, 0, 0), 0u);
    ZarniCloseFile();
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0x1000, 1, 0), 0u);
}

TEST_F(RomSpace, SearchLeavesTheStreamUsable) {
    Bytes image(0x100, 0xFF);
    zero(image, 0x80, 0xC0);
    open(image, 1);
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0x100, 0x40, 0), 0x80u);
    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(ZarniWriteFile(data, 4, 0x80, 1), 1u);
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0x100, 0x3C, 0), 0x84u);
    EXPECT_EQ(ZarniVerifyFreeSpace(1, 0x100, 0x3D, 0), 0u);
}

// The lowest offset that a plain scan of every candidate finds.
uint32_t referenceSearch(const Bytes& image, uint32_t start, uint32_t end, uint32_t size,
                         uint32_t kind) {
    const uint32_t h = static_cast<uint32_t>(image.size()) & 0x200;
    if (start == 0) start = 1;
    if (kind != 0 && start < h) start = h;
    end = std::min<uint32_t>(end, static_cast<uint32_t>(image.size()));
    std::vector<uint32_t> zeroUntil(image.size() + 1, 0);
    zeroUntil[image.size()] = static_cast<uint32_t>(image.size());
    for (size_t i = image.size(); i-- > 0;)
        zeroUntil[i] = image[i] == 0 ? zeroUntil[i + 1] : static_cast<uint32_t>(i);
    auto piece = [&](uint64_t p) -> uint64_t {
        if (kind == 1) return (p - h) / 0x8000;
        if (kind == 2 || kind == 4) return (p - h) / 0x10000;
        if (kind == 0) return 0;
        return (p - start) / 0x10000;
    };
    for (uint64_t p = start; p < end && p + size <= end; ++p) {
        if (zeroUntil[p] < p + size) continue;
        if (size > 0 && piece(p) != piece(p + size - 1)) continue;
        return static_cast<uint32_t>(p);
    }
    return 0;
}

TEST_F(RomSpace, AgreesWithAPlainScanOnRandomImages) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const uint32_t kinds[] = {0, 1, 2, 3, 4};
    for (int round = 0; round < 6; ++round) {
        const bool header = round % 2 == 1;
        Bytes image(0x38000 + (header ? kHeader : 0), 0xFF);
        for (int run = 0; run < 40; ++run) {
            const size_t at = rng() % image.size();
            const size_t length = rng() % 4 ? rng() % 0x400 : rng() % 0x14000;
            zero(image, at, std::min(image.size(), at + length));
        }
        open(image, 0);
        for (int query = 0; query < 60; ++query) {
            const uint32_t start = rng() % 3 ? rng() % image.size() : rng() % 0x400;
            const uint32_t end = rng() % 3 ? 0xFFFFFFFFu : start + rng() % 0x30000;
            const uint32_t size = rng() % 4 ? rng() % 0x600 : rng() % 0x12000;
            const uint32_t kind = kinds[rng() % 5];
            SCOPED_TRACE(testing::Message() << "start " << start << " end " << end << " size "
                                            << size << " kind " << kind);
            ASSERT_EQ(ZarniVerifyFreeSpace(start, end, size, kind),
                      referenceSearch(image, start, end, size, kind));
        }
        ZarniCloseFile();
    }
}

}  // namespace
