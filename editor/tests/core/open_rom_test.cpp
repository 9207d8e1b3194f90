#include "core/open_rom.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "core/rom_layout.h"
#include "support/file_limit.h"
#include "support/test_rom.h"

namespace korvale {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

constexpr uint32_t kHeader = layout::kCopierHeaderSize;

// Where pointer entry `track` of an image leads, as a file offset.
uint32_t pointedOffset(const Bytes& image, uint32_t h, int track) {
    const size_t at = h + layout::kTrackPointerTable + 3u * static_cast<uint32_t>(track);
    const uint32_t bus = image[at] | (image[at + 1] << 8) | (image[at + 2] << 16);
    return (bus & 0x3FFFFF) + h;
}

std::array<uint8_t, 3> pointerBytes(const Bytes& image, uint32_t h, int track) {
    const size_t at = h + layout::kTrackPointerTable + 3u * static_cast<uint32_t>(track);
    return {image[at], image[at + 1], image[at + 2]};
}

// A map the encoder cannot shrink: random bytes grow under format 4.
TrackMap::Cells incompressibleMap() {
    TrackMap::Cells cells;
    std::mt19937 rng(1234);
    for (auto& c : cells) c = static_cast<uint8_t>(rng());
    return cells;
}

// The ROM grown to 16 megabits, as a first save leaves it.
Bytes grown(Bytes image, uint32_t h) {
    image.resize(h + 0x200000, 0);
    return image;
}

// Runs the same cases on the headered image and on the same bytes without
// the copier header.
class RomSessionTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        image = GetParam() ? test::romImage() : test::headerless(test::romImage());
        path = dir.file("game.smc");
        test::writeBytes(path, image);
    }
    uint32_t h() const { return GetParam() ? kHeader : 0; }

    void openOk(RomSession& s, const std::string& file) {
        const Outcome o = s.openRom(file, false);
        ASSERT_TRUE(o.ok()) << static_cast<int>(o.status) << " " << o.detail;
    }

    LoadedTrack load(RomSession& s, int track) {
        LoadedTrack t;
        const Outcome o = s.readTrack(track, 0, t);
        EXPECT_TRUE(o.ok()) << "track " << track << ": " << static_cast<int>(o.status);
        return t;
    }

    test::TempDir dir;
    Bytes image;
    std::string path;
};

INSTANTIATE_TEST_SUITE_P(Images, RomSessionTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Headered" : "Headerless"; });

TEST_P(RomSessionTest, OpeningReadsTheTablesAndConvertsThePointers) {
    RomSession s;
    openOk(s, path);
    EXPECT_EQ(s.rom.romFileName, path);
    EXPECT_EQ(s.rom.headerSize, h());
    for (int i = 0; i < layout::kLevelCount; ++i) {
        EXPECT_EQ(s.rom.levelTrack[i], test::expectedLevelTrack(i)) << "level " << i;
        EXPECT_EQ(s.rom.trackTheme[i], test::expectedTrackTheme(i)) << "track " << i;
        EXPECT_EQ(static_cast<uint32_t>(s.rom.trackOffset[i]), pointedOffset(image, h(), i));
    }
    // Opening does not touch the shown track.
    EXPECT_FALSE(s.rom.changed);
    EXPECT_EQ(s.map.GetMap(5, 5), 0);
}

TEST_P(RomSessionTest, EveryTrackLoadsAsDrawn) {
    RomSession s;
    openOk(s, path);
    for (int t = 0; t < layout::kTrackCount; ++t) {
        const LoadedTrack loaded = load(s, t);
        EXPECT_EQ(loaded.track, t);
        EXPECT_EQ(loaded.offset, s.rom.trackOffset[t]);
        EXPECT_EQ(loaded.tileSet, test::expectedTrackTheme(t) >> 1);
        EXPECT_TRUE(loaded.cells == test::expectedTrackMap(t)) << "track " << t;
    }
    // Reading shows nothing; applying does.
    EXPECT_EQ(s.rom.curTrack, 0);
    EXPECT_EQ(s.map.GetMap(0, 0), 0);
    const LoadedTrack seven = load(s, 7);
    s.applyTrack(seven);
    EXPECT_EQ(s.rom.curTrack, 7);
    EXPECT_EQ(s.rom.curOffset, s.rom.trackOffset[7]);
    EXPECT_TRUE(s.map.cells() == test::expectedTrackMap(7));
}

TEST_P(RomSessionTest, AnOffsetLoadsAsTrackZeroAndOnlyPositiveOffsetsCount) {
    RomSession s;
    openOk(s, path);
    LoadedTrack t;
    ASSERT_TRUE(s.readTrack(5, s.rom.trackOffset[9], t).ok());
    EXPECT_EQ(t.track, 0);
    EXPECT_EQ(t.offset, s.rom.trackOffset[9]);
    EXPECT_EQ(t.tileSet, test::expectedTrackTheme(0) >> 1);
    EXPECT_TRUE(t.cells == test::expectedTrackMap(9));

    ASSERT_TRUE(s.readTrack(9, -1, t).ok());
    EXPECT_EQ(t.track, 9);
    EXPECT_TRUE(t.cells == test::expectedTrackMap(9));

    // A number from the table must fit the tables; with an offset it is not used.
    EXPECT_EQ(s.readTrack(24, 0, t).status, Status::BadTrackNumber);
    EXPECT_EQ(s.readTrack(-1, 0, t).status, Status::BadTrackNumber);
    EXPECT_TRUE(s.readTrack(200, s.rom.trackOffset[3], t).ok());
    // An offset beyond the image has nothing to decode.
    EXPECT_EQ(s.readTrack(0, static_cast<int32_t>(image.size()), t).status, Status::CannotRead);
}

TEST_P(RomSessionTest, AShortStreamKeepsTheRestOfTheMap) {
    // A stream that decodes to 100 bytes, stored twice compressed in unused space.
    Bytes payload(100, 0x77);
    ZarniBinding& z = test::binding();
    Bytes once(0x10000), twice(0x10000);
    const uint32_t l1 = z.Recompress(payload.data(), once.data(), 100, 0x10000, 4, 0);
    const uint32_t l2 = z.Recompress(once.data(), twice.data(), l1, 0x10000, 4, 0);
    ASSERT_GT(l1, 0u);
    ASSERT_GT(l2, 0u);
    const uint32_t at = h() + 0x7F000;
    std::copy_n(twice.begin(), l2, image.begin() + at);
    test::writeBytes(path, image);

    RomSession s;
    openOk(s, path);
    s.newTrack(0x33);
    LoadedTrack t;
    ASSERT_TRUE(s.readTrack(0, static_cast<int32_t>(at), t).ok());
    for (size_t i = 0; i < t.cells.size(); ++i)
        ASSERT_EQ(t.cells[i], i < 100 ? 0x77 : 0x33) << "cell " << i;
}

TEST_P(RomSessionTest, LoadingWritesNoFileAtAll) {
    // With no byte writable anywhere (a full temporary folder), loads still
    // show the right track.
    RomSession s;
    openOk(s, path);
    const int code = test::runUnderFileSizeLimit(0, [&] {
        LoadedTrack t;
        const bool ok = s.readTrack(3, 0, t).ok() && t.cells == test::expectedTrackMap(3);
        return ok ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

TEST_P(RomSessionTest, AnUnreadableRomChangesNothing) {
    RomSession s;
    openOk(s, path);
    s.applyTrack(load(s, 2));
    const OpenRom before = s.rom;
    fs::remove(path);
    LoadedTrack t;
    t.track = 99;
    const Outcome o = s.readTrack(4, 0, t);
    EXPECT_EQ(o.status, Status::CannotOpen);
    EXPECT_EQ(o.detail, path);
    EXPECT_EQ(t.track, 99);
    EXPECT_EQ(s.LoadTrackOffsetList().status, Status::CannotOpen);
    EXPECT_EQ(s.rom.trackOffset, before.trackOffset);
    EXPECT_EQ(s.rom.curTrack, 2);
    EXPECT_TRUE(s.map.cells() == test::expectedTrackMap(2));
}

TEST_P(RomSessionTest, OpeningRefusesWhatIsNotThisGame) {
    RomSession s;
    openOk(s, path);
    const OpenRom before = s.rom;
    auto expectUnchanged = [&] {
        EXPECT_EQ(s.rom.romFileName, before.romFileName);
        EXPECT_EQ(s.rom.headerSize, before.headerSize);
        EXPECT_EQ(s.rom.trackOffset, before.trackOffset);
        EXPECT_EQ(s.rom.levelTrack, before.levelTrack);
    };

    // A size that is neither a whole number of KiB nor that plus a header.
    for (size_t extra : {1u, 100u, 511u, 513u}) {
        Bytes odd = image;
        odd.resize(odd.size() + extra, 0);
        const std::string oddPath = dir.file("odd.smc");
        test::writeBytes(oddPath, odd);
        EXPECT_EQ(s.openRom(oddPath, true).status, Status::NotARomImage) << extra;
        expectUnchanged();
    }

    // Too small for the tables.
    const std::string smallPath = dir.file("small.smc");
    test::writeBytes(smallPath, Bytes(image.begin(), image.begin() + h() + 0x10000));
    EXPECT_EQ(s.openRom(smallPath, true).status, Status::TooSmall);
    expectUnchanged();

    // Another title: refused unless the user accepts it.
    Bytes foreign = image;
    const std::string other = "OTHER GAME           ";
    std::copy(other.begin(), other.end(), foreign.begin() + h() + layout::kInternalTitle);
    foreign[h() + layout::kLevelTrackTableA] = 17;
    const std::string foreignPath = dir.file("foreign.smc");
    test::writeBytes(foreignPath, foreign);
    EXPECT_EQ(s.openRom(foreignPath, false).status, Status::ForeignTitle);
    expectUnchanged();
    ASSERT_TRUE(s.openRom(foreignPath, true).ok());
    EXPECT_EQ(s.rom.romFileName, foreignPath);
    EXPECT_EQ(s.rom.levelTrack[0], 17);

    // Spaces do not matter in the title.
    Bytes spaced = image;
    const std::string title = "  SUPERMARIO  KART   ";
    std::copy(title.begin(), title.end(), spaced.begin() + h() + layout::kInternalTitle);
    const std::string spacedPath = dir.file("spaced.smc");
    test::writeBytes(spacedPath, spaced);
    EXPECT_TRUE(s.openRom(spacedPath, false).ok());

    EXPECT_EQ(s.openRom(dir.file("missing.smc"), true).status, Status::CannotOpen);
    EXPECT_EQ(s.openRom(dir.path().string(), true).status, Status::CannotOpen);
    EXPECT_EQ(s.rom.romFileName, spacedPath);
}

TEST_P(RomSessionTest, ASavedTrackLoadsBackAndASecondSaveGoesBehindIt) {
    RomSession s;
    openOk(s, path);
    s.applyTrack(load(s, 4));
    s.setTileSet(5);
    s.DrawMap(10, 20, 0xAB);
    s.DrawMap(127, 127, 0xCD);
    ASSERT_TRUE(s.rom.changed);
    const TrackMap::Cells edited = s.map.cells();
    const Bytes stored = test::doubleCompress(edited);
    ASSERT_FALSE(stored.empty());

    const Outcome first = s.saveTrack("  0a ");
    ASSERT_TRUE(first.ok()) << static_cast<int>(first.status);
    const uint32_t a = first.value;
    EXPECT_GE(a, h() + layout::kSaveWindowStart);
    EXPECT_LE(a + stored.size(), h() + layout::kSaveWindowEnd);
    EXPECT_EQ(s.rom.curTrack, 10);
    EXPECT_EQ(s.rom.curOffset, static_cast<int32_t>(a));
    EXPECT_FALSE(s.rom.changed);

    const Bytes after = test::readBytes(path);
    ASSERT_EQ(after.size(), h() + 0x200000u);  // grown to 16 megabits
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), after.begin() + a));
    EXPECT_EQ(pointedOffset(after, h(), 10), a);
    EXPECT_EQ(test::binding().SNEStoPC(test::binding().PCtoSNES(a, 2, h() != 0), 2, h() != 0), a);
    EXPECT_EQ(after[h() + layout::kTrackThemeTable + 10], 10);
    // Track 4, where the map came from, still leads to its old data.
    EXPECT_EQ(pointedOffset(after, h(), 4), pointedOffset(image, h(), 4));

    ASSERT_TRUE(s.LoadTrackOffsetList().ok());
    EXPECT_EQ(s.rom.trackOffset[10], static_cast<int32_t>(a));
    const LoadedTrack back = load(s, 10);
    EXPECT_TRUE(back.cells == edited);
    EXPECT_EQ(back.tileSet, 5);

    const Outcome second = s.saveTrack("A");
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.value, a + stored.size());
    EXPECT_EQ(pointedOffset(test::readBytes(path), h(), 10), second.value);
}

TEST_P(RomSessionTest, RefusedSavesWriteNothing) {
    RomSession s;
    openOk(s, path);
    s.applyTrack(load(s, 3));
    s.DrawMap(1, 1, 0x42);

    EXPECT_EQ(s.saveTrack("   ").status, Status::Cancelled);
    EXPECT_EQ(s.saveTrack("").status, Status::Cancelled);
    for (const char* answer : {"18", "ff", "100", "123456789"}) {
        const Outcome o = s.saveTrack(answer);
        EXPECT_EQ(o.status, Status::BadTrackNumber) << answer;
        EXPECT_EQ(s.rom.curTrack, 3) << answer;
    }
    EXPECT_EQ(s.saveTrack("18").value, 0x18u);

    s.map.replace(incompressibleMap());
    EXPECT_EQ(s.saveTrack("2").status, Status::CompressFailed);
    EXPECT_TRUE(s.rom.changed);
    // Not even grown: nothing was opened for writing.
    EXPECT_TRUE(test::readBytes(path) == image);
}

TEST_P(RomSessionTest, NoRoomOrNoWritingGivesNoSpaceAndLeavesTheFile) {
    // A file that refuses every write, whatever the user's rights.
    for (const Bytes& contents : {image, grown(image, h())}) {
        test::UnwritableFile locked(contents);
        ASSERT_TRUE(locked.valid());
        RomSession s;
        openOk(s, locked.path());
        s.applyTrack(load(s, 1));
        s.DrawMap(3, 3, 0x99);
        const Outcome o = s.saveTrack("5");
        EXPECT_EQ(o.status, Status::NoSpace) << contents.size();
        EXPECT_TRUE(s.rom.changed);
        EXPECT_EQ(s.rom.curTrack, 5);
        EXPECT_TRUE(test::readBytes(locked.path()) == contents);
    }

    // A full save window.
    Bytes full = grown(image, h());
    std::fill(full.begin() + h() + layout::kSaveWindowStart, full.end(), 0xEE);
    test::writeBytes(path, full);
    RomSession s;
    openOk(s, path);
    s.applyTrack(load(s, 1));
    EXPECT_EQ(s.saveTrack("1").status, Status::NoSpace);
    EXPECT_EQ(s.rom.curOffset, 0);
    EXPECT_TRUE(test::readBytes(path) == full);

    // A file that has gone away.
    fs::remove(path);
    const Outcome gone = s.saveTrack("1");
    EXPECT_EQ(gone.status, Status::FileFailed);
    EXPECT_EQ(gone.reason, "the file no longer exists");
    EXPECT_FALSE(fs::exists(path));
}

TEST_P(RomSessionTest, TheLevelTableWriteChangesExactlyItsBytes) {
    RomSession s;
    openOk(s, path);
    std::array<uint8_t, layout::kLevelCount> table{};
    for (int i = 0; i < layout::kLevelCount; ++i)
        table[i] = static_cast<uint8_t>((test::expectedLevelTrack(i) + 1) % 24);
    ASSERT_TRUE(s.writeLevelTable(table).ok());
    EXPECT_EQ(s.rom.levelTrack, table);

    std::vector<size_t> expected;
    for (uint32_t i = 0; i < 4; ++i) expected.push_back(h() + layout::kLevelTrackTableB + i);
    for (uint32_t i = 0; i < 20; ++i) expected.push_back(h() + layout::kLevelTrackTableA + i);
    EXPECT_EQ(test::differences(image, test::readBytes(path)), expected);

    // Writing fails: the record keeps what the file holds.
    test::UnwritableFile locked(image);
    ASSERT_TRUE(locked.valid());
    RomSession l;
    openOk(l, locked.path());
    EXPECT_EQ(l.writeLevelTable(table).status, Status::CannotWrite);
    EXPECT_NE(l.rom.levelTrack, table);
    fs::remove(path);
    EXPECT_EQ(s.writeLevelTable(table).status, Status::FileFailed);
}

// A child process saves under a file-size limit, as on a disk that fills up
// at that point; the image must then be exactly the old one or exactly the
// saved one, with no work file left beside it.
TEST_P(RomSessionTest, ASaveThatRunsOutOfDiskLeavesTheOldImageWhole) {
    const std::string savedPath = dir.file("saved.smc");
    test::writeBytes(savedPath, image);
    auto editAndSave = [&](const std::string& file) {
        RomSession s;
        openOk(s, file);
        s.applyTrack(load(s, 2));
        s.DrawMap(10, 10, 0x42);
        return s.saveTrack("2");
    };
    ASSERT_TRUE(editAndSave(savedPath).ok());
    const Bytes saved = test::readBytes(savedPath);
    fs::remove(savedPath);

    const uint64_t size = image.size();
    const uint64_t full = saved.size();
    for (uint64_t limit :
         {uint64_t{0}, size / 2, size - 1, size, size + 1, full / 2, full - 1, full}) {
        test::writeBytes(path, image);
        const int code = test::runUnderFileSizeLimit(limit, [&] {
            const Outcome o = editAndSave(path);
            if (o.ok()) return 0;
            return o.status == Status::FileFailed && o.reason.find("no space") == 0 ? 1 : 2;
        });
        const Bytes after = test::readBytes(path);
        EXPECT_EQ(code, limit >= full ? 0 : 1) << "limit " << limit;
        EXPECT_TRUE(after == (code == 0 ? saved : image)) << "limit " << limit;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "limit " << limit;
    }
}

TEST_P(RomSessionTest, ALevelTableWriteThatRunsOutOfDiskChangesNothing) {
    std::array<uint8_t, layout::kLevelCount> table{};
    table.fill(7);
    for (uint64_t limit : {uint64_t{0}, uint64_t{image.size() - 1}}) {
        const int code = test::runUnderFileSizeLimit(limit, [&] {
            RomSession s;
            openOk(s, path);
            const auto before = s.rom.levelTrack;
            const Outcome o = s.writeLevelTable(table);
            return o.status == Status::FileFailed && s.rom.levelTrack == before ? 0 : 1;
        });
        EXPECT_EQ(code, 0) << "limit " << limit;
        EXPECT_TRUE(test::readBytes(path) == image) << "limit " << limit;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "limit " << limit;
    }
}

TEST_P(RomSessionTest, AnImageChangedByAnotherProgramIsNotWrittenWithoutAsking) {
    RomSession s;
    openOk(s, path);
    s.applyTrack(load(s, 4));
    s.DrawMap(1, 1, 0x11);
    Bytes other = image;
    other.push_back(0);  // another program grew the file
    other.resize(other.size() + 1023, 0);
    test::writeBytes(path, other);

    EXPECT_EQ(s.saveTrack("4").status, Status::ChangedOnDisk);
    EXPECT_EQ(s.writeLevelTable(s.rom.levelTrack).status, Status::ChangedOnDisk);
    EXPECT_TRUE(test::readBytes(path) == other);
    EXPECT_TRUE(s.rom.changed);
    EXPECT_TRUE(s.saveTrack("4", true).ok());
    // Our own save does not count as someone else's change.
    EXPECT_TRUE(s.writeLevelTable(s.rom.levelTrack).ok());
}

TEST_P(RomSessionTest, DrawMapAndTileSetsMarkChanges) {
    RomSession s;
    s.DrawMap(128, 0, 7);
    s.DrawMap(-1, 5, 7);
    EXPECT_FALSE(s.rom.changed);
    s.setTileSet(8);
    EXPECT_FALSE(s.rom.changed);
    s.DrawMap(127, 0, 7);
    EXPECT_TRUE(s.rom.changed);
    EXPECT_EQ(s.map.GetMap(127, 0), 7);
    s.rom.changed = false;
    s.setTileSet(3);
    EXPECT_EQ(s.rom.curTheme, 6);
    EXPECT_TRUE(s.rom.changed);
    s.rom.changed = false;
    s.newTrack(0x3A);
    EXPECT_FALSE(s.rom.changed);
    EXPECT_EQ(s.map.GetMap(64, 64), 0x3A);
}

// The headerless copy is the same ROM: every write lands 512 bytes lower.
TEST(RomSessionHeaders, SavesAndTableWritesMatchBetweenTheTwoLayouts) {
    test::TempDir dir;
    const std::string withHeader = dir.file("a.smc");
    const std::string without = dir.file("b.smc");
    test::writeBytes(withHeader, test::romImage());
    test::writeBytes(without, test::headerless(test::romImage()));

    std::array<uint8_t, layout::kLevelCount> table{};
    table.fill(6);
    uint32_t offsets[2] = {};
    const std::string paths[2] = {withHeader, without};
    for (int i = 0; i < 2; ++i) {
        RomSession s;
        ASSERT_TRUE(s.openRom(paths[i], false).ok());
        LoadedTrack t;
        ASSERT_TRUE(s.readTrack(12, 0, t).ok());
        s.applyTrack(t);
        s.setTileSet(t.tileSet);
        s.DrawMap(64, 64, 0x5E);
        const Outcome o = s.saveTrack("C");
        ASSERT_TRUE(o.ok());
        offsets[i] = o.value;
        ASSERT_TRUE(s.writeLevelTable(table).ok());
    }
    EXPECT_EQ(offsets[1], offsets[0] - kHeader);
    const Bytes a = test::readBytes(withHeader);
    const Bytes b = test::readBytes(without);
    EXPECT_EQ(pointerBytes(a, kHeader, 12), pointerBytes(b, 0, 12));
    EXPECT_TRUE(test::headerless(a) == b);
}

// An image with another level table and other maps than the demo's: the
// level table's second part holds levels 20-23, and every track is its own.
TEST(RomSessionFallbackImage, LevelsAndTracksAreNotMixedUp) {
    test::TempDir dir;
    const Bytes image = test::buildFallbackRom();
    for (const Bytes& contents : {image, test::headerless(image)}) {
        const std::string path = dir.file("fallback.smc");
        test::writeBytes(path, contents);
        RomSession s;
        ASSERT_TRUE(s.openRom(path, false).ok());
        for (int i = 0; i < layout::kLevelCount; ++i)
            EXPECT_EQ(s.rom.levelTrack[i], test::fallbackLevelTrack(i)) << "level " << i;
        EXPECT_EQ(s.rom.levelTrack[20], 3);
        for (int t = 0; t < layout::kTrackCount; ++t) {
            LoadedTrack loaded;
            ASSERT_TRUE(s.readTrack(t, 0, loaded).ok());
            EXPECT_TRUE(loaded.cells == test::fallbackTrackMap(t)) << "track " << t;
            EXPECT_EQ(loaded.tileSet, test::fallbackTrackTheme(t) >> 1);
        }
    }
}

TEST(RomSessionLibrary, AMissingLibraryStopsEveryOperationFirst) {
    test::TempDir dir;
    ZarniBinding missing(dir.file("no-such-library.so"));
    RomSession s(missing);
    const std::string path = dir.file("game.smc");
    test::writeBytes(path, test::romImage());
    const Outcome o = s.openRom(path, true);
    EXPECT_EQ(o.status, Status::LibraryMissing);
    EXPECT_NE(o.detail.find(ZarniBinding::libraryFileName()), std::string::npos) << o.detail;
    EXPECT_FALSE(s.rom.isOpen());

    s.rom.romFileName = path;
    LoadedTrack t;
    EXPECT_EQ(s.readTrack(0, 0, t).status, Status::LibraryMissing);
    EXPECT_EQ(s.saveTrack("1").status, Status::LibraryMissing);
    EXPECT_EQ(s.rom.curTrack, 0);
    EXPECT_EQ(s.writeLevelTable({}).status, Status::LibraryMissing);
    EXPECT_TRUE(test::readBytes(path) == test::romImage());
}

}  // namespace
}  // namespace korvale
