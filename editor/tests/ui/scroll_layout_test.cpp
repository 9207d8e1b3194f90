#include "ui/scroll_layout.h"

#include <gtest/gtest.h>

namespace korvale {
namespace {

TEST(ScrollLayoutTest, FollowsTheTwipFormulasAndClampsOddSizes) {
    const ScrollLayout l = computeScrollLayout(9000, 6000);
    EXPECT_EQ(l.hscrollMax, 9000);
    EXPECT_EQ(l.hscrollSmall, 70);
    EXPECT_EQ(l.hscrollLarge, 2250);
    EXPECT_EQ(l.vscrollLeft, 9000 - 390);
    EXPECT_EQ(l.hscrollWidth, 9000 - 375);
    EXPECT_EQ(l.vscrollHeight, 6000 - 1185);
    EXPECT_EQ(l.hscrollTop, 6000 - 1200);
    // 6000 / 128 = 46.875; 2000 / 128 = 15.625; halves go to the even side.
    EXPECT_EQ(l.vscrollSmall, 47);
    EXPECT_EQ(computeScrollLayout(6400, 6400).hscrollSmall, 50);
    EXPECT_EQ(computeScrollLayout(6464, 6464).hscrollSmall, 50);  // 50.5 -> 50
    EXPECT_EQ(computeScrollLayout(6592, 6592).hscrollSmall, 52);  // 51.5 -> 52

    const ScrollLayout tiny = computeScrollLayout(100, 100);
    EXPECT_EQ(tiny.vscrollHeight, 0);
    EXPECT_EQ(tiny.hscrollWidth, 0);
    EXPECT_GE(tiny.hscrollMax, 1);
    const ScrollLayout huge = computeScrollLayout(100000, 100000);
    EXPECT_EQ(huge.hscrollMax, 32767);
    EXPECT_EQ(huge.vscrollMax, 32767);

    EXPECT_EQ(scrolledEdge(15360, 9000, 0, 9000), 0);
    EXPECT_EQ(scrolledEdge(15360, 9000, 9000, 9000), -6360);
    EXPECT_EQ(scrolledEdge(15360, 20000, 9000, 9000), 0);
}

// At the end of the range the picture's last pixel column and row are the
// frame's last, at every zoom and at frame sizes that are no multiple of 8.
TEST(ScrollGeometryTest, TheMapsFarEdgeMeetsTheBarsAtTheEndOfTheRange) {
    for (const double twipsPerPixel : {15.0, 12.0}) {
        for (const auto& client : {std::pair{903, 719}, std::pair{643, 483}}) {
            const ScrollGeometry g(client.first, client.second, 17, 17, twipsPerPixel,
                                   twipsPerPixel);
            ASSERT_NE(g.frameWidth() % 8, 0);
            ASSERT_NE(g.frameHeight() % 8, 0);
            EXPECT_EQ(g.vscrollLeft(), client.first - 17);  // flush with the right edge
            EXPECT_EQ(g.hscrollTop(), client.second - 17);
            for (int zoom = 1; zoom <= 4; ++zoom) {
                const int picture = 1024 * zoom;
                const int hmax = g.layout().hscrollMax;
                const int vmax = g.layout().vscrollMax;
                EXPECT_EQ(g.pictureLeft(picture, 0), 0);
                EXPECT_EQ(g.pictureTop(picture, 0), 0);
                EXPECT_EQ(g.pictureLeft(picture, hmax) + picture, g.frameWidth()) << zoom;
                EXPECT_EQ(g.pictureTop(picture, vmax) + picture, g.frameHeight()) << zoom;
                // Never past either end on the way.
                for (int v = 0; v <= hmax; v += 97) {
                    const int left = g.pictureLeft(picture, v);
                    EXPECT_LE(left, 0);
                    EXPECT_GE(left + picture, g.frameWidth());
                }
                // The value found for the far edge puts it there again.
                const int v = g.hscrollValueFor(g.frameWidth() - picture, picture);
                EXPECT_EQ(v, hmax);
            }
        }
    }
}

}  // namespace
}  // namespace korvale
