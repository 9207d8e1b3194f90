#include "ui/scroll_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvale {

namespace {

// Twips from the window's outer edges.
constexpr int kVscrollFromRight = 390;
constexpr int kVscrollShorter = 1185;
constexpr int kHscrollFromBottom = 1200;
constexpr int kHscrollNarrower = 375;
constexpr int kScrollMaxLimit = 32767;

// Small and large changes round halves to the even neighbour.
int roundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

int clampToInt(double value) {
    return static_cast<int>(
        std::clamp(std::round(value), 0.0, double(std::numeric_limits<int>::max())));
}

}  // namespace

ScrollLayout computeScrollLayout(int w, int h) {
    ScrollLayout l;
    l.vscrollLeft = std::max(0, w - kVscrollFromRight);
    l.vscrollHeight = std::max(0, h - kVscrollShorter);
    l.hscrollTop = std::max(0, h - kHscrollFromBottom);
    l.hscrollWidth = std::max(0, w - kHscrollNarrower);
    // A maximum of 0 would make the proportional placement divide by zero.
    l.vscrollMax = std::clamp(h, 1, kScrollMaxLimit);
    l.hscrollMax = std::clamp(w, 1, kScrollMaxLimit);
    l.vscrollSmall = roundHalfEven(l.vscrollMax / 128.0);
    l.vscrollLarge = roundHalfEven(l.vscrollMax / 4.0);
    l.hscrollSmall = roundHalfEven(l.hscrollMax / 128.0);
    l.hscrollLarge = roundHalfEven(l.hscrollMax / 4.0);
    return l;
}

double scrolledEdge(double pictureTwips, double visibleTwips, int value, int maximum) {
    if (maximum <= 0) return 0;
    const double edge = -(pictureTwips - visibleTwips) * value / maximum;
    return edge > 0 ? 0 : edge;
}

int scrollValueFor(double edgeTwips, double pictureTwips, double visibleTwips, int maximum) {
    const double span = pictureTwips - visibleTwips;
    if (maximum <= 0 || span <= 0) return 0;
    const double value = std::round(-edgeTwips * maximum / span);
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(maximum)));
}

ScrollGeometry::ScrollGeometry(int clientWidth, int clientHeight, int barWidth, int barHeight,
                               double twipsPerPixelX, double twipsPerPixelY)
    : tx_(twipsPerPixelX), ty_(twipsPerPixelY) {
    // The margins assume the bars' thickness inside the outer size; taking
    // W and H from our own client area and bars keeps the bars flush with
    // the right and bottom edges whatever frame the platform draws.
    formWidth_ = clampToInt((clientWidth - barWidth) * tx_ + kVscrollFromRight);
    formHeight_ = clampToInt((clientHeight - barHeight) * ty_ + kHscrollFromBottom);
    layout_ = computeScrollLayout(formWidth_, formHeight_);
}

int ScrollGeometry::pixelsX(double twips) const {
    return static_cast<int>(std::lround(twips / tx_));
}

int ScrollGeometry::pixelsY(double twips) const {
    return static_cast<int>(std::lround(twips / ty_));
}

int ScrollGeometry::vscrollLeft() const {
    return pixelsX(layout_.vscrollLeft);
}
int ScrollGeometry::vscrollHeight() const {
    return pixelsY(layout_.vscrollHeight);
}
int ScrollGeometry::hscrollTop() const {
    return pixelsY(layout_.hscrollTop);
}
int ScrollGeometry::hscrollWidth() const {
    return pixelsX(layout_.hscrollWidth);
}

// The visible part is the frame, which ends where the other bar begins: the
// horizontal bar reaches one pixel further (W - 375 against W - 390), under
// the vertical bar, and measuring the picture against the bar would leave
// its last column hidden under the vertical bar at the maximum (and the
// same for the last row).
int ScrollGeometry::pictureLeft(int picturePixels, int value) const {
    const double edge =
        scrolledEdge(picturePixels * tx_, frameWidth() * tx_, value, layout_.hscrollMax);
    return pixelsX(edge);
}

int ScrollGeometry::pictureTop(int picturePixels, int value) const {
    const double edge =
        scrolledEdge(picturePixels * ty_, frameHeight() * ty_, value, layout_.vscrollMax);
    return pixelsY(edge);
}

int ScrollGeometry::hscrollValueFor(double edge, int picturePixels) const {
    return scrollValueFor(edge * tx_, picturePixels * tx_, frameWidth() * tx_, layout_.hscrollMax);
}

int ScrollGeometry::vscrollValueFor(double edge, int picturePixels) const {
    return scrollValueFor(edge * ty_, picturePixels * ty_, frameHeight() * ty_, layout_.vscrollMax);
}

}  // namespace korvale
