// Runs the two sample-data programs into a temporary folder and checks what
// they wrote the way the editor will read it.
#include "demo_tracks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "zarni_compress.h"

namespace fs = std::filesystem;
using namespace korvale::demo;

namespace {

constexpr uint32_t kHeader = 0x200;

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint16_t word(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("korvale_demo_" + std::to_string(::getpid()) + "_" +
                                            info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        ZarniCloseFile();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static int run(const char* program, const fs::path& argument) {
        const std::string command =
            std::string("\"") + program + "\" \"" + argument.string() + "\"";
        return std::system(command.c_str());
    }

    std::vector<uint8_t> makeRom(const std::string& name = "demo.smc") {
        const fs::path path = dir_ / name;
        EXPECT_EQ(run(MAKE_DEMO_ROM_PATH, path), 0);
        return readFile(path);
    }

    fs::path dir_;
};

using DemoRomTest = TempFolder;

TEST_F(DemoRomTest, HeaderedFourMegabitImageWithValidInternalHeader) {
    const std::vector<uint8_t> file = makeRom();
    ASSERT_EQ(file.size(), 0x80200u);

    std::string title(file.begin() + kHeader + 0xFFC0, file.begin() + kHeader + 0xFFC0 + 21);
    title.erase(std::remove(title.begin(), title.end(), ' '), title.end());
    EXPECT_EQ(title, "SUPERMARIOKART");
    EXPECT_EQ(file[kHeader + 0xFFD7], 9);

    const uint16_t complement = word(file, kHeader + 0xFFDC);
    const uint16_t checksum = word(file, kHeader + 0xFFDE);
    EXPECT_EQ(complement | checksum, 0xFFFF);
    EXPECT_EQ(complement ^ checksum, 0xFFFF);
    uint32_t sum = 0;
    for (size_t i = kHeader; i < file.size(); ++i) sum += file[i];
    EXPECT_EQ(sum & 0xFFFF, checksum);

    // The editor's save searches for zeros above the ROM; below the track data
    // the image must not be blank either.
    EXPECT_GT(std::count_if(file.begin() + kHeader, file.begin() + kHeader + 0x40000,
                            [](uint8_t b) { return b != 0; }),
              1000);
}

// Saving a track grows the image to 16 megabits; the header must be where the
// library looks for it so that its size byte follows.
TEST_F(DemoRomTest, GrowsToSixteenMegabitsLikeTheEditorsSave) {
    const fs::path rom = dir_ / "demo.smc";
    ASSERT_EQ(makeRom().size(), 0x80200u);
    ASSERT_EQ(ZarniOpenFile(rom.string().c_str(), 1), 1u);
    EXPECT_EQ(ZarniExpandROM(16), 16u);
    EXPECT_EQ(ZarniVerifyFreeSpace(0x80200, 0x1001FF, 4000, 2), 0x80200u);
    ZarniCloseFile();
    const std::vector<uint8_t> grown = readFile(rom);
    ASSERT_EQ(grown.size(), 0x200200u);
    EXPECT_EQ(grown[kHeader + 0xFFD7], 11);
}

TEST_F(DemoRomTest, SameBytesEveryRunAndFromTheLibrary) {
    const std::vector<uint8_t> first = makeRom("a.smc");
    const std::vector<uint8_t> second = makeRom("b.smc");
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first == second);
    EXPECT_TRUE(first == buildDemoRom().file);
}

TEST_F(DemoRomTest, ProgramFailsOnAnUnwritablePath) {
    EXPECT_NE(run(MAKE_DEMO_ROM_PATH, dir_ / "missing" / "folder" / "demo.smc"), 0);
}

TEST_F(DemoRomTest, LevelAndThemeTablesFollowTheLevelNames) {
    const std::vector<uint8_t> file = makeRom();
    ASSERT_EQ(file.size(), 0x80200u);

    // Tile set of each level's name; the battle courses may use any set.
    const std::map<std::string, int> setOfName = {
        {"Ghost Valley", 0}, {"Mario Circuit", 1}, {"Donut Plains", 2},  {"Choco Island", 3},
        {"Vanilla Lake", 4}, {"Koopa Beach", 5},   {"Bowser Castle", 6}, {"Rainbow Road", 7}};
    const char* names[20] = {"Mario Circuit", "Donut Plains",  "Ghost Valley",  "Bowser Castle",
                             "Mario Circuit", "Choco Island",  "Ghost Valley",  "Donut Plains",
                             "Bowser Castle", "Mario Circuit", "Koopa Beach",   "Choco Island",
                             "Vanilla Lake",  "Bowser Castle", "Mario Circuit", "Donut Plains",
                             "Koopa Beach",   "Ghost Valley",  "Vanilla Lake",  "Rainbow Road"};

    std::set<int> tracksUsed;
    for (int level = 0; level < 24; ++level) {
        const int track = level < 20 ? file[0x1EE1B + level] : file[0x1C35C + (level - 20)];
        EXPECT_EQ(track, level) << "level " << level;
        EXPECT_EQ(track, demoLevelTrack(level));
        tracksUsed.insert(track);
        const int theme = file[0x1EE2F + track];
        EXPECT_EQ(theme, demoTrackTheme(track));
        EXPECT_EQ(theme % 2, 0);
        EXPECT_LT(theme, 16);
        if (level < 20) EXPECT_EQ(theme / 2, setOfName.at(names[level])) << "level " << level;
    }
    EXPECT_EQ(tracksUsed.size(), 24u);
}

TEST_F(DemoRomTest, EveryPointerDecodesTwiceToTheDrawnMap) {
    const fs::path rom = dir_ / "demo.smc";
    const std::vector<uint8_t> file = makeRom();
    ASSERT_EQ(file.size(), 0x80200u);

    std::vector<std::pair<uint32_t, uint32_t>> extents;
    for (int track = 0; track < 24; ++track) {
        SCOPED_TRACE("track " + std::to_string(track));
        const uint32_t entry = 0x1ED5B + 3 * track;
        const uint32_t bus = file[entry] | file[entry + 1] << 8 | file[entry + 2] << 16;
        EXPECT_GE(bus >> 16, 0xC0u);
        const uint32_t offset = ZarniSNEStoPC(bus, 2, 1);
        ASSERT_GE(offset, 0x40200u);
        ASSERT_LT(offset, 0x80200u);

        // The editor's road: decode from the ROM, pass all 16 KiB through a
        // file, decode that again.
        std::vector<uint8_t> packed(16384, 0);
        uint32_t end = 0;
        ASSERT_EQ(ZarniOpenFile(rom.string().c_str(), 0), 1u);
        const uint32_t once = ZarniDecompress(packed.data(), offset, 16384, 4, 0, &end);
        ZarniCloseFile();
        ASSERT_GT(once, 0u);
        ASSERT_LE(once, 16384u);
        extents.emplace_back(offset, end);

        const fs::path stage = dir_ / "stage.tmp";
        ASSERT_EQ(ZarniOpenFile(stage.string().c_str(), 2), 1u);
        ZarniWriteFile(packed.data(), 16384, 0, 0);
        ZarniCloseFile();
        TrackMap loaded{};
        ASSERT_EQ(ZarniOpenFile(stage.string().c_str(), 0), 1u);
        const uint32_t twice = ZarniDecompress(loaded.data(), 0, 16384, 4, 0, nullptr);
        ZarniCloseFile();
        EXPECT_EQ(twice, 16384u);
        EXPECT_TRUE(loaded == demoTrackMap(track));
    }

    // Streams lie apart from one another inside the 4-megabit ROM, and
    // nothing follows the last one.
    std::sort(extents.begin(), extents.end());
    for (size_t i = 1; i < extents.size(); ++i) EXPECT_LE(extents[i - 1].second, extents[i].first);
    EXPECT_LE(extents.back().second, 0x80200u);
    EXPECT_TRUE(std::all_of(file.begin() + extents.back().second, file.end(),
                            [](uint8_t b) { return b == 0; }));
}

// --- Track shapes ---------------------------------------------------------

std::vector<bool> surfaceMask(const TrackMap& map) {
    std::vector<bool> mask(kMapSize);
    for (int i = 0; i < kMapSize; ++i) mask[i] = isTrackSurface(map[i]);
    return mask;
}

// Cells of `region` reachable from `start` by steps to the four neighbours.
std::vector<bool> floodFill(const std::vector<bool>& region, const std::vector<int>& starts) {
    std::vector<bool> reached(kMapSize, false);
    std::vector<int> stack;
    for (int s : starts)
        if (region[s] && !reached[s]) reached[s] = true, stack.push_back(s);
    while (!stack.empty()) {
        const int c = stack.back();
        stack.pop_back();
        const int x = c % kMapSide, y = c / kMapSide;
        const int neighbours[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
        for (const auto& n : neighbours) {
            if (n[0] < 0 || n[1] < 0 || n[0] >= kMapSide || n[1] >= kMapSide) continue;
            const int i = n[1] * kMapSide + n[0];
            if (region[i] && !reached[i]) reached[i] = true, stack.push_back(i);
        }
    }
    return reached;
}

TEST(DemoTracks, EachTrackIsOneRoadAroundAnEnclosedInfield) {
    for (int track = 0; track < 24; ++track) {
        SCOPED_TRACE("track " + std::to_string(track));
        const TrackMap map = demoTrackMap(track);
        const std::vector<bool> surface = surfaceMask(map);
        const int surfaceCells = static_cast<int>(std::count(surface.begin(), surface.end(), true));
        ASSERT_GT(surfaceCells, 1500);

        // One piece of road: everything drivable is reachable from any drivable cell.
        const int first =
            static_cast<int>(std::find(surface.begin(), surface.end(), true) - surface.begin());
        const std::vector<bool> road = floodFill(surface, {first});
        EXPECT_EQ(std::count(road.begin(), road.end(), true), surfaceCells);

        // A loop: some off-road ground cannot be reached from the map's edge
        // without crossing the road. Single obstacles on the road are too
        // small to count.
        std::vector<bool> offRoad(kMapSize);
        for (int i = 0; i < kMapSize; ++i) offRoad[i] = !surface[i];
        std::vector<int> edge;
        for (int i = 0; i < kMapSide; ++i)
            edge.insert(edge.end(), {i, (kMapSide - 1) * kMapSide + i, i * kMapSide,
                                     i * kMapSide + kMapSide - 1});
        const std::vector<bool> outside = floodFill(offRoad, edge);
        int enclosed = 0;
        for (int i = 0; i < kMapSize; ++i) enclosed += offRoad[i] && !outside[i];
        EXPECT_GE(enclosed, 64);

        // What makes it a race: boxes for all, a start line for the races.
        EXPECT_GE(std::count(map.begin(), map.end(), tile::kItemBox), 4);
        if (!demoTrackIsArena(track)) {
            EXPECT_GE(std::count(map.begin(), map.end(), tile::kStartLight), 3);
            EXPECT_GE(std::count(map.begin(), map.end(), tile::kStartDark), 3);
        }
    }
}

TEST(DemoTracks, ShapesDifferBetweenAllTracks) {
    std::vector<std::vector<bool>> masks;
    for (int track = 0; track < 24; ++track) masks.push_back(surfaceMask(demoTrackMap(track)));
    for (int a = 0; a < 24; ++a)
        for (int b = a + 1; b < 24; ++b) {
            int differing = 0;
            for (int i = 0; i < kMapSize; ++i) differing += masks[a][i] != masks[b][i];
            EXPECT_GT(differing, 500) << "tracks " << a << " and " << b;
        }
}

TEST(DemoTracks, RoadsAreFencedAndTheMapEdgeIsClosed) {
    for (int track = 0; track < 24; ++track) {
        SCOPED_TRACE("track " + std::to_string(track));
        const TrackMap map = demoTrackMap(track);
        // No road runs off the map: its outermost ring is never drivable.
        for (int i = 0; i < kMapSide; ++i) {
            EXPECT_FALSE(isTrackSurface(map[i]));
            EXPECT_FALSE(isTrackSurface(map[i * kMapSide]));
            EXPECT_FALSE(isTrackSurface(map[i * kMapSide + kMapSide - 1]));
            EXPECT_FALSE(isTrackSurface(map[(kMapSide - 1) * kMapSide + i]));
        }
        // Every road cell's neighbours are road or an edge tile, never open
        // ground straight away: tracks have kerbs, rails or walls.
        int bareEdges = 0;
        for (int y = 1; y < kMapSide - 1; ++y)
            for (int x = 1; x < kMapSide - 1; ++x) {
                if (map[y * kMapSide + x] != tile::kRoad) continue;
                for (int n : {-1, 1, -kMapSide, kMapSide}) {
                    const uint8_t t = map[y * kMapSide + x + n];
                    bareEdges += t == tile::kOffroad || t == tile::kDeep;
                }
            }
        EXPECT_EQ(bareEdges, 0);
    }
}

// --- Tile sheets ----------------------------------------------------------

struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
    bool operator<(const Pixel& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
};

int luminance(Pixel p) {
    return (299 * p.r + 587 * p.g + 114 * p.b) / 1000;
}

// A 128 x 128, 24-bit uncompressed bitmap, or empty pixels if it is not one.
struct Sheet {
    std::vector<Pixel> pixels;
    Pixel at(int x, int y) const { return pixels[y * 128 + x]; }
};

Sheet readSheet(const fs::path& path, std::string& problem) {
    const std::vector<uint8_t> f = readFile(path);
    Sheet sheet;
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') {
        problem = "not a bitmap";
        return sheet;
    }
    auto u32 = [&f](size_t at) {
        return static_cast<uint32_t>(f[at] | f[at + 1] << 8 | f[at + 2] << 16 | f[at + 3] << 24);
    };
    const uint32_t dataOffset = u32(10);
    const int32_t width = static_cast<int32_t>(u32(18));
    const int32_t height = static_cast<int32_t>(u32(22));
    const int bits = word(f, 28);
    if (width != 128 || (height != 128 && height != -128) || bits != 24 || u32(30) != 0) {
        problem = "width " + std::to_string(width) + " height " + std::to_string(height) +
                  " bits " + std::to_string(bits);
        return sheet;
    }
    const size_t stride = 128 * 3;
    if (f.size() < dataOffset + stride * 128) {
        problem = "short pixel data";
        return sheet;
    }
    for (int y = 0; y < 128; ++y) {
        const size_t row = dataOffset + stride * (height > 0 ? 127 - y : y);
        for (int x = 0; x < 128; ++x)
            sheet.pixels.push_back({f[row + 3 * x + 2], f[row + 3 * x + 1], f[row + 3 * x]});
    }
    return sheet;
}

struct TileLook {
    Pixel background;
    uint64_t ink = 0;  // bit y * 8 + x set where the pixel differs from the background
    int weakestInk = 255;
};

TileLook lookAt(const Sheet& sheet, int tile) {
    const int x0 = 8 * (tile % 16), y0 = 8 * (tile / 16);
    std::map<Pixel, int> counts;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ++counts[sheet.at(x0 + x, y0 + y)];
    TileLook look;
    look.background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const Pixel p = sheet.at(x0 + x, y0 + y);
            if (p == look.background) continue;
            look.ink |= uint64_t{1} << (y * 8 + x);
            look.weakestInk =
                std::min(look.weakestInk, std::abs(luminance(p) - luminance(look.background)));
        }
    return look;
}

constexpr uint64_t kLeftHalf = 0x0F0F0F0F0F0F0F0FULL;

class TileSheets : public TempFolder {
  protected:
    std::array<Sheet, 8> makeSheets() {
        EXPECT_EQ(run(MAKE_TILE_SHEETS_PATH, dir_), 0);
        std::array<Sheet, 8> sheets;
        for (int n = 0; n < 8; ++n) {
            std::string problem;
            sheets[n] = readSheet(dir_ / ("t0" + std::to_string(n) + ".bmp"), problem);
            EXPECT_EQ(sheets[n].pixels.size(), 128u * 128u) << "t0" << n << ".bmp: " << problem;
        }
        return sheets;
    }
};

TEST_F(TileSheets, EveryTileShowsItsOwnNumberLegibly) {
    const auto sheets = makeSheets();
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE("t0" + std::to_string(n) + ".bmp");
        ASSERT_EQ(sheets[n].pixels.size(), 128u * 128u);
        std::array<TileLook, 256> looks;
        for (int t = 0; t < 256; ++t) looks[t] = lookAt(sheets[n], t);

        // The high digit sits in the left half and the low digit in the right:
        // the left half repeats along a sheet row, the right half down a column,
        // and the same digit looks the same on either side.
        std::set<uint64_t> highDigits, lowDigits;
        for (int t = 0; t < 256; ++t) {
            const uint64_t left = looks[t].ink & kLeftHalf;
            const uint64_t right = (looks[t].ink >> 4) & kLeftHalf;
            EXPECT_EQ(left, looks[t & 0xF0].ink & kLeftHalf) << "tile " << t;
            EXPECT_EQ(right, (looks[t & 0x0F].ink >> 4) & kLeftHalf) << "tile " << t;
            EXPECT_EQ(left, (looks[(t >> 4) * 17].ink >> 4) & kLeftHalf) << "tile " << t;
            EXPECT_NE(left, 0u);
            EXPECT_NE(right, 0u);
            EXPECT_GE(looks[t].weakestInk, 70) << "tile " << t;
            if ((t & 0x0F) == 0) highDigits.insert(left);
            if (t < 16) lowDigits.insert(right);
        }
        EXPECT_EQ(highDigits.size(), 16u);
        EXPECT_EQ(lowDigits.size(), 16u);
        // The same digits in every set.
        for (int t = 0; t < 256; ++t) EXPECT_EQ(looks[t].ink, lookAt(sheets[0], t).ink);
    }
}

TEST_F(TileSheets, TileColoursFollowWhatTheTracksUseThemFor) {
    const auto sheets = makeSheets();
    ASSERT_EQ(sheets[kMarioCircuit].pixels.size(), 128u * 128u);
    auto bg = [&sheets](int set, uint8_t t) { return lookAt(sheets[set], t).background; };

    // Mario Circuit reads at a glance: grey road, green grass, blue water,
    // red and white kerbs, a light and a dark start square, yellow boxes.
    const Pixel road = bg(kMarioCircuit, tile::kRoad);
    EXPECT_LT(std::max({road.r, road.g, road.b}) - std::min({road.r, road.g, road.b}), 30);
    const Pixel grass = bg(kMarioCircuit, tile::kOffroad);
    EXPECT_GT(grass.g, grass.r + 40);
    EXPECT_GT(grass.g, grass.b + 40);
    const Pixel water = bg(kMarioCircuit, tile::kDeep);
    EXPECT_GT(water.b, water.r + 80);
    const Pixel red = bg(kMarioCircuit, tile::kKerbA);
    EXPECT_GT(red.r, red.g + 100);
    EXPECT_GT(luminance(bg(kMarioCircuit, tile::kKerbB)), 220);
    EXPECT_GT(luminance(bg(kMarioCircuit, tile::kStartLight)) -
                  luminance(bg(kMarioCircuit, tile::kStartDark)),
              150);
    const Pixel box = bg(kMarioCircuit, tile::kItemBox);
    EXPECT_GT(std::min(box.r, box.g), box.b + 100);
    const Pixel lava = bg(kBowserCastle, tile::kDeep);
    EXPECT_GT(lava.r, lava.b + 100) << "Bowser Castle's deep ground is lava";

    // In every set the road stands out from what lies beside it.
    auto distance = [](Pixel a, Pixel b) {
        return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    };
    for (int set = 0; set < 8; ++set) {
        SCOPED_TRACE("tile set " + std::to_string(set));
        const Pixel r = bg(set, tile::kRoad);
        for (uint8_t beside : {tile::kOffroad, tile::kDeep, tile::kBarrier, tile::kWall,
                               tile::kRough, tile::kSand, tile::kKerbA})
            EXPECT_GE(distance(r, bg(set, beside)), 45) << "tile " << int(beside);
    }
    // Each set has its own colours.
    for (int a = 0; a < 8; ++a)
        for (int b = a + 1; b < 8; ++b)
            EXPECT_FALSE(bg(a, tile::kRoad) == bg(b, tile::kRoad) &&
                         bg(a, tile::kOffroad) == bg(b, tile::kOffroad))
                << "sets " << a << " and " << b;
}

}  // namespace
