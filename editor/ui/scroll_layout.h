// Where the map view's frame and scroll bars go, and where the picture sits
// for a scroll value. The layout is written in twips from the window's
// outer size W x H; the screen's twips per pixel turn it into pixels. No Qt
// here: the window measures itself and asks.
#pragma once

namespace korvale {

// The scroll bar layout in twips, from the window's outer size W x H.
struct ScrollLayout {
    int vscrollLeft = 0;
    int vscrollHeight = 0;
    int hscrollTop = 0;
    int hscrollWidth = 0;
    int vscrollMax = 0;
    int hscrollMax = 0;
    int vscrollSmall = 0, vscrollLarge = 0;
    int hscrollSmall = 0, hscrollLarge = 0;
};
// Sizes are clamped to 0 and the maxima to 1..32767, so no window size fails.
ScrollLayout computeScrollLayout(int widthTwips, int heightTwips);

// The picture's left (or top) edge in twips for a scroll value: 0 at value 0,
// the picture's far edge at the far edge of the visible part at the
// maximum, never above 0.
double scrolledEdge(double pictureTwips, double visibleTwips, int value, int maximum);
// The other way round: the scroll value (0..maximum) that puts the picture's
// edge nearest to `edgeTwips`; 0 when the picture fits.
int scrollValueFor(double edgeTwips, double pictureTwips, double visibleTwips, int maximum);

// One window's layout in pixels.
class ScrollGeometry {
  public:
    // clientWidth x clientHeight: the area under the menus and above the
    // status bar; barWidth and barHeight: the scroll bars' thickness.
    ScrollGeometry(int clientWidth, int clientHeight, int barWidth, int barHeight,
                   double twipsPerPixelX, double twipsPerPixelY);

    // W and H: the outer size of a window with this client area.
    int formWidthTwips() const { return formWidth_; }
    int formHeightTwips() const { return formHeight_; }
    const ScrollLayout& layout() const { return layout_; }

    int vscrollLeft() const;
    int vscrollHeight() const;
    int hscrollTop() const;
    int hscrollWidth() const;
    // The part of the picture that shows: left of the vertical bar, above
    // the horizontal one.
    int frameWidth() const { return vscrollLeft(); }
    int frameHeight() const { return hscrollTop(); }

    // The picture's left (top) edge in pixels for a value of the horizontal
    // (vertical) bar; at the bar's maximum its last pixel column (row) is
    // the frame's last.
    int pictureLeft(int picturePixels, int value) const;
    int pictureTop(int picturePixels, int value) const;
    // The bar value that puts the picture's edge nearest to `edge` pixels.
    int hscrollValueFor(double edge, int picturePixels) const;
    int vscrollValueFor(double edge, int picturePixels) const;

  private:
    int pixelsX(double twips) const;
    int pixelsY(double twips) const;

    double tx_, ty_;
    int formWidth_ = 0, formHeight_ = 0;
    ScrollLayout layout_;
};

}  // namespace korvale
