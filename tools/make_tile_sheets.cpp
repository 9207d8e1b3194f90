// Writes the eight tile sheets t00.bmp to t07.bmp: make_tile_sheets OUTPUT_DIR
//
// Every tile is a small picture of what it stands for: road with its
// texture and edge lines, kerbs, grass, sand, water, ice, walls, boosts,
// jumps, coins and the rest, in the colours and manner of its tile set.
// Each sheet row is one kind of ground; its sixteen tiles are that ground
// plain and with edges, corners or a detail, so no two tiles of a sheet look
// alike. The numbers the demo tracks draw with keep their meaning in every
// set (demo_tracks.h).
#include <QDir>
#include <QImage>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "demo_tracks.h"

namespace {

namespace tile = korvale::demo::tile;
using namespace korvale::demo;

struct Rgb {
    int r, g, b;
};

Rgb scaled(Rgb c, double k) {
    auto f = [k](int v) { return std::clamp(static_cast<int>(v * k + 0.5), 0, 255); };
    return {f(c.r), f(c.g), f(c.b)};
}

Rgb mix(Rgb a, Rgb b, double t) {
    auto f = [t](int x, int y) { return static_cast<int>(x + (y - x) * t + 0.5); };
    return {f(a.r, b.r), f(a.g, b.g), f(a.b, b.b)};
}

int luminance(Rgb c) {
    return (299 * c.r + 587 * c.g + 114 * c.b) / 1000;
}

int distance(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// A colour clearly apart from `c`: darker on light ground, lighter on dark.
Rgb apartFrom(Rgb c) {
    return luminance(c) >= 128 ? scaled(c, 0.62) : mix(c, {255, 255, 255}, 0.45);
}

// --- the sets' colours ------------------------------------------------------

struct Scheme {
    Rgb road, roadShade, kerbA, kerbB, barrier, offroad, rough, wall, block, deep, shallow, sand,
        obstacle, bump, ice, dirt;
};

const Scheme& scheme(int tileSet) {
    static const Scheme schemes[kTileSetCount] = {
        // Ghost Valley: grey wooden boards over dark pits, a purple haze
        {{158, 116, 72},
         {132, 96, 58},
         {150, 60, 60},
         {210, 206, 200},
         {190, 182, 164},
         {64, 52, 84},
         {84, 64, 104},
         {96, 96, 118},
         {116, 104, 92},
         {22, 16, 38},
         {30, 80, 100},
         {150, 130, 100},
         {104, 84, 64},
         {112, 82, 52},
         {150, 170, 200},
         {92, 74, 70}},
        // Mario Circuit: grey tarmac, green grass, red and white kerbs
        {{116, 116, 124},
         {96, 96, 104},
         {214, 38, 38},
         {242, 242, 242},
         {206, 196, 64},
         {74, 164, 64},
         {48, 124, 48},
         {150, 150, 170},
         {184, 136, 60},
         {46, 96, 204},
         {96, 160, 222},
         {222, 198, 122},
         {36, 172, 64},
         {150, 110, 70},
         {180, 220, 240},
         {150, 112, 70}},
        // Donut Plains: warm tarmac, meadows and lakes
        {{150, 140, 122},
         {130, 120, 104},
         {210, 50, 44},
         {240, 236, 228},
         {212, 180, 60},
         {98, 178, 74},
         {64, 138, 56},
         {140, 120, 90},
         {172, 130, 70},
         {40, 92, 192},
         {92, 152, 212},
         {212, 192, 130},
         {36, 160, 70},
         {150, 110, 70},
         {176, 216, 236},
         {160, 120, 74}},
        // Choco Island: milk chocolate roads in dark mud
        {{218, 180, 132},
         {194, 156, 110},
         {182, 60, 40},
         {232, 212, 182},
         {122, 82, 50},
         {104, 64, 38},
         {86, 52, 30},
         {82, 52, 32},
         {142, 92, 52},
         {52, 30, 18},
         {152, 102, 62},
         {240, 214, 160},
         {84, 52, 30},
         {126, 76, 42},
         {214, 200, 190},
         {166, 116, 70}},
        // Vanilla Lake: ice, snow and a frozen lake
        {{172, 192, 214},
         {150, 170, 196},
         {200, 60, 80},
         {250, 250, 250},
         {120, 140, 200},
         {238, 242, 250},
         {204, 214, 232},
         {150, 170, 200},
         {132, 200, 240},
         {30, 80, 162},
         {110, 170, 232},
         {220, 220, 202},
         {150, 222, 252},
         {186, 200, 220},
         {196, 232, 250},
         {150, 140, 136}},
        // Koopa Beach: sand tracks in a blue sea
        {{168, 142, 100},
         {146, 122, 84},
         {210, 70, 60},
         {240, 236, 220},
         {150, 110, 70},
         {230, 214, 156},
         {210, 190, 130},
         {112, 104, 98},
         {122, 102, 82},
         {22, 92, 182},
         {64, 172, 212},
         {238, 222, 164},
         {220, 92, 60},
         {160, 130, 90},
         {170, 220, 236},
         {176, 140, 96}},
        // Bowser Castle: stone floors, grey walls, lava
        {{104, 102, 110},
         {84, 82, 90},
         {200, 60, 40},
         {222, 202, 162},
         {140, 140, 140},
         {66, 60, 62},
         {84, 74, 72},
         {176, 168, 158},
         {96, 90, 100},
         {232, 84, 22},
         {242, 152, 42},
         {160, 140, 110},
         {120, 116, 130},
         {152, 152, 172},
         {160, 176, 196},
         {120, 92, 70}},
        // Rainbow Road: a glowing road in space
        {{206, 116, 228},
         {120, 196, 242},
         {240, 80, 120},
         {250, 250, 250},
         {250, 236, 110},
         {18, 18, 44},
         {34, 32, 66},
         {92, 92, 142},
         {150, 150, 204},
         {4, 4, 12},
         {74, 44, 120},
         {200, 200, 150},
         {150, 150, 204},
         {172, 172, 204},
         {170, 210, 250},
         {70, 60, 110}},
    };
    return schemes[std::clamp(tileSet, 0, kTileSetCount - 1)];
}

// --- kinds of ground and how each set textures them -------------------------

enum class Ground {
    Road,
    RoadShade,
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
    Ice,
    Dirt,
    Obstacle,
};

enum class Texture {
    Speckle,
    Planks,
    ChocoBar,
    IceStreaks,
    Grain,
    Slabs,
    Rainbow,
    Blades,
    Bricks,
    Waves,
    Bubbles,
    Stars,
    Bevel,
    Rail,
};

Rgb groundColour(int set, Ground g) {
    const Scheme& s = scheme(set);
    switch (g) {
        case Ground::Road:
            return s.road;
        case Ground::RoadShade:
            return s.roadShade;
        case Ground::KerbA:
            return s.kerbA;
        case Ground::KerbB:
            return s.kerbB;
        case Ground::Barrier:
            return s.barrier;
        case Ground::Offroad:
            return s.offroad;
        case Ground::Rough:
            return s.rough;
        case Ground::Wall:
            return s.wall;
        case Ground::Block:
            return s.block;
        case Ground::Deep:
            return s.deep;
        case Ground::Shallow:
            return s.shallow;
        case Ground::Sand:
            return s.sand;
        case Ground::Ice:
            return s.ice;
        case Ground::Dirt:
            return s.dirt;
        case Ground::Obstacle:
            return s.obstacle;
    }
    return s.road;
}

bool watery(int set) {
    return set == kMarioCircuit || set == kDonutPlains || set == kVanillaLake || set == kKoopaBeach;
}

Texture groundTexture(int set, Ground g) {
    switch (g) {
        case Ground::Road:
        case Ground::RoadShade: {
            static constexpr Texture roads[kTileSetCount] = {
                Texture::Planks,     Texture::Speckle, Texture::Speckle, Texture::ChocoBar,
                Texture::IceStreaks, Texture::Grain,   Texture::Slabs,   Texture::Rainbow};
            return roads[set];
        }
        case Ground::KerbA:
        case Ground::KerbB:
        case Ground::Block:
        case Ground::Obstacle:
            return Texture::Bevel;
        case Ground::Barrier:
            return Texture::Rail;
        case Ground::Offroad:
        case Ground::Rough:
            if (set == kMarioCircuit || set == kDonutPlains) return Texture::Blades;
            if (set == kRainbowRoad) return Texture::Stars;
            if (set == kKoopaBeach) return Texture::Grain;
            return Texture::Speckle;
        case Ground::Wall:
            return set == kRainbowRoad ? Texture::Bevel : Texture::Bricks;
        case Ground::Deep:
        case Ground::Shallow:
            if (watery(set)) return Texture::Waves;
            if (set == kBowserCastle || set == kChocoIsland) return Texture::Bubbles;
            if (set == kRainbowRoad) return Texture::Stars;
            return Texture::Speckle;
        case Ground::Sand:
            return Texture::Grain;
        case Ground::Ice:
            return Texture::IceStreaks;
        case Ground::Dirt:
            return Texture::Speckle;
    }
    return Texture::Speckle;
}

// --- one 8 x 8 tile ---------------------------------------------------------

class Tile {
  public:
    Rgb at(int x, int y) const { return px_[static_cast<size_t>(y * 8 + x)]; }
    void set(int x, int y, Rgb c) {
        if (x >= 0 && x < 8 && y >= 0 && y < 8) px_[static_cast<size_t>(y * 8 + x)] = c;
    }
    void fill(Rgb c) { px_.fill(c); }
    void shade(int x, int y, double k) {
        if (x >= 0 && x < 8 && y >= 0 && y < 8) set(x, y, scaled(at(x, y), k));
    }

  private:
    std::array<Rgb, 64> px_{};
};

// Darkens the pixels whose noise lies below `low` and lightens those above
// `high`, by the factors given.
void speckle(Tile& t, int seed, double low, double darker, double high, double lighter) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const double n = hashUnit(x, y, seed);
            if (n < low)
                t.shade(x, y, darker);
            else if (n > high)
                t.shade(x, y, lighter);
        }
}

// Shades the tile's top row, left column, bottom row and right column.
void rim(Tile& t, double top, double left, double bottom, double right) {
    for (int i = 0; i < 8; ++i) {
        t.shade(i, 0, top);
        t.shade(0, i, left);
        t.shade(i, 7, bottom);
        t.shade(7, i, right);
    }
}

// Covers the whole tile with ground `g` of set `set`.
Tile groundTile(int set, Ground g) {
    const Rgb base = groundColour(set, g);
    const int seed = static_cast<int>(g) * 31 + set;
    Tile t;
    t.fill(base);
    switch (groundTexture(set, g)) {
        case Texture::Speckle: {
            const bool dark = g == Ground::Rough || g == Ground::Dirt;
            speckle(t, seed, dark ? 0.22 : 0.14, 0.86, 0.9, 1.1);
            break;
        }
        case Texture::Planks:
            // Boards running across, seams between them, a nail at each end.
            for (int x = 0; x < 8; ++x) {
                t.shade(x, 3, 0.7);
                t.shade(x, 7, 0.7);
            }
            t.shade(5, 1, 0.78);
            t.shade(2, 5, 0.78);
            for (int x = 0; x < 8; ++x)
                if (hashUnit(x, 0, seed) > 0.7) t.shade(x, 1 + (x & 1), 0.9);
            break;
        case Texture::ChocoBar:
            // Squares of a chocolate bar: a light edge above, a groove below.
            rim(t, 1.08, 1.08, 0.84, 0.84);
            break;
        case Texture::IceStreaks:
            for (int i = 0; i < 8; ++i) {
                t.shade(i, (9 - i) % 8, 1.12);
                if (i < 3) t.shade(i + 4, 7 - i, 1.08);
            }
            t.shade(1, 5, 0.92);
            t.shade(6, 2, 0.92);
            break;
        case Texture::Grain:
            speckle(t, seed, 0.12, 0.9, 0.92, 1.07);
            break;
        case Texture::Slabs:
            // Flagstones: a mortar line above and left, a worn corner.
            rim(t, 0.78, 0.78, 1, 1);
            t.shade(5, 4, 0.92);
            t.shade(2, 6, 1.08);
            break;
        case Texture::Rainbow: {
            static constexpr Rgb bands[8] = {{240, 96, 110},  {246, 160, 80},  {246, 226, 110},
                                             {130, 222, 120}, {110, 214, 230}, {116, 150, 240},
                                             {170, 120, 236}, {226, 120, 214}};
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const Rgb band = g == Ground::Road ? bands[y] : bands[(x + y) % 8];
                    t.set(x, y, mix(band, base, 0.25));
                }
            break;
        }
        case Texture::Blades:
            // Short blades of grass, darker below a lighter tip.
            for (int k = 0; k < (g == Ground::Rough ? 9 : 5); ++k) {
                const int x = static_cast<int>(hashUnit(k, 1, seed) * 8);
                const int y = static_cast<int>(hashUnit(k, 2, seed) * 7);
                t.shade(x, y, 1.16);
                t.shade(x, y + 1, 0.8);
            }
            break;
        case Texture::Bricks:
            for (int x = 0; x < 8; ++x) {
                t.shade(x, 3, 0.72);
                t.shade(x, 7, 0.72);
            }
            for (int y = 0; y < 3; ++y) {
                t.shade(3, y, 0.72);
                t.shade(7, y + 4, 0.72);
            }
            t.shade(0, 0, 1.1);
            t.shade(4, 4, 1.1);
            break;
        case Texture::Waves:
            // Two crests, light above a darker trough.
            for (int x : {1, 2, 3}) {
                t.shade(x, 2, 1.22);
                t.shade(x + 1, 3, 0.86);
            }
            for (int x : {5, 6, 7}) {
                t.shade(x, 6, 1.22);
                t.shade((x + 1) % 8, 7, 0.86);
            }
            break;
        case Texture::Bubbles:
            t.set(2, 2, scaled(base, 1.3));
            t.shade(3, 2, 1.15);
            t.shade(2, 3, 1.15);
            t.set(6, 5, scaled(base, 1.3));
            t.shade(5, 6, 0.8);
            t.shade(0, 6, 0.85);
            t.shade(4, 0, 0.85);
            break;
        case Texture::Stars:
            t.set(2, 1, {250, 250, 220});
            t.set(6, 5, {190, 200, 240});
            if (g == Ground::Rough) t.set(4, 3, {240, 220, 250});
            break;
        case Texture::Bevel:
            rim(t, 1.2, 1.12, 0.72, 0.8);
            break;
        case Texture::Rail: {
            // Two rails on posts over the ground beside the road.
            const Rgb ground = groundColour(set, Ground::Offroad);
            t.fill(mix(ground, base, 0.2));
            for (int x = 0; x < 8; ++x) {
                t.set(x, 1, scaled(base, 1.12));
                t.set(x, 2, base);
                t.set(x, 3, scaled(base, 0.7));
                t.set(x, 5, scaled(base, 1.12));
                t.set(x, 6, base);
                t.set(x, 7, scaled(base, 0.7));
            }
            for (int y : {0, 4}) t.set(1, y, scaled(base, 0.55));
            break;
        }
    }
    return t;
}

// --- pictures drawn from a few lines of text --------------------------------

// A picture is eight lines of eight characters; '.' keeps what is beneath,
// every other character is looked up in the picture's colours.
struct Ink {
    char key;
    Rgb colour;
};

using Art = std::array<const char*, 8>;

void stamp(Tile& t, const Art& art, const std::vector<Ink>& inks, int turns = 0) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            // Quarter turns clockwise: the pixel drawn at (x, y) comes from here.
            int sx = x, sy = y;
            for (int k = 0; k < (turns & 3); ++k) {
                const int ox = sx;
                sx = sy;
                sy = 7 - ox;
            }
            const char c = art[static_cast<size_t>(sy)][sx];
            if (c == '.') continue;
            // An ink too near the ground beneath would leave the picture unseen.
            for (const Ink& ink : inks)
                if (ink.key == c)
                    t.set(
                        x, y,
                        distance(ink.colour, t.at(x, y)) < 60 ? apartFrom(t.at(x, y)) : ink.colour);
        }
}

constexpr Rgb kBlack{24, 22, 28};
constexpr Rgb kWhite{246, 246, 240};
constexpr Rgb kGold{238, 178, 30};
constexpr Rgb kBoost{56, 222, 240};
constexpr Rgb kJump{204, 112, 48};

const Art kItemBox = {".kkkkkk.", "kaawwaak", "kawaawak", "kaaawaak",
                      "kaawaaak", "kaaaaaak", "kaawaaak", ".kkkkkk."};
const Art kCoin = {"..kkkk..", ".kyyyyk.", "kyywyyyk", "kywyyyok",
                   "kywyyyok", "kyyyyook", ".kyoook.", "..kkkk.."};
const Art kSmallCoins = {".kk.....", "kwyk....", "kyok....", ".kk.....",
                         "....kk..", "...kwyk.", "...kyok.", "....kk.."};
const Art kChevrons = {"........", "...ww...", "..wccw..", ".wc..cw.",
                       "...ww...", "..wccw..", ".wc..cw.", "........"};
const Art kRamp = {"wwwwwwww", "jjjjjjjj", "JJJJJJJJ", "jjjjjjjj",
                   "JJJJJJJJ", "jjjjjjjj", "JJJJJJJJ", "kkkkkkkk"};
const Art kOil = {"........", "..oooo..", ".oooooo.", "ooopssoo",
                  "oospoooo", ".oooooo.", "..ooo...", "........"};
const Art kSmallOil = {"........", "........", "...oo...", "..ooso..",
                       "..oooo..", "...oo...", "........", "........"};
const Art kRing = {".kkkkkk.", "kaaaaaak", "kwkkkkak", "kakddkak",
                   "kakddkak", "kakkkkak", "kaaaaaak", ".kkkkkk."};
const Art kBump = {"........", "..kkkk..", ".kwwaak.", "kwaaaadk",
                   "kaaaaddk", ".kaaddk.", "..kkkk..", "........"};
const Art kTwoBumps = {".kk.....", "kwak....", "kadk....", ".kk.....",
                       "....kk..", "...kwak.", "...kadk.", "....kk.."};
const Art kFlowers = {"........", ".a......", "aya...a.", ".a...aya",
                      "......a.", "..a.....", ".aya....", "..a....."};
const Art kBush = {"........", "..gggg..", ".gwggGg.", "gwgggGGg",
                   "gggggGGg", ".gGGGGg.", "..kkkk..", "........"};
const Art kTree = {"..gggg..", ".gwgggg.", "gwgggGGg", "ggggGGGg",
                   ".gGGGGg.", "..gGGg..", "...tt...", "...tt..."};
const Art kRock = {"........", "........", "..kkkk..", ".kwaaak.",
                   "kwaaaadk", "kaaaddk.", ".kkkkk..", "........"};
const Art kTuft = {"........", "...g....", ".g.g.g..", "..ggg...",
                   "........", ".....g.g", "......g.", "........"};
const Art kCrate = {"kkkkkkkk", "kaaaaaak", "kakaakak", "kaakkaak",
                    "kaakkaak", "kakaakak", "kaaaaaak", "kkkkkkkk"};
const Art kPillar = {"..kkkk..", ".kwaaak.", "kwaaaadk", "kaaaaddk",
                     "kaaaaddk", "kaaaaddk", ".kaaddk.", "..kkkk.."};
const Art kGrate = {"kkkkkkkk", "kakakaka", "kakakaka", "kakakaka",
                    "kakakaka", "kakakaka", "kakakaka", "kkkkkkkk"};
const Art kCrack = {"........", "...k....", "...kk...", "....k...",
                    "...kk...", "..k..k..", ".k....k.", "........"};
const Art kRivets = {"........", ".w....w.", "........", "........",
                     "........", "........", ".w....w.", "........"};
const Art kSparkle = {"........", "...w....", "..www...", "...w....",
                      "........", "......w.", "........", "........"};
const Art kLily = {"........", "..gggg..", ".gggggg.", ".ggg....",
                   ".gggggg.", "..gggg..", "........", "........"};
const Art kRipples = {"........", "..wwww..", ".w....w.", "w..ww..w",
                      "w..ww..w", ".w....w.", "..wwww..", "........"};
const Art kShell = {"........", "...aa...", "..awaa..", ".awaaaa.",
                    ".aaaaaa.", "..kkkk..", "........", "........"};
const Art kStarfish = {"...a....", "...a....", "aaaaaaa.", ".aaaaa..",
                       "..aaa...", ".aa.aa..", ".a...a..", "........"};
const Art kPebbles = {"........", ".kk.....", ".kk...k.", "......kk",
                      "...k....", "..kk....", ".....kk.", "........"};
const Art kFootprints = {"........", ".kk.....", ".kk.....", "........",
                         ".....kk.", ".....kk.", "........", "........"};
const Art kQuestionBlock = {"kkkkkkkk", "kwyyyyak", "kyykkyak", "kyyyykak",
                            "kyyykyak", "kyyyyyak", "kaaykaak", "kkkkkkkk"};
const Art kStar = {"...y....", "...y....", "yyyyyyy.", ".yywyy..",
                   "..yyy...", ".yy.yy..", ".y...y..", "........"};
const Art kMushroom = {"..rrrr..", ".rwrrwr.", "rrrrrrrr", "rwrrrrwr",
                       "..wkkw..", "..wwww..", "..wwww..", "........"};
const Art kCone = {"........", "...o....", "...o....", "..wwo...",
                   "..ooo...", ".ooooo..", "kkkkkkk.", "........"};
const Art kPeel = {"........", "......y.", ".....yy.", "....yy..",
                   "y..yy...", "yyyy....", ".yy.....", "........"};
const Art kPothole = {"........", "..kkkk..", ".kddddk.", "kddddddk",
                      "kddddddk", ".kddddk.", "..kkkk..", "........"};
const Art kSpikes = {"........", "w...w...", "aw..aw..", "aaw.aaw.",
                     "....w...", "..w.aw..", "..aw.aaw", "..aaw..."};
const Art kBarrel = {".kkkkkk.", "kaaaaaak", "kkkkkkkk", "kawaaaak",
                     "kawaaaak", "kkkkkkkk", "kaaaaaak", ".kkkkkk."};
const Art kSplash = {"........", ".m....m.", "..mmmm..", ".mmmmmm.",
                     "..mmmmm.", ".m.mm...", "......m.", "........"};
const Art kWarning = {"...kk...", "...yy...", "..ykky..", "..ykky..",
                      ".yykkyy.", ".yyyyyy.", "yyykkyyy", "kkkkkkkk"};
const Art kHole = {"kkkkkkkk", "kddddddk", "kddddddk", "kddddddk",
                   "kddddddk", "kddddddk", "kddddddk", "kkkkkkkk"};
const Art kTyres = {".kkk.kkk", "kgk.kgk.", ".kkk.kkk", "........",
                    "kkk.kkk.", "gk.kgk.k", "kkk.kkk.", "........"};
const Art kChevronSign = {"wwwwwwww", "raarraar", "aarraarr", "arraarra",
                          "aarraarr", "raarraar", "wwwwwwww", "kkkkkkkk"};
const Art kPost = {"........", "...ww...", "..wkkw..", "..wkkw..",
                   "..kkkk..", "...kk...", "...kk...", "...kk..."};
const Art kFence = {"k.k.k.k.", ".k.k.k.k", "k.k.k.k.", ".k.k.k.k",
                    "k.k.k.k.", ".k.k.k.k", "k.k.k.k.", ".k.k.k.k"};
const Art kSlot = {"........", ".ww..ww.", ".w....w.", "........",
                   "........", ".w....w.", ".ww..ww.", "........"};
const Art kArrow = {"...ww...", "..wwww..", ".wwwwww.", "...ww...",
                    "...ww...", "...ww...", "...ww...", "........"};
const Art kDiamond = {"........", "...a....", "..aaa...", ".aawaa..",
                      "..aaa...", "...a....", "........", "........"};
const Art kTorch = {"...y....", "..yry...", "..yry...", "...k....",
                    "..kak...", "..kak...", "..kkk...", "........"};
const Art kWindow = {"........", ".kkkkkk.", ".kddddk.", ".kdwddk.",
                     ".kddddk.", ".kddddk.", ".kkkkkk.", "........"};
const Art kSnowflake = {"........", "...w....", ".w.w.w..", "..www...",
                        "wwwwwww.", "..www...", ".w.w.w..", "...w...."};
const Art kPuddle = {"........", "........", "..dddd..", ".ddwddd.",
                     ".dddddd.", "..ddd...", "........", "........"};
const Art kTracks = {"........", "k.k.k.k.", "........", "........",
                     "........", "........", ".k.k.k.k", "........"};

// Ground `g` with a picture stamped on it.
Tile pictured(int set, Ground g, const Art& art, const std::vector<Ink>& inks, int turns = 0) {
    Tile t = groundTile(set, g);
    stamp(t, art, inks, turns);
    return t;
}

// --- edges and corners between two kinds of ground ---------------------------

enum class Side { North, East, South, West };

// Ground `other` over a two-pixel band along one side.
void edgeBand(Tile& t, const Tile& other, Side side) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool in = (side == Side::North && y < 2) || (side == Side::South && y > 5) ||
                            (side == Side::West && x < 2) || (side == Side::East && x > 5);
            if (in) t.set(x, y, other.at(x, y));
        }
}

// Ground `other` over the triangle at one corner (0 top-left, then clockwise).
void cornerTriangle(Tile& t, const Tile& other, int corner, int size) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int dx = corner == 0 || corner == 3 ? x : 7 - x;
            const int dy = corner == 0 || corner == 1 ? y : 7 - y;
            if (dx + dy < size) t.set(x, y, other.at(x, y));
        }
}

// A one-pixel line one pixel inside a side.
void sideLine(Tile& t, Side side, Rgb c) {
    for (int i = 0; i < 8; ++i) {
        if (side == Side::North) t.set(i, 1, c);
        if (side == Side::South) t.set(i, 6, c);
        if (side == Side::West) t.set(1, i, c);
        if (side == Side::East) t.set(6, i, c);
    }
}

// --- a family of sixteen: one ground, its edges, corners and details --------

struct Detail {
    const Art* art = nullptr;
    std::vector<Ink> inks;
};

// Tiles 0 and 1 plain and shaded, 2-5 an edge of `other` on each side, 6-9
// a large corner of it, 10-13 a small corner, 14 and 15 the two details;
// 16 an island of `other`, 17 a band of it across the middle.
// The neighbour is the first of `others` that the set paints clearly apart
// from `ground`, so the edges show.
Tile familyTile(int set, Ground ground, std::initializer_list<Ground> others, int variant,
                const Detail& a, const Detail& b) {
    Ground other = *others.begin();
    for (Ground g : others) {
        other = g;
        if (distance(groundColour(set, ground), groundColour(set, g)) >= 60) break;
    }
    Tile t = groundTile(set, ground);
    const Tile o = groundTile(set, other);
    if (variant == 1) {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) t.shade(x, y, (x + y) % 4 == 0 ? 0.84 : 0.94);
    } else if (variant >= 2 && variant <= 5) {
        edgeBand(t, o, static_cast<Side>(variant - 2));
    } else if (variant >= 6 && variant <= 9) {
        cornerTriangle(t, o, variant - 6, 6);
    } else if (variant >= 10 && variant <= 13) {
        cornerTriangle(t, o, variant - 10, 4);
    } else if (variant == 14) {
        stamp(t, *a.art, a.inks);
    } else if (variant == 15) {
        stamp(t, *b.art, b.inks);
    } else if (variant == 16 || variant == 17) {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool in =
                    variant == 16 ? x >= 2 && x < 6 && y >= 2 && y < 6 : y == 3 || y == 4;
                if (in) t.set(x, y, o.at(x, y));
            }
    }
    return t;
}

// --- the sheet ---------------------------------------------------------------

Tile drawTile(int set, int n) {
    const Scheme& s = scheme(set);
    const int row = n / 16, col = n % 16;
    // Below row 8 the plain ground is already in the upper rows.
    const int family = col < 2 ? 16 + col : col;
    const Rgb road = groundColour(set, Ground::Road);
    const Rgb dark = scaled(road, 0.45);
    Tile t = groundTile(set, Ground::Road);

    switch (row) {
        case 0:  // road: plain, shaded, the start line, edge lines, centre marks
            switch (col) {
                case 0:
                    return t;
                case 1:
                    return groundTile(set, Ground::RoadShade);
                case 2:
                case 3: {
                    const bool light = col == 2;
                    t.fill(light ? kWhite : kBlack);
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x)
                            if (hashUnit(x, y, 7 + col) < 0.12)
                                t.set(x, y, light ? Rgb{214, 214, 214} : Rgb{60, 60, 64});
                    return t;
                }
                case 12:
                case 13:
                    for (int i : {1, 2, 5, 6}) {
                        if (col == 12)
                            t.set(i, 3, kWhite), t.set(i, 4, kWhite);
                        else
                            t.set(3, i, kWhite), t.set(4, i, kWhite);
                    }
                    return t;
                case 14:
                    for (int y = 2; y < 6; ++y)
                        for (int x = 1; x < 6; ++x) t.shade(x, y, 0.7);
                    return t;
                case 15:
                    return pictured(set, Ground::Road, kSlot, {{'w', kWhite}});
                default:
                    if (col <= 7) {
                        sideLine(t, static_cast<Side>(col - 4), kWhite);
                    } else {
                        sideLine(t, static_cast<Side>((col - 8) % 4), kWhite);
                        sideLine(t, static_cast<Side>((col - 8 + 1) % 4), kWhite);
                    }
                    return t;
            }
        case 1: {  // kerbs, rails, signs
            const Tile a = groundTile(set, Ground::KerbA), b = groundTile(set, Ground::KerbB);
            switch (col) {
                case 0:
                    return a;
                case 1:
                    return b;
                case 2:
                    return groundTile(set, Ground::Barrier);
                case 3: {
                    const Tile rail = groundTile(set, Ground::Barrier);
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x) t.set(x, y, rail.at(y, 7 - x));
                    return t;
                }
                case 4:
                case 5:
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x) {
                            const int d = col == 4 ? x + y : x - y + 8;
                            t.set(x, y, (d / 4) % 2 ? b.at(x, y) : a.at(x, y));
                        }
                    return t;
                case 6:
                case 7:
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x)
                            t.set(x, y, (col == 6 ? y : x) < 4 ? a.at(x, y) : b.at(x, y));
                    return t;
                case 8:
                case 9:
                    edgeBand(t, col == 8 ? a : b, Side::South);
                    edgeBand(t, col == 8 ? a : b, Side::North);
                    return t;
                case 10:
                    return pictured(set, Ground::Road, kTyres,
                                    {{'k', kBlack}, {'g', {90, 90, 96}}});
                case 11:
                case 12:
                    return pictured(set, Ground::Road, kChevronSign,
                                    {{'w', kWhite}, {'r', s.kerbA}, {'a', kWhite}, {'k', kBlack}},
                                    col == 11 ? 0 : 2);
                case 13: {
                    Tile rail = groundTile(set, Ground::Barrier);
                    cornerTriangle(rail, groundTile(set, Ground::Offroad), 2, 5);
                    return rail;
                }
                case 14:
                    return pictured(set, Ground::Offroad, kPost,
                                    {{'w', kWhite}, {'k', scaled(s.barrier, 0.5)}});
                default:
                    return pictured(set, Ground::Offroad, kFence, {{'k', scaled(s.barrier, 0.8)}});
            }
        }
        case 2: {  // grass or the set's open ground
            const Rgb leaf = scaled(s.rough, 0.8);
            const Detail flowers{&kFlowers, {{'a', {236, 70, 90}}, {'y', {250, 230, 80}}}};
            switch (col) {
                case 0:
                    return groundTile(set, Ground::Offroad);
                case 1:
                    return groundTile(set, Ground::Rough);
                case 2:
                    return pictured(set, Ground::Offroad, kFlowers, flowers.inks);
                case 3:
                    return pictured(set, Ground::Offroad, kFlowers,
                                    {{'a', {250, 250, 250}}, {'y', {250, 200, 40}}}, 1);
                case 4:
                case 5:
                    return pictured(set, Ground::Offroad, col == 4 ? kBush : kTree,
                                    {{'g', leaf},
                                     {'G', scaled(leaf, 0.7)},
                                     {'w', scaled(leaf, 1.35)},
                                     {'k', scaled(leaf, 0.45)},
                                     {'t', {110, 72, 40}}});
                case 6:
                    return pictured(set, Ground::Offroad, kRock,
                                    {{'k', {60, 58, 64}},
                                     {'a', {150, 146, 150}},
                                     {'w', {206, 204, 206}},
                                     {'d', {110, 106, 112}}});
                case 7:
                    return pictured(set, Ground::Offroad, kTuft, {{'g', scaled(s.rough, 0.7)}});
                default:
                    return familyTile(set, Ground::Offroad, {Ground::Sand, Ground::Dirt}, col - 6,
                                      flowers, flowers);
            }
        }
        case 3: {  // walls and solid blocks
            const Rgb w = s.wall;
            const std::vector<Ink> inks = {
                {'k', scaled(w, 0.4)}, {'a', w}, {'d', scaled(w, 0.25)}, {'w', scaled(w, 1.3)}};
            switch (col) {
                case 0:
                    return groundTile(set, Ground::Wall);
                case 1:
                    return groundTile(set, Ground::Block);
                case 2:
                    return pictured(set, Ground::Road, kCrate,
                                    {{'k', {92, 60, 30}}, {'a', {176, 126, 70}}});
                case 3:
                    return pictured(set, Ground::Road, kPillar, inks);
                case 4:
                    return pictured(set, Ground::Wall, kGrate, inks);
                case 5:
                    return pictured(set, Ground::Block, kCrack, {{'k', scaled(s.block, 0.5)}});
                case 14:
                    return pictured(set, Ground::Block, kRivets, {{'w', scaled(s.block, 1.4)}});
                case 15:
                    return pictured(set, Ground::Wall, kTorch,
                                    {{'y', {250, 210, 60}},
                                     {'r', {230, 80, 30}},
                                     {'k', kBlack},
                                     {'a', {120, 80, 50}}});
                default:  // 6-13: the wall's edges and corners on the road
                    return familyTile(set, Ground::Wall, {Ground::Road, Ground::Dirt, Ground::Deep},
                                      col - 4, {}, {});
            }
        }
        case 4: {  // water, lava, pit or void
            const Rgb sh = s.shallow;
            const Detail lily{&kLily, {{'g', {60, 150, 70}}}};
            const Detail rock{&kRock,
                              {{'k', scaled(sh, 0.3)},
                               {'a', {140, 136, 140}},
                               {'w', {200, 200, 204}},
                               {'d', {100, 98, 104}}}};
            switch (col) {
                case 0:
                    return groundTile(set, Ground::Deep);
                case 1:
                    return groundTile(set, Ground::Shallow);
                case 2:
                    return pictured(set, Ground::Deep, kSparkle, {{'w', scaled(s.deep, 2.2)}});
                case 3:
                    return pictured(set, Ground::Shallow, kRipples, {{'w', scaled(sh, 1.3)}});
                default:  // deep meeting shallow, then the two details
                    return familyTile(set, Ground::Deep, {Ground::Shallow, Ground::Sand},
                                      col <= 13 ? col - 2 : col, lily, rock);
            }
        }
        case 5: {  // sand
            const Detail shell{&kShell,
                               {{'a', {240, 180, 170}}, {'w', kWhite}, {'k', {150, 100, 90}}}};
            const Detail star{&kStarfish, {{'a', {236, 110, 70}}}};
            switch (col) {
                case 0:
                    return groundTile(set, Ground::Sand);
                case 1:
                    t = groundTile(set, Ground::Sand);
                    for (int x = 0; x < 8; ++x) {
                        t.shade(x, (x / 2 + 1) % 8, 0.8);
                        t.shade(x, (x / 2 + 5) % 8, 0.8);
                    }
                    return t;
                case 2:
                    return pictured(set, Ground::Sand, kPebbles, {{'k', scaled(s.sand, 0.6)}});
                case 3:
                    return pictured(set, Ground::Sand, kFootprints, {{'k', scaled(s.sand, 0.78)}});
                default:  // sand meeting the shallows, shell and starfish
                    return familyTile(set, Ground::Sand, {Ground::Shallow, Ground::Deep},
                                      col <= 13 ? col - 2 : col, shell, star);
            }
        }
        case 6: {  // things to drive over: boxes, coins, boosts, jumps
            const std::vector<Ink> boxInks = {{'k', kBlack}, {'a', {250, 206, 36}}, {'w', kWhite}};
            const std::vector<Ink> coinInks = {
                {'k', {120, 70, 10}}, {'y', kGold}, {'w', {255, 244, 170}}, {'o', {200, 120, 16}}};
            const std::vector<Ink> boostInks = {{'w', kWhite}, {'c', {180, 250, 255}}};
            const std::vector<Ink> jumpInks = {
                {'w', {250, 220, 120}}, {'j', kJump}, {'J', scaled(kJump, 0.8)}, {'k', dark}};
            auto boostPad = [&](int turns) {
                Tile p = t;
                for (int y = 1; y < 7; ++y)
                    for (int x = 1; x < 7; ++x) p.set(x, y, kBoost);
                stamp(p, kChevrons, boostInks, turns);
                return p;
            };
            switch (col) {
                case 0:
                    return pictured(set, Ground::Road, kItemBox, boxInks);
                case 1:
                    return pictured(set, Ground::Road, kCoin, coinInks);
                case 2:
                    return boostPad(0);
                case 3:
                    return pictured(set, Ground::Road, kRamp, jumpInks);
                case 4:
                case 5:
                case 6:
                    return boostPad(col - 3);
                case 7:
                    return pictured(set, Ground::Road, kRamp, jumpInks, 1);
                case 8:
                    return pictured(
                        set, Ground::Road, kItemBox,
                        {{'k', kBlack}, {'a', {150, 150, 150}}, {'w', {200, 200, 200}}});
                case 9:
                    return pictured(set, Ground::Road, kSmallCoins, coinInks);
                case 10:
                    return pictured(set, Ground::Road, kQuestionBlock,
                                    {{'k', kBlack}, {'y', {246, 190, 40}}, {'a', {190, 120, 20}}});
                case 11:
                    return pictured(set, Ground::Road, kStar,
                                    {{'y', {252, 226, 60}}, {'w', kWhite}});
                case 12:
                    return pictured(set, Ground::Road, kMushroom,
                                    {{'r', {220, 40, 40}}, {'w', kWhite}, {'k', kBlack}});
                case 13:
                case 14:
                    return pictured(set, Ground::Road, kRamp, jumpInks, col == 13 ? 2 : 3);
                default:
                    stamp(t, kArrow, {{'w', kBoost}});
                    return t;
            }
        }
        case 7: {  // things in the way
            const Rgb ob = s.obstacle, bu = s.bump;
            const std::vector<Ink> oilInks = {
                {'o', {34, 30, 40}}, {'s', {120, 90, 170}}, {'p', {60, 130, 150}}};
            const std::vector<Ink> obInks = {
                {'k', scaled(ob, 0.35)}, {'a', ob}, {'w', scaled(ob, 1.4)}, {'d', kBlack}};
            const std::vector<Ink> bumpInks = {{'k', scaled(bu, 0.5)},
                                               {'a', bu},
                                               {'w', scaled(bu, 1.35)},
                                               {'d', scaled(bu, 0.75)}};
            switch (col) {
                case 0:
                    return pictured(set, Ground::Road, kOil, oilInks);
                case 1:
                    return pictured(set, Ground::Road, kRing, obInks);
                case 2:
                    return pictured(set, Ground::Road, kBump, bumpInks);
                case 3:
                    return pictured(set, Ground::Road, kSmallOil, oilInks);
                case 4:
                    return pictured(set, Ground::Obstacle, kDiamond,
                                    {{'a', scaled(ob, 0.6)}, {'w', kWhite}});
                case 5:
                    return pictured(set, Ground::Road, kCone,
                                    {{'o', {246, 120, 30}}, {'w', kWhite}, {'k', dark}});
                case 6:
                    return pictured(set, Ground::Road, kRock,
                                    {{'k', {60, 58, 64}},
                                     {'a', {150, 146, 150}},
                                     {'w', {206, 204, 206}},
                                     {'d', {110, 106, 112}}});
                case 7:
                    return pictured(set, Ground::Road, kPeel, {{'y', {246, 214, 60}}});
                case 8:
                    return pictured(set, Ground::Road, kTwoBumps, bumpInks);
                case 9:
                    return pictured(set, Ground::Road, kPothole,
                                    {{'k', scaled(road, 0.6)}, {'d', dark}});
                case 10:
                    return pictured(set, Ground::Road, kSpikes,
                                    {{'w', kWhite}, {'a', {130, 130, 140}}});
                case 11:
                    return pictured(
                        set, Ground::Road, kBarrel,
                        {{'k', {60, 36, 20}}, {'a', {150, 96, 50}}, {'w', {200, 150, 90}}});
                case 12:
                    return pictured(set, Ground::Road, kSplash, {{'m', s.dirt}});
                case 13:
                    return pictured(set, Ground::Road, kWarning,
                                    {{'k', kBlack}, {'y', {250, 210, 40}}});
                case 14:
                    return pictured(set, Ground::Road, kHole,
                                    {{'k', scaled(road, 0.6)}, {'d', s.deep}});
                default:
                    stamp(t, kRing, obInks, 1);
                    stamp(t, kSparkle, {{'w', kWhite}});
                    return t;
            }
        }
        case 8:  // ice and snow
            return familyTile(set, Ground::Ice, {Ground::Offroad, Ground::Deep}, col,
                              {&kCrack, {{'k', scaled(s.ice, 0.7)}}},
                              {&kSnowflake, {{'w', kWhite}}});
        case 9:  // road verges: the road meeting its open ground
            return familyTile(set, Ground::Road, {Ground::Offroad, Ground::Rough}, family,
                              {&kTracks, {{'k', scaled(road, 0.7)}}}, {&kArrow, {{'w', kWhite}}});
        case 10:  // dirt tracks
            return familyTile(set, Ground::Dirt, {Ground::Offroad, Ground::Rough}, family,
                              {&kPuddle, {{'d', s.shallow}, {'w', kWhite}}},
                              {&kPebbles, {{'k', scaled(s.dirt, 0.6)}}});
        case 11:  // the road's edge over water, lava or the void
            return familyTile(set, Ground::Road, {Ground::Deep, Ground::Shallow}, family,
                              {&kSlot, {{'w', s.kerbA}}},
                              {&kDiamond, {{'a', s.kerbA}, {'w', kWhite}}});
        case 12:  // rough ground beside the road
            return familyTile(set, Ground::Rough, {Ground::Road, Ground::Sand}, family,
                              {&kBush,
                               {{'g', scaled(s.rough, 0.8)},
                                {'G', scaled(s.rough, 0.55)},
                                {'w', scaled(s.rough, 1.3)},
                                {'k', scaled(s.rough, 0.4)}}},
                              {&kTuft, {{'g', scaled(s.rough, 1.3)}}});
        case 13:  // walls meeting open ground
            return familyTile(
                set, Ground::Wall, {Ground::Offroad, Ground::Sand, Ground::Deep}, family,
                {&kWindow, {{'k', scaled(s.wall, 0.4)}, {'d', kBlack}, {'w', kWhite}}},
                {&kCrack, {{'k', scaled(s.wall, 0.45)}}});
        case 14:  // floors of the battle courses
            return familyTile(set, Ground::RoadShade, {Ground::Road, Ground::KerbB}, family,
                              {&kDiamond, {{'a', s.kerbA}, {'w', kWhite}}},
                              {&kStar, {{'y', {252, 226, 60}}, {'w', kWhite}}});
        default:  // sand meeting the road
            return familyTile(set, Ground::Sand, {Ground::Road, Ground::Dirt, Ground::Rough},
                              family, {&kTracks, {{'k', scaled(s.sand, 0.7)}}},
                              {&kPuddle, {{'d', s.shallow}, {'w', kWhite}}});
    }
}

QImage drawSheet(int set) {
    QImage image(128, 128, QImage::Format_RGB888);
    for (int n = 0; n < 256; ++n) {
        const Tile t = drawTile(set, n);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const Rgb c = t.at(x, y);
                image.setPixel(8 * (n % 16) + x, 8 * (n / 16) + y, qRgb(c.r, c.g, c.b));
            }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_tile_sheets OUTPUT_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "make_tile_sheets: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int set = 0; set < kTileSetCount; ++set) {
        const QString path = dir.filePath(
            QString("t%1.bmp").arg(QString::number(set, 16).toUpper().rightJustified(2, '0')));
        if (!drawSheet(set).save(path, "BMP")) {
            std::fprintf(stderr, "make_tile_sheets: cannot write %s\n",
                         path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
