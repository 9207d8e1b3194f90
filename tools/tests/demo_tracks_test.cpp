// Runs the two sample-data programs into a temporary folder and checks what
// they wrote the way the editor will read it.
#include "demo_tracks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QImageReader>
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

// The mean colour of a tile: what it looks like from a little way off.
struct Colour {
    int r, g, b;
};

int luminance(Colour c) {
    return (299 * c.r + 587 * c.g + 114 * c.b) / 1000;
}

int distance(Colour a, Colour b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

Colour meanColour(const QImage& sheet, int tile) {
    int r = 0, g = 0, b = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const QRgb p = sheet.pixel(8 * (tile % 16) + x, 8 * (tile / 16) + y);
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    return {r / 64, g / 64, b / 64};
}

// A pixel that changes by this much (summed over red, green and blue) is a
// change one sees; two tiles must differ in at least this many such pixels.
constexpr int kVisibleStep = 48;
constexpr int kVisiblePixels = 3;

class TileSheets : public TempFolder {
  protected:
    // Read the way the editor reads them.
    std::array<QImage, 8> makeSheets() {
        EXPECT_EQ(run(MAKE_TILE_SHEETS_PATH, dir_), 0);
        std::array<QImage, 8> sheets;
        for (int n = 0; n < 8; ++n) {
            QImageReader reader(
                QString::fromStdString((dir_ / ("t0" + std::to_string(n) + ".bmp")).string()));
            EXPECT_EQ(reader.format(), "bmp") << "t0" << n;
            sheets[n] = reader.read().convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(sheets[n].size(), QSize(128, 128))
                << "t0" << n << ": " << reader.errorString().toStdString();
        }
        return sheets;
    }
};

// Two tiles of a sheet never look alike: they differ in several pixels, each
// by a step the eye sees, so a user can tell them apart on the map.
TEST_F(TileSheets, EightBitmapsWhoseTilesAllDifferVisibly) {
    const auto sheets = makeSheets();
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE("t0" + std::to_string(n) + ".bmp");
        ASSERT_EQ(sheets[n].size(), QSize(128, 128));
        std::array<std::array<QRgb, 64>, 256> tiles;
        for (int t = 0; t < 256; ++t)
            for (int p = 0; p < 64; ++p)
                tiles[t][p] = sheets[n].pixel(8 * (t % 16) + p % 8, 8 * (t / 16) + p / 8);
        for (int a = 0; a < 256; ++a)
            for (int b = a + 1; b < 256; ++b) {
                int visible = 0;
                for (int p = 0; p < 64; ++p) {
                    const QRgb x = tiles[a][p], y = tiles[b][p];
                    visible += std::abs(qRed(x) - qRed(y)) + std::abs(qGreen(x) - qGreen(y)) +
                                   std::abs(qBlue(x) - qBlue(y)) >=
                               kVisibleStep;
                }
                EXPECT_GE(visible, kVisiblePixels) << "tiles " << a << " and " << b;
            }
    }
}

TEST_F(TileSheets, TileColoursFollowWhatTheTracksUseThemFor) {
    const auto sheets = makeSheets();
    ASSERT_EQ(sheets[kMarioCircuit].size(), QSize(128, 128));
    auto mean = [&sheets](int set, uint8_t t) { return meanColour(sheets[set], t); };

    // Mario Circuit reads at a glance: grey road, green grass, blue water,
    // red and white kerbs, a light and a dark start square, yellow boxes.
    const Colour road = mean(kMarioCircuit, tile::kRoad);
    EXPECT_LT(std::max({road.r, road.g, road.b}) - std::min({road.r, road.g, road.b}), 30);
    const Colour grass = mean(kMarioCircuit, tile::kOffroad);
    EXPECT_GT(grass.g, grass.r + 40);
    EXPECT_GT(grass.g, grass.b + 40);
    const Colour water = mean(kMarioCircuit, tile::kDeep);
    EXPECT_GT(water.b, water.r + 80);
    const Colour red = mean(kMarioCircuit, tile::kKerbA);
    EXPECT_GT(red.r, red.g + 100);
    EXPECT_GT(luminance(mean(kMarioCircuit, tile::kKerbB)), 220);
    EXPECT_GT(luminance(mean(kMarioCircuit, tile::kStartLight)) -
                  luminance(mean(kMarioCircuit, tile::kStartDark)),
              150);
    const Colour box = mean(kMarioCircuit, tile::kItemBox);
    EXPECT_GT(std::min(box.r, box.g), box.b + 60);
    const Colour lava = mean(kBowserCastle, tile::kDeep);
    EXPECT_GT(lava.r, lava.b + 100) << "Bowser Castle's deep ground is lava";
    const Colour ice = mean(kVanillaLake, tile::kRoad);
    EXPECT_GT(ice.b, ice.r + 20) << "Vanilla Lake's road is ice";

    // In every set the road stands out from what lies beside it.
    for (int set = 0; set < 8; ++set) {
        SCOPED_TRACE("tile set " + std::to_string(set));
        const Colour r = mean(set, tile::kRoad);
        for (uint8_t beside : {tile::kOffroad, tile::kDeep, tile::kBarrier, tile::kWall,
                               tile::kRough, tile::kSand, tile::kKerbA})
            EXPECT_GE(distance(r, mean(set, beside)), 45) << "tile " << int(beside);
    }
    // Each set has its own colours.
    for (int a = 0; a < 8; ++a)
        for (int b = a + 1; b < 8; ++b)
            EXPECT_GE(distance(mean(a, tile::kRoad), mean(b, tile::kRoad)) +
                          distance(mean(a, tile::kOffroad), mean(b, tile::kOffroad)),
                      45)
                << "sets " << a << " and " << b;
}

}  // namespace
