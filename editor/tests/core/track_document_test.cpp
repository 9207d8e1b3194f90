#include "core/track_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "core/hex.h"
#include "core/rom_layout.h"
#include "support/document_access.h"
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

std::string hex(uint32_t value) {
    return HexPad(static_cast<int32_t>(value), 1);
}

// Counts what a map's observers are told.
struct MapNotices : TrackMap::Observer {
    int cells = 0, replaced = 0, loaded = 0;
    void cellChanged(int, int, uint8_t, uint8_t) override { ++cells; }
    void mapReplaced(const TrackMap::Cells&) override { ++replaced; }
    void mapLoaded() override { ++loaded; }
};

// Runs the same cases on the headered image and on the same bytes without
// the copier header.
class DocumentTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        image = GetParam() ? test::romImage() : test::headerless(test::romImage());
        path = dir.file("game.smc");
        test::writeBytes(path, image);
    }
    uint32_t h() const { return GetParam() ? kHeader : 0; }

    void openOk(TrackDocument& d, const std::string& file) {
        const Outcome o = d.openRom(file, false);
        ASSERT_TRUE(o.ok()) << static_cast<int>(o.status) << " " << o.detail;
    }

    // The image under another title, its level 0 using track `level0Track`.
    std::string foreignImage(uint8_t level0Track) {
        Bytes foreign = image;
        const std::string other = "OTHER GAME           ";
        std::copy(other.begin(), other.end(), foreign.begin() + h() + layout::kInternalTitle);
        foreign[h() + layout::kLevelTrackTableA] = level0Track;
        const std::string foreignPath = dir.file("foreign.smc");
        test::writeBytes(foreignPath, foreign);
        return foreignPath;
    }

    void load(TrackDocument& d, int track) {
        const Outcome o = d.loadTrack(track);
        ASSERT_TRUE(o.ok()) << "track " << track << ": " << static_cast<int>(o.status);
    }

    test::TempDir dir;
    Bytes image;
    std::string path;
};

INSTANTIATE_TEST_SUITE_P(Images, DocumentTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Headered" : "Headerless"; });

TEST_P(DocumentTest, OpeningReadsTheTablesAndShowsLevelZerosTrack) {
    TrackDocument d;
    unsigned told = 0;
    int notices = 0;
    d.onChanged = [&](unsigned changes) {
        told = changes;
        ++notices;
    };
    openOk(d, path);
    EXPECT_EQ(d.rom().romFileName, path);
    EXPECT_EQ(d.rom().headerSize, h());
    for (int i = 0; i < layout::kLevelCount; ++i) {
        EXPECT_EQ(d.rom().levelTrack[i], test::expectedLevelTrack(i)) << "level " << i;
        EXPECT_EQ(d.rom().trackTheme[i], test::expectedTrackTheme(i)) << "track " << i;
        EXPECT_EQ(static_cast<uint32_t>(d.rom().trackOffset[i]), pointedOffset(image, h(), i));
    }
    const int track = test::expectedLevelTrack(0);
    EXPECT_EQ(d.rom().curTrack, track);
    EXPECT_EQ(d.rom().curLevel, 0);
    EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(track));
    EXPECT_TRUE(d.changed());
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(told, TrackDocument::kRomChanged | TrackDocument::kTrackChanged |
                        TrackDocument::kTileSetChanged | TrackDocument::kMapLoaded);
}

TEST_P(DocumentTest, EveryTrackLoadsAsDrawnAndLevelsKeepTheirNumber) {
    TrackDocument d;
    openOk(d, path);
    ASSERT_TRUE(d.loadLevel(5).ok());
    EXPECT_EQ(d.rom().curLevel, 5);
    EXPECT_EQ(d.rom().curTrack, test::expectedLevelTrack(5));
    for (int t = 0; t < layout::kTrackCount; ++t) {
        load(d, t);
        EXPECT_EQ(d.rom().curTrack, t);
        EXPECT_EQ(d.rom().curOffset, d.rom().trackOffset[t]);
        EXPECT_EQ(d.tileSet(), test::expectedTrackTheme(t) >> 1);
        EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(t)) << "track " << t;
    }
    EXPECT_EQ(d.rom().curLevel, 5);  // a track number is no level
    EXPECT_EQ(d.loadTrack(24).status, Status::BadTrackNumber);
    EXPECT_EQ(d.loadTrack(-1).status, Status::BadTrackNumber);
    EXPECT_EQ(d.rom().curTrack, 23);
}

TEST_P(DocumentTest, AnOffsetLoadsAsTrackZeroOfLevelZero) {
    TrackDocument d;
    openOk(d, path);
    ASSERT_TRUE(d.loadLevel(7).ok());
    ASSERT_TRUE(d.importFromOffset(" " + hex(d.rom().trackOffset[9]) + " ").ok());
    EXPECT_EQ(d.rom().curTrack, 0);
    EXPECT_EQ(d.rom().curLevel, 0);
    EXPECT_EQ(d.rom().curOffset, d.rom().trackOffset[9]);
    EXPECT_EQ(d.tileSet(), test::expectedTrackTheme(0) >> 1);
    EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(9));

    // No answer: track 0 from its own place.
    ASSERT_TRUE(d.importFromOffset("").ok());
    EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(0));

    // Beyond the image, or beyond any image: nothing changes.
    ASSERT_TRUE(d.loadLevel(3).ok());
    EXPECT_EQ(d.importFromOffset(hex(static_cast<uint32_t>(image.size()))).status,
              Status::CannotRead);
    const Outcome far = d.importFromOffset("80000000");
    EXPECT_EQ(far.status, Status::BadOffset);
    EXPECT_EQ(far.value, 0x80000000u);
    EXPECT_EQ(d.rom().curLevel, 3);
    EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(test::expectedLevelTrack(3)));
}

TEST_P(DocumentTest, AShortStreamKeepsTheRestOfTheMap) {
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

    TrackDocument d;
    openOk(d, path);
    d.newTrack(0x33);
    ASSERT_TRUE(d.importFromOffset(hex(at)).ok());
    for (size_t i = 0; i < layout::kMapCells; ++i)
        ASSERT_EQ(d.map().cells()[i], i < 100 ? 0x77 : 0x33) << "cell " << i;
}

// The second decode reads memory: with no byte writable anywhere (a full
// disk), loads still show the right track.
TEST_P(DocumentTest, LoadingWritesNoFileAtAll) {
    TrackDocument d;
    openOk(d, path);
    const int code = test::runUnderFileSizeLimit(0, [&] {
        const bool ok = d.loadTrack(3).ok() && d.map().cells() == test::expectedTrackMap(3);
        return ok ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

TEST_P(DocumentTest, AnUnreadableRomOrAMissingSheetChangesNothing) {
    TrackDocument d;
    openOk(d, path);
    load(d, 2);
    DocumentTestAccess::setChanged(d, false);
    const OpenRom before = d.rom();
    int notices = 0;
    d.onChanged = [&](unsigned) { ++notices; };
    auto expectUnchanged = [&] {
        EXPECT_EQ(d.rom().curTrack, 2);
        EXPECT_EQ(d.rom().curOffset, before.curOffset);
        EXPECT_EQ(d.rom().curTheme, before.curTheme);
        EXPECT_EQ(d.rom().trackOffset, before.trackOffset);
        EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(2));
        EXPECT_FALSE(d.changed());
        EXPECT_EQ(notices, 0);
    };

    // The tile sheet of the next track's set cannot be loaded.
    d.setTileSetLoader([](int, std::string* error) {
        *error = "no sheet";
        return false;
    });
    const Outcome sheet = d.loadTrack(4);
    EXPECT_EQ(sheet.status, Status::TileSetMissing);
    EXPECT_EQ(sheet.detail, "no sheet");
    EXPECT_EQ(d.setTileSet(5).status, Status::TileSetMissing);
    expectUnchanged();
    d.setTileSetLoader(nullptr);

    fs::remove(path);
    const Outcome o = d.loadTrack(4);
    EXPECT_EQ(o.status, Status::CannotOpen);
    EXPECT_EQ(o.detail, path);
    expectUnchanged();
}

TEST_P(DocumentTest, OpeningRefusesWhatIsNotThisGame) {
    TrackDocument d;
    openOk(d, path);
    load(d, 6);
    const OpenRom before = d.rom();
    auto expectUnchanged = [&] {
        EXPECT_EQ(d.rom().romFileName, before.romFileName);
        EXPECT_EQ(d.rom().headerSize, before.headerSize);
        EXPECT_EQ(d.rom().trackOffset, before.trackOffset);
        EXPECT_EQ(d.rom().levelTrack, before.levelTrack);
        EXPECT_EQ(d.rom().curTrack, 6);
        EXPECT_TRUE(d.map().cells() == test::expectedTrackMap(6));
    };

    // A size that is neither a whole number of KiB nor that plus a header.
    for (size_t extra : {1u, 100u, 511u, 513u}) {
        Bytes odd = image;
        odd.resize(odd.size() + extra, 0);
        const std::string oddPath = dir.file("odd.smc");
        test::writeBytes(oddPath, odd);
        EXPECT_EQ(d.openRom(oddPath, true).status, Status::NotARomImage) << extra;
        expectUnchanged();
    }

    // Too small for the tables.
    const std::string smallPath = dir.file("small.smc");
    test::writeBytes(smallPath, Bytes(image.begin(), image.begin() + h() + 0x10000));
    EXPECT_EQ(d.openRom(smallPath, true).status, Status::TooSmall);
    expectUnchanged();

    // Another title: refused unless the user accepts it.
    const std::string foreignPath = foreignImage(17);
    EXPECT_EQ(d.openRom(foreignPath, false).status, Status::ForeignTitle);
    expectUnchanged();
    ASSERT_TRUE(d.openRom(foreignPath, true).ok());
    EXPECT_EQ(d.rom().romFileName, foreignPath);
    EXPECT_EQ(d.rom().levelTrack[0], 17);
    EXPECT_EQ(d.rom().curTrack, 17);

    // Spaces do not matter in the title.
    Bytes spaced = image;
    const std::string title = "  SUPERMARIO  KART   ";
    std::copy(title.begin(), title.end(), spaced.begin() + h() + layout::kInternalTitle);
    const std::string spacedPath = dir.file("spaced.smc");
    test::writeBytes(spacedPath, spaced);
    EXPECT_TRUE(d.openRom(spacedPath, false).ok());

    EXPECT_EQ(d.openRom(dir.file("missing.smc"), true).status, Status::CannotOpen);
    EXPECT_EQ(d.openRom(dir.path().string(), true).status, Status::CannotOpen);
    EXPECT_EQ(d.rom().romFileName, spacedPath);
}

// Opening is one step: a file whose first level names no track leaves the
// previous ROM open with its own map, and a save goes into that ROM.
TEST_P(DocumentTest, AnOpenThatCannotShowLevelZeroKeepsThePreviousRom) {
    TrackDocument d;
    openOk(d, path);
    load(d, 8);
    d.DrawMap(4, 4, 0x5A);
    const OpenRom before = d.rom();
    const TrackMap::Cells edited = d.map().cells();
    const size_t steps = d.history().undoCount();
    int notices = 0;
    d.onChanged = [&](unsigned) { ++notices; };

    const std::string foreignPath = foreignImage(30);
    const Bytes foreign = test::readBytes(foreignPath);
    const Outcome o = d.openRom(foreignPath, true);
    EXPECT_EQ(o.status, Status::BadTrackNumber);
    EXPECT_EQ(o.value, 30u);
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(d.rom().romFileName, path);
    EXPECT_EQ(d.rom().levelTrack, before.levelTrack);
    EXPECT_EQ(d.rom().curTrack, 8);
    EXPECT_TRUE(d.map().cells() == edited);
    EXPECT_EQ(d.history().undoCount(), steps);
    EXPECT_TRUE(d.changed());

    ASSERT_TRUE(d.saveTrack("8").ok());
    EXPECT_TRUE(test::readBytes(foreignPath) == foreign);
    EXPECT_NE(pointedOffset(test::readBytes(path), h(), 8), pointedOffset(image, h(), 8));
}

TEST_P(DocumentTest, ASavedTrackLoadsBackAndASecondSaveGoesBehindIt) {
    TrackDocument d;
    openOk(d, path);
    load(d, 4);
    ASSERT_TRUE(d.setTileSet(5).ok());
    d.DrawMap(10, 20, 0xAB);
    d.DrawMap(127, 127, 0xCD);
    ASSERT_TRUE(d.changed());
    const TrackMap::Cells edited = d.map().cells();
    const Bytes stored = test::doubleCompress(edited);
    ASSERT_FALSE(stored.empty());

    const Outcome first = d.saveTrack("  0a ");
    ASSERT_TRUE(first.ok()) << static_cast<int>(first.status);
    const uint32_t a = first.value;
    EXPECT_GE(a, h() + layout::kSaveWindowStart);
    EXPECT_LE(a + stored.size(), h() + layout::kSaveWindowEnd);
    EXPECT_EQ(d.rom().curTrack, 10);
    EXPECT_EQ(d.rom().curOffset, static_cast<int32_t>(a));
    EXPECT_EQ(d.rom().trackOffset[10], static_cast<int32_t>(a));
    EXPECT_FALSE(d.changed());
    EXPECT_TRUE(d.map().cells() == edited);

    const Bytes after = test::readBytes(path);
    ASSERT_EQ(after.size(), h() + 0x200000u);  // grown to 16 megabits
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), after.begin() + a));
    EXPECT_EQ(pointedOffset(after, h(), 10), a);
    EXPECT_EQ(test::binding().SNEStoPC(test::binding().PCtoSNES(a, 2, h() != 0), 2, h() != 0), a);
    EXPECT_EQ(after[h() + layout::kTrackThemeTable + 10], 10);
    // In the image as it was, only track 10's pointer and theme byte and
    // the internal header's size byte changed: old data is never overwritten.
    const size_t pointer = h() + layout::kTrackPointerTable + 3 * 10;
    for (size_t i : test::differences(image, Bytes(after.begin(), after.begin() + image.size())))
        EXPECT_TRUE((i >= pointer && i < pointer + 3) || i == h() + layout::kTrackThemeTable + 10 ||
                    i == h() + 0xFFD7)
            << "byte " << i;

    load(d, 10);
    EXPECT_TRUE(d.map().cells() == edited);
    EXPECT_EQ(d.tileSet(), 5);

    const Outcome second = d.saveTrack("A");
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.value, a + stored.size());
    EXPECT_EQ(pointedOffset(test::readBytes(path), h(), 10), second.value);
}

TEST_P(DocumentTest, SmallestSavesAreNeverLongerAndLoadBackExactly) {
    TrackDocument d;
    openOk(d, path);
    d.setSaveEncoding(SaveEncoding::Smallest);
    for (int track : {0, 9, 21}) {
        load(d, track);
        const TrackMap::Cells cells = d.map().cells();
        const Outcome saved = d.saveTrack(HexPad(track, 2));
        ASSERT_TRUE(saved.ok()) << track;
        ZarniBinding& z = test::binding();
        ASSERT_TRUE(z.OpenFile(path, 0));
        std::vector<uint8_t> scratch(layout::kMapCells);
        uint32_t end = 0;
        z.Decompress(scratch.data(), saved.value, layout::kMapCells, 4, 0, &end);
        z.CloseFile();
        EXPECT_LE(end - saved.value, test::doubleCompress(cells).size()) << track;
        load(d, track);
        EXPECT_TRUE(d.map().cells() == cells) << track;
    }
}

// A save is no load: the edits before it can still be undone, and undoing
// one makes the map differ from the ROM again.
TEST_P(DocumentTest, SavingKeepsTheHistoryAndUndoMarksTheMapChanged) {
    TrackDocument d;
    openOk(d, path);
    load(d, 2);
    d.DrawMap(1, 1, 0x21);
    d.DrawMap(2, 2, 0x22);
    ASSERT_EQ(d.history().undoCount(), 2u);
    const TrackMap::Cells edited = d.map().cells();

    ASSERT_TRUE(d.saveTrack("2").ok());
    EXPECT_FALSE(d.changed());
    EXPECT_EQ(d.history().undoCount(), 2u);
    EXPECT_TRUE(d.map().cells() == edited);

    ASSERT_TRUE(d.undo());
    EXPECT_TRUE(d.changed());
    EXPECT_NE(d.map().at(2, 2), 0x22);
    EXPECT_EQ(d.map().at(1, 1), 0x21);
    ASSERT_TRUE(d.redo());
    EXPECT_FALSE(d.changed());  // back where the ROM is
    EXPECT_TRUE(d.map().cells() == edited);

    // Exporting marks its own clean point the same way.
    ASSERT_TRUE(d.undo());
    ASSERT_TRUE(d.exportTrack(dir.file("t.mkt")).ok());
    EXPECT_FALSE(d.changed());
    ASSERT_TRUE(d.redo());
    EXPECT_TRUE(d.changed());
}

// A load is not an edit: the map's observers hear of it once, the history
// forgets everything once, and the window is told once.
TEST_P(DocumentTest, ALoadResetsTheHistoryOnceAndAnnouncesItOnce) {
    TrackDocument d;
    openOk(d, path);
    d.DrawMap(3, 3, 0x44);
    ASSERT_TRUE(d.history().canUndo());
    MapNotices map;
    d.addMapObserver(&map);
    int historyNotices = 0;
    d.history().onChanged = [&] { ++historyNotices; };
    int notices = 0;
    d.onChanged = [&](unsigned changes) {
        ++notices;
        EXPECT_TRUE(changes & TrackDocument::kMapLoaded);
    };

    ASSERT_TRUE(d.loadLevel(1).ok());
    EXPECT_EQ(map.loaded, 1);
    EXPECT_EQ(map.replaced, 0);
    EXPECT_EQ(map.cells, 0);
    EXPECT_EQ(historyNotices, 1);
    EXPECT_FALSE(d.history().canUndo());
    EXPECT_FALSE(d.history().canRedo());
    EXPECT_EQ(notices, 1);
    d.removeMapObserver(&map);
}

TEST_P(DocumentTest, RefusedSavesWriteNothing) {
    TrackDocument d;
    openOk(d, path);
    load(d, 3);
    d.DrawMap(1, 1, 0x42);

    EXPECT_EQ(d.saveTrack("   ").status, Status::Cancelled);
    EXPECT_EQ(d.saveTrack("").status, Status::Cancelled);
    for (const char* answer : {"18", "ff", "100", "123456789"}) {
        const Outcome o = d.saveTrack(answer);
        EXPECT_EQ(o.status, Status::BadSaveNumber) << answer;
        EXPECT_EQ(d.rom().curTrack, 3) << answer;
    }
    EXPECT_EQ(d.saveTrack("18").value, 0x18u);

    DocumentTestAccess::map(d).replace(incompressibleMap());
    EXPECT_EQ(d.saveTrack("2").status, Status::CompressFailed);
    EXPECT_TRUE(d.changed());
    // Not even grown: nothing was opened for writing.
    EXPECT_TRUE(test::readBytes(path) == image);
}

TEST_P(DocumentTest, NoRoomOrNoWritingGivesNoSpaceAndLeavesTheFile) {
    // A file that refuses every write, whatever the user's rights.
    for (const Bytes& contents : {image, grown(image, h())}) {
        test::UnwritableFile locked(contents);
        ASSERT_TRUE(locked.valid());
        TrackDocument d;
        openOk(d, locked.path());
        load(d, 1);
        d.DrawMap(3, 3, 0x99);
        const Outcome o = d.saveTrack("5");
        EXPECT_EQ(o.status, Status::NoSpace) << contents.size();
        EXPECT_TRUE(d.changed());
        EXPECT_EQ(d.rom().curTrack, 5);
        EXPECT_TRUE(test::readBytes(locked.path()) == contents);
    }

    // A full save window.
    Bytes full = grown(image, h());
    std::fill(full.begin() + h() + layout::kSaveWindowStart, full.end(), 0xEE);
    test::writeBytes(path, full);
    TrackDocument d;
    openOk(d, path);
    load(d, 1);
    EXPECT_EQ(d.saveTrack("1").status, Status::NoSpace);
    EXPECT_EQ(d.rom().curOffset, 0);
    EXPECT_TRUE(test::readBytes(path) == full);

    // A file that has gone away.
    fs::remove(path);
    const Outcome gone = d.saveTrack("1");
    EXPECT_EQ(gone.status, Status::FileFailed);
    EXPECT_EQ(gone.reason, "the file no longer exists");
    EXPECT_FALSE(fs::exists(path));
}

TEST_P(DocumentTest, TheLevelTableWriteChangesExactlyItsBytes) {
    TrackDocument d;
    openOk(d, path);
    std::array<uint8_t, layout::kLevelCount> table{};
    for (int i = 0; i < layout::kLevelCount; ++i)
        table[i] = static_cast<uint8_t>((test::expectedLevelTrack(i) + 1) % 24);
    ASSERT_TRUE(d.writeLevelTable(table).ok());
    EXPECT_EQ(d.rom().levelTrack, table);

    std::vector<size_t> expected;
    for (uint32_t i = 0; i < 4; ++i) expected.push_back(h() + layout::kLevelTrackTableB + i);
    for (uint32_t i = 0; i < 20; ++i) expected.push_back(h() + layout::kLevelTrackTableA + i);
    EXPECT_EQ(test::differences(image, test::readBytes(path)), expected);

    // Writing fails: the record keeps what the file holds.
    test::UnwritableFile locked(image);
    ASSERT_TRUE(locked.valid());
    TrackDocument l;
    openOk(l, locked.path());
    EXPECT_EQ(l.writeLevelTable(table).status, Status::CannotWrite);
    EXPECT_NE(l.rom().levelTrack, table);
    fs::remove(path);
    EXPECT_EQ(d.writeLevelTable(table).status, Status::FileFailed);
}

// A child process saves under a file-size limit, as on a disk that fills up
// at that point; the image must then be exactly the old one or exactly the
// saved one, with no work file left beside it.
TEST_P(DocumentTest, ASaveThatRunsOutOfDiskLeavesTheOldImageWhole) {
    const std::string savedPath = dir.file("saved.smc");
    test::writeBytes(savedPath, image);
    auto editAndSave = [&](const std::string& file) {
        TrackDocument d;
        openOk(d, file);
        load(d, 2);
        d.DrawMap(10, 10, 0x42);
        return d.saveTrack("2");
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

TEST_P(DocumentTest, ALevelTableWriteThatRunsOutOfDiskChangesNothing) {
    std::array<uint8_t, layout::kLevelCount> table{};
    table.fill(7);
    for (uint64_t limit : {uint64_t{0}, uint64_t{image.size() - 1}}) {
        const int code = test::runUnderFileSizeLimit(limit, [&] {
            TrackDocument d;
            openOk(d, path);
            const auto before = d.rom().levelTrack;
            const Outcome o = d.writeLevelTable(table);
            return o.status == Status::FileFailed && d.rom().levelTrack == before ? 0 : 1;
        });
        EXPECT_EQ(code, 0) << "limit " << limit;
        EXPECT_TRUE(test::readBytes(path) == image) << "limit " << limit;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "limit " << limit;
    }
}

TEST_P(DocumentTest, AnImageChangedByAnotherProgramIsNotWrittenWithoutAsking) {
    TrackDocument d;
    openOk(d, path);
    load(d, 4);
    d.DrawMap(1, 1, 0x11);
    Bytes other = image;
    other.push_back(0);  // another program grew the file
    other.resize(other.size() + 1023, 0);
    test::writeBytes(path, other);

    EXPECT_EQ(d.saveTrack("4").status, Status::ChangedOnDisk);
    EXPECT_EQ(d.writeLevelTable(d.rom().levelTrack).status, Status::ChangedOnDisk);
    EXPECT_TRUE(test::readBytes(path) == other);
    EXPECT_TRUE(d.changed());
    EXPECT_TRUE(d.saveTrack("4", true).ok());
    // Our own save does not count as someone else's change.
    EXPECT_TRUE(d.writeLevelTable(d.rom().levelTrack).ok());
}

TEST_P(DocumentTest, FixChecksumRewritesOnlyThePairAndAsksAboutOthersChanges) {
    const size_t pairAt = h() + 0xFFDC;
    Bytes edited = image;
    edited[h() + 0x30000] ^= 0x5A;
    test::writeBytes(path, edited);
    TrackDocument d;
    openOk(d, path);
    RomChecksum before;
    ASSERT_TRUE(d.fixChecksum(before).ok());
    EXPECT_FALSE(before.matches());
    const Bytes fixed = test::readBytes(path);
    const auto after = readRomChecksum(fixed);
    ASSERT_TRUE(after && after->matches());
    EXPECT_EQ(after->stored, before.computed);
    for (size_t at : test::differences(edited, fixed)) EXPECT_TRUE(at >= pairAt && at < pairAt + 4);
    EXPECT_TRUE(d.changed());  // the map's state is not the checksum's business

    // Already right: nothing written, not even the same bytes again.
    const FileStamp stamp = fileStamp(path);
    ASSERT_TRUE(d.fixChecksum(before).ok());
    EXPECT_TRUE(before.matches());
    EXPECT_EQ(fileStamp(path), stamp);

    edited = fixed;
    edited[h() + 0x30001] ^= 0x01;
    edited.resize(edited.size() + 1024, 0);  // another program's change
    test::writeBytes(path, edited);
    EXPECT_EQ(d.fixChecksum(before).status, Status::ChangedOnDisk);
    EXPECT_TRUE(test::readBytes(path) == edited);
    ASSERT_TRUE(d.fixChecksum(before, true).ok());
    EXPECT_TRUE(readRomChecksum(test::readBytes(path))->matches());
}

TEST_P(DocumentTest, AChecksumFixThatRunsOutOfDiskChangesNothing) {
    Bytes edited = image;
    edited[h() + 0x30000] ^= 0x5A;
    test::writeBytes(path, edited);
    const int code = test::runUnderFileSizeLimit(edited.size() - 1, [&] {
        TrackDocument d;
        openOk(d, path);
        RomChecksum before;
        const Outcome o = d.fixChecksum(before);
        return o.status == Status::FileFailed && o.detail == path && !o.reason.empty() ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(test::readBytes(path) == edited);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST(DocumentFlags, EditsAndTileSetsMarkChanges) {
    TrackDocument d;
    d.DrawMap(128, 0, 7);
    d.DrawMap(-1, 5, 7);
    EXPECT_FALSE(d.changed());
    EXPECT_EQ(d.setTileSet(8).status, Status::Cancelled);
    EXPECT_FALSE(d.changed());
    d.DrawMap(127, 0, 7);
    EXPECT_TRUE(d.changed());
    EXPECT_EQ(d.map().GetMap(127, 0), 7);
    DocumentTestAccess::setChanged(d, false);
    ASSERT_TRUE(d.setTileSet(3).ok());
    EXPECT_EQ(d.rom().curTheme, 6);
    EXPECT_TRUE(d.changed());
    DocumentTestAccess::setChanged(d, false);
    d.newTrack(0x3A);
    EXPECT_FALSE(d.changed());
    EXPECT_EQ(d.map().GetMap(64, 64), 0x3A);

    // Swap and Transform: one step each, `changed` only when a cell changed.
    d.DrawMap(0, 0, 0x11);
    DocumentTestAccess::setChanged(d, false);
    d.replaceTile(0x99, 0x98);
    EXPECT_FALSE(d.changed());
    d.swapTiles(0x3A, 0x11);
    EXPECT_TRUE(d.changed());
    EXPECT_EQ(d.map().at(0, 0), 0x3A);
    EXPECT_EQ(d.map().at(5, 5), 0x11);
    EXPECT_EQ(d.history().undoName(), "Swap");
    d.replaceTile(0x11, 0x12);
    EXPECT_EQ(d.map().at(5, 5), 0x12);
    EXPECT_EQ(d.history().undoName(), "Transform");
}

TEST_P(DocumentTest, ThePageKeysStayWithinTheTracksAndLevels) {
    TrackDocument d;
    EXPECT_EQ(d.loadPage(PageCommand::NextTrack).status, Status::Cancelled);  // no ROM yet
    openOk(d, path);
    load(d, 23);
    EXPECT_EQ(d.loadPage(PageCommand::NextTrack).status, Status::Cancelled);
    ASSERT_TRUE(d.loadPage(PageCommand::PreviousTrack).ok());
    EXPECT_EQ(d.rom().curTrack, 22);
    ASSERT_TRUE(d.loadLevel(22).ok());
    ASSERT_TRUE(d.loadPage(PageCommand::NextLevel).ok());
    EXPECT_EQ(d.rom().curLevel, 23);
    EXPECT_EQ(d.rom().curTrack, test::expectedLevelTrack(23));
    EXPECT_EQ(d.loadPage(PageCommand::NextLevel).status, Status::Cancelled);
}
// The headerless copy is the same ROM: every write lands 512 bytes lower.
TEST(DocumentHeaders, SavesAndTableWritesMatchBetweenTheTwoLayouts) {
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
        TrackDocument s;
        ASSERT_TRUE(s.openRom(paths[i], false).ok());
        ASSERT_TRUE(s.loadTrack(12).ok());
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
TEST(DocumentFallbackImage, LevelsAndTracksAreNotMixedUp) {
    test::TempDir dir;
    const Bytes image = test::buildFallbackRom();
    for (const Bytes& contents : {image, test::headerless(image)}) {
        const std::string path = dir.file("fallback.smc");
        test::writeBytes(path, contents);
        TrackDocument s;
        ASSERT_TRUE(s.openRom(path, false).ok());
        for (int i = 0; i < layout::kLevelCount; ++i)
            EXPECT_EQ(s.rom().levelTrack[i], test::fallbackLevelTrack(i)) << "level " << i;
        EXPECT_EQ(s.rom().levelTrack[20], 3);
        for (int t = 0; t < layout::kTrackCount; ++t) {
            ASSERT_TRUE(s.loadTrack(t).ok());
            EXPECT_TRUE(s.map().cells() == test::fallbackTrackMap(t)) << "track " << t;
            EXPECT_EQ(s.tileSet(), test::fallbackTrackTheme(t) >> 1);
        }
    }
}

TEST(DocumentLibrary, AMissingLibraryStopsEveryOperationFirst) {
    test::TempDir dir;
    ZarniBinding missing(dir.file("no-such-library.so"));
    TrackDocument s(missing);
    const std::string path = dir.file("game.smc");
    test::writeBytes(path, test::romImage());
    const Outcome o = s.openRom(path, true);
    EXPECT_EQ(o.status, Status::LibraryMissing);
    EXPECT_NE(o.detail.find(ZarniBinding::libraryFileName()), std::string::npos) << o.detail;
    EXPECT_FALSE(s.rom().isOpen());

    DocumentTestAccess::rom(s).romFileName = path;
    EXPECT_EQ(s.loadTrack(0).status, Status::LibraryMissing);
    EXPECT_EQ(s.saveTrack("1").status, Status::LibraryMissing);
    EXPECT_EQ(s.rom().curTrack, 0);
    EXPECT_EQ(s.writeLevelTable({}).status, Status::LibraryMissing);
    EXPECT_TRUE(test::readBytes(path) == test::romImage());
}

}  // namespace
}  // namespace korvale
