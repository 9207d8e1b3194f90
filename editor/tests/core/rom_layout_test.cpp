#include "core/rom_layout.h"

#include <gtest/gtest.h>

namespace korvale {
namespace {

using namespace layout;

TEST(RomLayout, MenuCaptionsNumberTheCupsAndLetterEveryLevel) {
    EXPECT_EQ(levelMenuCaption(0), "(1) &a Mario Circuit 1");
    EXPECT_EQ(levelMenuCaption(1), "&b Donut Plains 1");
    EXPECT_EQ(levelMenuCaption(5), "(2) &f Choco Island 1");
    EXPECT_EQ(levelMenuCaption(19), "&t Rainbow Road");
    EXPECT_EQ(levelMenuCaption(20), "(5) &u Battle Course 1");
    EXPECT_EQ(levelMenuCaption(23), "&x Battle Course 4");
    EXPECT_EQ(levelMenuCaption(24), "");
    EXPECT_EQ(levelMenuCaption(-1), "");
}

TEST(RomLayout, NamesOfLevelsTileSetsAndSheets) {
    EXPECT_EQ(levelName(8), "Bowser Castle 2");
    EXPECT_EQ(levelName(16), "Koopa Beach 2");
    EXPECT_EQ(levelName(19), "Rainbow Road");
    EXPECT_EQ(tileSetMenuCaption(0), "&1. Ghost Valley");
    EXPECT_EQ(tileSetMenuCaption(7), "&8. Rainbow Road");
    EXPECT_EQ(tileSetMenuCaption(8), "");
    EXPECT_EQ(tileSheetFileName(0), "t00.bmp");
    EXPECT_EQ(tileSheetFileName(7), "t07.bmp");
    EXPECT_EQ(applicationTitle(), "Korvale 1.11");
}

TEST(RomLayout, TablesLieWhereAHeaderedImageHasThem) {
    // The game's places as file offsets of an image with a copier header.
    EXPECT_EQ(kLevelTrackTableA + kCopierHeaderSize, 0x1EE1Bu);
    EXPECT_EQ(kLevelTrackTableB + kCopierHeaderSize, 0x1C35Cu);
    EXPECT_EQ(kTrackThemeTable + kCopierHeaderSize, 0x1EE2Fu);
    EXPECT_EQ(kTrackPointerTable + kCopierHeaderSize, 0x1ED5Bu);
    EXPECT_EQ(kSaveWindowStart + kCopierHeaderSize, 0x80200u);
    EXPECT_EQ(kSaveWindowEnd + kCopierHeaderSize, 0x1001FFu);
    // The first part of the level table ends where the theme table begins,
    // and every table read stays below kTablesEnd.
    EXPECT_EQ(kLevelTrackTableA + kLevelTrackTableASize, kTrackThemeTable);
    EXPECT_LE(kTrackPointerTable + kTrackCount * kTrackPointerSize, kTablesEnd);
    EXPECT_GE(kTablesEnd, kInternalTitle + kInternalTitleSize);
}

}  // namespace
}  // namespace korvale
