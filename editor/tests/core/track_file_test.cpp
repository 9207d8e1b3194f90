#include "core/track_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_rom.h"

namespace korvale {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

TrackMap::Cells pattern() {
    TrackMap::Cells cells;
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<uint8_t>(i * 7 + i / 128);
    return cells;
}

Bytes trackFileBytes(const TrackMap::Cells& cells, uint8_t theme) {
    Bytes bytes(cells.begin(), cells.end());
    bytes.push_back(theme);
    return bytes;
}

TEST(TrackFile, ExportThenImportGivesBackMapAndTileSet) {
    test::TempDir dir;
    RomSession s;
    s.map.replace(pattern());
    s.setTileSet(6);
    ASSERT_TRUE(s.rom.changed);
    const std::string path = dir.file("track.mkt");
    ASSERT_TRUE(s.exportTrack(path).ok());
    EXPECT_FALSE(s.rom.changed);
    EXPECT_TRUE(test::readBytes(path) == trackFileBytes(pattern(), 12));

    // Exporting over an existing, longer file replaces it entirely.
    test::writeBytes(path, Bytes(20000, 0x11));
    ASSERT_TRUE(s.exportTrack(path).ok());
    EXPECT_EQ(fs::file_size(path), layout::kTrackFileSize);

    TrackFile back;
    ASSERT_TRUE(readTrackFile(test::binding(), path, back).ok());
    EXPECT_TRUE(back.cells == pattern());
    EXPECT_EQ(back.theme, 12);
}

TEST(TrackFile, ReadingTakesTheFirstBytesAndAcceptsAnOddTheme) {
    test::TempDir dir;
    const std::string path = dir.file("long.mkt");
    Bytes bytes = trackFileBytes(pattern(), 5);
    bytes.resize(bytes.size() + 300, 0xFF);
    test::writeBytes(path, bytes);
    TrackFile file;
    ASSERT_TRUE(readTrackFile(test::binding(), path, file).ok());
    EXPECT_TRUE(file.cells == pattern());
    EXPECT_EQ(file.theme, 5);
    // An odd byte names the set below it.
    RomSession s;
    s.setTileSet(file.theme >> 1);
    EXPECT_EQ(s.rom.curTheme, 4);
}

TEST(TrackFile, BadFilesAreRefusedAndLeaveTheTargetAlone) {
    test::TempDir dir;
    TrackFile untouched;
    untouched.cells.fill(0x44);
    untouched.theme = 2;
    auto expectUntouched = [&](const TrackFile& f) {
        EXPECT_TRUE(f.cells == untouched.cells);
        EXPECT_EQ(f.theme, 2);
    };

    const std::string shortPath = dir.file("short.mkt");
    test::writeBytes(shortPath, Bytes(layout::kTrackFileSize - 1, 0));
    TrackFile f = untouched;
    Outcome o = readTrackFile(test::binding(), shortPath, f);
    EXPECT_EQ(o.status, Status::BadTrackFile);
    EXPECT_EQ(o.detail, shortPath);
    expectUntouched(f);

    const std::string themePath = dir.file("theme.mkt");
    test::writeBytes(themePath, trackFileBytes(pattern(), 16));
    EXPECT_EQ(readTrackFile(test::binding(), themePath, f).status, Status::BadTrackFile);
    expectUntouched(f);
    test::writeBytes(themePath, trackFileBytes(pattern(), 15));
    EXPECT_TRUE(readTrackFile(test::binding(), themePath, f).ok());

    f = untouched;
    o = readTrackFile(test::binding(), dir.file("missing.mkt"), f);
    EXPECT_EQ(o.status, Status::CannotOpen);
    EXPECT_EQ(o.detail, dir.file("missing.mkt"));
    EXPECT_EQ(readTrackFile(test::binding(), dir.path().string(), f).status, Status::CannotOpen);
    expectUntouched(f);
}

TEST(TrackFile, AFileThatCannotBeWrittenKeepsChangesUnsaved) {
    test::TempDir dir;
    RomSession s;
    s.map.replace(pattern());
    s.setTileSet(1);

    // No such folder: the file cannot be created.
    const std::string nowhere = dir.file("no-folder/track.mkt");
    Outcome o = s.exportTrack(nowhere);
    EXPECT_EQ(o.status, Status::FileFailed);
    EXPECT_EQ(o.detail, nowhere);
    EXPECT_TRUE(s.rom.changed);

    // A folder in the file's place.
    EXPECT_EQ(s.exportTrack(dir.path().string()).status, Status::FileFailed);
    EXPECT_TRUE(s.rom.changed);

    // A file that opens but takes no bytes.
    test::UnwritableFile locked(Bytes{});
    ASSERT_TRUE(locked.valid());
    EXPECT_EQ(s.exportTrack(locked.path()).status, Status::FileFailed);
    EXPECT_TRUE(s.rom.changed);
    EXPECT_TRUE(test::readBytes(locked.path()).empty());
}

}  // namespace
}  // namespace korvale
