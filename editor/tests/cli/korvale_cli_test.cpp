// korvale-cli as a build script runs it, on copies of the demo ROM image.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "core/hex.h"
#include "core/open_rom.h"
#include "core/rom_checksum.h"
#include "support/test_rom.h"

namespace korvale {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

struct CliRun {
    int code = -1;
    std::string out;
};

CliRun cli(const std::string& args) {
    const std::string command = std::string(KORVALE_BIN_DIR) + "/korvale-cli " + args + " 2>&1";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

TEST(KorvaleCli, ExportEveryTrackThenRebuildTheRomFromTheFiles) {
    test::TempDir dir;
    const std::string rom = dir.file("game.smc");
    test::writeBytes(rom, test::romImage());
    const CliRun exported = cli("export-all " + quoted(rom) + " " + quoted(dir.file("tracks")));
    ASSERT_EQ(exported.code, 0) << exported.out;
    const Bytes track7 = test::readBytes(dir.file("tracks/track07.mkt"));
    ASSERT_EQ(track7.size(), layout::kTrackFileSize);
    EXPECT_TRUE(std::equal(track7.begin(), track7.end() - 1, test::expectedTrackMap(7).begin()));

    // Track 7's file saved as track 2: track 2 then decodes to track 7's map.
    const CliRun imported =
        cli("import " + quoted(rom) + " 2 " + quoted(dir.file("tracks/track07.mkt")));
    ASSERT_EQ(imported.code, 0) << imported.out;
    RomSession session;
    ASSERT_TRUE(session.openRom(rom, false).ok());
    LoadedTrack loaded;
    ASSERT_TRUE(session.readTrack(2, 0, loaded).ok());
    EXPECT_TRUE(loaded.cells == test::expectedTrackMap(7));
    EXPECT_EQ(imported.out, "0x" + HexPad(session.rom.trackOffset[2], 6) + "\n");
    EXPECT_EQ(session.rom.trackTheme[2], track7.back());
}

TEST(KorvaleCli, ChecksumFixRewritesOnlyTheFourChecksumBytes) {
    test::TempDir dir;
    const std::string rom = dir.file("game.smc");
    Bytes image = test::romImage();
    image[0x20000] ^= 0x5A;  // an edit the checksum does not know of
    test::writeBytes(rom, image);
    EXPECT_EQ(cli("checksum " + quoted(rom)).code, 1);
    ASSERT_EQ(cli("checksum --fix " + quoted(rom)).code, 0);
    const Bytes fixed = test::readBytes(rom);
    EXPECT_TRUE(readRomChecksum(fixed)->matches());
    const auto changed = test::differences(image, fixed);
    ASSERT_FALSE(changed.empty());
    for (size_t at : changed) EXPECT_TRUE(at >= 512 + 0xFFDC && at < 512 + 0xFFE0) << at;
}

TEST(KorvaleCli, FailuresSayWhyAndLeaveTheRomAsItWas) {
    test::TempDir dir;
    const std::string rom = dir.file("game.smc");
    test::writeBytes(rom, test::romImage());
    test::writeBytes(dir.file("short.mkt"), Bytes(100, 1));
    const CliRun badFile = cli("import " + quoted(rom) + " 1 " + quoted(dir.file("short.mkt")));
    EXPECT_EQ(badFile.code, 1);
    EXPECT_NE(badFile.out.find("korvale-cli: "), std::string::npos);
    EXPECT_NE(badFile.out.find("short.mkt is not a track file"), std::string::npos);

    const CliRun badTrack = cli("levels " + quoted(rom) + " --set 3 24");
    EXPECT_EQ(badTrack.code, 1);
    EXPECT_NE(badTrack.out.find("at most 23"), std::string::npos);
    EXPECT_EQ(cli("explode").out, "korvale-cli: unknown subcommand 'explode' (see --help)\n");
    EXPECT_TRUE(test::readBytes(rom) == test::romImage());
}

}  // namespace
}  // namespace korvale
