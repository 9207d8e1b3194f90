#include "core/edit_tools.h"

#include <gtest/gtest.h>

#include "support/document_access.h"
#include "support/editing_driver.h"

namespace korvale {
namespace {

using test::px;

class EditToolsTest : public ::testing::Test, protected test::EditingDriver {
  protected:
    // Drags the floating picture: grab at (gx, gy) inside it, move the pointer
    // to map pixel (mx, my), release.
    void dragCarrier(double gx, double gy, double mx, double my) {
        tools.pcarrier_MouseDown(kLeftButton, gx, gy);
        const PixelRect& c = tools.carrier();
        tools.pcarrier_MouseMove(kLeftButton, mx - c.left, my - c.top);
        const PixelRect& d = tools.carrier();
        tools.pcarrier_MouseUp(kLeftButton, mx - d.left, my - d.top);
    }
};

TEST(CellOfTest, RoundsThenTruncatesTowardZero) {
    EXPECT_EQ(cellOf(0), 0);
    EXPECT_EQ(cellOf(7.4), 0);
    EXPECT_EQ(cellOf(7.6), 1);  // rounds to 8 first
    EXPECT_EQ(cellOf(1023), 127);
    EXPECT_EQ(cellOf(1024), 128);
    for (int p = -1; p >= -7; --p) EXPECT_EQ(cellOf(p), 0) << p;
    EXPECT_EQ(cellOf(-8), -1);
    EXPECT_EQ(cellOf(-7.6), -1);
}

TEST_F(EditToolsTest, StatusTextFollowsEveryPressAndMoveEvenOffTheMap) {
    tools.picture2_MouseDown(kRightButton, 1023, 1023);
    EXPECT_EQ(tools.statusText(), "X: 127, Y: 127");
    tools.picture2_MouseMove(0, 12 * 8, 5 * 8 + 7);
    EXPECT_EQ(tools.statusText(), "X: 12, Y: 5");
    tools.picture2_MouseMove(0, 1045, -20);
    EXPECT_EQ(tools.statusText(), "X: 130, Y: -2");
}

TEST_F(EditToolsTest, PointerPreviewOnlyInsideTheMap) {
    EXPECT_FALSE(tools.pointerTile().has_value());
    move(0, 3, 4);
    EXPECT_EQ(tools.pointerTile(), pattern(3, 4));
    tools.picture2_MouseMove(0, -9, 20);
    EXPECT_EQ(tools.pointerTile(), pattern(3, 4));
}

TEST_F(EditToolsTest, DrawToolPaintsWithEitherButtonAndDoesNotInterpolate) {
    tools.ctool_Click(kDrawTool);
    press(kLeftButton, 5, 5);
    EXPECT_EQ(cell(5, 5), 0x11);
    EXPECT_TRUE(document.changed());
    move(kLeftButton, 9, 5);  // a fast drag: cells 6 to 8 get no event
    release(kLeftButton, 9, 5);
    EXPECT_EQ(cell(9, 5), 0x11);
    for (int x = 6; x <= 8; ++x) EXPECT_EQ(cell(x, 5), pattern(x, 5));

    press(kRightButton, 20, 30);
    move(kRightButton, 20, 31);
    release(kRightButton, 20, 31);
    EXPECT_EQ(cell(20, 30), 0xEE);
    EXPECT_EQ(cell(20, 31), 0xEE);

    // Several buttons held: nothing.
    move(kLeftButton | kRightButton, 40, 40);
    EXPECT_EQ(cell(40, 40), pattern(40, 40));
}

TEST_F(EditToolsTest, DrawDragPastTheEdgesPaintsOnlyInsideTheMap) {
    tools.ctool_Click(kDrawTool);
    press(kLeftButton, 126, 4);
    move(kLeftButton, 127, 4);
    tools.picture2_MouseMove(kLeftButton, 130 * 8 + 3, px(4));
    EXPECT_EQ(tools.statusText(), "X: 130, Y: 4");
    // Column 130 of row 4 would be index 4 * 128 + 130, cell (2, 5), if the
    // write wrapped into the next row: only the two pressed cells changed.
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            EXPECT_EQ(cell(x, y), y == 4 && x >= 126 ? 0x11 : pattern(x, y)) << x << "," << y;
    EXPECT_EQ(tools.pointerTile(),
              pattern(127, 4));  // preview taken before painting, kept off the map
    release(kLeftButton, 130, 4);

    // Just above and left of the map still is row and column 0.
    DocumentTestAccess::map(document).replace(TrackMap::Cells{});
    tools.picture2_MouseDown(kLeftButton, -5, 40);
    EXPECT_EQ(cell(0, 5), 0x11);
    tools.picture2_MouseMove(kLeftButton, 40, -7);
    EXPECT_EQ(cell(5, 0), 0x11);
    tools.picture2_MouseMove(kLeftButton, 48, -8);
    EXPECT_EQ(tools.statusText(), "X: 6, Y: -1");
    EXPECT_EQ(cell(6, 0), 0);
    tools.picture2_MouseUp(kLeftButton, 48, -8);
}

TEST_F(EditToolsTest, MiddleButtonPicksIntoTheLeftTileOnly) {
    tools.ctool_Click(kDrawTool);
    press(kMiddleButton, 7, 8);
    EXPECT_EQ(tools.leftTile(), pattern(7, 8));
    move(kMiddleButton, 9, 8);
    release(kMiddleButton, 9, 8);
    EXPECT_EQ(tools.leftTile(), pattern(9, 8));
    EXPECT_EQ(tools.rightTile(), 0xEE);
    EXPECT_FALSE(document.changed());
    EXPECT_EQ(cell(7, 8), pattern(7, 8));
    EXPECT_EQ(cell(9, 8), pattern(9, 8));
}

TEST_F(EditToolsTest, SelectionCoversAnchorAndPointerCells) {
    press(kLeftButton, 10, 10);
    EXPECT_TRUE(tools.selectionVisible());
    EXPECT_EQ(tools.selection(), (PixelRect{80, 80, 8, 8}));
    move(kLeftButton, 7, 12);
    EXPECT_EQ(tools.selection(), (PixelRect{56, 80, 32, 24}));  // columns 7-10, rows 10-12
    release(kLeftButton, 7, 12);
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.blockx(), 7);
    EXPECT_EQ(tools.blocky(), 10);
    EXPECT_EQ(tools.blockw(), 4);
    EXPECT_EQ(tools.blockh(), 3);
    EXPECT_EQ(tools.blockbuf()[0], pattern(7, 10));
    EXPECT_EQ(tools.blockbuf()[3 + 128 * 2], pattern(10, 12));
    EXPECT_FALSE(tools.selectionVisible());
    EXPECT_EQ(tools.carrier(), (PixelRect{56, 80, 32, 24}));
    EXPECT_FALSE(tools.carrierPressed());
}

TEST_F(EditToolsTest, TheModeFollowsSelectionLiftDragDropAndPainting) {
    EXPECT_EQ(tools.mode(), ToolMode::Idle);
    press(kLeftButton, 4, 4);
    EXPECT_EQ(tools.mode(), ToolMode::Selecting);
    release(kLeftButton, 4, 4);
    EXPECT_EQ(tools.mode(), ToolMode::Floating);
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_FALSE(tools.carrierPressed());

    // Dragging lasts while any button is held on the block.
    tools.pcarrier_MouseDown(kLeftButton, 2, 2);
    tools.pcarrier_MouseDown(kRightButton, 2, 2);
    tools.pcarrier_MouseUp(kLeftButton, 2, 2);
    EXPECT_EQ(tools.mode(), ToolMode::Dragging);
    EXPECT_TRUE(tools.carrierPressed());
    EXPECT_TRUE(tools.blockfloat());
    tools.pcarrier_MouseUp(kRightButton, 2, 2);
    EXPECT_EQ(tools.mode(), ToolMode::Floating);

    // A draw-tool press drops the block, then paints until released.
    tools.ctool_Click(kDrawTool);
    press(kLeftButton, 10, 10);
    EXPECT_EQ(tools.mode(), ToolMode::Painting);
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_TRUE(tools.justdropped());
    release(kLeftButton, 10, 10);
    EXPECT_EQ(tools.mode(), ToolMode::Idle);
    EXPECT_TRUE(tools.justdropped());
    EXPECT_EQ(document.history().undoName(), "Paint");
}

TEST_F(EditToolsTest, OneCellLiftAndDropBack) {
    press(kLeftButton, 3, 3);
    release(kLeftButton, 3, 3);
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(cell(3, 3), 0xEE);
    EXPECT_TRUE(document.changed());
    EXPECT_TRUE(tools.clipEnabled(kClipCopy));
    EXPECT_TRUE(tools.clipEnabled(kClipCut));

    // The next press anywhere drops it where it floats and starts nothing.
    press(kLeftButton, 60, 60);
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_TRUE(tools.justdropped());
    EXPECT_FALSE(tools.selectionVisible());
    EXPECT_EQ(cell(3, 3), pattern(3, 3));
    EXPECT_TRUE(tools.clipEnabled(kClipCopy));  // a drop keeps copy and cut
    release(kLeftButton, 60, 60);
    EXPECT_FALSE(tools.justdropped());
    EXPECT_FALSE(tools.blockfloat());  // that release lifted nothing
    EXPECT_EQ(cell(60, 60), pattern(60, 60));
}

TEST_F(EditToolsTest, BottomRightCornerDropsBackCompletely) {
    select(125, 126, 127, 127);
    ASSERT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.blockw(), 3);
    EXPECT_EQ(tools.blockh(), 2);
    EXPECT_EQ(cell(127, 127), 0xEE);
    press(kLeftButton, 0, 0);
    release(kLeftButton, 0, 0);
    for (int y = 126; y <= 127; ++y)
        for (int x = 125; x <= 127; ++x) EXPECT_EQ(cell(x, y), pattern(x, y)) << x << "," << y;
}

TEST_F(EditToolsTest, DraggedBlockMovesInWholeCellsAndStaysOnTheMap) {
    select(0, 0, 19, 1);  // 20 cells wide
    ASSERT_EQ(tools.blockw(), 20);
    tools.pcarrier_MouseDown(kLeftButton, 13, 5);
    EXPECT_TRUE(tools.carrierPressed());
    EXPECT_EQ(tools.grabx(), 13);
    EXPECT_EQ(tools.graby(), 5);
    // 37 pixels right and 18 down: whole cells only.
    tools.pcarrier_MouseMove(kLeftButton, 13 + 37, 5 + 18);
    EXPECT_EQ(tools.carrier().left, 32);
    EXPECT_EQ(tools.carrier().top, 16);
    // Far beyond the right edge: the left edge stops at 1024 - 160.
    tools.pcarrier_MouseMove(kLeftButton, 2000, 5);
    EXPECT_EQ(tools.carrier().left, 864);
    EXPECT_EQ(tools.carrier().width, 160);
    tools.pcarrier_MouseMove(kLeftButton, -900, -900);
    EXPECT_EQ(tools.carrier().left, 0);
    EXPECT_EQ(tools.carrier().top, 0);
    // Only the left button drags.
    tools.pcarrier_MouseMove(kLeftButton | kRightButton, 400, 400);
    EXPECT_EQ(tools.carrier().left, 0);
    tools.pcarrier_MouseUp(kLeftButton, 0, 0);
    EXPECT_FALSE(tools.carrierPressed());
    EXPECT_TRUE(tools.blockfloat());

    dragCarrier(13, 5, 2000, 5 + 8 * 50);
    press(kRightButton, 0, 100);
    EXPECT_EQ(cell(108, 50), pattern(0, 0));
    EXPECT_EQ(cell(127, 51), pattern(19, 1));
    EXPECT_EQ(cell(0, 0), 0xEE);  // the source keeps the right-button tile
}

TEST_F(EditToolsTest, CarrierStaysPressedWhileAnyButtonIsHeld) {
    select(2, 2, 3, 3);
    tools.pcarrier_MouseDown(kLeftButton, 1, 1);
    tools.pcarrier_MouseDown(kRightButton, 1, 1);
    tools.pcarrier_MouseUp(kRightButton, 1, 1);
    EXPECT_TRUE(tools.carrierPressed());
    tools.pcarrier_MouseUp(kLeftButton, 1, 1);
    EXPECT_FALSE(tools.carrierPressed());
}

TEST_F(EditToolsTest, ReleaseLiftsTheLastRectangleWhateverTheButton) {
    // Before any selection there is nothing to lift.
    press(kRightButton, 5, 5);
    release(kRightButton, 5, 5);
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_EQ(cell(5, 5), pattern(5, 5));

    select(4, 4, 5, 5);
    press(kLeftButton, 90, 90);  // drop
    release(kLeftButton, 90, 90);
    // A right press starts no selection, but its release lifts the old rectangle.
    press(kRightButton, 90, 90);
    EXPECT_FALSE(tools.selectionVisible());
    release(kRightButton, 90, 90);
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.blockx(), 4);
    EXPECT_EQ(tools.blockw(), 2);
}

TEST_F(EditToolsTest, DropWithDrawToolPaintsAndLeavesJustDropped) {
    select(10, 10, 11, 11);
    tools.ctool_Click(kDrawTool);
    press(kLeftButton, 30, 30);
    EXPECT_EQ(cell(10, 10), pattern(10, 10));  // dropped back
    EXPECT_EQ(cell(30, 30), 0x11);             // and the pressed cell painted
    release(kLeftButton, 30, 30);
    EXPECT_TRUE(tools.justdropped());

    tools.ctool_Click(kSelectTool);
    press(kLeftButton, 50, 50);
    EXPECT_FALSE(tools.selectionVisible());
    release(kLeftButton, 50, 50);
    EXPECT_FALSE(tools.justdropped());
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_EQ(cell(50, 50), pattern(50, 50));

    select(50, 50, 50, 50);
    EXPECT_TRUE(tools.blockfloat());
}

TEST_F(EditToolsTest, CopyPressPaste) {
    select(20, 20, 22, 21);
    tools.clip_Click(kClipCopy);
    EXPECT_TRUE(tools.blockfloat());  // copy leaves it floating
    EXPECT_TRUE(tools.clipEnabled(kClipPaste));
    EXPECT_EQ(tools.clipw(), 3);
    EXPECT_EQ(tools.cliph(), 2);

    press(kLeftButton, 100, 100);
    release(kLeftButton, 100, 100);
    EXPECT_EQ(cell(20, 20), pattern(20, 20));

    tools.run(EditCommand::Paste, 37, 21);
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_FALSE(tools.justdropped());
    EXPECT_EQ(tools.curtool(), kSelectTool);
    EXPECT_EQ(tools.statusText(), "X: 0, Y: 0");
    EXPECT_EQ(tools.carrier(), (PixelRect{37, 21, 24, 16}));  // not rounded to cells
    EXPECT_FALSE(tools.clipEnabled(kClipCopy));               // as the press left it
    EXPECT_TRUE(tools.selectionVisible());  // the press started a selection on (0, 0)
    EXPECT_EQ(cell(4, 2), pattern(4, 2));   // pasting alone changes nothing

    press(kLeftButton, 100, 100);
    EXPECT_EQ(cell(4, 2), pattern(20, 20));  // 37 / 8 = 4, 21 / 8 = 2
    EXPECT_EQ(cell(6, 3), pattern(22, 21));
}

TEST_F(EditToolsTest, WholeMapLiftCopyPaste) {
    select(0, 0, 127, 127);
    ASSERT_TRUE(tools.blockfloat());
    EXPECT_EQ(tools.blockw(), 128);
    EXPECT_EQ(tools.blockh(), 128);
    EXPECT_EQ(cell(64, 64), 0xEE);
    // A whole-map block cannot move.
    tools.pcarrier_MouseDown(kLeftButton, 10, 10);
    tools.pcarrier_MouseMove(kLeftButton, 200, 300);
    EXPECT_EQ(tools.carrier().left, 0);
    EXPECT_EQ(tools.carrier().top, 0);
    tools.pcarrier_MouseUp(kLeftButton, 200, 300);

    tools.run(EditCommand::Copy);
    tools.run(EditCommand::Paste, 40, 16);  // drops the block, floats the copy
    EXPECT_EQ(cell(64, 64), pattern(64, 64));
    EXPECT_EQ(tools.carrier(), (PixelRect{40, 16, 1024, 1024}));
    EXPECT_EQ(tools.blockbuf(), tools.clipbuf());

    // Dropped hanging over the edge: the cells outside are skipped.
    press(kLeftButton, 0, 0);
    EXPECT_EQ(cell(5, 2), pattern(0, 0));
    EXPECT_EQ(cell(127, 127), pattern(122, 125));
    EXPECT_EQ(cell(4, 2), pattern(4, 2));
}

TEST_F(EditToolsTest, CutLeavesTheRightTileAndEnablesPaste) {
    select(8, 8, 9, 8);
    tools.run(EditCommand::Cut);
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_EQ(cell(8, 8), 0xEE);
    EXPECT_EQ(cell(9, 8), 0xEE);
    EXPECT_TRUE(tools.clipEnabled(kClipPaste));
    EXPECT_FALSE(tools.clipEnabled(kClipCopy));
    EXPECT_FALSE(tools.clipEnabled(kClipCut));
    EXPECT_EQ(tools.clipw(), 2);
    EXPECT_EQ(tools.clipbuf()[1], pattern(9, 8));
    EXPECT_EQ(tools.blockw(), 0);

    tools.run(EditCommand::Paste, 0, 0);
    press(kLeftButton, 50, 50);
    EXPECT_EQ(cell(0, 0), pattern(8, 8));
    EXPECT_EQ(cell(1, 0), pattern(9, 8));
}

TEST_F(EditToolsTest, DeleteWhileFloatingDiscardsTheBlock) {
    tools.ctool_Click(kSelectTool);
    select(30, 30, 31, 31);
    tools.run(EditCommand::Delete);
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_EQ(tools.blockw(), 0);
    press(kLeftButton, 0, 0);
    release(kLeftButton, 0, 0);
    for (int y = 30; y <= 31; ++y)
        for (int x = 30; x <= 31; ++x) EXPECT_EQ(cell(x, y), 0xEE);
    EXPECT_FALSE(tools.clipEnabled(kClipPaste));  // never copied
}

TEST_F(EditToolsTest, ResetToolsKeepsTheClipboardAndChoosesSelect) {
    select(1, 1, 2, 2);
    tools.clip_Click(kClipCopy);
    tools.ctool_Click(kDrawTool);
    tools.ResetTools();
    EXPECT_EQ(tools.curtool(), kSelectTool);
    EXPECT_FALSE(tools.blockfloat());
    EXPECT_FALSE(tools.selectionVisible());
    EXPECT_TRUE(tools.clipEnabled(kClipPaste));
    EXPECT_EQ(tools.clipw(), 2);
    // Ctrl+C after ResetTools does nothing, even though something was copied.
    select(10, 10, 10, 10);
    tools.ResetTools();
    tools.run(EditCommand::Copy);
    EXPECT_EQ(tools.clipw(), 2);
}

TEST_F(EditToolsTest, ClipboardCommandsObeyTheirButtons) {
    tools.run(EditCommand::Paste);  // nothing copied yet
    EXPECT_FALSE(tools.blockfloat());
    tools.run(EditCommand::Copy);
    EXPECT_FALSE(tools.clipEnabled(kClipPaste));

    select(1, 1, 2, 2);
    tools.run(EditCommand::SelectAll);
    EXPECT_TRUE(tools.blockfloat());
    EXPECT_FALSE(tools.clipEnabled(kClipNone));
    EXPECT_FALSE(tools.clipEnabled(kClipPaste));

    // A press that finds no block floating disables copy and cut.
    press(kLeftButton, 70, 70);  // drops: copy stays
    EXPECT_TRUE(tools.clipEnabled(kClipCopy));
    release(kLeftButton, 70, 70);
    press(kRightButton, 70, 70);
    EXPECT_FALSE(tools.clipEnabled(kClipCopy));
    EXPECT_FALSE(tools.clipEnabled(kClipCut));
    release(kRightButton, 70, 70);
}

TEST_F(EditToolsTest, ViewIsToldOfEveryChange) {
    int calls = 0;
    tools.onStateChanged = [&] { ++calls; };
    select(2, 2, 3, 3);
    EXPECT_EQ(calls, 3);
    tools.pcarrier_MouseDown(kLeftButton, 1, 1);
    tools.pcarrier_MouseMove(kLeftButton, 20, 20);
    tools.pcarrier_MouseUp(kLeftButton, 20, 20);
    EXPECT_EQ(calls, 6);
    tools.run(EditCommand::Delete);
    tools.setLeftTile(3);
    EXPECT_EQ(calls, 8);
}

}  // namespace
}  // namespace korvale
