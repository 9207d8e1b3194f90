#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "test_support.h"
#include "zarni_compress.h"

using zt::ascii;
using zt::Bytes;
using zt::hex;

namespace {

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Worked {
    Bytes input;
    const char* stream;
};

const Worked kWorked[] = {
    {hex("00 00 00 00"), "63 FF"},
    {ascii("ABCABCABC"), "02 41 42 43 85 83 FF"},
    {hex("01 02 03 04 04 03 02 01"), "03 01 02 03 04 C3 81 FF"},
    {hex("01 02 03 04 80 40 C0 20"), "03 01 02 03 04 A3 84 FF"},
    {hex("00 00"), "61 FF"},
};

TEST(Format2Decode, WorkedStreams) {
    for (const auto& w : kWorked) {
        auto d = zt::decode(hex(w.stream), 2, 0, 0x10000, 9);
        EXPECT_EQ(d.data, w.input) << w.stream;
        EXPECT_EQ(d.endOffset, 9 + hex(w.stream).size()) << w.stream;
    }
}

TEST(Format2Decode, CopyArgumentsAreDistancesOrHighByteFirstPositions) {
    // 512 zeros and "A"; 02 00 is position 512.
    auto d = zt::decode(hex("E5 FF 00 00 41 80 02 00 FF"), 2);
    ASSERT_EQ(d.result, 514u);
    EXPECT_EQ(d.data[513], 0x41);
    // Bit-reversed copy from distance 2; reading what it writes itself.
    d = zt::decode(hex("01 01 02 A3 82 FF"), 2);
    EXPECT_EQ(d.data, hex("01 02 80 40 01 02"));
    // Command 7 (long form only) is a backward copy like command 6.
    d = zt::decode(hex("03 01 02 03 04 FC 03 81 FF"), 2);
    EXPECT_EQ(d.data, hex("01 02 03 04 04 03 02 01"));
    // A backward copy from an absolute position, down to position 0.
    d = zt::decode(hex("02 07 08 09 C2 00 02 FF"), 2);
    EXPECT_EQ(d.data, hex("07 08 09 09 08 07"));
}

TEST(Format2Decode, CopiesOutsideTheOutputEndDecoding) {
    struct Case {
        const char* stream;
        uint32_t result, end;
    } cases[] = {
        {"01 41 42 81 85 23 00 FF", 2, 5},     // forward, distance beyond the start
        {"01 41 42 A1 85 23 00 FF", 2, 5},     // bit-reversed, likewise
        {"01 41 42 C2 81 23 00 FF", 2, 5},     // backward past position 0
        {"01 41 42 C2 00 01 23 00 FF", 2, 6},  // backward from 1, three bytes
        {"01 41 42 C1 00 01 FF", 4, 7},        // backward from 1, two bytes: fine
    };
    for (const auto& c : cases) {
        auto d = zt::decode(hex(c.stream), 2);
        EXPECT_EQ(d.result, c.result) << c.stream;
        EXPECT_EQ(d.endOffset, c.end) << c.stream;
    }
}

TEST(Format2Decode, ZeroFillThatDoesNotFitAddsNothing) {
    Bytes stream;
    for (int i = 0; i < 64; ++i) stream.insert(stream.end(), {0xEF, 0xFF});
    auto d = zt::decode(concat(stream, hex("60 21 09 FF")), 2);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(d.endOffset, stream.size() + 1);
}

TEST(Format2Encode, WorkedStreams) {
    for (const auto& w : kWorked) EXPECT_EQ(zt::encode(w.input, 2), hex(w.stream)) << w.stream;
}

TEST(Format2Encode, DistancesUpTo127AreRelativeBeyondThemAbsolute) {
    Bytes near = zt::noise(130);
    near = concat(near, Bytes(near.begin() + 3, near.begin() + 9));  // 127 back
    Bytes stream = zt::encode(near, 2);
    EXPECT_EQ(Bytes(stream.end() - 3, stream.end()), hex("85 FF FF"));
    EXPECT_EQ(zt::decode(stream, 2).data, near);

    Bytes far = zt::noise(131);
    far = concat(far, Bytes(far.begin() + 3, far.begin() + 9));  // 128 back
    stream = zt::encode(far, 2);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), hex("85 00 03 FF"));
    EXPECT_EQ(zt::decode(stream, 2).data, far);

    // Backward copies count the distance to the byte they start from.
    for (const uint32_t back : {127u, 128u}) {
        Bytes input = zt::noise(140);
        for (uint32_t x = 140 - back, k = 0; k < 6; ++k) input.push_back(input[x - k]);
        stream = zt::encode(input, 2);
        const Bytes tail = back == 127 ? hex("C5 FF FF") : hex("C5 00 0C FF");
        EXPECT_EQ(Bytes(stream.end() - tail.size(), stream.end()), tail) << back;
        EXPECT_EQ(zt::decode(stream, 2).data, input);
    }
}

TEST(Format2Encode, BitReversedAndBackwardRepeatsFarBack) {
    Bytes input = zt::noise(300);
    for (int i = 0; i < 8; ++i) {
        uint8_t v = input[40 + i], r = 0;
        for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
        input.push_back(r);
    }
    for (int i = 0; i < 9; ++i) input.push_back(input[100 - i]);
    Bytes stream = zt::encode(input, 2);
    // ... bit-reversed copy of 8 from 0x0028, backward copy of 9 from 0x0064.
    EXPECT_EQ(Bytes(stream.end() - 7, stream.end()), hex("A7 00 28 C8 00 64 FF"));
    EXPECT_EQ(zt::decode(stream, 2).data, input);
}

// Read back to front, the target (ten 0x10, then 42 41) first appears from
// 0x35 on: before it lie a run of 0x10 longer than ten and, in the same run,
// ends with too few; the source is neither. Twelve repeats of a block come
// first: their searches use up the direct comparisons, so the runs are
// walked in the index.
TEST(Format2Encode, BackwardSourceAmongRunsOfTheOpeningByte) {
    Bytes prefix;
    const Bytes block = zt::noise(300, 7);
    for (int i = 0; i < 12; ++i) prefix = concat(prefix, block);
    Bytes input = concat(prefix, Bytes(40, 0x10));
    input.insert(input.end(), {0x41, 0x42, 0x41, 0x42});
    input.insert(input.end(), 25, 0x10);
    const Bytes filler = zt::noise(200);
    input.insert(input.end(), filler.begin(), filler.end());
    input.insert(input.end(), 10, 0x10);
    input.insert(input.end(), {0x42, 0x41});
    Bytes stream = zt::encode(input, 2);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), hex("CB 0E 45 FF"));  // 3600 + 0x35
    EXPECT_EQ(zt::decode(stream, 2).data, input);

    // A run as long as the target's, first met one byte short of it: the
    // source is the next X, 0x42 on.
    input = concat(prefix, zt::noise(60));
    input.insert(input.end(), {0x41, 0x42});
    input.insert(input.end(), 5, 0x10);
    input.insert(input.end(), filler.begin(), filler.end());
    input.insert(input.end(), 5, 0x10);
    input.insert(input.end(), {0x42, 0x41});
    stream = zt::encode(input, 2);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), hex("C6 0E 52 FF"));
    EXPECT_EQ(zt::decode(stream, 2).data, input);
}

TEST(Format2Encode, SourcesFromPosition0x8000OnAreNotAddressable) {
    // 32 zero fills, then bytes whose only repeat is far back and above 0x7FFF.
    Bytes noise = zt::noise(200);
    Bytes input = concat(Bytes(0x8000, 0), noise);
    input = concat(input, Bytes(noise.begin() + 10, noise.begin() + 16));
    Bytes stream = zt::encode(input, 2);
    EXPECT_EQ(stream.size(), 32u * 2 + 2 + 206 + 1);
    EXPECT_EQ(zt::decode(stream, 2).data, input);
}

TEST(Format2Encode, FillsWinUnlessACopyIsLonger) {
    // Non-zero pairs are byte fills, zero pairs zero fills of 2.
    EXPECT_EQ(zt::encode(hex("05 05 05 00 00"), 2), hex("22 05 61 FF"));
    EXPECT_EQ(zt::encode(hex("05 06 05 06 05"), 2), hex("44 05 06 FF"));
    uint8_t one = 0, out[4];
    EXPECT_EQ(ZarniRecompress(&one, out, 1, 4, 2, 0), 0u);
}

// Every absolute kind takes the earliest of two equal sources: in the first
// searches, which compare the bytes below, and in later ones, which use the
// index once that costs less.
TEST(Format2Encode, AbsoluteCopiesTakeTheEarliestSourceThroughout) {
    Bytes input = zt::noise(600);
    for (int k = 0; k < 6; ++k)
        std::copy_n(input.begin() + 100 + 16 * k, 8, input.begin() + 300 + 16 * k);
    uint32_t seed = 100;
    auto append = [&](const Bytes& part) {
        input = concat(input, zt::noise(150, seed++));
        input = concat(input, part);
    };
    for (int k = 0; k < 6; ++k) {
        const Bytes forward(input.begin() + 100 + 16 * k, input.begin() + 108 + 16 * k);
        Bytes reversed;
        for (uint8_t v : forward) {
            uint8_t r = 0;
            for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
            reversed.push_back(r);
        }
        append(forward);
        append(reversed);
        append(Bytes(forward.rbegin(), forward.rend()));
    }
    const Bytes stream = zt::encode(input, 2);
    auto count = [&](const Bytes& command) {
        int n = 0;
        for (auto at = stream.begin();
             (at = std::search(at, stream.end(), command.begin(), command.end())) != stream.end();
             ++at)
            ++n;
        return n;
    };
    auto source = [](int at) {
        return std::pair{static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at)};
    };
    for (int k = 0; k < 6; ++k) {
        const auto [high, low] = source(100 + 16 * k);
        const auto [backHigh, backLow] = source(107 + 16 * k);
        // In order (also the copy at 300 + 16k), bit-reversed, back to front.
        EXPECT_EQ(count({0x87, high, low}), 2) << k;
        EXPECT_EQ(count({0xA7, high, low}), 1) << k;
        EXPECT_EQ(count({0xC7, backHigh, backLow}), 1) << k;
    }
    EXPECT_EQ(zt::decode(stream, 2).data, input);
}

}  // namespace
