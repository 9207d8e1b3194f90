#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "test_support.h"
#include "zarni_compress.h"

using zt::ascii;
using zt::Bytes;
using zt::hex;

namespace {

TEST(Format4Decode, WorkedStreams) {
    struct Case {
        const char* stream;
        const char* output;
    } cases[] = {
        {"FF", ""},
        {"02 41 42 43 FF", "41 42 43"},
        {"23 00 FF", "00 00 00 00"},
        {"44 01 02 FF", "01 02 01 02 01"},
        {"63 FE FF", "FE FF 00 01"},
        {"21 AA C3 01 FF", "AA AA AA AA AA AA"},
        {"21 0F A1 00 00 FF", "0F 0F F0 F0"},
        // Inverted relative copy (command 7, long form only).
        {"01 0F F0 FC 01 02 FF", "0F F0 F0 0F"},
        // Relative copy of distance 2 repeats the last two bytes.
        {"01 12 34 C4 02 FF", "12 34 12 34 12 34 12"},
    };
    for (const auto& c : cases) {
        Bytes stream = hex(c.stream);
        auto d = zt::decode(stream, 4, 0, 0x10000, 7);
        EXPECT_EQ(d.data, hex(c.output)) << c.stream;
        EXPECT_EQ(d.result, hex(c.output).size()) << c.stream;
        EXPECT_EQ(d.endOffset, 7 + stream.size()) << c.stream;
    }
}

TEST(Format4Decode, LongDirectCopy) {
    Bytes stream = hex("E0 3F");
    for (int i = 0; i < 64; ++i) stream.push_back(static_cast<uint8_t>(i * 3));
    stream.push_back(0xFF);
    auto d = zt::decode(stream, 4);
    ASSERT_EQ(d.result, 64u);
    EXPECT_EQ(d.data[63], 189);
    EXPECT_EQ(d.endOffset, 67u);
}

TEST(Format4Decode, BadCopySourcesEndDecodingAfterTheirArguments) {
    // Relative distance beyond the start of the output.
    auto d = zt::decode(hex("01 41 42 C1 05 23 00 FF"), 4);
    EXPECT_EQ(d.result, 2u);
    EXPECT_EQ(d.endOffset, 5u);
    // Absolute source range passing 65,536.
    d = zt::decode(hex("01 41 42 81 FF FF FF"), 4);
    EXPECT_EQ(d.result, 2u);
    EXPECT_EQ(d.endOffset, 6u);
}

TEST(Format4Decode, OutputLimitOf64KiB) {
    // 64 long byte fills of 1024 fill the buffer exactly; one more adds nothing.
    Bytes stream;
    for (int i = 0; i < 64; ++i) {
        stream.push_back(0xE7);
        stream.push_back(0xFF);
        stream.push_back(static_cast<uint8_t>(i));
    }
    Bytes full = stream;
    full.insert(full.end(), {0xE7, 0xFF, 0x99, 0xFF});
    auto d = zt::decode(full, 4, 0, 16384);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(d.data.size(), 16384u);
    EXPECT_EQ(d.endOffset, stream.size() + 3);  // stopped after reading the fill's value

    // A word fill is cut short at the limit instead.
    Bytes almost(stream.begin(), stream.end() - 3);
    almost.insert(almost.end(), {0xE7, 0xFE, 0x22, 0xEB, 0xFF, 0x01, 0x02, 0xFF});
    d = zt::decode(almost, 4);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(d.data[65534], 0x22);
    EXPECT_EQ(d.data[65535], 0x01);
    // A direct copy that does not fit reads none of its bytes.
    Bytes copy = stream;
    copy.insert(copy.end(), {0x00, 0x77, 0xFF});
    d = zt::decode(copy, 4);
    EXPECT_EQ(d.result, 65536u);
    EXPECT_EQ(d.endOffset, stream.size() + 1);
}

TEST(Format4Decode, NullDestinationOnlyMeasures) {
    zt::TempDir dir;
    zt::writeFile(dir.file("s"), hex("23 41 FF"));
    ASSERT_EQ(ZarniOpenFile(dir.file("s").c_str(), 0), 1u);
    uint32_t end = 0;
    EXPECT_EQ(ZarniDecompress(nullptr, 0, 16, 4, 0, &end), 4u);
    EXPECT_EQ(end, 3u);
    EXPECT_EQ(ZarniDecompress(nullptr, 0, 16, 4, 0, nullptr), 4u);
    ZarniCloseFile();
}

TEST(Format4Decode, FailuresLeaveEndOffsetAlone) {
    uint32_t end = 1234;
    uint8_t out[4];
    EXPECT_EQ(ZarniDecompress(out, 0, 4, 4, 0, &end), 0u);  // no file
    EXPECT_EQ(end, 1234u);
    zt::TempDir dir;
    zt::writeFile(dir.file("s"), hex("23 41 FF"));
    ASSERT_EQ(ZarniOpenFile(dir.file("s").c_str(), 0), 1u);
    for (uint32_t format : {5u, 99u, 102u, 0xFFFFFFFFu}) {
        EXPECT_EQ(ZarniDecompress(out, 0, 4, format, 0, &end), 0u);
        EXPECT_EQ(end, 1234u);
    }
    // The file was not touched: its position is still at the start.
    uint8_t first = 0;
    ZarniReadFile(&first, 1, 0, 0);
    EXPECT_EQ(first, 0x23);
    ZarniCloseFile();
}

TEST(Format4Decode, StreamCutByTheEndOfTheFileStopsThere) {
    auto d = zt::decode(hex("05 41 42"), 4);
    EXPECT_LE(d.result, 6u);
    EXPECT_EQ(d.endOffset, 3u);
    d = zt::decode(hex("E7"), 4);
    EXPECT_EQ(d.result, 0u);
    EXPECT_EQ(d.endOffset, 1u);
}

TEST(Format4Decode, LeavesTheFilePositionAfterTheStream) {
    zt::TempDir dir;
    zt::writeFile(dir.file("s"), hex("23 41 FF 5C"));
    ASSERT_EQ(ZarniOpenFile(dir.file("s").c_str(), 0), 1u);
    ZarniDecompress(nullptr, 0, 0, 4, 0, nullptr);
    uint8_t next = 0;
    ZarniReadFile(&next, 1, 0, 0);
    EXPECT_EQ(next, 0x5C);
    ZarniCloseFile();
}

TEST(Format4Encode, WorkedStreams) {
    struct Case {
        Bytes input;
        const char* stream;
    } cases[] = {
        {ascii("AB"), "01 41 42 FF"},
        {ascii("AAAA"), "23 41 FF"},
        {ascii("ABABABAB"), "47 41 42 FF"},
        {ascii("ABCDEFG"), "66 41 FF"},
        {hex("01 02 03 04 05"), "64 01 FF"},
        {ascii("hello hello hello"), "05 68 65 6C 6C 6F 20 CA 06 FF"},
        {Bytes(100, 0), "E4 63 00 FF"},
        {Bytes(1024, 0x5A), "E7 FF 5A FF"},
    };
    for (const auto& c : cases) EXPECT_EQ(zt::encode(c.input, 4), hex(c.stream)) << c.stream;
}

// Bytes where no position has any candidate: no pair repeats, no fills.
Bytes withoutCandidates(size_t n) {
    Bytes out;
    std::mt19937 rng(7);
    std::vector<bool> seen(65536);
    while (out.size() < n) {
        uint8_t v = static_cast<uint8_t>(rng());
        if (!out.empty()) {
            uint8_t last = out.back();
            uint32_t key = last | (v << 8);
            uint32_t inverse = key ^ 0xFFFF;
            if (v == last || v == static_cast<uint8_t>(last + 1) || seen[key] || seen[inverse] ||
                key == inverse)
                continue;
            if (out.size() >= 2 && v == out[out.size() - 2]) continue;
            seen[key] = true;
        }
        out.push_back(v);
    }
    return out;
}

TEST(Format4Encode, LongLiteralRunsSplitAt1024) {
    Bytes input = withoutCandidates(1025);
    Bytes expected = hex("E3 FF");
    expected.insert(expected.end(), input.begin(), input.begin() + 1024);
    expected.push_back(0x00);
    expected.push_back(input[1024]);
    expected.push_back(0xFF);
    EXPECT_EQ(zt::encode(input, 4), expected);
}

TEST(Format4Encode, FarRepeatsUseAbsoluteCopiesLowByteFirst) {
    Bytes input = withoutCandidates(600);
    Bytes block(input.begin() + 0x123, input.begin() + 0x123 + 40);
    input.insert(input.end(), block.begin(), block.end());
    Bytes stream = zt::encode(input, 4);
    // ... literals, then: absolute copy of 40 from 0x0123.
    Bytes tail = hex("F0 27 23 01 FF");
    ASSERT_GE(stream.size(), tail.size());
    EXPECT_EQ(Bytes(stream.end() - 5, stream.end()), tail);
    EXPECT_EQ(zt::decode(stream, 4).data, input);
}

TEST(Format4Encode, DistancesUpTo255AreRelativeBeyondThemAbsolute) {
    for (const uint32_t back : {255u, 256u}) {
        Bytes input = withoutCandidates(300);
        for (uint32_t i = 0; i < 8; ++i) input.push_back(input[300 - back + i]);
        const Bytes stream = zt::encode(input, 4);
        const Bytes tail = back == 255 ? hex("C7 FF FF") : hex("87 2C 00 FF");
        ASSERT_GE(stream.size(), tail.size());
        EXPECT_EQ(Bytes(stream.end() - tail.size(), stream.end()), tail) << back;
        EXPECT_EQ(zt::decode(stream, 4).data, input);
    }
}

TEST(Format4Encode, InvertedRepeatsUseCommand5) {
    Bytes input = withoutCandidates(300);
    for (int i = 0; i < 10; ++i) input.push_back(static_cast<uint8_t>(~input[20 + i]));
    Bytes stream = zt::encode(input, 4);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), hex("A9 14 00 FF"));
    EXPECT_EQ(zt::decode(stream, 4).data, input);
}

// A run too short and a run longer than the target's opening run of 0x10
// come before the earliest source: position 22, ten bytes before the long
// run's end, and not one inside either run. The same for an inverted copy
// from runs of 0xEF.
TEST(Format4Encode, EarliestSourceAmongRunsOfTheOpeningByte) {
    for (const uint8_t mask : {0x00, 0xFF}) {
        SCOPED_TRACE(mask);
        Bytes input(6, 0x10 ^ mask);
        input.push_back(0x77 ^ mask);
        input.insert(input.end(), 25, 0x10 ^ mask);
        input.insert(input.end(),
                     {static_cast<uint8_t>(0x41 ^ mask), static_cast<uint8_t>(0x42 ^ mask)});
        const Bytes filler = withoutCandidates(340);
        input.insert(input.end(), filler.begin(), filler.begin() + 300);
        input.insert(input.end(), 10, 0x10);
        input.insert(input.end(), {0x41, 0x42});
        // More bytes after it, so that runs are measured past the copy's length.
        input.insert(input.end(), filler.begin() + 300, filler.end());
        Bytes stream = zt::encode(input, 4);
        const Bytes copy = hex(mask ? "AB 16 00" : "8B 16 00");
        EXPECT_NE(std::search(stream.begin(), stream.end(), copy.begin(), copy.end()),
                  stream.end());
        EXPECT_EQ(zt::decode(stream, 4).data, input);
    }
}

// The shortest-stream export shares the frame: the same failures and the
// same measuring (its stream for this text is the greedy one).
TEST(Format4Encode, FailuresAndMeasuring) {
    for (auto recompress : {ZarniRecompress, ZarniRecompressSmallest}) {
        uint8_t one = 1, out[8];
        EXPECT_EQ(recompress(nullptr, out, 4, 8, 4, 0), 0u);
        EXPECT_EQ(recompress(&one, out, 0, 8, 4, 0), 0u);
        EXPECT_EQ(recompress(&one, out, 1, 8, 4, 0), 0u);
        Bytes big(65537, 0);
        EXPECT_EQ(recompress(big.data(), nullptr, 65537, 0, 4, 0), 0u);
        Bytes text = ascii("hello hello hello");
        EXPECT_EQ(recompress(text.data(), nullptr, 17, 0, 4, 0), 10u);
        EXPECT_EQ(recompress(text.data(), out, 17, 8, 7, 0), 0u);
        // Larger than maxSize: the full length, only maxSize bytes copied.
        uint8_t small[12];
        std::fill(std::begin(small), std::end(small), 0xEE);
        EXPECT_EQ(recompress(text.data(), small, 17, 4, 4, 0), 10u);
        EXPECT_EQ(Bytes(small, small + 5), hex("05 68 65 6C EE"));
    }
}

TEST(Format4Encode, StreamBeyond64KiBFailsAndLeavesDestinationAlone) {
    // Random bytes need a little more than their own size.
    std::mt19937 rng(1);
    Bytes input(65536);
    for (auto& b : input) b = static_cast<uint8_t>(rng());
    Bytes out(0x10000, 0xAB);
    EXPECT_EQ(ZarniRecompress(input.data(), out.data(), 65536, 0x10000, 4, 0), 0u);
    EXPECT_EQ(out, Bytes(0x10000, 0xAB));
}

TEST(Format4Encode, FullSizeInputsRoundTrip) {
    Bytes zeros(65536, 0);
    Bytes stream = zt::encode(zeros, 4);
    EXPECT_EQ(stream.size(), 64u * 3 + 1);
    EXPECT_EQ(zt::decode(stream, 4).data, zeros);
}

}  // namespace
