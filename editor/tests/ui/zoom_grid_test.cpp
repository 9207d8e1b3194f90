// The View menu: zoom levels, presses and drags on the zoomed map, crisp
// scaling, the grid overlay, and zooming about the pointer with the wheel.
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <set>
#include <vector>

#include "window_test_support.h"

namespace korvale {
namespace {

class ZoomGridTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        build(Sheets::Flat);
        openRom();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    EditTools& tools() { return window->tools(); }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QTest::keyClick(view(), k, modifiers);
    }
    // What the widget shows, children (outline, floating block) included.
    QImage shown(const QRect& r) {
        return view()->grab(r).toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The model picture's part `r` (map pixels) blown up without smoothing.
    QImage expectedZoomed(const QRect& r, int z) {
        return view()->image().copy(r).scaled(r.size() * z, Qt::IgnoreAspectRatio,
                                              Qt::FastTransformation);
    }
    // The cell the tools see for a pointer at `p` (view coordinates). Sent
    // straight to the view: the platform drops a move that stays in place
    // on the screen, as the pointer does while the picture zooms under it.
    std::string cellAt(QPointF p) {
        QMouseEvent move(QEvent::MouseMove, p, view()->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view(), &move);
        return window->panelText("mouse").toStdString();
    }
};

TEST_F(ZoomGridTest, ZoomStepsFromOneToFourAndBack) {
    EXPECT_EQ(window->zoom(), 1);
    EXPECT_EQ(view()->size(), QSize(1024, 1024));
    EXPECT_FALSE(action("mVZoomOut")->isEnabled());
    EXPECT_EQ(action("mVZoomIn")->text(), "Zoom &In");
    EXPECT_EQ(action("mVZoomOut")->text(), "Zoom &Out");
    EXPECT_EQ(action("mVActual")->text(), "&Actual Size");

    key(Qt::Key_Equal);
    EXPECT_EQ(window->zoom(), 2);
    key(Qt::Key_Plus);
    EXPECT_EQ(window->zoom(), 3);
    action("mVZoomIn")->trigger();
    EXPECT_EQ(window->zoom(), 4);
    EXPECT_EQ(view()->size(), QSize(4096, 4096));
    EXPECT_FALSE(action("mVZoomIn")->isEnabled());
    action("mVZoomIn")->trigger();  // no 5x
    EXPECT_EQ(window->zoom(), 4);
    key(Qt::Key_Minus);
    EXPECT_EQ(window->zoom(), 3);
    key(Qt::Key_0);
    EXPECT_EQ(window->zoom(), 1);
    EXPECT_EQ(view()->size(), QSize(1024, 1024));
    // The tile sheet in the tool window keeps its size.
    EXPECT_EQ(window->palette()->findChild<QWidget*>("tsetprev")->size(), QSize(128, 128));
}

TEST_F(ZoomGridTest, EveryScreenPixelOfACellPressesThatCell) {
    window->palette()->ctool_Click(kDrawTool);
    for (int z : {2, 4}) {
        window->setZoom(z);
        ASSERT_EQ(window->zoom(), z);
        int tile = 0x40 * (z / 2);
        for (const QPoint cell : {QPoint(12, 5), QPoint(0, 3), QPoint(127, 127), QPoint(31, 90)}) {
            const int s = 8 * z;
            // The first and the last screen pixel of the cell, and its middle.
            // (Not cell (0, 0): QTest takes the point (0, 0) for the centre.)
            for (const QPoint offset : {QPoint(0, 0), QPoint(s - 1, s - 1), QPoint(s / 2, 1)}) {
                tools().setLeftTile(static_cast<uint8_t>(++tile));
                TrackMap::Cells expected = session.map.cells();
                expected[static_cast<size_t>(cell.y() * 128 + cell.x())] =
                    static_cast<uint8_t>(tile);
                const QPoint at = cell * s + offset;
                QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at);
                EXPECT_EQ(window->panelText("mouse").toStdString(),
                          QString("X: %1, Y: %2").arg(cell.x()).arg(cell.y()).toStdString())
                    << z << "x at " << at.x() << "," << at.y();
                ASSERT_EQ(session.map.cells(), expected) << z << "x at " << at.x() << "," << at.y();
            }
            // Painted crisp: the zoomed cell is its tile, each pixel a z x z square.
            const QRect mapRect(8 * cell.x(), 8 * cell.y(), 8, 8);
            EXPECT_EQ(shown(view()->zoomed(mapRect)), expectedZoomed(mapRect, z));
            EXPECT_TRUE(test::cellShows(*view(), window->tiles(), cell.x(), cell.y(),
                                        static_cast<uint8_t>(tile)));
        }
    }
    // Left of the map at 4x: screen pixel -28 shows map pixel -7, still
    // column 0; -29 shows map pixel -8, column -1 (a drag reports both).
    QTest::mousePress(view(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 20));
    QTest::mouseMove(view(), QPoint(-28, 20));
    EXPECT_EQ(window->panelText("mouse").toStdString(), "X: 0, Y: 0");
    QTest::mouseMove(view(), QPoint(-29, 20));
    EXPECT_EQ(window->panelText("mouse").toStdString(), "X: -1, Y: 0");
    QTest::mouseRelease(view(), Qt::MiddleButton, Qt::NoModifier, QPoint(-29, 20));
}

TEST_F(ZoomGridTest, SelectionAndFloatingBlockScaleAndDragInWholeCellsAt2x) {
    window->setZoom(2);
    QWidget* outline = window->findChild<QWidget*>("shselect");
    auto* carrier = window->findChild<CarrierPicture*>("pcarrier");
    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, QPoint(16 * 10 + 5, 16 * 10 + 5));
    QTest::mouseMove(view(), QPoint(16 * 7 + 15, 16 * 12 + 15));
    EXPECT_EQ(outline->geometry(), QRect(112, 160, 64, 48));
    const TrackMap::Cells before = session.map.cells();
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(16 * 7 + 15, 16 * 12 + 15));
    ASSERT_TRUE(carrier->isVisible());
    EXPECT_EQ(carrier->geometry(), QRect(112, 160, 64, 48));
    EXPECT_EQ(tools().carrier(), (PixelRect{56, 80, 32, 24}));
    // The floating picture is the inverted block, blown up.
    QImage inverted =
        carrier->shownPicture().scaled(64, 48, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_EQ(carrier->grab().toImage().convertToFormat(QImage::Format_RGB32), inverted);
    // The parent's picture shows it on top.
    EXPECT_EQ(shown(QRect(112, 160, 64, 48)), inverted);

    // The pointer in view coordinates; the carrier gets it relative to
    // itself, wherever it has moved. Half a cell and more moves one cell.
    const QPoint grab(112 + 6, 160 + 6);
    auto onCarrier = [&](QPoint delta) { return grab + delta - carrier->pos(); };
    QTest::mousePress(carrier, Qt::LeftButton, Qt::NoModifier, onCarrier({0, 0}));
    QTest::mouseMove(carrier, onCarrier({9, 0}));
    EXPECT_EQ(tools().carrier().left, 56);
    QTest::mouseMove(carrier, onCarrier({17, 5}));
    EXPECT_EQ(tools().carrier().left, 64);
    EXPECT_EQ(tools().carrier().top, 80);
    QTest::mouseMove(carrier, onCarrier({40, 24}));
    EXPECT_EQ(tools().carrier(), (PixelRect{56 + 16, 80 + 8, 32, 24}));
    EXPECT_EQ(carrier->geometry(), QRect(144, 176, 64, 48));
    QTest::mouseRelease(carrier, Qt::LeftButton, Qt::NoModifier, onCarrier({40, 24}));
    EXPECT_EQ(carrier->geometry(), QRect(144, 176, 64, 48));

    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, QPoint(1500, 1500));  // drop
    EXPECT_FALSE(carrier->isVisible());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(session.map.at(9 + x, 11 + y), before[(10 + y) * 128 + 7 + x]) << x << y;

    // Paste floats at the map pixel shown at the view's corner.
    window->hscroll()->setValue(window->hscroll()->maximum() / 2);
    const QPoint corner = window->viewTopLeft();
    EXPECT_EQ(corner.x(), -view()->x() / 2);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
    key(Qt::Key_C);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, QPoint(90, 90));  // drop
    key(Qt::Key_V);
    EXPECT_EQ(tools().carrier().left, corner.x());
    EXPECT_EQ(carrier->geometry().topLeft(), corner * 2);
}

TEST_F(ZoomGridTest, TheGridOverlaysThePaintedViewAndNeverTheImage) {
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) session.DrawMap(x, y, static_cast<uint8_t>(0x10 + x + 4 * y));
    const QImage image = view()->image();
    const qint64 cacheKey = view()->image().cacheKey();
    EXPECT_FALSE(action("mVGrid")->isChecked());
    EXPECT_EQ(action("mVGrid")->text(), "&Grid");
    EXPECT_EQ(shown(QRect(0, 0, 32, 32)), image.copy(0, 0, 32, 32));

    key(Qt::Key_G);
    ASSERT_TRUE(action("mVGrid")->isChecked());
    for (int z : {1, 2, 4}) {
        window->setZoom(z);
        const QImage painted = shown(QRect(0, 0, 32 * z, 32 * z));
        const QImage plain = expectedZoomed(QRect(0, 0, 32, 32), z);
        const int s = 8 * z;
        for (int y = 0; y < 32 * z; ++y) {
            for (int x = 0; x < 32 * z; ++x) {
                const bool onLine = (x % s == 0 && x > 0) || (y % s == 0 && y > 0);
                ASSERT_EQ(painted.pixel(x, y) != plain.pixel(x, y), onLine)
                    << z << "x, pixel " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(view()->image(), image);
    EXPECT_EQ(view()->image().cacheKey(), cacheKey);

    // Under the floating block: the block's picture shows, without lines.
    window->setZoom(2);
    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseMove(view(), QPoint(16 * 3 + 5, 16 * 3 + 5));
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(16 * 3 + 5, 16 * 3 + 5));
    auto* carrier = window->findChild<CarrierPicture*>("pcarrier");
    ASSERT_TRUE(carrier->isVisible());
    EXPECT_EQ(
        shown(QRect(0, 0, 64, 64)),
        carrier->shownPicture().scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation));

    // Off again: the plain picture.
    window->mVGrid_Click(false);
    EXPECT_FALSE(action("mVGrid")->isChecked());
    key(Qt::Key_Delete, Qt::NoModifier);
    EXPECT_EQ(shown(QRect(0, 0, 64, 64)), expectedZoomed(QRect(0, 0, 32, 32), 2));
}

// Tile numbers: drawn over the painted view from 2x, never into the image,
// one picture per number; kept for the next run.
TEST_F(ZoomGridTest, TileNumbersOverlayThePaintedViewFrom2xAndNeverTheImage) {
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) session.DrawMap(x, y, static_cast<uint8_t>(0x10 + x + 4 * y));
    const QImage image = view()->image();
    const qint64 cacheKey = view()->image().cacheKey();
    EXPECT_FALSE(action("mVTileNumbers")->isChecked());
    EXPECT_EQ(action("mVTileNumbers")->text(), "Tile &Numbers");
    EXPECT_TRUE(action("mVTileNumbers")->statusTip().contains("2x"));

    key(Qt::Key_T);
    ASSERT_TRUE(action("mVTileNumbers")->isChecked());
    EXPECT_EQ(shown(QRect(0, 0, 32, 32)), image.copy(0, 0, 32, 32)) << "no numbers at 1x";
    for (int z : {2, 4}) {
        window->setZoom(z);
        const QImage painted = shown(QRect(0, 0, 32 * z, 32 * z));
        const QImage plain = expectedZoomed(QRect(0, 0, 32, 32), z);
        // What the overlay draws in each cell (0 where the tile shows through).
        std::set<std::vector<QRgb>> overlays;
        for (int cy = 0; cy < 4; ++cy)
            for (int cx = 0; cx < 4; ++cx) {
                std::vector<QRgb> overlay;
                for (int y = 0; y < 8 * z; ++y)
                    for (int x = 0; x < 8 * z; ++x) {
                        const QRgb p = painted.pixel(8 * z * cx + x, 8 * z * cy + y);
                        overlay.push_back(p == plain.pixel(8 * z * cx + x, 8 * z * cy + y) ? 0 : p);
                    }
                EXPECT_GE(overlay.size() - std::count(overlay.begin(), overlay.end(), 0u), 10u * z);
                overlays.insert(overlay);
            }
        EXPECT_EQ(overlays.size(), 16u) << z << "x: sixteen numbers, sixteen pictures";
    }
    EXPECT_EQ(view()->image(), image);
    EXPECT_EQ(view()->image().cacheKey(), cacheKey);

    // The next run starts with them shown; turned off, the plain picture.
    MainWindow::Options options;
    options.sheetFolder = test::q(dir.path().string());
    options.settingsFile = test::q(dir.file("settings.ini"));
    RomSession otherSession;
    MainWindow next(otherSession, prompter, options);
    EXPECT_TRUE(next.findChild<QAction*>("mVTileNumbers")->isChecked());
    EXPECT_TRUE(next.mapView()->tileNumbersShown());
    window->mVTileNumbers_Click(false);
    EXPECT_EQ(shown(QRect(0, 0, 128, 128)), expectedZoomed(QRect(0, 0, 32, 32), 4));
    MainWindow third(otherSession, prompter, options);
    EXPECT_FALSE(third.mapView()->tileNumbersShown());
}

TEST_F(ZoomGridTest, TheStatusBarNamesTheTileUnderThePointer) {
    session.DrawMap(12, 5, 0x3C);
    window->setZoom(2);
    cellAt(QPointF(16 * 12 + 3, 16 * 5 + 15));
    EXPECT_EQ(window->panelText("tile"), "Tile 3C");
    // A paint under the pointer shows at once; off the map, no tile.
    window->palette()->ctool_Click(kDrawTool);
    tools().setLeftTile(0xA7);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, QPoint(16 * 12 + 3, 16 * 5 + 15));
    EXPECT_EQ(window->panelText("tile"), "Tile A7");
    EXPECT_EQ(cellAt(QPointF(-20, 40)), "X: -1, Y: 2");
    EXPECT_EQ(window->panelText("tile"), "");
}

TEST_F(ZoomGridTest, TheWheelZoomsAboutTheCellUnderThePointer) {
    QWidget* frame = view()->parentWidget();
    window->hscroll()->setValue(window->hscroll()->maximum() / 2);
    window->vscroll()->setValue(window->vscroll()->maximum() / 3);
    // A point of the frame away from its centre (where the menu zooms about).
    const QPoint inFrame(frame->width() / 4 + 3, frame->height() * 2 / 3 + 5);
    auto wheel = [&](int delta) {
        const QPointF at = inFrame - view()->pos();
        QWheelEvent event(at, view()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view(), &event);
    };
    const std::string cell = cellAt(inFrame - view()->pos());
    for (int z : {2, 3, 4}) {
        wheel(120);
        ASSERT_EQ(window->zoom(), z);
        EXPECT_EQ(cellAt(inFrame - view()->pos()), cell) << z << "x";
        // The bars still place the picture by their formula: at the maximum
        // its far edge meets them.
        EXPECT_LE(view()->x(), 0);
    }
    wheel(-120);
    EXPECT_EQ(window->zoom(), 3);
    EXPECT_EQ(cellAt(inFrame - view()->pos()), cell);
    // Small steps add up to one notch.
    wheel(-60);
    EXPECT_EQ(window->zoom(), 3);
    wheel(-60);
    EXPECT_EQ(window->zoom(), 2);
    EXPECT_EQ(cellAt(inFrame - view()->pos()), cell);
    // Without Ctrl the wheel still scrolls.
    QWheelEvent plain(QPointF(10, 10), view()->mapToGlobal(QPointF(10, 10)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const int v = window->vscroll()->value();
    QApplication::sendEvent(view(), &plain);
    EXPECT_GT(window->vscroll()->value(), v);
    EXPECT_EQ(window->zoom(), 2);

    window->hscroll()->setValue(window->hscroll()->maximum());
    window->vscroll()->setValue(window->vscroll()->maximum());
    EXPECT_NEAR(view()->x() + 2048, frame->width(), 1);
    EXPECT_NEAR(view()->y() + 2048, frame->height(), 1);
}

}  // namespace
}  // namespace korvale

KORVALE_WIDGET_TEST_MAIN
