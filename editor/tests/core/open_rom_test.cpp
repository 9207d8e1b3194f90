#include "core/open_rom.h"

#include <gtest/gtest.h>

namespace korvale {
namespace {

TEST(PageTargetTest, StopsAtEitherEnd) {
    OpenRom rom;
    for (int i = 0; i < layout::kLevelCount; ++i)
        rom.levelTrack[static_cast<size_t>(i)] = static_cast<uint8_t>(23 - i);
    int track = -1, level = -1;

    rom.curTrack = 23;
    EXPECT_FALSE(pageTarget(PageCommand::NextTrack, rom, track, level));
    rom.curTrack = 0;
    EXPECT_FALSE(pageTarget(PageCommand::PreviousTrack, rom, track, level));
    rom.curLevel = 23;
    EXPECT_FALSE(pageTarget(PageCommand::NextLevel, rom, track, level));
    rom.curLevel = 0;
    EXPECT_FALSE(pageTarget(PageCommand::PreviousLevel, rom, track, level));
    EXPECT_EQ(track, -1);

    rom.curTrack = 22;
    rom.curLevel = 4;
    ASSERT_TRUE(pageTarget(PageCommand::NextTrack, rom, track, level));
    EXPECT_EQ(track, 23);
    EXPECT_EQ(level, 4);
    ASSERT_TRUE(pageTarget(PageCommand::PreviousTrack, rom, track, level));
    EXPECT_EQ(track, 21);
    ASSERT_TRUE(pageTarget(PageCommand::NextLevel, rom, track, level));
    EXPECT_EQ(level, 5);
    EXPECT_EQ(track, 18);  // the level's track, not curTrack + 1
    ASSERT_TRUE(pageTarget(PageCommand::PreviousLevel, rom, track, level));
    EXPECT_EQ(level, 3);
    EXPECT_EQ(track, 20);
    rom.curLevel = 22;
    EXPECT_TRUE(pageTarget(PageCommand::NextLevel, rom, track, level));
    EXPECT_EQ(level, 23);
}

}  // namespace
}  // namespace korvale
