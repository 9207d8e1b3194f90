// picture2: the whole track map as one persistent 1024 x 1024 image. It is
// painted in full only by redrawtrack and otherwise cell by cell as the map
// reports changes; scrolling moves the widget and repaints nothing. Mouse
// events become map-pixel calls on the editing tools, and the tools' state
// (selection outline shselect, floating picture pcarrier) is drawn on top.
//
// Zoom blows the widget up 1 to 4 times. The image stays 1024 x 1024 map
// pixels; only painting scales it (nearest neighbour), and every mouse
// position is divided back into map pixels, so the tools never see the zoom.
// The grid is painted over the scaled picture, never into the image; so are
// the tile numbers, from 2x up where they are legible.
#pragma once

#include <QCursor>
#include <QImage>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

#include "core/edit_tools.h"
#include "core/track_map.h"
#include "ui/tile_cache.h"

class QPainter;

namespace korvale {

// Draws the part of `source`, blown up `zoom` times with every pixel a
// zoom x zoom square, that falls in `target` (in zoomed pixels).
void drawZoomed(QPainter& painter, const QImage& source, int zoom, const QRect& target);

// pcarrier: the floating block, inverted at rest and in normal colours while
// a button is held on it. It forwards its own mouse events to the tools.
class CarrierPicture : public QWidget {
    Q_OBJECT
  public:
    CarrierPicture(EditTools& tools, QWidget* parent);
    void setPictures(QImage normal, QImage inverted);
    void setPressed(bool pressed);
    void setZoom(int zoom);
    // In map pixels, whatever the zoom.
    const QImage& shownPicture() const { return pressed_ ? normal_ : inverted_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    EditTools& tools_;
    QImage normal_;
    QImage inverted_;
    bool pressed_ = false;
    int zoom_ = 1;
};

// shselect: an outline that lets the mouse through to the map.
class SelectionOutline : public QWidget {
    Q_OBJECT
  public:
    explicit SelectionOutline(QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class MapView : public QWidget, private TrackMap::Observer {
    Q_OBJECT
  public:
    static constexpr int kPixels = 1024;  // 128 cells of 8 pixels
    static constexpr int kMinZoom = 1;
    static constexpr int kMaxZoom = 4;

    MapView(TrackMap& map, EditTools& tools, const TileCache& tiles, QWidget* parent = nullptr);
    ~MapView() override;

    // Repaints the whole image from the map (the tools are the caller's).
    void redrawtrack();
    // Follows the tools' state: outline, floating picture and its position.
    void syncFromTools();
    // The draw tool shows a pencil, every other tool the arrow.
    void setToolPointer(int tool);

    // Screen pixels per map pixel; the widget is kPixels * zoom square.
    int zoom() const { return zoom_; }
    void setZoom(int zoom);
    bool gridShown() const { return grid_; }
    void setGridShown(bool shown);
    // Each cell's tile number in two hexadecimal digits over the map, drawn
    // only from kTileNumbersZoom up: at 1x a cell has no room for them.
    static constexpr int kTileNumbersZoom = 2;
    bool tileNumbersShown() const { return tileNumbers_; }
    void setTileNumbersShown(bool shown);
    // The map's tile under the pointer at the last mouse event on the view;
    // nullopt while the pointer was outside the map.
    std::optional<uint8_t> tileUnderPointer() const;
    // A map-pixel rectangle where it lies on the zoomed widget.
    QRect zoomed(const QRect& mapRect) const;

    const QImage& image() const { return image_; }
    CarrierPicture* carrier() const { return carrier_; }
    SelectionOutline* outline() const { return outline_; }

    // Converts Qt buttons to the tools' bit set (1 left, 2 right, 4 middle).
    static int buttonBits(Qt::MouseButtons buttons);

    static QCursor pencilCursor();

  signals:
    // Any mouse event went to the tools (the status text may have changed).
    void mouseHandled();
    void wheelScrolled(QWheelEvent* event);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void cellChanged(int x, int y, uint8_t before, uint8_t after) override;
    void mapReplaced(const TrackMap::Cells& before) override;
    void paintCell(int x, int y, uint8_t tile);
    void rebuildCarrierPictures();
    void paintTileNumbers(QPainter& painter, const QRegion& region);

    TrackMap& map_;
    EditTools& tools_;
    const TileCache& tiles_;
    QImage image_;
    CarrierPicture* carrier_;
    SelectionOutline* outline_;
    // What the floating picture was last built from, to rebuild only on change.
    std::vector<uint8_t> carrierSource_;
    int carrierW_ = -1;
    int carrierH_ = -1;
    qint64 carrierTilesKey_ = 0;
    int zoom_ = 1;
    bool grid_ = false;
    bool tileNumbers_ = false;
    // The 256 numbers as drawn over a cell at numberStampsZoom_.
    std::array<QImage, 256> numberStamps_;
    int numberStampsZoom_ = 0;
    std::optional<QPointF> pointer_;  // in map pixels
};

}  // namespace korvale
