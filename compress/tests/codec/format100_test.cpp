#include <gtest/gtest.h>

#include "test_support.h"
#include "zarni_compress.h"

using zt::Bytes;
using zt::hex;

namespace {

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Format100Decode, LiteralAndRepeatPacketsUpToTheEndMarker) {
    auto d = zt::decode(hex("02 41 42 43 83 00 FF FF 77"), 100, 0, 0x10000, 5);
    EXPECT_EQ(d.data, hex("41 42 43 00 00 00 00"));
    EXPECT_EQ(d.endOffset, 5u + 8);
    // 0xFF with another byte is a run of 128; 0xFF 0xFF at the start is one too.
    d = zt::decode(hex("FF 42 FF FF"), 100);
    EXPECT_EQ(d.data, Bytes(128, 0x42));
    d = zt::decode(hex("FF FF 00 01 FF FF"), 100);
    EXPECT_EQ(d.data, concat(Bytes(128, 0xFF), hex("01")));
    EXPECT_EQ(d.endOffset, 6u);
}

TEST(Format100Decode, PacketsThatDoNotFitAddNothing) {
    // 512 runs of 128 fill the buffer; one more run or literal adds nothing.
    Bytes full;
    for (int i = 0; i < 512; ++i) full.insert(full.end(), {0xFF, static_cast<uint8_t>(i & 0x7F)});
    auto d = zt::decode(concat(full, hex("80 01 FF FF")), 100);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(d.endOffset, full.size() + 2);
    d = zt::decode(concat(full, hex("00 01 FF FF")), 100);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(d.endOffset, full.size() + 1);  // the literal's byte is not read
}

TEST(Format101Decode, StopsAfterThePacketThatReachesMaxSize) {
    // A run of 100 with maxSize 10: 100 produced, 10 copied, nothing more read.
    auto d = zt::decode(hex("E3 07 E3 08"), 101, 0, 10);
    EXPECT_EQ(d.result, 100u);
    EXPECT_EQ(d.data, Bytes(10, 0x07));
    EXPECT_EQ(d.endOffset, 2u);
    // No end marker: 0xFF 0xFF is a run of 128 anywhere.
    d = zt::decode(hex("00 01 FF FF"), 101, 0, 129);
    EXPECT_EQ(d.data, concat(hex("01"), Bytes(128, 0xFF)));
    // Without reaching maxSize it runs to the end of the file.
    d = zt::decode(hex("01 05 06 81 07"), 101, 0, 1000);
    EXPECT_EQ(d.data, hex("05 06 07 07"));
    EXPECT_EQ(d.endOffset, 5u);
}

TEST(Format100Encode, WorkedStreams) {
    EXPECT_EQ(zt::encode(Bytes(130, 0xFF), 100), hex("FF FF 01 FF FF FF FF"));
    // A run of 128 0xFF after the start is cut to 127.
    EXPECT_EQ(zt::encode(concat(hex("00 01"), Bytes(128, 0xFF)), 100),
              hex("01 00 01 FE FF 00 FF FF FF"));
    // Format 101 keeps it whole.
    EXPECT_EQ(zt::encode(concat(hex("00 01"), Bytes(128, 0xFF)), 101), hex("01 00 01 FF FF"));
    // Runs shorter than 3 stay literal; the last two bytes always do.
    EXPECT_EQ(zt::encode(hex("05 05 06 07 07 07 08 08"), 100),
              hex("02 05 05 06 82 07 01 08 08 FF FF"));
    EXPECT_EQ(zt::encode(hex("09 09 09"), 101), hex("82 09"));
    EXPECT_EQ(zt::encode(hex("01 09 09 09"), 101), hex("00 01 82 09"));
}

TEST(Format100Encode, LiteralPacketsHoldAtMost128Bytes) {
    Bytes input = zt::noise(129);
    for (uint32_t format : {100u, 101u}) {
        Bytes stream = zt::encode(input, format);
        Bytes expected = concat(hex("7F"), Bytes(input.begin(), input.begin() + 128));
        expected = concat(expected, {0x00, input[128]});
        if (format == 100) expected = concat(expected, hex("FF FF"));
        EXPECT_EQ(stream, expected) << format;
    }
}

TEST(Format100Encode, EmptyInputHasNoStream) {
    // FF FF alone would decode as 128 bytes 0xFF, so format 100 reports failure;
    // format 101's empty stream is 0 bytes long.
    uint8_t byte = 0, out[4];
    EXPECT_EQ(ZarniRecompress(&byte, out, 0, 4, 100, 0), 0u);
    EXPECT_EQ(ZarniRecompress(&byte, out, 0, 4, 101, 0), 0u);
    EXPECT_EQ(zt::encode(hex("2A"), 100), hex("00 2A FF FF"));
}

TEST(Format100Encode, LongRunsRoundTrip) {
    Bytes input = concat(Bytes(1000, 0xFF), concat(hex("01"), Bytes(300, 0xFF)));
    Bytes stream = zt::encode(input, 100);
    EXPECT_EQ(zt::decode(stream, 100).data, input);
    stream = zt::encode(input, 101);
    EXPECT_EQ(zt::decode(stream, 101, 0, static_cast<uint32_t>(input.size())).data, input);
}

}  // namespace
