#include "ui/level_management.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "core/rom_layout.h"
#include "palette_test_support.h"
#include "support/document_access.h"
#include "support/scripted_prompter.h"
#include "support/test_rom.h"

namespace korvale {
namespace {

constexpr size_t kHeader = layout::kCopierHeaderSize;

size_t tablePlace(int level) {
    return kHeader + (level < 20 ? layout::kLevelTrackTableA + static_cast<uint32_t>(level)
                                 : layout::kLevelTrackTableB + static_cast<uint32_t>(level - 20));
}

class LevelManagementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        image = test::romImage();
        ASSERT_GT(image.size(), tablePlace(19));
        // Known entries: level 5 uses track 10, level 21 track 3, level 2 an
        // entry beyond the last track, as a damaged or foreign table may hold.
        image[tablePlace(5)] = 10;
        image[tablePlace(21)] = 3;
        image[tablePlace(2)] = 30;
        path = dir.file("rom.smc");
        test::writeBytes(path, image);
        ASSERT_TRUE(document.openRom(path, true).ok());
    }

    void open(int level) {
        DocumentTestAccess::rom(document).curLevel = static_cast<uint8_t>(level);
        window = std::make_unique<LevelManagement>(document, prompter);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        list = window->findChild<QComboBox*>("lTrackList");
        bar = window->findChild<QScrollBar*>("hsNum");
        number = window->findChild<QLabel*>("Label2");
        ASSERT_TRUE(list && bar && number);
    }

    // What a user does: pick the level from the list, nudge the bar with the keyboard.
    void selectLevel(int level) {
        list->setFocus();
        while (list->currentIndex() < level) QTest::keyClick(list, Qt::Key_Down);
        while (list->currentIndex() > level) QTest::keyClick(list, Qt::Key_Up);
    }
    void nudge(int steps) {
        bar->setFocus();
        for (int i = 0; i < std::abs(steps); ++i)
            QTest::keyClick(bar, steps > 0 ? Qt::Key_Right : Qt::Key_Left);
    }
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QPushButton*>(name), Qt::LeftButton);
    }

    test::TempDir dir;
    test::Bytes image;
    std::string path;
    TrackDocument document;
    ScriptedPrompter prompter;
    std::unique_ptr<LevelManagement> window;
    QComboBox* list = nullptr;
    QScrollBar* bar = nullptr;
    QLabel* number = nullptr;
};

TEST_F(LevelManagementTest, OpensOnTheLevelLastChosen) {
    open(5);
    EXPECT_EQ(window->objectName(), "frmTrackNums");
    EXPECT_EQ(window->windowTitle(), "Level Management");
    EXPECT_EQ(window->findChild<QLabel*>("Label1")->text(),
              "Use Track/AI/Sprite Data of Track Number:");
    EXPECT_EQ(window->findChild<QPushButton*>("cmdSave")->text(), "Save Changes");
    EXPECT_EQ(window->findChild<QPushButton*>("Command1")->text(), "Cancel");

    ASSERT_EQ(list->count(), 24);
    EXPECT_EQ(list->itemText(0), "Mario Circuit 1");
    EXPECT_EQ(list->itemText(19), "Rainbow Road");
    EXPECT_EQ(list->itemText(23), "Battle Course 4");
    EXPECT_EQ(list->currentIndex(), 5);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 23);
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(number->text(), "0A");

    // Tab goes list, bar, Save, Cancel.
    QWidget* save = window->findChild<QWidget*>("cmdSave");
    QWidget* cancel = window->findChild<QWidget*>("Command1");
    list->setFocus();
    QWidget* order[] = {bar, save, cancel};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(LevelManagementTest, EditsLiveInTheWorkingCopyUntilSaved) {
    open(5);
    nudge(+1);
    EXPECT_EQ(bar->value(), 11);
    EXPECT_EQ(number->text(), "0B");

    selectLevel(21);
    EXPECT_EQ(bar->value(), 3);
    EXPECT_EQ(number->text(), "03");
    nudge(-2);
    selectLevel(5);
    EXPECT_EQ(bar->value(), 11);
    selectLevel(21);
    EXPECT_EQ(bar->value(), 1);

    EXPECT_EQ(window->workingCopy()[5], 11);
    EXPECT_EQ(window->workingCopy()[21], 1);
    EXPECT_EQ(document.rom().levelTrack[5], 10);  // nothing saved yet
    EXPECT_EQ(test::readBytes(path), image);
}

TEST_F(LevelManagementTest, SaveWritesExactlyTheLevelTable) {
    open(5);
    nudge(+1);  // level 5: 10 -> 11
    selectLevel(21);
    nudge(+4);  // level 21: 3 -> 7
    QSignalSpy finished(window.get(), &LevelManagement::finished);

    click("cmdSave");
    EXPECT_EQ(prompter.messages, QStringList{"Track List Saved!"});
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(window->isVisible());

    const test::Bytes after = test::readBytes(path);
    std::vector<size_t> expected = {tablePlace(21), tablePlace(5)};  // in file order
    EXPECT_EQ(test::differences(image, after), expected);
    EXPECT_EQ(after[tablePlace(5)], 11);
    EXPECT_EQ(after[tablePlace(21)], 7);
    // Read back into the record; the out-of-range entry was left alone.
    EXPECT_EQ(document.rom().levelTrack[5], 11);
    EXPECT_EQ(document.rom().levelTrack[21], 7);
    EXPECT_EQ(after[tablePlace(2)], 30);
}

TEST_F(LevelManagementTest, AnEntryBeyondTheLastTrackIsKeptUnlessTheBarMoves) {
    open(2);
    EXPECT_EQ(bar->value(), 23);
    EXPECT_EQ(number->text(), "1E");
    EXPECT_EQ(window->workingCopy()[2], 30);

    selectLevel(3);
    selectLevel(2);
    EXPECT_EQ(window->workingCopy()[2], 30);

    nudge(-1);
    EXPECT_EQ(window->workingCopy()[2], 22);
    EXPECT_EQ(number->text(), "16");
}

TEST_F(LevelManagementTest, SaveToAnUnwritableFileKeepsTheWindowOpen) {
    // Tests run as root, which writes through any permission bits. A sealed
    // memory file opens for reading and writing, yet the kernel refuses every
    // write to it, for root too.
    test::UnwritableFile locked(image);
    ASSERT_TRUE(locked.valid());
    ASSERT_TRUE(document.openRom(locked.path(), true).ok());
    open(5);
    nudge(+1);
    QSignalSpy finished(window.get(), &LevelManagement::finished);

    click("cmdSave");
    EXPECT_EQ(prompter.messages,
              QStringList{"Could not write to file, check that it is not Read-Only."});
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->workingCopy()[5], 11);
    EXPECT_EQ(bar->value(), 11);
    EXPECT_EQ(test::readBytes(locked.path()), image);
}

TEST_F(LevelManagementTest, CancelLeavesTheRomAndReopensWithTheOldTable) {
    open(5);
    nudge(+3);
    QSignalSpy finished(window.get(), &LevelManagement::finished);

    click("Command1");
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(test::readBytes(path), image);
    EXPECT_EQ(document.rom().levelTrack[5], 10);

    // Shown again, the window starts from the table, not the cancelled edit.
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->workingCopy()[5], 10);
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(number->text(), "0A");
}

}  // namespace
}  // namespace korvale

int main(int argc, char** argv) {
    return korvale::test::runWidgetTests(argc, argv);
}
