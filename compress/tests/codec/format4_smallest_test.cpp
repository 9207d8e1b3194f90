// ZarniRecompressSmallest: shortest format 4 streams. Round trips over the
// property inputs are in roundtrip_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "test_support.h"
#include "zarni_compress.h"

using zt::Bytes;

namespace {

Bytes encodeSmallest(Bytes input, uint32_t format = 4, uint32_t flag = 0) {
    Bytes out(0x10000);
    const uint32_t n = ZarniRecompressSmallest(
        input.data(), out.data(), static_cast<uint32_t>(input.size()), 0x10000, format, flag);
    out.resize(n);
    return out;
}

// The shortest stream by a plain search: from every position, every command
// of every length, each checked byte by byte against the input (copies from
// every earlier source), plus what the rest needs at best.
uint32_t shortestByReference(const Bytes& d) {
    const size_t n = d.size();
    std::vector<uint32_t> rest(n + 1, UINT32_MAX);
    rest[n] = 1;  // the end marker
    auto header = [](size_t len) { return len <= 32 ? 1u : 2u; };
    for (size_t p = n; p-- > 0;) {
        for (size_t len = 1; len <= std::min<size_t>(1024, n - p); ++len) {
            uint32_t cost = header(len) + static_cast<uint32_t>(len);  // direct copy
            bool byteFill = true, increasing = true, wordFill = len >= 2 && d[p] != d[p + 1];
            for (size_t k = 0; k < len; ++k) {
                byteFill = byteFill && d[p + k] == d[p];
                increasing = increasing && d[p + k] == static_cast<uint8_t>(d[p] + k);
                wordFill = wordFill && d[p + k] == d[p + (k & 1)];
            }
            if (byteFill || increasing) cost = std::min(cost, header(len) + 1);
            if (wordFill) cost = std::min(cost, header(len) + 2);
            for (size_t q = 0; q < p; ++q) {
                for (uint8_t mask : {0x00, 0xFF}) {
                    bool same = true;
                    for (size_t k = 0; k < len && same; ++k)
                        same = d[q + k] == static_cast<uint8_t>(d[p + k] ^ mask);
                    if (!same) continue;
                    cost = std::min(cost, header(len) + 2);  // commands 4 and 5
                    if (p - q <= 255 && mask == 0) cost = std::min(cost, header(len) + 1);
                    if (p - q <= 255 && mask && len <= 768) cost = std::min(cost, 3u);  // 7
                }
            }
            rest[p] = std::min(rest[p], cost + rest[p + len]);
        }
    }
    return rest[0];
}

TEST(Format4Smallest, SmallInputsGetTheTrueMinimum) {
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (int i = 0; i < 1500; ++i) {
        // Few symbols, some inverted, some runs and sequences; now and then
        // long enough for long headers, or 128 bytes (256 suffixes with the
        // inverse, as many as byte values).
        const size_t size = i % 40 == 0 ? 128 : 2 + rng() % (i % 8 == 0 ? 90 : 36);
        const uint32_t symbols = 2 + rng() % 5;
        Bytes input;
        while (input.size() < size) {
            const auto v = static_cast<uint8_t>(rng() % symbols);
            switch (rng() % 6) {
                case 0:
                    input.push_back(static_cast<uint8_t>(~v));
                    break;
                case 1:
                    input.insert(input.end(), 1 + rng() % 40, v);
                    break;
                case 2:
                    for (uint8_t k = 0; k < 1 + rng() % 6; ++k)
                        input.push_back(static_cast<uint8_t>(v + k));
                    break;
                default:
                    input.push_back(v);
            }
        }
        input.resize(size);
        const Bytes stream = encodeSmallest(input);
        ASSERT_EQ(stream.size(), shortestByReference(input)) << "input " << i;
        ASSERT_EQ(zt::decode(stream, 4).data, input) << "input " << i;
    }
}

// Failures and measuring are tested with the greedy encoder's (format4_test).
TEST(Format4Smallest, OtherFormatsAreZarniRecompress) {
    // Other formats: exactly ZarniRecompress, in-place tile packing included.
    std::mt19937 rng(8);
    const Bytes input = zt::shapedInput(rng, 3000, 16);
    for (uint32_t format : {0u, 1u, 2u, 3u, 100u, 101u}) {
        for (uint32_t flag : {0u, 1u}) {
            Bytes a = input, b = input;
            Bytes sa(0x10000), sb(0x10000);
            const uint32_t na = ZarniRecompress(a.data(), sa.data(), 3000, 0x10000, format, flag);
            const uint32_t nb =
                ZarniRecompressSmallest(b.data(), sb.data(), 3000, 0x10000, format, flag);
            EXPECT_EQ(na, nb) << "format " << format;
            EXPECT_EQ(sa, sb) << "format " << format;
            EXPECT_EQ(a, b) << "format " << format;
        }
    }
}

TEST(Format4Smallest, StreamsUpTo65536BytesAndNoLonger) {
    // Random bytes need a little more than their own size, one byte more at
    // most two more stream bytes; find the longest prefix that still fits.
    std::mt19937 rng(1);
    Bytes input(65536);
    for (auto& b : input) b = static_cast<uint8_t>(rng());
    auto length = [&](uint32_t size, uint8_t* out) {
        Bytes work(input.begin(), input.begin() + size);
        return ZarniRecompressSmallest(work.data(), out, size, 0x10000, 4, 0);
    };
    uint32_t fits = 60000, fails = 65536;
    ASSERT_NE(length(fits, nullptr), 0u);
    Bytes out(0x10000, 0xAB);
    ASSERT_EQ(length(fails, out.data()), 0u);
    EXPECT_EQ(out, Bytes(0x10000, 0xAB));
    while (fails - fits > 1) {
        const uint32_t mid = (fits + fails) / 2;
        (length(mid, nullptr) ? fits : fails) = mid;
    }
    const uint32_t n = length(fits, out.data());
    EXPECT_GE(n, 65535u);
    EXPECT_LE(n, 65536u);
    out.resize(n);
    EXPECT_EQ(zt::decode(out, 4).data, Bytes(input.begin(), input.begin() + fits));
}

}  // namespace
