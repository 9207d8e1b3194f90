#include "ui/map_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QWheelEvent>
#include <algorithm>
#include <cstring>

namespace korvale {

namespace {

constexpr int kCell = 8;

// A screen pixel stands for the map pixel it shows. Its centre, divided by
// the zoom and taken back half a map pixel, rounds to that map pixel just as
// a position at 1x does, so the last screen pixel of a cell stays in the
// cell. Fractions stay: the tools round them (high-resolution screens give
// fractional positions at 1x too, and at 1x this is the position itself).
double toMap(double screen, int zoom) {
    return (screen + 0.5) / zoom - 0.5;
}

QPointF mapPixel(const QMouseEvent* event, int zoom) {
    const QPointF p = event->position();
    return {toMap(p.x(), zoom), toMap(p.y(), zoom)};
}

// 3 x 5 pixel hexadecimal digits, one row a line, bit 2 the leftmost pixel.
constexpr uint8_t kGlyphs[16][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7},
    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2},
    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {2, 5, 7, 5, 5}, {6, 5, 6, 5, 6},
    {3, 4, 4, 4, 3}, {6, 5, 5, 5, 6}, {7, 4, 6, 4, 7}, {7, 4, 6, 4, 4},
};

// Tile number n as drawn over a cell of 8 * zoom screen pixels: white digits
// in a black outline, readable on any tile, the rest transparent.
QImage numberStamp(int n, int zoom) {
    const int side = 8 * zoom;
    // Small enough at 2x that most of the tile still shows around the digits.
    const int scale = (zoom + 1) / 2;
    const int left = (side - 7 * scale) / 2;
    const int top = (side - 5 * scale) / 2;
    QImage stamp(side, side, QImage::Format_ARGB32_Premultiplied);
    stamp.fill(Qt::transparent);
    QPainter painter(&stamp);
    for (const bool outline : {true, false}) {
        for (int digit = 0; digit < 2; ++digit) {
            const int glyph = digit == 0 ? n >> 4 : n & 15;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 3; ++x) {
                    if (!(kGlyphs[glyph][y] & (4 >> x))) continue;
                    const QRect block(left + (4 * digit + x) * scale, top + y * scale, scale,
                                      scale);
                    if (outline)
                        painter.fillRect(block.adjusted(-1, -1, 1, 1), Qt::black);
                    else
                        painter.fillRect(block, Qt::white);
                }
        }
    }
    return stamp;
}

}  // namespace

void drawZoomed(QPainter& painter, const QImage& source, int zoom, const QRect& target) {
    if (zoom <= 1) {
        painter.drawImage(target, source, target);
        return;
    }
    const QRect part = target & QRect(0, 0, source.width() * zoom, source.height() * zoom);
    if (part.isEmpty()) return;
    // Scaled here rather than by the painter, so every pixel is an exact
    // square of the same colour whatever the painter's smoothing.
    const QImage src = source.format() == QImage::Format_RGB32
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
    QImage out(part.size(), QImage::Format_RGB32);
    std::vector<int> column(static_cast<size_t>(part.width()));
    for (int x = 0; x < part.width(); ++x) column[static_cast<size_t>(x)] = (part.x() + x) / zoom;
    int lastRow = -1;
    for (int y = 0; y < part.height(); ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
        const int row = (part.y() + y) / zoom;
        if (row == lastRow) {
            std::memcpy(dst, out.constScanLine(y - 1), static_cast<size_t>(part.width()) * 4);
            continue;
        }
        lastRow = row;
        const auto* line = reinterpret_cast<const uint32_t*>(src.constScanLine(row));
        for (int x = 0; x < part.width(); ++x) dst[x] = line[column[static_cast<size_t>(x)]];
    }
    painter.drawImage(part.topLeft(), out);
}

// ---------------------------------------------------------------------------

CarrierPicture::CarrierPicture(EditTools& tools, QWidget* parent) : QWidget(parent), tools_(tools) {
    setObjectName("pcarrier");
    setCursor(Qt::SizeAllCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

void CarrierPicture::setPictures(QImage normal, QImage inverted) {
    normal_ = std::move(normal);
    inverted_ = std::move(inverted);
    update();
}

void CarrierPicture::setPressed(bool pressed) {
    if (pressed == pressed_) return;
    pressed_ = pressed;
    update();
}

void CarrierPicture::setZoom(int zoom) {
    if (zoom == zoom_) return;
    zoom_ = zoom;
    update();
}

void CarrierPicture::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    drawZoomed(painter, shownPicture(), zoom_, event->rect());
}

void CarrierPicture::mousePressEvent(QMouseEvent* event) {
    const QPointF p = mapPixel(event, zoom_);
    tools_.pcarrier_MouseDown(MapView::buttonBits(event->button()), p.x(), p.y());
}

void CarrierPicture::mouseMoveEvent(QMouseEvent* event) {
    const QPointF p = mapPixel(event, zoom_);
    tools_.pcarrier_MouseMove(MapView::buttonBits(event->buttons()), p.x(), p.y());
}

void CarrierPicture::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF p = mapPixel(event, zoom_);
    tools_.pcarrier_MouseUp(MapView::buttonBits(event->button()), p.x(), p.y());
}

// ---------------------------------------------------------------------------

SelectionOutline::SelectionOutline(QWidget* parent) : QWidget(parent) {
    setObjectName("shselect");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void SelectionOutline::paintEvent(QPaintEvent*) {
    // Black under a white dash reads on every tile colour.
    QPainter painter(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter.drawRect(r);
    painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
    painter.drawRect(r);
}

// ---------------------------------------------------------------------------

MapView::MapView(TrackMap& map, EditTools& tools, const TileCache& tiles, QWidget* parent)
    : QWidget(parent),
      map_(map),
      tools_(tools),
      tiles_(tiles),
      image_(kPixels, kPixels, QImage::Format_RGB32) {
    setObjectName("picture2");
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Moves without a button held update the status text and the preview.
    setMouseTracking(true);
    resize(kPixels, kPixels);
    image_.fill(Qt::black);
    outline_ = new SelectionOutline(this);
    carrier_ = new CarrierPicture(tools_, this);
    setToolPointer(tools_.curtool());
    map_.addObserver(this);
}

MapView::~MapView() {
    map_.removeObserver(this);
}

int MapView::buttonBits(Qt::MouseButtons buttons) {
    int bits = 0;
    if (buttons & Qt::LeftButton) bits |= kLeftButton;
    if (buttons & Qt::RightButton) bits |= kRightButton;
    if (buttons & Qt::MiddleButton) bits |= kMiddleButton;
    return bits;
}

QCursor MapView::pencilCursor() {
    // A small pencil pointing down-left; its tip is the hot spot.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(2, 29);
    painter.rotate(-45);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(250, 210, 60));
    painter.drawRect(QRectF(7, -3, 18, 6));  // body
    painter.setBrush(QColor(230, 120, 140));
    painter.drawRect(QRectF(25, -3, 4, 6));  // eraser
    painter.setBrush(QColor(240, 220, 180));
    painter.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(7, -3), QPointF(7, 3)}));  // wood
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(2.5, -1), QPointF(2.5, 1)}));  // lead
    painter.end();
    return QCursor(pixmap, 1, 30);
}

void MapView::setToolPointer(int tool) {
    if (tool == kDrawTool) {
        setCursor(pencilCursor());
    } else if (tool == kSelectTool) {
        setCursor(Qt::ArrowCursor);
    }
}

void MapView::setZoom(int zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    resize(kPixels * zoom_, kPixels * zoom_);
    carrier_->setZoom(zoom_);
    syncFromTools();
    update();
}

void MapView::setGridShown(bool shown) {
    if (shown == grid_) return;
    grid_ = shown;
    update();
}

void MapView::setTileNumbersShown(bool shown) {
    if (shown == tileNumbers_) return;
    tileNumbers_ = shown;
    update();
}

std::optional<uint8_t> MapView::tileUnderPointer() const {
    if (!pointer_) return std::nullopt;
    const int cx = cellOf(pointer_->x());
    const int cy = cellOf(pointer_->y());
    if (!TrackMap::inside(cx, cy)) return std::nullopt;
    return map_.at(cx, cy);
}

void MapView::paintTileNumbers(QPainter& painter, const QRegion& region) {
    if (!tileNumbers_ || zoom_ < kTileNumbersZoom) return;
    if (numberStampsZoom_ != zoom_) {
        for (int n = 0; n < 256; ++n) numberStamps_[static_cast<size_t>(n)] = numberStamp(n, zoom_);
        numberStampsZoom_ = zoom_;
    }
    const int step = kCell * zoom_;
    const QRect area = region.boundingRect() & rect();
    painter.save();
    painter.setClipRegion(region);
    for (int cy = area.top() / step; cy <= area.bottom() / step; ++cy)
        for (int cx = area.left() / step; cx <= area.right() / step; ++cx)
            painter.drawImage(cx * step, cy * step, numberStamps_[map_.at(cx, cy)]);
    painter.restore();
}

QRect MapView::zoomed(const QRect& r) const {
    return {r.x() * zoom_, r.y() * zoom_, r.width() * zoom_, r.height() * zoom_};
}

void MapView::paintCell(int x, int y, uint8_t tile) {
    // Direct row copies: a full repaint is 16,384 of these and must stay cheap.
    const QImage& src = tiles_.tile(tile);
    for (int row = 0; row < kCell; ++row) {
        auto* dst = reinterpret_cast<uint32_t*>(image_.scanLine(y * kCell + row)) + x * kCell;
        std::memcpy(dst, src.constScanLine(row), kCell * sizeof(uint32_t));
    }
}

void MapView::redrawtrack() {
    const auto& cells = map_.cells();
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) paintCell(x, y, cells[static_cast<size_t>(y * 128 + x)]);
    }
    update();
    // The floating picture shows tiles too; a new tile set must reach it.
    syncFromTools();
}

void MapView::cellChanged(int x, int y, uint8_t, uint8_t after) {
    paintCell(x, y, after);
    update(zoomed(QRect(x * kCell, y * kCell, kCell, kCell)));
}

void MapView::mapReplaced(const TrackMap::Cells& before) {
    // Only the cells that differ; redrawtrack follows where the whole
    // picture must change (a new tile set).
    const auto& cells = map_.cells();
    QRect dirty;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i] == before[i]) continue;
        const int x = static_cast<int>(i % 128);
        const int y = static_cast<int>(i / 128);
        paintCell(x, y, cells[i]);
        dirty |= QRect(x * kCell, y * kCell, kCell, kCell);
    }
    if (!dirty.isEmpty()) update(zoomed(dirty));
}

void MapView::rebuildCarrierPictures() {
    const int w = tools_.blockw();
    const int h = tools_.blockh();
    const auto& buf = tools_.blockbuf();
    std::vector<uint8_t> source;
    source.reserve(static_cast<size_t>(w * h));
    for (int dy = 0; dy < h; ++dy) {
        const auto* row = buf.data() + static_cast<size_t>(dy * 128);
        source.insert(source.end(), row, row + w);
    }
    const qint64 key = tiles_.sheet().cacheKey();
    if (w == carrierW_ && h == carrierH_ && key == carrierTilesKey_ && source == carrierSource_)
        return;

    // pcopier: the block in normal colours, built off screen.
    QImage normal(std::max(1, w * kCell), std::max(1, h * kCell), QImage::Format_RGB32);
    normal.fill(Qt::white);
    for (int dy = 0; dy < h; ++dy) {
        for (int dx = 0; dx < w; ++dx) {
            const QImage& tile = tiles_.tile(source[static_cast<size_t>(dy * w + dx)]);
            for (int row = 0; row < kCell; ++row) {
                auto* dst =
                    reinterpret_cast<uint32_t*>(normal.scanLine(dy * kCell + row)) + dx * kCell;
                std::memcpy(dst, tile.constScanLine(row), kCell * sizeof(uint32_t));
            }
        }
    }
    QImage inverted = normal;
    inverted.invertPixels();
    carrier_->setPictures(std::move(normal), std::move(inverted));
    carrierSource_ = std::move(source);
    carrierW_ = w;
    carrierH_ = h;
    carrierTilesKey_ = key;
}

void MapView::syncFromTools() {
    const PixelRect& s = tools_.selection();
    const QRect selection = zoomed(QRect(s.left, s.top, s.width, s.height));
    if (outline_->geometry() != selection) outline_->setGeometry(selection);
    outline_->setVisible(tools_.selectionVisible() && !selection.isEmpty());

    if (tools_.blockfloat()) {
        rebuildCarrierPictures();
        const PixelRect& c = tools_.carrier();
        const QRect carrier = zoomed(QRect(c.left, c.top, c.width, c.height));
        if (carrier_->geometry() != carrier) carrier_->setGeometry(carrier);
        carrier_->setPressed(tools_.carrierPressed());
        if (!carrier_->isVisible()) {
            carrier_->show();
            carrier_->raise();
        }
    } else if (carrier_->isVisible()) {
        carrier_->hide();
    }
}

void MapView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& r : event->region()) drawZoomed(painter, image_, zoom_, r);
    paintTileNumbers(painter, event->region());
    if (!grid_) return;

    // One line on the first pixel column and row of every cell but the
    // first, translucent so the tiles still read through it.
    const QRect area = event->region().boundingRect();
    const int step = kCell * zoom_;
    const QColor line(128, 128, 128, 120);
    painter.setClipRegion(event->region());
    for (int x = std::max(1, area.left() / step) * step; x <= area.right(); x += step)
        painter.fillRect(x, area.top(), 1, area.height(), line);
    for (int y = std::max(1, area.top() / step) * step; y <= area.bottom(); y += step)
        painter.fillRect(area.left(), y, area.width(), 1, line);
}

void MapView::mousePressEvent(QMouseEvent* event) {
    const QPointF p = mapPixel(event, zoom_);
    pointer_ = p;
    tools_.picture2_MouseDown(buttonBits(event->button()), p.x(), p.y());
    emit mouseHandled();
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF p = mapPixel(event, zoom_);
    pointer_ = p;
    tools_.picture2_MouseMove(buttonBits(event->buttons()), p.x(), p.y());
    emit mouseHandled();
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF p = mapPixel(event, zoom_);
    pointer_ = p;
    tools_.picture2_MouseUp(buttonBits(event->button()), p.x(), p.y());
    emit mouseHandled();
}

void MapView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click is a press like any other.
    mousePressEvent(event);
}

void MapView::wheelEvent(QWheelEvent* event) {
    emit wheelScrolled(event);
}

}  // namespace korvale
