#include "ui/tile_cache.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

// A program folder with the sheets wins over the installed data folder; the
// data folder serves an installed program; with neither, messages name the
// program's folder.
TEST(TileCache, SheetsBesideTheProgramComeFirstThenTheDataFolder) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath("bin"), share = prefix.filePath("share/korvale");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(share));

    EXPECT_EQ(korvale::TileCache::sheetFolder(bin), bin);
    touch(share + "/t00.bmp");
    EXPECT_EQ(korvale::TileCache::sheetFolder(bin), share);
    touch(bin + "/t00.bmp");
    EXPECT_EQ(korvale::TileCache::sheetFolder(bin), bin);
}

}  // namespace
