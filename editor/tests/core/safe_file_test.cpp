#include "core/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/file_limit.h"
#include "support/test_rom.h"

namespace korvale {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

uint32_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(SafeFile, ReplacesTheWholeFileAndKeepsItsPermissions) {
    test::TempDir dir;
    const std::string path = dir.file("out.bin");
    test::writeBytes(path, Bytes(5000, 0x11));
    fs::permissions(path, fs::perms(0640));
    const Bytes fresh(300, 0x22);
    ASSERT_TRUE(writeFileAtomically(path, fresh.data(), fresh.size()).ok());
    EXPECT_EQ(test::readBytes(path), fresh);
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(SafeFile, AFullDiskLeavesTheOldFileAndNoWorkFile) {
    test::TempDir dir;
    const std::string path = dir.file("out.bin");
    const Bytes old(3000, 0x33);
    test::writeBytes(path, old);
    const Bytes fresh(20000, 0x44);
    for (uint64_t limit : {0u, 1u, 4096u, 19999u}) {
        const int code = test::runUnderFileSizeLimit(limit, [&] {
            const FileResult r = writeFileAtomically(path, fresh.data(), fresh.size());
            return r.fault == FileFault::NoSpace ? 0 : 1;
        });
        EXPECT_EQ(code, 0) << "limit " << limit;
        EXPECT_EQ(test::readBytes(path), old) << "limit " << limit;
        EXPECT_EQ(entriesIn(dir.path()), 1u) << "limit " << limit;
    }
}

TEST(SafeFile, AReadOnlyTargetIsRefusedBeforeAnyCopy) {
    test::TempDir dir;
    const std::string path = dir.file("rom.smc");
    test::writeBytes(path, Bytes(2048, 0x55));
    fs::permissions(path, fs::perms(0444));
    FileReplacement replacement;
    EXPECT_EQ(replacement.beginCopy(path).fault, FileFault::ReadOnly);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(SafeFile, AnAbandonedCopyLeavesTheTargetAsItWas) {
    test::TempDir dir;
    const std::string path = dir.file("rom.smc");
    const Bytes old(2048, 0x66);
    test::writeBytes(path, old);
    const FileStamp before = fileStamp(path);
    {
        FileReplacement replacement;
        ASSERT_TRUE(replacement.beginCopy(path).ok());
        EXPECT_EQ(test::readBytes(replacement.workPath()), old);
        test::writeBytes(replacement.workPath(), Bytes(10, 0));
    }
    EXPECT_EQ(test::readBytes(path), old);
    EXPECT_EQ(fileStamp(path), before);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace korvale
