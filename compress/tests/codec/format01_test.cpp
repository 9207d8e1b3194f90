#include <gtest/gtest.h>

#include "test_support.h"
#include "zarni_compress.h"

using zt::ascii;
using zt::Bytes;
using zt::hex;

namespace {

bool dropped(size_t i) {
    return i >= 16 && (i & 16) && (i & 1);
}

// What unpacking n bytes should give: the packed bytes in order, 0 in every
// dropped position.
Bytes spread(const Bytes& packed, size_t n) {
    Bytes out;
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) out.push_back(dropped(i) ? 0 : packed.at(next++));
    return out;
}

TEST(Format01Decode, FillsAndCopiesLikeFormat4) {
    for (uint32_t format : {0u, 1u}) {
        auto d =
            zt::decode(hex("02 41 42 43 23 00 44 01 02 63 FE 82 00 00 FF"), format, 0, 0x10000, 3);
        EXPECT_EQ(d.data, hex("41 42 43 00 00 00 00 01 02 01 02 01 FE FF 00 01 41 42 43"))
            << format;
        EXPECT_EQ(d.endOffset, 3u + 15);
    }
}

TEST(Format01Decode, CopyPositionByteOrderDependsOnTheFormat) {
    // 512 zero bytes, then "A" at 512; the copy's bytes 00 02 are 512 in
    // format 0 and 2 in format 1.
    Bytes stream = hex("E5 FF 00 00 41 80 00 02 FF");
    auto low = zt::decode(stream, 0);
    auto high = zt::decode(stream, 1);
    ASSERT_EQ(low.result, 514u);
    ASSERT_EQ(high.result, 514u);
    EXPECT_EQ(low.data[513], 0x41);
    EXPECT_EQ(high.data[513], 0x00);
}

TEST(Format01Decode, Commands5To7AreAllPlainAbsoluteCopies) {
    auto d = zt::decode(hex("02 0F 42 43 A2 00 00 C2 00 00 FC 02 00 00 FF"), 0);
    EXPECT_EQ(d.data, hex("0F 42 43 0F 42 43 0F 42 43 0F 42 43"));
    d = zt::decode(hex("02 0F 42 43 A1 00 01 C1 00 01 FC 01 00 01 FF"), 1);
    EXPECT_EQ(d.data, hex("0F 42 43 42 43 42 43 42 43"));
}

TEST(Format01Decode, CopyPassingTheBufferEndsDecodingAfterItsArguments) {
    auto d = zt::decode(hex("01 41 42 81 FF FF 23 00 FF"), 0);
    EXPECT_EQ(d.result, 2u);
    EXPECT_EQ(d.endOffset, 6u);
    // A copy of 1024 from FC 10: 0x10FC in format 0, 0xFC10 (past the end) in 1.
    Bytes stream = hex("01 41 42 F3 FF FC 10 FF");
    EXPECT_EQ(zt::decode(stream, 0).result, 2u + 1024);
    d = zt::decode(stream, 1);
    EXPECT_EQ(d.result, 2u);
    EXPECT_EQ(d.endOffset, 7u);
}

TEST(Format01Unpack, LengthFollowsTheTileFormula) {
    // Decoded length 24k + r unpacks to 32k + (r <= 16 ? r : 2r - 16).
    struct Case {
        uint32_t decoded, unpacked;
    } cases[] = {{48, 64}, {44, 56}, {32, 40}, {40, 48}, {17, 18}, {16, 16}, {10, 10}, {24, 32}};
    for (const auto& c : cases) {
        // An increasing fill of the decoded length, so every byte is distinct.
        Bytes stream = {0xEC, static_cast<uint8_t>(c.decoded - 1), 0x01, 0xFF};
        auto d = zt::decode(stream, 0, 1);
        Bytes packed;
        for (uint32_t i = 0; i < c.decoded; ++i) packed.push_back(static_cast<uint8_t>(1 + i));
        EXPECT_EQ(d.result, c.unpacked) << c.decoded;
        EXPECT_EQ(d.data, spread(packed, c.unpacked)) << c.decoded;
    }
}

TEST(Format01Unpack, OnlyThreeQuartersOfAFullBufferAreUnpacked) {
    // 64 byte fills of 1024, the value being the fill's number.
    Bytes stream;
    for (int i = 0; i < 64; ++i) stream.insert(stream.end(), {0xE7, 0xFF, static_cast<uint8_t>(i)});
    stream.push_back(0xFF);
    auto d = zt::decode(stream, 1, 1);
    ASSERT_EQ(d.result, 65536u);
    EXPECT_EQ(d.data[65535], 0);
    EXPECT_EQ(d.data[65534], 47);  // the last of the first 49,152 bytes
    // Tile 1250 starts with packed byte 30,000, from fill 29.
    EXPECT_EQ(d.data[40000], 29);
    EXPECT_EQ(d.data[40016], 29);
    EXPECT_EQ(d.data[40017], 0);
}

TEST(Format01Encode, WorkedStreams) {
    EXPECT_EQ(zt::encode(ascii("ABCDEFG"), 0), hex("66 41 FF"));
    EXPECT_EQ(zt::encode(ascii("AAAA"), 1), hex("23 41 FF"));
    EXPECT_EQ(zt::encode(ascii("ABABABAB"), 0), hex("47 41 42 FF"));
    EXPECT_EQ(zt::encode(ascii("AB"), 0), hex("01 41 42 FF"));
    // A copy from position 1: low byte first in format 0, high byte first in 1.
    EXPECT_EQ(zt::encode(ascii("xhello hello"), 0), hex("06 78 68 65 6C 6C 6F 20 84 01 00 FF"));
    EXPECT_EQ(zt::encode(ascii("xhello hello"), 1), hex("06 78 68 65 6C 6C 6F 20 84 00 01 FF"));
}

TEST(Format01Encode, CopiesNeedFourBytesAndBeatFillsOnlyWhenLonger) {
    // "axc" repeated once is 3 bytes: no copy.
    EXPECT_EQ(zt::encode(ascii("axcXaxc"), 0), hex("06 61 78 63 58 61 78 63 FF"));
    // A 4-byte repeat is a copy, also at 300 bytes back (no distance limit).
    Bytes input = zt::noise(300);
    input.insert(input.end(), input.begin() + 5, input.begin() + 9);
    Bytes stream = zt::encode(input, 1);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), hex("83 00 05 FF"));
    EXPECT_EQ(zt::decode(stream, 1).data, input);
}

TEST(Format01Encode, TilePackingRewritesTheCallersBuffer) {
    Bytes input(64);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7 + 3);
    Bytes buffer = input, stream(256);
    uint32_t n = ZarniRecompress(buffer.data(), stream.data(), 64, 256, 0, 5);
    ASSERT_GT(n, 0u);
    stream.resize(n);
    Bytes packed;
    for (size_t i = 0; i < input.size(); ++i)
        if (!dropped(i)) packed.push_back(input[i]);
    ASSERT_EQ(packed.size(), 48u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 48), packed);
    // Decoding without the flag gives the packed bytes, with it the tiles.
    EXPECT_EQ(zt::decode(stream, 0).data, packed);
    auto d = zt::decode(stream, 0, 1);
    EXPECT_EQ(d.result, 64u);
    EXPECT_EQ(d.data, spread(packed, 64));
}

TEST(Format01Encode, ShortInputsAreNotPackedAndTinyOnesFail) {
    Bytes input = ascii("0123456789abcdef"), buffer = input, out(64);
    EXPECT_GT(ZarniRecompress(buffer.data(), out.data(), 16, 64, 1, 1), 0u);
    EXPECT_EQ(buffer, input);
    uint8_t one = 1;
    EXPECT_EQ(ZarniRecompress(&one, out.data(), 1, 64, 0, 0), 0u);
    EXPECT_EQ(ZarniRecompress(&one, out.data(), 0, 64, 1, 1), 0u);
}

TEST(Format01Encode, OddTileTailsComeBackOneByteLonger) {
    // 17 bytes keep 17 after packing, which unpacks to 18: a decoder cannot
    // tell a tail of 17 from one of 18.
    Bytes input = zt::noise(17);
    Bytes stream = zt::encode(input, 0, 1);
    auto d = zt::decode(stream, 0, 1);
    ASSERT_EQ(d.result, 18u);
    EXPECT_EQ(Bytes(d.data.begin(), d.data.begin() + 17), input);
    EXPECT_EQ(d.data[17], 0);
}

}  // namespace
