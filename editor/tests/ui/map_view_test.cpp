#include "ui/map_view.h"

#include <QScrollBar>
#include <QWheelEvent>

#include "support/document_access.h"
#include "window_test_support.h"

namespace korvale {
namespace {

using test::cellShows;

QPoint cellCentre(int x, int y) {
    return {8 * x + 3, 8 * y + 4};
}

class MapViewTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        build(Sheets::Flat);
        openRom();
        DocumentTestAccess::setChanged(document, false);
    }
    EditTools& tools() { return window->tools(); }
    const TileCache& tiles() { return window->tiles(); }
    bool shows(int x, int y, uint8_t tile) { return cellShows(*view(), tiles(), x, y, tile); }
};

TEST_F(MapViewTest, RedrawtrackPaintsEveryCellWithItsTileImage) {
    // Flat sheets: every tile a colour of its own, so a wrong tile shows.
    TrackMap::Cells cells;
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<uint8_t>(i * 31 + i / 128);
    DocumentTestAccess::map(document).replace(cells);
    window->redrawtrack();
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            ASSERT_TRUE(shows(x, y, cells[static_cast<size_t>(y * 128 + x)])) << x << "," << y;
    EXPECT_EQ(view()->image().pixelColor(8 * 3, 0),
              test::flatTileColour(cells[3], document.rom().curTheme >> 1));
}

TEST_F(MapViewTest, ACellWriteRepaintsOnlyThatCell) {
    const QImage before = view()->image();
    document.DrawMap(128, 0, 5);  // outside: nothing at all
    EXPECT_EQ(view()->image(), before);
    EXPECT_FALSE(document.changed());

    document.DrawMap(12, 5, 0xAB);
    EXPECT_TRUE(shows(12, 5, 0xAB));
    QImage expected = before;
    QImage cell = tiles().tile(0xAB);
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 8; ++col)
            expected.setPixel(96 + col, 40 + row, cell.pixel(col, row));
    EXPECT_EQ(view()->image(), expected);
}

TEST_F(MapViewTest, PaintingWithBothButtonsAndPickingWithTheMiddleOne) {
    window->palette()->ctool_Click(kDrawTool);
    tools().setLeftTile(0x11);
    tools().setRightTile(0x22);

    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(12, 5));
    EXPECT_EQ(document.map().at(12, 5), 0x11);
    EXPECT_TRUE(shows(12, 5, 0x11));
    EXPECT_EQ(window->panelText("mouse"), "X: 12, Y: 5");
    EXPECT_TRUE(document.changed());

    QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, cellCentre(13, 5));
    EXPECT_EQ(document.map().at(13, 5), 0x22);

    // The middle button picks into the left-button tile and changes nothing.
    DocumentTestAccess::setChanged(document, false);
    const auto cells = document.map().cells();
    QTest::mouseClick(view(), Qt::MiddleButton, Qt::NoModifier, cellCentre(13, 5));
    EXPECT_EQ(tools().leftTile(), 0x22);
    EXPECT_EQ(tools().rightTile(), 0x22);
    const uint8_t other = document.map().at(40, 40);
    QTest::mousePress(view(), Qt::MiddleButton, Qt::NoModifier, cellCentre(30, 30));
    QTest::mouseMove(view(), cellCentre(40, 40));
    QTest::mouseRelease(view(), Qt::MiddleButton, Qt::NoModifier, cellCentre(40, 40));
    EXPECT_EQ(tools().leftTile(), other);
    EXPECT_EQ(document.map().cells(), cells);
    EXPECT_FALSE(document.changed());
}

TEST_F(MapViewTest, ADragPastTheRightEdgePaintsUpToColumn127AndKeepsCounting) {
    window->palette()->ctool_Click(kDrawTool);
    tools().setLeftTile(0x33);
    TrackMap::Cells cells = document.map().cells();
    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(125, 4));
    for (int x : {126, 127, 128, 130}) QTest::mouseMove(view(), cellCentre(x, 4));
    EXPECT_EQ(window->panelText("mouse"), "X: 130, Y: 4");
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(130, 4));
    for (int x : {125, 126, 127}) cells[static_cast<size_t>(4 * 128 + x)] = 0x33;
    EXPECT_EQ(document.map().cells(), cells);

    // Just above the top edge is still row 0; eight pixels above is outside.
    QTest::mousePress(view(), Qt::RightButton, Qt::NoModifier, cellCentre(60, 1));
    QTest::mouseMove(view(), QPoint(8 * 61 + 3, -4));
    QTest::mouseMove(view(), QPoint(8 * 62 + 3, -9));
    QTest::mouseRelease(view(), Qt::RightButton, Qt::NoModifier, QPoint(8 * 62 + 3, -9));
    EXPECT_EQ(document.map().at(61, 0), tools().rightTile());
    EXPECT_EQ(window->panelText("mouse"), "X: 62, Y: -1");
}

TEST_F(MapViewTest, SelectionOutlineAndTheFloatingPictureFollowTheTools) {
    ASSERT_EQ(tools().curtool(), kSelectTool);
    QWidget* outline = window->findChild<QWidget*>("shselect");
    CarrierPicture* carrier = window->findChild<CarrierPicture*>("pcarrier");
    ASSERT_NE(outline, nullptr);
    ASSERT_NE(carrier, nullptr);

    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(10, 10));
    QTest::mouseMove(view(), cellCentre(7, 12));
    EXPECT_TRUE(outline->isVisible());
    EXPECT_EQ(outline->geometry(), QRect(56, 80, 32, 24));

    // Lift: the block floats inverted where it was; its cells keep the right tile.
    const uint8_t lifted = document.map().at(7, 10);
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(7, 12));
    EXPECT_FALSE(outline->isVisible());
    ASSERT_TRUE(carrier->isVisible());
    EXPECT_EQ(carrier->geometry(), QRect(56, 80, 32, 24));
    EXPECT_EQ(carrier->cursor().shape(), Qt::SizeAllCursor);
    EXPECT_TRUE(shows(7, 10, tools().rightTile()));
    QImage normal = tiles().tile(lifted);
    QImage inverted = normal;
    inverted.invertPixels();
    EXPECT_EQ(carrier->shownPicture().copy(0, 0, 8, 8), inverted);

    // Held: normal colours; dragged in whole cells; released: inverted again.
    QTest::mousePress(carrier, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    EXPECT_EQ(carrier->shownPicture().copy(0, 0, 8, 8), normal);
    QTest::mouseMove(carrier, QPoint(4 + 17, 4 + 8));
    EXPECT_EQ(carrier->geometry(), QRect(56 + 16, 88, 32, 24));
    QTest::mouseRelease(carrier, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    EXPECT_EQ(carrier->shownPicture().copy(0, 0, 8, 8), inverted);

    // The next press on the map drops it where it floats.
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(100, 100));
    EXPECT_FALSE(carrier->isVisible());
    EXPECT_EQ(document.map().at(9, 11), lifted);
    EXPECT_TRUE(shows(9, 11, lifted));
}

TEST_F(MapViewTest, PastePlacesTheBlockAtTheViewsTopLeftCorner) {
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(2, 2));
    ASSERT_TRUE(tools().blockfloat());
    QTest::keyClick(view(), Qt::Key_C, Qt::ControlModifier);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, cellCentre(50, 50));  // drop

    window->hscroll()->setValue(window->hscroll()->maximum() / 2);
    window->vscroll()->setValue(window->vscroll()->maximum() / 3);
    const QPoint corner = window->viewTopLeft();
    ASSERT_GT(corner.x(), 0);
    ASSERT_GT(corner.y(), 0);
    QTest::keyClick(view(), Qt::Key_V, Qt::ControlModifier);
    auto* carrier = window->findChild<CarrierPicture*>("pcarrier");
    ASSERT_TRUE(carrier->isVisible());
    EXPECT_EQ(carrier->geometry().topLeft(), corner);
    EXPECT_EQ(carrier->size(), QSize(8, 8));
}

TEST_F(MapViewTest, TheDrawToolShowsAPencilAndTheSelectToolTheArrow) {
    window->palette()->ctool_Click(kDrawTool);
    EXPECT_EQ(view()->cursor().shape(), Qt::BitmapCursor);
    window->palette()->ctool_Click(kSelectTool);
    EXPECT_EQ(view()->cursor().shape(), Qt::ArrowCursor);
    // ResetTools chooses the select tool, and the pointer follows.
    window->palette()->ctool_Click(kDrawTool);
    QTest::keyClick(view(), Qt::Key_Delete);
    EXPECT_EQ(view()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MapViewTest, ScrollingMovesThePictureAndNeverRedrawsIt) {
    const qint64 key = view()->image().cacheKey();
    QScrollBar* h = window->hscroll();
    QScrollBar* v = window->vscroll();
    h->setValue(0);
    EXPECT_EQ(view()->x(), 0);
    h->setValue(h->maximum());
    v->setValue(v->maximum());
    // At the maximum the map's last pixel column and row are the frame's last.
    const QWidget* frame = view()->parentWidget();
    EXPECT_EQ(view()->x() + 1024, frame->width());
    EXPECT_EQ(view()->y() + 1024, frame->height());
    EXPECT_EQ(view()->image().cacheKey(), key);

    // The wheel moves the vertical bar.
    v->setValue(v->maximum() / 2);
    const int before = v->value();
    QWheelEvent wheel(QPointF(10, 10), view()->mapToGlobal(QPointF(10, 10)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view(), &wheel);
    EXPECT_GT(v->value(), before);

    // A window wider than the map keeps it at the left edge.
    window->resize(1400, 1200);
    QApplication::processEvents();
    h->setValue(h->maximum());
    EXPECT_EQ(view()->x(), 0);
}

}  // namespace
}  // namespace korvale

KORVALE_WIDGET_TEST_MAIN
