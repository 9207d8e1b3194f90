// Where the game keeps what the editor reads and writes, and the editor's
// fixed names. Offsets are ROM offsets: add the open image's copier header
// size (512 or 0) to get a file offset.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvale::layout {

constexpr uint32_t kCopierHeaderSize = 0x200;

constexpr int kTrackCount = 24;
constexpr int kLevelCount = 24;
constexpr int kTileSetCount = 8;

// Level track table: levels 0-19 in front of the theme table, 20-23 elsewhere.
constexpr uint32_t kLevelTrackTableA = 0x1EC1B;
constexpr uint32_t kLevelTrackTableASize = 20;
constexpr uint32_t kLevelTrackTableB = 0x1C15C;
constexpr uint32_t kLevelTrackTableBSize = 4;
// One byte per track: tile set number x 2.
constexpr uint32_t kTrackThemeTable = 0x1EC2F;
// Three bytes per track: the HiROM bus address of its data, low byte first.
constexpr uint32_t kTrackPointerTable = 0x1EB5B;
constexpr uint32_t kTrackPointerSize = 3;
// The highest byte any table read touches, plus one.
constexpr uint32_t kTablesEnd = kTrackThemeTable + kTrackCount;

// Saved tracks go into new space here, in 64 KiB banks; the end is exclusive.
constexpr uint32_t kSaveWindowStart = 0x80000;
constexpr uint32_t kSaveWindowEnd = 0xFFFFF;
// Saving first grows the ROM to this many megabits so the window exists.
constexpr uint32_t kSaveRomMegabits = 16;

// The internal header's title, checked when a ROM is opened.
constexpr uint32_t kInternalTitle = 0xFFC0;
constexpr uint32_t kInternalTitleSize = 21;
constexpr const char* kExpectedTitle = "SUPERMARIOKART";  // with every space taken out

// The editor always converts addresses as HiROM.
constexpr uint32_t kMappingKind = 2;

constexpr int kMapSide = 128;
constexpr int kMapCells = kMapSide * kMapSide;
constexpr uint32_t kTrackFileSize = kMapCells + 1;  // the map, then the theme byte

// The program name and version as shown in every title: "Korvale 1.11".
std::string applicationTitle();

// "Mario Circuit 1", ... "Rainbow Road", ... "Battle Course 4".
std::string levelName(int level);
// "(1) &a Mario Circuit 1", "&b Donut Plains 1", ...
std::string levelMenuCaption(int level);
// "&1. Ghost Valley" ... "&8. Rainbow Road".
std::string tileSetMenuCaption(int tileSet);
// "t00.bmp" ... "t07.bmp".
std::string tileSheetFileName(int tileSet);

}  // namespace korvale::layout
