#include "core/history.h"

#include <gtest/gtest.h>

#include "core/edit_tools.h"
#include "support/document_access.h"
#include "support/editing_driver.h"

namespace korvale {
namespace {

using test::px;

class HistoryTest : public ::testing::Test, protected test::EditingDriver {
  protected:
    HistoryTest() {
        history = &document.history();
        original = document.map().cells();
    }

    void dragCarrierTo(int left, int top) {
        tools.pcarrier_MouseDown(kLeftButton, 0, 0);
        tools.pcarrier_MouseMove(kLeftButton, left - tools.carrier().left,
                                 top - tools.carrier().top);
        tools.pcarrier_MouseUp(kLeftButton, 0, 0);
    }

    History* history = nullptr;
    TrackMap::Cells original{};
};

TEST_F(HistoryTest, PaintStrokeIsOneStepAndRedoFollows) {
    tools.ctool_Click(kDrawTool);
    press(kLeftButton, 1, 1);
    move(kLeftButton, 2, 1);
    move(kLeftButton, 3, 1);
    move(kLeftButton, 2, 1);  // the same cell again keeps one change
    release(kLeftButton, 2, 1);
    press(kRightButton, 9, 9);
    release(kRightButton, 9, 9);
    ASSERT_EQ(history->undoCount(), 2u);
    EXPECT_EQ(history->undoName(), "Paint");

    const TrackMap::Cells painted = document.map().cells();
    DocumentTestAccess::setChanged(document, false);
    EXPECT_TRUE(tools.undo());
    EXPECT_EQ(cell(9, 9), pattern(9, 9));
    EXPECT_EQ(cell(3, 1), 0x11);
    EXPECT_TRUE(tools.undo());
    EXPECT_EQ(document.map().cells(), original);
    EXPECT_TRUE(document.changed());
    EXPECT_FALSE(tools.undo());

    EXPECT_TRUE(tools.redo());
    EXPECT_TRUE(tools.redo());
    EXPECT_EQ(document.map().cells(), painted);
    EXPECT_FALSE(history->canRedo());

    // A new edit after an undo forgets what could be redone.
    tools.undo();
    ASSERT_TRUE(history->canRedo());
    press(kLeftButton, 50, 50);
    release(kLeftButton, 50, 50);
    EXPECT_FALSE(history->canRedo());
    EXPECT_EQ(history->undoCount(), 2u);
}

TEST_F(HistoryTest, StepsThatChangeNothingAreNotKept) {
    tools.ctool_Click(kDrawTool);
    tools.setLeftTile(pattern(4, 4));
    press(kLeftButton, 4, 4);  // paints the tile already there
    release(kLeftButton, 4, 4);
    press(kMiddleButton, 5, 5);  // a pick
    release(kMiddleButton, 5, 5);
    // Painted and painted back within one stroke.
    tools.setLeftTile(0x11);
    press(kLeftButton, 6, 6);
    tools.setLeftTile(pattern(6, 6));
    move(kLeftButton, 6, 6);
    release(kLeftButton, 6, 6);
    EXPECT_EQ(history->undoCount(), 0u);
}

TEST_F(HistoryTest, StrokeStaysOpenUntilEveryButtonIsUp) {
    tools.ctool_Click(kDrawTool);
    press(kLeftButton, 1, 1);
    press(kRightButton, 1, 2);
    release(kLeftButton, 1, 2);
    EXPECT_TRUE(history->inStep());
    move(kRightButton, 1, 3);
    release(kRightButton, 1, 3);
    EXPECT_FALSE(history->inStep());
    EXPECT_EQ(history->undoCount(), 1u);

    // A release that never arrived: the next move without buttons closes it.
    press(kLeftButton, 7, 7);
    move(0, 8, 8);
    EXPECT_FALSE(history->inStep());
    EXPECT_EQ(history->undoCount(), 2u);

    // Undo in the middle of a stroke closes the stroke and undoes it.
    press(kLeftButton, 20, 20);
    EXPECT_FALSE(history->undo());
    EXPECT_TRUE(tools.undo());
    EXPECT_EQ(cell(20, 20), pattern(20, 20));
}

TEST_F(HistoryTest, UndoWhileFloatingPutsBackTheLiftAndRedoFloatsItAgain) {
    select(10, 10, 12, 11);
    ASSERT_TRUE(tools.blockfloat());
    EXPECT_EQ(history->undoName(), "Lift");
    dragCarrierTo(200, 304);
    const PixelRect moved = tools.carrier();
    ASSERT_EQ(moved.left, 200);

    EXPECT_TRUE(tools.undo());
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_FALSE(tools.clipEnabled(kClipCopy));
    EXPECT_EQ(document.map().cells(), original);

    EXPECT_TRUE(tools.redo());
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.carrier(), moved);
    EXPECT_EQ(cell(10, 10), 0xEE);
    EXPECT_TRUE(tools.clipEnabled(kClipCopy));
    // The block that floats again is the one lifted: drop it.
    press(kLeftButton, 0, 0);
    EXPECT_EQ(cell(25, 38), pattern(10, 10));
    EXPECT_EQ(cell(27, 39), pattern(12, 11));
}

TEST_F(HistoryTest, UndoOfADropFloatsTheBlockAgain) {
    select(3, 3, 4, 4);
    dragCarrierTo(80, 80);
    press(kLeftButton, 60, 60);
    release(kLeftButton, 60, 60);
    ASSERT_EQ(history->undoName(), "Drop");
    EXPECT_EQ(cell(10, 10), pattern(3, 3));

    EXPECT_TRUE(tools.undo());
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.carrier().left, 80);
    EXPECT_EQ(cell(10, 10), pattern(10, 10));
    EXPECT_EQ(cell(3, 3), 0xEE);

    EXPECT_TRUE(tools.redo());
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_EQ(cell(10, 10), pattern(3, 3));

    // Back to the start in two steps, nothing lost.
    tools.undo();
    tools.undo();
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_EQ(document.map().cells(), original);
}

TEST_F(HistoryTest, PasteCutAndDeleteAreSteps) {
    select(0, 0, 1, 0);
    tools.clip_Click(kClipCopy);
    tools.clip_Click(kClipPaste, 400, 400);  // drops the lifted block, floats the copy
    ASSERT_EQ(history->undoName(), "Paste");
    EXPECT_EQ(history->undoCount(), 2u);

    // Undo of the paste: the copy goes, the first block floats again.
    EXPECT_TRUE(tools.undo());
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.carrier().left, 0);
    EXPECT_EQ(cell(0, 0), 0xEE);
    EXPECT_TRUE(tools.redo());
    EXPECT_EQ(tools.carrier().left, 400);
    EXPECT_EQ(cell(0, 0), pattern(0, 0));

    tools.clip_Click(kClipCut);
    ASSERT_EQ(history->undoName(), "Cut");
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_TRUE(tools.undo());
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.carrier().left, 400);

    tools.run(EditCommand::Delete);
    EXPECT_EQ(history->undoName(), "Delete");
    EXPECT_FALSE(history->canRedo());
    EXPECT_TRUE(tools.undo());
    EXPECT_TRUE(tools.blockfloat());
    // Delete with nothing floating is no step.
    press(kLeftButton, 90, 90);
    release(kLeftButton, 90, 90);
    const size_t steps = history->undoCount();
    tools.run(EditCommand::Delete);
    EXPECT_EQ(history->undoCount(), steps);
}

TEST_F(HistoryTest, DocumentOperationsAndUnbracketedWritesAreSteps) {
    document.replaceTile(pattern(0, 0), 0xAB);
    document.newTrack(7);
    DocumentTestAccess::map(document).setCell(5, 5, 9);  // nobody bracketed this one
    ASSERT_EQ(history->undoCount(), 3u);
    EXPECT_EQ(history->undoName(), "Edit");

    EXPECT_TRUE(tools.undo());
    EXPECT_EQ(cell(5, 5), 7);
    EXPECT_EQ(history->undoName(), "New Track");
    EXPECT_TRUE(tools.undo());
    EXPECT_EQ(cell(0, 0), 0xAB);
    EXPECT_TRUE(tools.undo());
    EXPECT_EQ(document.map().cells(), original);
    EXPECT_EQ(history->redoName(), "Transform");
    EXPECT_TRUE(document.changed());
}

TEST_F(HistoryTest, NestedStepsCountOnce) {
    history->begin("Import Track");
    history->begin("inner");
    DocumentTestAccess::map(document).setCell(1, 1, 3);
    history->end();
    DocumentTestAccess::map(document).setCell(2, 1, 3);
    history->end();
    history->end();  // one too many: ignored
    EXPECT_EQ(history->undoCount(), 1u);
    EXPECT_EQ(history->undoName(), "Import Track");
}

TEST_F(HistoryTest, ClearForgetsEverything) {
    DocumentTestAccess::map(document).setCell(1, 1, 3);
    history->undo();
    DocumentTestAccess::map(document).setCell(1, 2, 3);
    history->undo();
    DocumentTestAccess::map(document).setCell(1, 3, 3);
    int told = 0;
    history->onChanged = [&] { ++told; };
    history->clear();
    EXPECT_EQ(told, 1);
    EXPECT_FALSE(history->canUndo());
    EXPECT_FALSE(history->canRedo());
    EXPECT_EQ(history->undoName(), "");
    EXPECT_FALSE(history->redo());
}

TEST_F(HistoryTest, TheCleanPointIsWhereTheMapWasSaved) {
    EXPECT_FALSE(history->isClean());  // nothing saved yet
    DocumentTestAccess::map(document).setCell(1, 1, 3);
    history->markClean();
    EXPECT_TRUE(history->isClean());
    DocumentTestAccess::map(document).setCell(1, 2, 3);
    EXPECT_FALSE(history->isClean());
    history->undo();
    EXPECT_TRUE(history->isClean());
    history->undo();
    EXPECT_FALSE(history->isClean());
    history->redo();
    EXPECT_TRUE(history->isClean());

    // A new step where the redo led back to it: the saved state is gone.
    history->undo();
    DocumentTestAccess::map(document).setCell(3, 3, 3);
    EXPECT_FALSE(history->isClean());
    history->undo();
    EXPECT_FALSE(history->isClean());
    history->markClean();
    history->clear();
    EXPECT_FALSE(history->isClean());
}

TEST_F(HistoryTest, KeepsTheLastThousandSteps) {
    const size_t total = History::kMaxSteps + 5;
    for (size_t i = 0; i < total; ++i) {
        const int x = static_cast<int>(i % 128), y = static_cast<int>(i / 128);
        DocumentTestAccess::map(document).setCell(x, y, static_cast<uint8_t>(cell(x, y) + 1));
    }
    EXPECT_EQ(history->undoCount(), History::kMaxSteps);
    while (history->undo()) {
    }
    EXPECT_EQ(history->redoCount(), History::kMaxSteps);
    // The five oldest are beyond reach; the rest are back.
    for (size_t i = 0; i < total; ++i) {
        const int x = static_cast<int>(i % 128), y = static_cast<int>(i / 128);
        const uint8_t expected = i < 5 ? static_cast<uint8_t>(pattern(x, y) + 1) : pattern(x, y);
        EXPECT_EQ(cell(x, y), expected) << i;
    }
}

}  // namespace
}  // namespace korvale
