// Writes the eight tile sheets t00.bmp to t07.bmp: make_tile_sheets OUTPUT_DIR
//
// Each tile is a flat colour for what the demo tracks use its number for, in
// the colours of its tile set, with the number in two small hexadecimal
// digits so a user can tell the tiles apart in the palette and on the map.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdio>

#include "demo_tracks.h"

namespace {

using korvale::demo::TileRole;

struct Rgb {
    int r, g, b;
};

// 3 x 5 pixel hexadecimal digits, one row a line, bit 2 the leftmost pixel.
constexpr uint8_t kGlyphs[16][5] = {
    {7, 5, 5, 5, 7},  // 0
    {2, 6, 2, 2, 7},  // 1
    {7, 1, 7, 4, 7},  // 2
    {7, 1, 3, 1, 7},  // 3
    {5, 5, 7, 1, 1},  // 4
    {7, 4, 7, 1, 7},  // 5
    {7, 4, 7, 5, 7},  // 6
    {7, 1, 1, 2, 2},  // 7
    {7, 5, 7, 5, 7},  // 8
    {7, 5, 7, 1, 7},  // 9
    {2, 5, 7, 5, 5},  // A
    {6, 5, 6, 5, 6},  // B
    {3, 4, 4, 4, 3},  // C
    {6, 5, 5, 5, 6},  // D
    {7, 4, 6, 4, 7},  // E
    {7, 4, 6, 4, 4},  // F
};

// Colours of the ground roles that change most between tile sets.
struct Scheme {
    Rgb road, roadShade, kerbA, kerbB, barrier, offroad, rough, wall, block, deep, shallow, sand,
        obstacle, bump;
};

const Scheme& scheme(int tileSet) {
    static const Scheme schemes[korvale::demo::kTileSetCount] = {
        // Ghost Valley: wooden boards over dark pits
        {{158, 116, 72},
         {136, 98, 60},
         {150, 60, 60},
         {210, 206, 200},
         {190, 182, 164},
         {64, 52, 84},
         {84, 64, 104},
         {96, 96, 118},
         {116, 104, 92},
         {22, 16, 38},
         {52, 42, 72},
         {150, 130, 100},
         {104, 84, 64},
         {112, 82, 52}},
        // Mario Circuit: grey tarmac, green grass
        {{116, 116, 124},
         {100, 100, 108},
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
         {150, 110, 70}},
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
         {150, 110, 70}},
        // Choco Island: chocolate roads in mud
        {{218, 180, 132},
         {200, 164, 120},
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
         {126, 76, 42}},
        // Vanilla Lake: ice, snow and a frozen lake
        {{172, 192, 214},
         {156, 176, 202},
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
         {186, 200, 220}},
        // Koopa Beach: sand tracks in the sea
        {{168, 142, 100},
         {154, 130, 92},
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
         {160, 130, 90}},
        // Bowser Castle: stone floors, grey walls, lava
        {{104, 102, 110},
         {90, 88, 96},
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
         {152, 152, 172}},
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
         {8, 8, 26},
         {42, 32, 82},
         {200, 200, 150},
         {150, 150, 204},
         {172, 172, 204}},
    };
    return schemes[std::clamp(tileSet, 0, korvale::demo::kTileSetCount - 1)];
}

Rgb roleColour(int tileSet, TileRole role) {
    const Scheme& s = scheme(tileSet);
    switch (role) {
        case TileRole::Road:
            return s.road;
        case TileRole::RoadShade:
            return s.roadShade;
        case TileRole::StartLight:
            return {244, 244, 244};
        case TileRole::StartDark:
            return {30, 30, 30};
        case TileRole::KerbA:
            return s.kerbA;
        case TileRole::KerbB:
            return s.kerbB;
        case TileRole::Barrier:
            return s.barrier;
        case TileRole::Offroad:
            return s.offroad;
        case TileRole::Rough:
            return s.rough;
        case TileRole::Wall:
            return s.wall;
        case TileRole::Block:
            return s.block;
        case TileRole::Deep:
            return s.deep;
        case TileRole::Shallow:
            return s.shallow;
        case TileRole::Sand:
            return s.sand;
        case TileRole::ItemBox:
            return {250, 206, 36};
        case TileRole::Coin:
            return {226, 150, 18};
        case TileRole::Boost:
            return {56, 222, 240};
        case TileRole::Jump:
            return {204, 112, 48};
        case TileRole::Oil:
            return {34, 30, 40};
        case TileRole::Obstacle:
            return s.obstacle;
        case TileRole::Bump:
            return s.bump;
        case TileRole::Unused:
            break;
    }
    return s.road;
}

Rgb scaled(Rgb c, double k) {
    auto f = [k](int v) { return std::clamp(static_cast<int>(v * k + 0.5), 0, 255); };
    return {f(c.r), f(c.g), f(c.b)};
}

// Numbers the tracks do not use take a shade of their row's kind (the role of
// the row's first tile), darker in the lower half of the sheet, so the sheet
// reads as groups.
Rgb tileBackground(int tileSet, int tile) {
    const TileRole role = korvale::demo::tileRole(static_cast<uint8_t>(tile));
    if (role != TileRole::Unused) return roleColour(tileSet, role);
    const int row = tile / 16, column = tile % 16;
    const Rgb base =
        roleColour(tileSet, korvale::demo::tileRole(static_cast<uint8_t>((row % 8) * 16)));
    return scaled(base, (row < 8 ? 0.92 : 0.62) + 0.012 * (column % 8));
}

// Unused tiles take their digit colour from the row's plain shade, so a row
// whose shade sits near mid-grey does not flip between dark and light digits.
Rgb inkGround(int tileSet, int tile) {
    if (korvale::demo::tileRole(static_cast<uint8_t>(tile)) != TileRole::Unused)
        return tileBackground(tileSet, tile);
    const int row = tile / 16;
    const Rgb base =
        roleColour(tileSet, korvale::demo::tileRole(static_cast<uint8_t>((row % 8) * 16)));
    return scaled(base, row < 8 ? 0.96 : 0.66);
}

int luminance(Rgb c) {
    return (299 * c.r + 587 * c.g + 114 * c.b) / 1000;
}

// Dark digits on light ground and light digits on dark ground, tinted with
// the ground so a map of them still shows its colours.
Rgb digitColour(Rgb bg) {
    if (luminance(bg) >= 128) return scaled(bg, 0.28);
    auto lift = [](int v) { return v + (255 - v) * 3 / 4; };
    return {lift(bg.r), lift(bg.g), lift(bg.b)};
}

void drawGlyph(QImage& image, int x0, int y0, int digit, Rgb ink) {
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            if (kGlyphs[digit][y] & (4 >> x))
                image.setPixelColor(x0 + x, y0 + y, QColor(ink.r, ink.g, ink.b));
}

QImage drawSheet(int tileSet) {
    QImage image(128, 128, QImage::Format_RGB888);
    for (int tile = 0; tile < 256; ++tile) {
        const int x0 = 8 * (tile % 16), y0 = 8 * (tile / 16);
        const Rgb bg = tileBackground(tileSet, tile);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                image.setPixelColor(x0 + x, y0 + y, QColor(bg.r, bg.g, bg.b));
        const Rgb ink = digitColour(inkGround(tileSet, tile));
        drawGlyph(image, x0, y0 + 1, tile >> 4, ink);
        drawGlyph(image, x0 + 4, y0 + 1, tile & 15, ink);
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
    for (int tileSet = 0; tileSet < korvale::demo::kTileSetCount; ++tileSet) {
        const QString path = dir.filePath(
            QString("t%1.bmp").arg(QString::number(tileSet, 16).toUpper().rightJustified(2, '0')));
        if (!drawSheet(tileSet).save(path, "BMP")) {
            std::fprintf(stderr, "make_tile_sheets: cannot write %s\n",
                         path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
