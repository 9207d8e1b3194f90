// The File menu's comforts: the checksum fix, the map as a picture, recent
// ROMs, dropping a ROM on the window, and what the next run remembers.
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "core/hex.h"
#include "core/rom_checksum.h"
#include "window_test_support.h"

namespace korvale {
namespace {

using test::q;

class FileMenuTest : public test::WindowFixture {
  protected:
    void SetUp() override { build(); }

    // Another copy of the demo ROM in the test's folder.
    QString copyOfRom(const std::string& name) {
        const std::string path = dir.file(name);
        test::writeBytes(path, test::romImage());
        return q(path);
    }

    void drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(200, 200);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropped);
        ASSERT_TRUE(dropped.isAccepted());
        // The file opens once the drop has ended.
        QApplication::processEvents();
    }
};

TEST_F(FileMenuTest, FixChecksumAsksFirstAndSaysWhatItDid) {
    EXPECT_FALSE(action("mFChecksum")->isEnabled());
    test::Bytes edited = test::romImage();
    edited[0x30200] ^= 0x5A;
    test::writeBytes(romPath.toStdString(), edited);
    openRom();
    ASSERT_TRUE(action("mFChecksum")->isEnabled());

    action("mFChecksum")->trigger();  // answered No
    ASSERT_EQ(prompter.questions.size(), 1);
    EXPECT_TRUE(prompter.questions.front().contains(QDir::toNativeSeparators(romPath)));
    EXPECT_TRUE(romBytes() == edited);
    EXPECT_TRUE(prompter.messages.isEmpty());

    prompter.yesNo = {Prompter::Answer::Yes, Prompter::Answer::Yes};
    action("mFChecksum")->trigger();
    const auto fixed = readRomChecksum(romBytes());
    ASSERT_TRUE(fixed && fixed->matches());
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_TRUE(
        prompter.messages.back().contains("was fixed: checksum " + q(HexPad(fixed->stored, 4))))
        << prompter.messages.back().toStdString();
    action("mFChecksum")->trigger();
    EXPECT_TRUE(prompter.messages.back().contains("already correct"));
}

TEST_F(FileMenuTest, ExportPictureWritesTheMapAsDrawnWithoutOverlays) {
    EXPECT_FALSE(action("mFPicture")->isEnabled());
    openRom();
    window->setZoom(2);
    window->mVGrid_Click(true);
    window->mVTileNumbers_Click(true);
    const QString path = q(dir.file("track.png"));
    prompter.files.push_back(path);
    action("mFPicture")->trigger();
    EXPECT_TRUE(prompter.messages.isEmpty());
    const QImage picture(path, "PNG");
    ASSERT_EQ(picture.size(), QSize(1024, 1024));
    EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB32),
              view()->image().convertToFormat(QImage::Format_RGB32));

    // A folder where the file should be: named in the message, nothing left behind.
    const QString folder = q(dir.file("taken.png"));
    ASSERT_TRUE(QDir().mkdir(folder));
    prompter.files.push_back(folder);
    action("mFPicture")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_TRUE(prompter.messages.front().contains(QDir::toNativeSeparators(folder)));
}

TEST_F(FileMenuTest, RecentRomsKeepTheLastEightNewestFirst) {
    EXPECT_FALSE(action("mFRecent")->isEnabled());
    QStringList opened;
    for (int i = 0; i < 10; ++i) {
        opened.prepend(copyOfRom("rom" + std::to_string(i) + ".smc"));
        ASSERT_TRUE(window->openRomFile(opened.front()));
    }
    EXPECT_EQ(window->recentRoms(), opened.mid(0, MainWindow::kRecentRoms));
    EXPECT_EQ(action("mFRecent0")->text(), "&1 " + QDir::toNativeSeparators(opened.front()));

    // Choosing one opens it and moves it to the top.
    document.markChanged();
    prompter.yesNo = {Prompter::Answer::No};
    action("mFRecent3")->trigger();
    EXPECT_EQ(q(document.rom().romFileName), opened.at(3));
    EXPECT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(window->recentRoms().front(), opened.at(3));

    // A file that is gone says so and leaves the list.
    const QString gone = window->recentRoms().at(1);
    ASSERT_TRUE(QFile::remove(gone));
    action("mFRecent1")->trigger();
    EXPECT_TRUE(prompter.messages.back().contains(QDir::toNativeSeparators(gone)));
    EXPECT_FALSE(window->recentRoms().contains(gone));
    EXPECT_EQ(window->recentRoms().size(), MainWindow::kRecentRoms - 1);
    EXPECT_EQ(q(document.rom().romFileName), opened.at(3));

    action("mFRecentClear")->trigger();
    EXPECT_TRUE(window->recentRoms().isEmpty());
    EXPECT_FALSE(action("mFRecent")->isEnabled());
}

TEST_F(FileMenuTest, DroppingARomOpensItAfterTheUnsavedChangesQuestion) {
    drop(romPath);
    ASSERT_TRUE(document.rom().isOpen());
    EXPECT_EQ(q(document.rom().romFileName), romPath);
    EXPECT_TRUE(window->windowTitle().contains("Track"));

    const QString other = copyOfRom("other.smc");
    prompter.yesNo = {Prompter::Answer::Yes};  // save first: nothing opens
    drop(other);
    EXPECT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(q(document.rom().romFileName), romPath);
    drop(other);
    EXPECT_EQ(q(document.rom().romFileName), other);
}

TEST_F(FileMenuTest, TheNextRunRestoresGeometryViewAndFolders) {
    openRom();
    window->setZoom(3);
    window->mVGrid_Click(true);
    window->resize(700, 560);
    const QString trackFile = q(dir.file("tracks/one.mkt"));
    ASSERT_TRUE(QDir().mkpath(q(dir.file("tracks"))));
    prompter.files.push_back(trackFile);
    action("mTE")->trigger();
    prompter.yesNo = {Prompter::Answer::No};
    window->close();
    window.reset();

    TrackDocument second;
    MainWindow::Options options;
    options.settingsFile = q(dir.file("settings.ini"));
    options.sheetFolder = QString(KORVALE_BIN_DIR);
    MainWindow next(second, prompter, options);
    EXPECT_EQ(next.size(), QSize(700, 560));
    EXPECT_EQ(next.zoom(), 3);
    EXPECT_TRUE(next.findChild<QAction*>("mVGrid")->isChecked());
    EXPECT_TRUE(next.mapView()->gridShown());
    EXPECT_EQ(next.recentRoms(), QStringList{romPath});

    const qsizetype asked = prompter.folders.size();
    next.mFO_Click();
    next.mTi_Click();
    ASSERT_EQ(prompter.folders.size(), asked + 2);
    EXPECT_EQ(prompter.folders.at(asked), QFileInfo(romPath).absolutePath());
    EXPECT_EQ(prompter.folders.at(asked + 1), trackFile);
}

}  // namespace
}  // namespace korvale

KORVALE_WIDGET_TEST_MAIN
