#include "core/rom_layout.h"

#include "core/hex.h"

namespace korvale::layout {

namespace {

// Level i's base name, and its number (0: the name stands alone).
struct LevelEntry {
    const char* base;
    int number;
};

constexpr LevelEntry kLevels[kLevelCount] = {
    {"Mario Circuit ", 1}, {"Donut Plains ", 1},  {"Ghost Valley ", 1},  {"Bowser Castle ", 1},
    {"Mario Circuit ", 2}, {"Choco Island ", 1},  {"Ghost Valley ", 2},  {"Donut Plains ", 2},
    {"Bowser Castle ", 2}, {"Mario Circuit ", 3}, {"Koopa Beach ", 1},   {"Choco Island ", 2},
    {"Vanilla Lake ", 1},  {"Bowser Castle ", 3}, {"Mario Circuit ", 4}, {"Donut Plains ", 3},
    {"Koopa Beach ", 2},   {"Ghost Valley ", 3},  {"Vanilla Lake ", 2},  {"Rainbow Road", 0},
    {"Battle Course ", 1}, {"Battle Course ", 2}, {"Battle Course ", 3}, {"Battle Course ", 4},
};

constexpr const char* kTileSetNames[kTileSetCount] = {
    "&1. Ghost Valley", "&2. Mario Circuit", "&3. Donut Plains",  "&4. Choco Island",
    "&5. Vanilla Lake", "&6. Koopa Beach",   "&7. Bowser Castle", "&8. Rainbow Road",
};

}  // namespace

std::string applicationTitle() {
    return "Korvale " + std::to_string(KORVALE_VERSION_MAJOR) + "." +
           std::to_string(KORVALE_VERSION_MINOR) + std::to_string(KORVALE_VERSION_PATCH);
}

std::string levelName(int level) {
    if (level < 0 || level >= kLevelCount) return {};
    const LevelEntry& e = kLevels[level];
    return e.number ? e.base + std::to_string(e.number) : e.base;
}

std::string levelMenuCaption(int level) {
    if (level < 0 || level >= kLevelCount) return {};
    std::string caption;
    if (level % 5 == 0) caption = "(" + std::to_string(level / 5 + 1) + ") ";
    caption += '&';
    caption += static_cast<char>('a' + level);
    caption += ' ';
    return caption + levelName(level);
}

std::string tileSetMenuCaption(int tileSet) {
    return tileSet >= 0 && tileSet < kTileSetCount ? kTileSetNames[tileSet] : std::string();
}

std::string tileSheetFileName(int tileSet) {
    return "t" + HexPad(tileSet, 2) + ".bmp";
}

}  // namespace korvale::layout
