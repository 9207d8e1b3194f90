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

Bytes counting(int from, int to) {
    Bytes out;
    for (int v = from; v <= to; ++v) out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes tail(const Bytes& b, size_t n) {
    return Bytes(b.end() - static_cast<long>(n), b.end());
}

struct Worked {
    Bytes input;
    const char* stream;
};

const Worked kWorked[] = {
    {Bytes(10, 0x00), "F0 07 FF"},
    {Bytes(10, 0x41), "F1 06 41 FF"},
    {counting(1, 10), "F8 06 01 FF"},
    {hex("10 20 30 40 50 60"), "FA 01 10 10 FF"},
    {concat(concat(counting(1, 12), counting(1, 12)), counting(1, 12)), "F8 08 01 FD 0B 04 FF"},
    {hex("07 3C 07 91 07 12 07 E8 07 55 07 A0"), "F5 02 07 3C 91 12 E8 55 A0 FF"},
    {hex("01 02 3C 01 02 91 01 02 12 5A"), "F6 00 01 02 3C 91 12 00 5A FF"},
    // Groups with one free byte in four; 20 bytes 0x05 are a byte fill, not
    // a nibble fill (capped at 16) nor a nibble pair fill (same saving, later).
    {hex("01 02 03 A0 01 02 03 B0 5A 5B"), "F7 00 01 02 03 A0 B0 01 5A 5B FF"},
    {Bytes(20, 0x05), "F1 10 05 FF"},
    {hex("05 05 05"), "F0 50 FF"},
    {hex("03 04 03 04 03 04"), "F2 01 43 FF"},
    {hex("33 44 33 44 33 44"), "F3 01 33 44 FF"},
    {hex("33 44 33 44"), "03 33 44 33 44 FF"},  // a pair fill of 4 saves nothing,
    {hex("33 44 55 33 44 55"), "F4 00 33 44 55 FF"},
    {hex("09 08 07 06"), "F9 00 09 FF"},
    // 16-bit steps of -128 are coded; +128 is out of reach.
    {hex("00 10 80 0F 00 0F 80 0E"), "FB 01 00 10 80 FF"},
    {hex("00 10 80 10 00 11 80 11"), "07 00 10 80 10 00 11 80 11 FF"},
};

TEST(Format3Decode, WorkedStreams) {
    for (const auto& w : kWorked) {
        auto d = zt::decode(hex(w.stream), 3, 0, 0x10000, 4);
        EXPECT_EQ(d.data, w.input) << w.stream;
        EXPECT_EQ(d.endOffset, 4 + hex(w.stream).size()) << w.stream;
    }
}

TEST(Format3Decode, CommandsTheEncoderLimitsStillDecodeInFull) {
    // A nibble fill of 18 and a descending 16-bit sequence through zero.
    EXPECT_EQ(zt::decode(hex("F0 1F FF"), 3).data, Bytes(18, 0x01));
    EXPECT_EQ(zt::decode(hex("FB 00 01 00 FF FF"), 3).data, hex("01 00 00 00 FF FF"));
    // Copies of distance 1: repeats of the last byte.
    EXPECT_EQ(zt::decode(hex("00 2A FC 00 00 FF"), 3).data, Bytes(5, 0x2A));
    EXPECT_EQ(zt::decode(hex("00 2A FD 00 00 FF"), 3).data, Bytes(21, 0x2A));
    EXPECT_EQ(zt::decode(hex("07 01 02 03 04 05 06 07 08 FE 02 FF"), 3).data,
              concat(counting(1, 8), counting(1, 5)));
}

TEST(Format3Decode, LimitsEndDecoding) {
    struct Case {
        const char* stream;
        uint32_t result, end;
    } cases[] = {
        {"01 41 42 FE 00 F1 00 41 FF", 2, 5},  // 0xFE source before the start
        {"01 41 42 FC 02 00 FF", 2, 6},        // distance 3 from length 2
        {"01 41 42 FD 01 00 FF", 22, 7},       // distance 2: fine
        {"01 41 42 F5 00 09 0A", 5, 7},        // free bytes stop at the end of the file
    };
    for (const auto& c : cases) {
        auto d = zt::decode(hex(c.stream), 3);
        EXPECT_EQ(d.result, c.result) << c.stream;
        EXPECT_EQ(d.endOffset, c.end) << c.stream;
    }
    // Byte fills of 259 up to the limit; one more adds nothing, a word sequence is cut.
    Bytes full;
    for (int i = 0; i < 253; ++i) full = concat(full, hex("F1 FF 01"));  // 65,527 bytes
    auto d = zt::decode(concat(full, hex("F1 06 02 FF")), 3);
    EXPECT_EQ(d.result, 65527u);
    EXPECT_EQ(d.endOffset, full.size() + 3);
    d = zt::decode(concat(full, hex("FB 05 34 12 01 FF")), 3);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(tail(d.data, 3), hex("37 12 38"));
}

TEST(Format3Encode, WorkedStreams) {
    for (const auto& w : kWorked) EXPECT_EQ(zt::encode(w.input, 3), hex(w.stream)) << w.stream;
}

TEST(Format3Encode, CopyWindowIs4096Bytes) {
    Bytes in = zt::noise(4100);
    in = concat(in, Bytes(in.begin() + 4, in.begin() + 10));
    Bytes stream = zt::encode(in, 3);
    EXPECT_EQ(tail(stream, 4), hex("FC FF 2F FF"));
    EXPECT_EQ(zt::decode(stream, 3).data, in);

    Bytes out = zt::noise(4101);
    out = concat(out, Bytes(out.begin() + 4, out.begin() + 10));
    stream = zt::encode(out, 3);
    EXPECT_EQ(stream.size(), out.size() + 18 + 1);  // literal runs only
    EXPECT_EQ(zt::decode(stream, 3).data, out);
}

TEST(Format3Encode, CappedCopyTakesTheLastSourceOfALongerMatch) {
    // The same 25 bytes at 0, 300 and 700: the 0xFC copy at 700 caps its
    // length at 19, so the source at 300 (400 back) replaces the one at 0.
    Bytes in = zt::noise(700);
    std::copy(in.begin(), in.begin() + 25, in.begin() + 300);
    in = concat(in, Bytes(in.begin(), in.begin() + 25));
    Bytes stream = zt::encode(in, 3);
    // Then the last 6 bytes: both sources match 6, the earlier one wins.
    EXPECT_EQ(tail(stream, 7), hex("FC 8F F1 FC BB 22 FF"));
    EXPECT_EQ(zt::decode(stream, 3).data, in);
}

TEST(Format3Encode, LongCopyTakesTheEarliestOfEquallyLongSources) {
    // The same 24 bytes at 0, 100 and 200: at 200 both earlier ones match
    // all 24, and the one 200 back wins.
    Bytes in = zt::noise(224);
    std::copy(in.begin(), in.begin() + 24, in.begin() + 100);
    std::copy(in.begin(), in.begin() + 24, in.begin() + 200);
    const Bytes stream = zt::encode(in, 3);
    EXPECT_EQ(tail(stream, 4), hex("FD C7 04 FF"));
    EXPECT_EQ(zt::decode(stream, 3).data, in);
}

TEST(Format3Encode, RepeatsUpTo128BackUseTheShortCopy) {
    Bytes eight = zt::noise(8);
    Bytes stream = zt::encode(concat(eight, eight), 3);
    EXPECT_EQ(stream, concat(concat(hex("07"), eight), hex("FE 05 FF")));
    // Every one of its sixteen distances, where all of them lie inside the input.
    for (uint32_t back = 8; back <= 128; back += 8) {
        Bytes in = zt::noise(200);
        in = concat(in, Bytes(in.end() - back, in.end() - back + 8));
        stream = zt::encode(in, 3);
        EXPECT_EQ(tail(stream, 3),
                  Bytes({0xFE, static_cast<uint8_t>(5 + 16 * (back / 8 - 1)), 0xFF}))
            << back;
    }
}

TEST(Format3Encode, LiteralRunsHoldAtMost240Bytes) {
    Bytes in = zt::noise(241);
    Bytes expected =
        concat(concat(hex("EF"), Bytes(in.begin(), in.begin() + 240)), {0x00, in[240]});
    EXPECT_EQ(zt::encode(in, 3), concat(expected, hex("FF")));
}

TEST(Format3Encode, FreeByteGroupsStayInsideTheirRun) {
    // Nine bytes: four whole pairs, the fifth would reach past the run.
    EXPECT_EQ(zt::encode(hex("07 A1 07 3C 07 55 07 19 07"), 3),
              hex("F5 00 07 A1 3C 55 19 00 07 FF"));
    // Runs split by a command are re-coded each on its own.
    Bytes in = concat(hex("07 A1 07 3C 07 55 07 19"), Bytes(10, 0x41));
    in = concat(in, hex("07 5E 07 12 07 C0 07 8B"));
    Bytes stream = zt::encode(in, 3);
    EXPECT_EQ(stream, hex("F5 00 07 A1 3C 55 19 F1 06 41 F5 00 07 5E 12 C0 8B FF"));
    EXPECT_EQ(zt::decode(stream, 3).data, in);
}

TEST(Format3Encode, TinyInputsFail) {
    uint8_t one = 1, out[4];
    EXPECT_EQ(ZarniRecompress(&one, out, 1, 4, 3, 0), 0u);
    EXPECT_EQ(zt::encode(hex("01 02"), 3), hex("01 01 02 FF"));
}

}  // namespace
