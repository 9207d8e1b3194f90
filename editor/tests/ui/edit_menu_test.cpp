// The Edit menu: undo and redo through the menu actions and their keys, the
// captions naming the step, and the map and its picture following.
#include <QMenuBar>

#include "support/document_access.h"
#include "window_test_support.h"

namespace korvale {
namespace {

using test::cellShows;

QPoint cellCentre(int x, int y) {
    return {8 * x + 3, 8 * y + 4};
}

class EditMenuTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        build(Sheets::Flat);
        openRom();
        // Shortcuts act in the active window only.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        DocumentTestAccess::setChanged(document, false);
    }
    EditTools& tools() { return window->tools(); }
    QAction* undo() { return action("mEUndo"); }
    QAction* redo() { return action("mERedo"); }
    bool shows(int x, int y, uint8_t tile) {
        return cellShows(*view(), window->tiles(), x, y, tile);
    }
    void paint(int x, int y, uint8_t tile) {
        window->palette()->ctool_Click(kDrawTool);
        tools().setLeftTile(tile);
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(x, y));
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers) { QTest::keyClick(view(), k, modifiers); }
};

TEST_F(EditMenuTest, SitsBetweenFileAndTrackAndStartsWithNothingToUndo) {
    QStringList menus;
    for (QAction* a : window->menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Edit", "&Track", "&View"}));

    EXPECT_EQ(undo()->text(), "&Undo");
    EXPECT_EQ(redo()->text(), "&Redo");
    EXPECT_FALSE(undo()->isEnabled());
    EXPECT_FALSE(redo()->isEnabled());
    EXPECT_EQ(undo()->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Z")}));
    EXPECT_EQ(redo()->shortcuts(),
              QList<QKeySequence>({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")}));
}

TEST_F(EditMenuTest, TheKeysUndoAndRedoOneStrokeAtATime) {
    const TrackMap::Cells start = document.map().cells();
    paint(12, 5, 0x11);
    const TrackMap::Cells one = document.map().cells();
    paint(13, 5, 0x22);
    const TrackMap::Cells two = document.map().cells();
    ASSERT_NE(one, start);
    ASSERT_NE(two, one);
    EXPECT_EQ(undo()->text(), "&Undo Paint");
    EXPECT_TRUE(undo()->isEnabled());
    EXPECT_FALSE(redo()->isEnabled());

    // One key press, one step: the second stroke goes, the first stays.
    DocumentTestAccess::setChanged(document, false);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document.map().cells(), one);
    EXPECT_TRUE(shows(13, 5, start[5 * 128 + 13]));
    EXPECT_TRUE(document.changed());
    EXPECT_EQ(redo()->text(), "&Redo Paint");
    EXPECT_TRUE(redo()->isEnabled());

    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document.map().cells(), start);
    EXPECT_TRUE(shows(12, 5, start[5 * 128 + 12]));
    EXPECT_FALSE(undo()->isEnabled());
    EXPECT_EQ(undo()->text(), "&Undo");
    // Nothing left: a further Ctrl+Z changes nothing.
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document.map().cells(), start);
    EXPECT_EQ(window->history().redoCount(), 2u);

    // Both redo keys, one step each.
    DocumentTestAccess::setChanged(document, false);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(document.map().cells(), one);
    EXPECT_TRUE(document.changed());
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(document.map().cells(), two);
    EXPECT_TRUE(shows(13, 5, 0x22));
    EXPECT_FALSE(redo()->isEnabled());
    EXPECT_EQ(redo()->text(), "&Redo");

    // The menu items do the same as the keys.
    undo()->trigger();
    EXPECT_EQ(document.map().cells(), one);
    redo()->trigger();
    EXPECT_EQ(document.map().cells(), two);

    // And the keys work from the tool window as well.
    TilePalette* palette = window->palette();
    palette->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(palette));
    QTest::keyClick(palette, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document.map().cells(), one);
}

TEST_F(EditMenuTest, CaptionsNameTheStep) {
    // Lift and drop with the select tool.
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(4, 4));
    ASSERT_TRUE(tools().blockfloat());
    EXPECT_EQ(undo()->text(), "&Undo Lift");
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(60, 60));
    EXPECT_EQ(undo()->text(), "&Undo Drop");

    // Delete of a floating block, and the whole-map commands.
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(6, 6));
    ASSERT_TRUE(tools().blockfloat());
    key(Qt::Key_Delete, Qt::NoModifier);
    EXPECT_EQ(undo()->text(), "&Undo Delete Block");
    undo()->trigger();
    EXPECT_EQ(redo()->text(), "&Redo Delete Block");

    tools().setRightTile(0x3A);
    action("mTN")->trigger();
    EXPECT_EQ(undo()->text(), "&Undo New Track");

    EXPECT_EQ(MainWindow::undoCaption("Transform"), "&Undo Replace Tile");
    EXPECT_EQ(MainWindow::undoCaption("Swap"), "&Undo Swap");
    EXPECT_EQ(MainWindow::redoCaption("Cut"), "&Redo Cut");
    EXPECT_EQ(MainWindow::undoCaption("A&B"), "&Undo A&&B");
}

TEST_F(EditMenuTest, UndoWhileABlockFloatsPutsTheMapBackAndRedoLiftsItAgain) {
    auto* carrier = window->findChild<CarrierPicture*>("pcarrier");
    ASSERT_NE(carrier, nullptr);
    tools().setRightTile(0x05);
    const TrackMap::Cells before = document.map().cells();

    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(10, 10));
    QTest::mouseMove(view(), cellCentre(12, 11));
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(12, 11));
    ASSERT_TRUE(carrier->isVisible());
    EXPECT_EQ(document.map().at(11, 10), 0x05);
    // Drag it two cells right before undoing.
    QTest::mousePress(carrier, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    QTest::mouseMove(carrier, QPoint(4 + 16, 4));
    QTest::mouseRelease(carrier, Qt::LeftButton, Qt::NoModifier, QPoint(4 + 16, 4));
    ASSERT_EQ(carrier->geometry(), QRect(96, 80, 24, 16));

    DocumentTestAccess::setChanged(document, false);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(tools().blockfloat());
    EXPECT_FALSE(carrier->isVisible());
    EXPECT_EQ(document.map().cells(), before);
    for (int y = 10; y <= 11; ++y)
        for (int x = 10; x <= 12; ++x) EXPECT_TRUE(shows(x, y, before[y * 128 + x])) << x << y;
    EXPECT_TRUE(document.changed());
    EXPECT_EQ(redo()->text(), "&Redo Lift");

    // Redo lifts it again, floating where it was dragged to.
    key(Qt::Key_Y, Qt::ControlModifier);
    ASSERT_TRUE(carrier->isVisible());
    EXPECT_EQ(carrier->geometry(), QRect(96, 80, 24, 16));
    EXPECT_EQ(document.map().at(10, 10), 0x05);
    QImage inverted = window->tiles().tile(before[10 * 128 + 10]);
    inverted.invertPixels();
    EXPECT_EQ(carrier->shownPicture().copy(0, 0, 8, 8), inverted);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(90, 90));
    EXPECT_EQ(document.map().at(12, 10), before[10 * 128 + 10]);
    EXPECT_TRUE(shows(12, 10, before[10 * 128 + 10]));
}

TEST_F(EditMenuTest, LoadingATrackOrOpeningARomStartsAFreshHistory) {
    paint(3, 3, 0x44);
    ASSERT_TRUE(undo()->isEnabled());
    prompter.yesNo.push_back(Prompter::Answer::No);  // discard the edit
    window->mTrack_Click(5);
    EXPECT_FALSE(undo()->isEnabled());
    EXPECT_FALSE(redo()->isEnabled());
    EXPECT_EQ(undo()->text(), "&Undo");

    paint(3, 3, 0x44);
    undo()->trigger();
    ASSERT_TRUE(redo()->isEnabled());
    prompter.yesNo.push_back(Prompter::Answer::No);
    openRom();
    EXPECT_FALSE(undo()->isEnabled());
    EXPECT_FALSE(redo()->isEnabled());
    EXPECT_EQ(redo()->text(), "&Redo");
}

}  // namespace
}  // namespace korvale

KORVALE_WIDGET_TEST_MAIN
