#include "core/hex.h"

#include <gtest/gtest.h>

namespace korvale {
namespace {

TEST(Hex, HexPadPadsButNeverCuts) {
    EXPECT_EQ(HexPad(0, 2), "00");
    EXPECT_EQ(HexPad(10, 2), "0A");
    EXPECT_EQ(HexPad(255, 2), "FF");
    EXPECT_EQ(HexPad(256, 2), "100");
    EXPECT_EQ(HexPad(0x5A3C2, 0), "5A3C2");
    EXPECT_EQ(HexPad(0x1F, 6), "00001F");
    EXPECT_EQ(HexPad(-1, 2), "FFFFFFFF");
    EXPECT_EQ(HexPad(INT32_MIN, 0), "80000000");
}

TEST(Hex, AnswersReadLikeAmpersandH) {
    EXPECT_EQ(parseHexAnswer(" 0a "), 10u);
    EXPECT_EQ(parseHexAnswer("17"), 0x17u);
    EXPECT_EQ(parseHexAnswer("fFfF"), 0xFFFFu);
    // Digits up to the first other character; none at all is 0.
    EXPECT_EQ(parseHexAnswer("1g2"), 1u);
    EXPECT_EQ(parseHexAnswer("xyz"), 0u);
    EXPECT_EQ(parseHexAnswer("5A3C2 bytes"), 0x5A3C2u);
    // Empty, as a cancelled box answers, is no answer.
    EXPECT_EQ(parseHexAnswer(""), std::nullopt);
    EXPECT_EQ(parseHexAnswer("   "), std::nullopt);
    // Too large for 32 bits stays too large instead of wrapping to a small number.
    EXPECT_EQ(parseHexAnswer("100000017"), 0xFFFFFFFFu);
    EXPECT_EQ(parseHexAnswer("FFFFFFFF"), 0xFFFFFFFFu);
}

TEST(Hex, DecimalAnswersMustBeDigitsOnly) {
    EXPECT_EQ(parseDecimalAnswer(" 12 "), 12u);
    EXPECT_EQ(parseDecimalAnswer("0"), 0u);
    EXPECT_EQ(parseDecimalAnswer("1a"), std::nullopt);
    EXPECT_EQ(parseDecimalAnswer("-3"), std::nullopt);
    EXPECT_EQ(parseDecimalAnswer(""), std::nullopt);
    EXPECT_EQ(parseDecimalAnswer("99999999999"), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace korvale
