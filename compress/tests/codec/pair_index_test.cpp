// The encoders' searches: a candidate that the filter or a chain walk wrongly
// rules out changes their output, and no stream would fail to decode.
#include "pair_index.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using zarni::codec::keepLongest;
using zarni::codec::KeyIndex;
using zarni::codec::Match;
using zarni::codec::matchLength;
using zarni::codec::pairKey;
using zarni::codec::quadKey;
using zarni::codec::scanLongest;
using zarni::codec::TripleFilter;
using zarni::codec::tripleKey;

// The searches keep the earliest of the longest matches of at least
// `minimum` bytes, capped at the limit, as trying every earlier position
// does: the index walk over the whole input, plain or inverted, and the
// comparison of every pair in a window. Data of two byte values in runs
// passes most candidates' first bytes, takes the run jumps and has many
// sources that reach the limit.
TEST(ChainWalk, KeepsTheEarliestLongestAsTryingEveryPositionDoes) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data;
    while (data.size() < 3000) data.insert(data.end(), 1 + rng() % 9, rng() % 2 ? 0xFF : 0x00);
    const auto size = static_cast<uint32_t>(data.size());
    const uint8_t* d = data.data();
    KeyIndex index;
    ASSERT_TRUE(index.buildQuads(d, size));
    enum Search { kPlain, kInverted, kWindowScan };  // the scan: 255 back, as format 4's
    for (const Search search : {kPlain, kInverted, kWindowScan}) {
        const uint8_t mask = search == kInverted ? 0xFF : 0;
        const bool scanned = search == kWindowScan;
        for (uint32_t p = 1; p + 4 < size; p += 3) {
            const uint32_t limit = std::min<uint32_t>(size - p, 5 + p % 40);
            const uint32_t minimum = (scanned ? 2 : 4) + p % 7;
            const uint32_t low = scanned && p > 255 ? p - 255 : 0;
            Match tried;
            for (uint32_t q = low; q < p; ++q) {
                const uint32_t t = matchLength(d + p, d + q, limit, mask);
                if (t >= minimum && t > tried.length) tried = {t, q};
            }
            Match found;
            if (scanned) {
                scanLongest(d, size, pairKey(d + p), low, p, d + p, limit, minimum, found);
            } else {
                const uint32_t key = quadKey(d + p) ^ (mask ? 0xFFFFFFFFu : 0u);
                keepLongest(index, index.find(key, low, p), d, p, limit, minimum, mask, found);
            }
            ASSERT_EQ(found.length, tried.length) << int{mask} << " " << p;
            if (tried.length) ASSERT_EQ(found.source, tried.source) << int{mask} << " " << p;
        }
    }
}

// Each thread lends its memory to one filter at a time: a second one built
// while the first is alive must neither clear nor share the first one's set.
TEST(TripleFilter, TwoAliveOnOneThreadKeepTheirOwnStrings) {
    const uint8_t first[] = {1, 2, 3, 9, 9, 9, 9, 9};
    const uint8_t second[] = {7, 7, 7, 7, 7, 7, 7, 7};
    TripleFilter a;
    ASSERT_TRUE(a.build(first, sizeof first));
    EXPECT_FALSE(a.mayStartBefore(0u));  // 1 2 3, now added
    {
        TripleFilter b;
        ASSERT_TRUE(b.build(second, sizeof second));
        EXPECT_FALSE(b.mayStartBefore(0u));
        EXPECT_TRUE(b.mayStartBefore(1u));
    }
    EXPECT_TRUE(a.mayStartBefore(tripleKey(first), 1));
    // The set that a later filter gets is empty again.
    TripleFilter c;
    ASSERT_TRUE(c.build(second, sizeof second));
    EXPECT_FALSE(c.mayStartBefore(0u));
}

}  // namespace
