#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "zarni_compress.h"

#if defined(_WIN32)
#ifndef NOMINMAX  // MinGW's C++ headers define it already
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

using zt::Bytes;

namespace {

class FileAccess : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.file("rom.bin");
        Bytes content(64);
        for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i);
        zt::writeFile(path, content);
    }
    void TearDown() override { ZarniCloseFile(); }

    zt::TempDir dir;
    std::string path;
};

TEST_F(FileAccess, VersionIs112) {
    EXPECT_EQ(ZarniVersion(), 112u);
}

TEST_F(FileAccess, NothingWorksWithoutAnOpenFile) {
    uint8_t buf[4] = {};
    EXPECT_EQ(ZarniCloseFile(), 0u);
    EXPECT_EQ(ZarniGetFileSize(), 0u);
    EXPECT_EQ(ZarniReadFile(buf, 4, 0, 1), 0u);
    EXPECT_EQ(ZarniWriteFile(buf, 4, 0, 1), 0u);
}

// How a caller spells a file name for the library: in the ANSI code page on
// Windows, the system's bytes elsewhere. Empty when the code page cannot.
std::string eightBitName(const std::filesystem::path& file) {
#if defined(_WIN32)
    const std::wstring wide = file.wstring();
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr,
                                &lossy);
    if (n <= 0 || lossy) return {};
    std::string name(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, name.data(), n, nullptr,
                        nullptr);
    name.pop_back();
    return name;
#else
    return file.string();
#endif
}

TEST_F(FileAccess, OpensNamesWithSpacesAndLettersBeyondAscii) {
    const auto file = dir.path() / std::filesystem::path(u8"Räder und Gänge été.smc");
    std::ofstream(file, std::ios::binary) << "SNES";
    const std::string name = eightBitName(file);
    if (name.empty()) GTEST_SKIP() << "the ANSI code page cannot spell the name";
    ASSERT_EQ(ZarniOpenFile(name.c_str(), 1), 1u);
    EXPECT_EQ(ZarniGetFileSize(), 4u);
}

TEST_F(FileAccess, CloseTwiceReportsOnlyTheFirst) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
    EXPECT_EQ(ZarniCloseFile(), 1u);
    EXPECT_EQ(ZarniCloseFile(), 0u);
}

TEST_F(FileAccess, BadModeClosesTheOpenFileAndFails) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
    EXPECT_EQ(ZarniOpenFile(path.c_str(), 3), 0u);
    EXPECT_EQ(ZarniGetFileSize(), 0u);
    EXPECT_EQ(ZarniOpenFile(path.c_str(), 0xFFFFFFFFu), 0u);
    EXPECT_EQ(ZarniCloseFile(), 0u);
}

TEST_F(FileAccess, MissingFileOrNullNameFails) {
    EXPECT_EQ(ZarniOpenFile(dir.file("absent.bin").c_str(), 0), 0u);
    EXPECT_EQ(ZarniOpenFile(dir.file("absent.bin").c_str(), 1), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent.bin")));
    EXPECT_EQ(ZarniOpenFile(nullptr, 0), 0u);
    EXPECT_EQ(ZarniGetFileSize(), 0u);
}

TEST_F(FileAccess, ReadOnlyFileRefusesWritesButReads) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
    uint8_t junk[4] = {9, 9, 9, 9};
    EXPECT_EQ(ZarniWriteFile(junk, 4, 0, 1), 0u);
    uint8_t buf[4] = {};
    EXPECT_EQ(ZarniReadFile(buf, 4, 10, 1), 1u);
    EXPECT_EQ(buf[0], 10);
    EXPECT_EQ(buf[3], 13);
    ZarniCloseFile();
    EXPECT_EQ(zt::readFile(path)[0], 0);
}

TEST_F(FileAccess, ReadsWithoutSeekContinueWhereTheLastStopped) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
    uint8_t a[16], b[16];
    EXPECT_EQ(ZarniReadFile(a, 16, 0, 0), 1u);
    EXPECT_EQ(ZarniReadFile(b, 16, 0, 0), 1u);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[15], 15);
    EXPECT_EQ(b[0], 16);
    EXPECT_EQ(b[15], 31);
}

TEST_F(FileAccess, ReadPastTheEndKeepsUnreadBytes) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
    uint8_t buf[8];
    std::fill(std::begin(buf), std::end(buf), 0xEE);
    EXPECT_EQ(ZarniReadFile(buf, 8, 60, 1), 1u);
    EXPECT_EQ(buf[0], 60);
    EXPECT_EQ(buf[3], 63);
    EXPECT_EQ(buf[4], 0xEE);
    EXPECT_EQ(buf[7], 0xEE);
    // A later seek still reads normally.
    EXPECT_EQ(ZarniReadFile(buf, 1, 5, 1), 1u);
    EXPECT_EQ(buf[0], 5);
}

TEST_F(FileAccess, NullBuffersFail) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 1), 1u);
    EXPECT_EQ(ZarniReadFile(nullptr, 4, 0, 1), 0u);
    EXPECT_EQ(ZarniWriteFile(nullptr, 4, 0, 1), 0u);
}

TEST_F(FileAccess, ReadWriteModeKeepsContentsAndWritesInPlace) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 1), 1u);
    EXPECT_EQ(ZarniGetFileSize(), 64u);
    const uint8_t data[3] = {0xA1, 0xA2, 0xA3};
    EXPECT_EQ(ZarniWriteFile(data, 3, 8, 1), 1u);
    // Without seek the write goes on from where the last one stopped.
    EXPECT_EQ(ZarniWriteFile(data, 1, 0, 0), 1u);
    uint8_t back[5];
    EXPECT_EQ(ZarniReadFile(back, 5, 7, 1), 1u);
    EXPECT_EQ(back[0], 7);
    EXPECT_EQ(back[1], 0xA1);
    EXPECT_EQ(back[3], 0xA3);
    EXPECT_EQ(back[4], 0xA1);
    // Writing past the end grows the file.
    EXPECT_EQ(ZarniWriteFile(data, 3, 100, 1), 1u);
    EXPECT_EQ(ZarniGetFileSize(), 103u);
    EXPECT_EQ(ZarniCloseFile(), 1u);
    Bytes after = zt::readFile(path);
    ASSERT_EQ(after.size(), 103u);
    EXPECT_EQ(after[8], 0xA1);
    EXPECT_EQ(after[11], 0xA1);
    EXPECT_EQ(after[102], 0xA3);
}

TEST_F(FileAccess, CreateModeEmptiesAnExistingFile) {
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 2), 1u);
    EXPECT_EQ(ZarniGetFileSize(), 0u);
    ZarniCloseFile();
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(FileAccess, OpeningAnotherFileClosesTheFirst) {
    std::string second = dir.file("second.bin");
    zt::writeFile(second, Bytes(10, 1));
    ASSERT_EQ(ZarniOpenFile(path.c_str(), 1), 1u);
    const uint8_t v = 0x77;
    ZarniWriteFile(&v, 1, 0, 1);
    ASSERT_EQ(ZarniOpenFile(second.c_str(), 0), 1u);
    EXPECT_EQ(ZarniGetFileSize(), 10u);
    // The first file's buffered write reached the disk when it was closed.
    EXPECT_EQ(zt::readFile(path)[0], 0x77);
}

}  // namespace
