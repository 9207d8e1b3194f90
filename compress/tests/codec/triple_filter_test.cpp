// The encoders skip a search when the filter says its string starts nowhere
// before: a string it forgets would change their output.
#include <gtest/gtest.h>

#include "pair_index.h"

namespace {

using zarni::codec::TripleFilter;
using zarni::codec::tripleKey;

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
