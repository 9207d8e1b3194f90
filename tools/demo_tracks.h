// The demo data: 24 generated track maps and a small ROM image laid out like
// the game's, so the editor can be used and tested without the game itself.
// Tile numbers carry the same kind of ground in every tile set; the tile
// sheets picture each number in the manner of its set, so maps and sheets
// agree.
#ifndef KORVALE_TOOLS_DEMO_TRACKS_H
#define KORVALE_TOOLS_DEMO_TRACKS_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvale::demo {

inline constexpr int kTrackCount = 24;
inline constexpr int kLevelCount = 24;
inline constexpr int kRaceLevelCount = 20;  // levels 20-23 are the battle courses
inline constexpr int kTileSetCount = 8;
inline constexpr int kMapSide = 128;
inline constexpr int kMapSize = kMapSide * kMapSide;

using TrackMap = std::array<uint8_t, kMapSize>;

// ROM offsets; the file has the copier header in front of them.
inline constexpr uint32_t kCopierHeaderSize = 0x200;
inline constexpr uint32_t kRomSize = 0x80000;  // 4 megabits
inline constexpr uint32_t kRomTitleOffset = 0xFFC0;
inline constexpr uint32_t kRomTitleLength = 21;
inline constexpr uint32_t kRomMapModeOffset = 0xFFD5;
inline constexpr uint32_t kRomSizeByteOffset = 0xFFD7;
inline constexpr uint32_t kChecksumComplementOffset = 0xFFDC;
inline constexpr uint32_t kChecksumOffset = 0xFFDE;
inline constexpr uint8_t kRomSizeByte = 9;                    // 4 megabits
inline constexpr uint32_t kLevelTrackTableOffset = 0x1EC1B;   // levels 0-19
inline constexpr uint32_t kBattleTrackTableOffset = 0x1C15C;  // levels 20-23
inline constexpr uint32_t kTrackThemeTableOffset = 0x1EC2F;
inline constexpr uint32_t kTrackPointerTableOffset = 0x1EB5B;
inline constexpr uint32_t kTrackDataOffset = 0x40000;
inline constexpr uint32_t kHiRomBank = 0xC00000;  // bus address = ROM offset | this
inline constexpr char kRomTitle[] = "SUPER MARIOKART";

// Tile sets, in the order of their sheets t00.bmp to t07.bmp.
enum TileSet : int {
    kGhostValley = 0,
    kMarioCircuit = 1,
    kDonutPlains = 2,
    kChocoIsland = 3,
    kVanillaLake = 4,
    kKoopaBeach = 5,
    kBowserCastle = 6,
    kRainbowRoad = 7,
};

// The tile numbers the demo tracks draw with, grouped by sheet row.
namespace tile {
inline constexpr uint8_t kRoad = 0x00;
inline constexpr uint8_t kRoadShade = 0x01;  // second floor shade, the arenas' pattern
inline constexpr uint8_t kStartLight = 0x02;
inline constexpr uint8_t kStartDark = 0x03;
inline constexpr uint8_t kKerbA = 0x10;  // red
inline constexpr uint8_t kKerbB = 0x11;  // white
inline constexpr uint8_t kBarrier = 0x12;
inline constexpr uint8_t kOffroad = 0x20;
inline constexpr uint8_t kRough = 0x21;
inline constexpr uint8_t kWall = 0x30;
inline constexpr uint8_t kBlock = 0x31;
inline constexpr uint8_t kDeep = 0x40;  // water, lava, pit or void by tile set
inline constexpr uint8_t kShallow = 0x41;
inline constexpr uint8_t kSand = 0x50;
inline constexpr uint8_t kItemBox = 0x60;
inline constexpr uint8_t kCoin = 0x61;
inline constexpr uint8_t kBoost = 0x62;
inline constexpr uint8_t kJump = 0x63;
inline constexpr uint8_t kOil = 0x70;
inline constexpr uint8_t kObstacle = 0x71;  // pipe, pillar or ice block by tile set
inline constexpr uint8_t kBump = 0x72;
}  // namespace tile

// What a tile number stands for; numbers the tracks do not draw with are
// Unused (the sheets draw them as variants of their row's kind of ground).
enum class TileRole {
    Unused,
    Road,
    RoadShade,
    StartLight,
    StartDark,
    KerbA,
    KerbB,
    Barrier,
    Offroad,
    Rough,
    Wall,
    Block,
    Deep,
    Shallow,
    Sand,
    ItemBox,
    Coin,
    Boost,
    Jump,
    Oil,
    Obstacle,
    Bump,
};

TileRole tileRole(uint8_t tile);

// Deterministic noise in [0, 1] for a cell or pixel (x, y): the same every run.
double hashUnit(int x, int y, int seed);

// Surface a kart drives on: road, start line and what lies on the road.
bool isTrackSurface(uint8_t tile);

// Level i uses track i; tracks 20-23 are the battle arenas.
int demoLevelTrack(int level);
// Theme byte of a track: tile set number x 2.
int demoTrackTheme(int track);
bool demoTrackIsArena(int track);
// The map of a track, the same every call. Out-of-range tracks give all zeros.
TrackMap demoTrackMap(int track);

struct DemoTrackPlacement {
    uint32_t romOffset = 0;  // where the twice-compressed map starts
    uint32_t size = 0;       // bytes stored
};

struct DemoRom {
    std::vector<uint8_t> file;  // copier header + ROM; empty when compression failed
    std::array<DemoTrackPlacement, kTrackCount> tracks{};
};

// Builds the whole image, deterministically.
DemoRom buildDemoRom();

// Writes buildDemoRom() to path; false with a reason in error on failure.
bool writeDemoRom(const std::string& path, std::string& error);

}  // namespace korvale::demo

#endif
