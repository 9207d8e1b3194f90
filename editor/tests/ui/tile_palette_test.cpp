#include "ui/tile_palette.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include "palette_test_support.h"
#include "support/test_rom.h"

namespace korvale {
namespace {

using test::shownColour;
using test::tileColour;

const QColor kYellow(255, 255, 0);
const QColor kGrey(192, 192, 192);

class TilePaletteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::writeSheet(QString::fromStdString(dir.file("t00.bmp")), 0));
        ASSERT_TRUE(test::writeSheet(QString::fromStdString(dir.file("t01.bmp")), 1));
        ASSERT_TRUE(tiles.load(QString::fromStdString(dir.file("t00.bmp")), nullptr));
        // What the main window does: the palette follows every change of the core.
        tools.onStateChanged = [this] { palette.refreshFromTools(); };
        QObject::connect(&palette, &TilePalette::clipRequested,
                         [this](int index) { tools.clip_Click(index); });
        palette.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&palette));
    }
    void TearDown() override { tools.onStateChanged = nullptr; }

    template <typename T = QWidget>
    T* child(const char* name) {
        T* w = palette.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString caption(const char* name) { return child<QLabel>(name)->text(); }
    // The colour in the middle of a tile picture.
    QColor picture(const char* name) { return shownColour(child(name), 8, 8); }

    void click(const char* name, Qt::MouseButton button, QPoint at = QPoint(4, 4)) {
        QTest::mouseClick(child(name), button, Qt::NoModifier, at);
    }
    void chooseSheetTile(Qt::MouseButton button, int n) {
        click("tsetprev", button, QPoint(8 * (n % 16) + 3, 8 * (n / 16) + 5));
    }

    test::TempDir dir;
    RomSession session;
    EditTools tools{session};
    TileCache tiles;
    History history{session.map};
    TilePalette palette{session, tools, tiles, &history};
};

TEST_F(TilePaletteTest, StartsWithTheClassicArrangement) {
    EXPECT_EQ(palette.objectName(), "frmTileSet");
    EXPECT_EQ(palette.windowTitle(), "Tools");
    EXPECT_TRUE(palette.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(palette.size(), QSize(129, 369));

    for (int i = 0; i < 8; ++i) {
        auto* b = child(QString("cTool%1").arg(i).toLatin1().constData());
        EXPECT_EQ(b->isVisible(), i == 0 || i == 2) << i;
    }
    EXPECT_EQ(child("cTool2")->geometry(), QRect(0, 0, 25, 25));
    EXPECT_EQ(child("cTool0")->geometry(), QRect(24, 0, 25, 25));
    EXPECT_EQ(child("clip3")->pos(), QPoint(0, 56));
    EXPECT_EQ(child("clip0")->pos(), QPoint(24, 56));
    EXPECT_EQ(child("clip1")->pos(), QPoint(48, 56));
    for (int i = 0; i < 4; ++i) {
        auto* b = child(QString("clip%1").arg(i).toLatin1().constData());
        EXPECT_FALSE(b->isEnabled()) << i;
        EXPECT_EQ(b->isVisible(), i != 2) << i;
    }
    EXPECT_EQ(child("tsetprev")->geometry(), QRect(0, 88, 128, 128));
    EXPECT_EQ(child("ts1seltile")->pos(), QPoint(16, 320));
    EXPECT_EQ(child("tsseltile")->pos(), QPoint(72, 344));
    EXPECT_EQ(child<QPushButton>("cmdswap")->geometry(), QRect(88, 320, 33, 17));
    EXPECT_EQ(child<QPushButton>("cmdTransform")->text(), "Go!");

    EXPECT_EQ(caption("Label1"), "Left");
    EXPECT_EQ(caption("Label2"), "Right");
    EXPECT_EQ(caption("llseltile"), "01");
    EXPECT_EQ(caption("lrseltile"), "00");
    EXPECT_EQ(caption("lpseltile"), "00");
    EXPECT_EQ(caption("lmseltile"), "00");
    EXPECT_EQ(tools.curtool(), kSelectTool);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(palette.slotTile(i), -1);
    // Every child lies inside the window's client area.
    for (QWidget* w : palette.findChildren<QWidget*>())
        EXPECT_TRUE(palette.rect().contains(w->geometry())) << w->objectName().toStdString();
}

TEST_F(TilePaletteTest, SheetButtonsChooseLeftAndRightTiles) {
    click("tsetprev", Qt::RightButton, QPoint(127, 127));
    EXPECT_EQ(tools.rightTile(), 0xFF);
    EXPECT_EQ(caption("lrseltile"), "FF");
    EXPECT_EQ(picture("rseltile"), tileColour(0xFF));

    chooseSheetTile(Qt::LeftButton, 0x23);
    EXPECT_EQ(tools.leftTile(), 0x23);
    EXPECT_EQ(caption("llseltile"), "23");
    EXPECT_EQ(picture("lseltile"), tileColour(0x23));
    // The tile picture is scaled up whole: its far corner shows the same tile.
    EXPECT_EQ(shownColour(child("lseltile"), 15, 15), tileColour(0x23));

    // The middle button chooses nothing, and the right tile stayed put.
    chooseSheetTile(Qt::MiddleButton, 0x40);
    EXPECT_EQ(tools.leftTile(), 0x23);
    EXPECT_EQ(tools.rightTile(), 0xFF);
}

TEST_F(TilePaletteTest, HoveringTheSheetPreviewsTheTileUnderThePointer) {
    QTest::mouseMove(child("tsetprev"), QPoint(20, 9));  // column 2, row 1
    EXPECT_EQ(caption("lpseltile"), "12");
    EXPECT_EQ(picture("pseltile"), tileColour(0x12));
    // Hovering chooses nothing.
    EXPECT_EQ(tools.leftTile(), 1);
    EXPECT_EQ(tools.rightTile(), 0);

    // Resting on a tile names it.
    QWidget* sheet = child("tsetprev");
    const QPoint at(8 * 0xC + 7, 8 * 3);
    QHelpEvent help(QEvent::ToolTip, at, sheet->mapToGlobal(at));
    QApplication::sendEvent(sheet, &help);
    EXPECT_EQ(QToolTip::text(), "Tile 3C");
}

TEST_F(TilePaletteTest, SlotsStoreAndRecallTiles) {
    chooseSheetTile(Qt::LeftButton, 0x11);
    chooseSheetTile(Qt::RightButton, 0x42);

    click("ts1seltile", Qt::RightButton);
    EXPECT_EQ(palette.slotTile(0), 0x42);
    EXPECT_EQ(picture("ts1seltile"), tileColour(0x42));
    click("tdseltile", Qt::LeftButton);
    EXPECT_EQ(palette.slotTile(2), 0x11);

    chooseSheetTile(Qt::RightButton, 0x05);
    click("ts1seltile", Qt::MiddleButton);
    EXPECT_EQ(tools.leftTile(), 0x42);
    EXPECT_EQ(caption("llseltile"), "42");
    EXPECT_EQ(picture("lseltile"), tileColour(0x42));
    EXPECT_EQ(tools.rightTile(), 0x05);
    EXPECT_EQ(caption("lrseltile"), "05");

    // Recalling from a slot that never stored anything leaves the left tile.
    click("tsseltile", Qt::MiddleButton);
    EXPECT_EQ(tools.leftTile(), 0x42);
    EXPECT_EQ(palette.slotTile(3), -1);

    EXPECT_EQ(child("ts2seltile")->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(TilePaletteTest, SwapExchangesTwoTilesAsOneUndoableStep) {
    TrackMap::Cells cells{};
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<uint8_t>(i % 5 + 3);  // 3..7
    session.map.replace(cells);
    history.clear();
    QSignalSpy rewritten(&palette, &TilePalette::mapRewritten);

    // Both slots empty: a = b = 0, nothing changes and nothing is marked.
    click("cmdswap", Qt::LeftButton);
    EXPECT_EQ(session.map.cells(), cells);
    EXPECT_FALSE(session.rom.changed);
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(rewritten.count(), 1);

    tools.setLeftTile(3);
    palette.tileyank(0, kLeftButton);
    tools.setLeftTile(7);
    palette.tileyank(1, kLeftButton);
    click("cmdswap", Qt::LeftButton);
    for (size_t i = 0; i < cells.size(); ++i) {
        const uint8_t before = cells[i];
        const uint8_t expected = before == 3 ? 7 : before == 7 ? 3 : before;
        ASSERT_EQ(session.map.cells()[i], expected) << i;
    }
    EXPECT_TRUE(session.rom.changed);
    EXPECT_EQ(rewritten.count(), 2);
    ASSERT_TRUE(history.canUndo());
    EXPECT_EQ(history.undoName(), "Swap");
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(session.map.cells(), cells);
}

TEST_F(TilePaletteTest, TransformReplacesOneTileByAnother) {
    TrackMap::Cells cells{};
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<uint8_t>(i % 4);
    session.map.replace(cells);
    history.clear();

    tools.setLeftTile(3);
    palette.tileyank(2, kLeftButton);
    palette.tileyank(3, kLeftButton);
    click("cmdTransform", Qt::LeftButton);  // 3 into 3
    EXPECT_EQ(session.map.cells(), cells);
    EXPECT_FALSE(session.rom.changed);
    EXPECT_FALSE(history.canUndo());

    tools.setRightTile(9);
    palette.tileyank(3, kRightButton);
    click("cmdTransform", Qt::LeftButton);  // 3 into 9
    for (size_t i = 0; i < cells.size(); ++i)
        ASSERT_EQ(session.map.cells()[i], cells[i] == 3 ? 9 : cells[i]) << i;
    EXPECT_TRUE(session.rom.changed);
    EXPECT_EQ(history.undoName(), "Transform");
}

TEST_F(TilePaletteTest, ToolButtonsHighlightOnlyTheChosenTool) {
    QSignalSpy changed(&palette, &TilePalette::toolChanged);
    const QPoint corner(2, 2);  // the button's background, clear of its picture

    click("cTool0", Qt::LeftButton, QPoint(12, 12));
    EXPECT_EQ(tools.curtool(), kDrawTool);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.takeFirst().at(0).toInt(), kDrawTool);
    EXPECT_EQ(shownColour(child("cTool0"), corner.x(), corner.y()), kYellow);
    EXPECT_EQ(shownColour(child("cTool2"), corner.x(), corner.y()), kGrey);

    click("cTool2", Qt::LeftButton, QPoint(12, 12));
    EXPECT_EQ(tools.curtool(), kSelectTool);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.takeFirst().at(0).toInt(), kSelectTool);
    EXPECT_EQ(shownColour(child("cTool2"), corner.x(), corner.y()), kYellow);
    EXPECT_EQ(shownColour(child("cTool0"), corner.x(), corner.y()), kGrey);

    // The core going back to the select tool on its own (ResetTools) moves
    // the highlight and tells the map view to change its pointer.
    palette.ctool_Click(kDrawTool);
    changed.clear();
    tools.ResetTools();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.takeFirst().at(0).toInt(), kSelectTool);
    EXPECT_EQ(shownColour(child("cTool2"), corner.x(), corner.y()), kYellow);
    EXPECT_EQ(shownColour(child("cTool0"), corner.x(), corner.y()), kGrey);
}

TEST_F(TilePaletteTest, ClipButtonsFollowTheCore) {
    QSignalSpy requested(&palette, &TilePalette::clipRequested);
    auto enabled = [&](int i) {
        return child(QString("clip%1").arg(i).toLatin1().constData())->isEnabled();
    };

    // Nothing lifted: the buttons and their shortcuts do nothing.
    palette.clip_Click(kClipCopy);
    palette.clip_Click(kClipPaste);
    EXPECT_EQ(requested.count(), 0);

    // A press and release with the select tool lifts a block.
    tools.picture2_MouseDown(kLeftButton, 8, 8);
    tools.picture2_MouseUp(kLeftButton, 8, 8);
    ASSERT_TRUE(tools.blockfloat());
    EXPECT_TRUE(enabled(kClipCopy));
    EXPECT_TRUE(enabled(kClipCut));
    EXPECT_FALSE(enabled(kClipPaste));
    EXPECT_FALSE(enabled(kClipNone));

    click("clip0", Qt::LeftButton, QPoint(12, 12));
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.takeFirst().at(0).toInt(), kClipCopy);
    EXPECT_TRUE(enabled(kClipPaste));

    // Ctrl+A's button never acts.
    palette.clip_Click(kClipNone);
    EXPECT_EQ(requested.count(), 0);

    tools.ResetTools();
    EXPECT_FALSE(enabled(kClipCopy));
    EXPECT_FALSE(enabled(kClipCut));
    EXPECT_TRUE(enabled(kClipPaste));
}

TEST_F(TilePaletteTest, ANewTileSetRepaintsTheChosenTilesWithItsImages) {
    chooseSheetTile(Qt::LeftButton, 0x30);
    palette.tileyank(0, kLeftButton);
    ASSERT_EQ(picture("lseltile"), tileColour(0x30, 0));

    ASSERT_TRUE(tiles.load(QString::fromStdString(dir.file("t01.bmp")), nullptr));
    palette.showSheet();
    EXPECT_EQ(picture("lseltile"), tileColour(0x30, 1));
    EXPECT_EQ(picture("ts1seltile"), tileColour(0x30, 1));
    EXPECT_EQ(shownColour(child("tsetprev"), 8 * 4 + 1, 8 * 2 + 1), tileColour(0x24, 1));
}

}  // namespace
}  // namespace korvale

int main(int argc, char** argv) {
    return korvale::test::runWidgetTests(argc, argv);
}
