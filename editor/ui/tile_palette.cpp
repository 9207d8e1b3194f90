#include "ui/tile_palette.h"

#include <QCursor>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <functional>
#include <optional>

#include "core/hex.h"

namespace korvale {

namespace {

// The window keeps its classic 129 x 369 arrangement; 8 x 8 tile pictures
// are shown twice as large in the same places so they stay readable.
constexpr int kClientWidth = 129;
constexpr int kClientHeight = 369;
constexpr int kPreviewScale = 2;
constexpr int kPreviewSide = 8 * kPreviewScale;
constexpr int kButtonSide = 25;

const QColor kToolIdle(192, 192, 192);
const QColor kToolChosen(255, 255, 0);

int buttonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return kLeftButton;
        case Qt::RightButton:
            return kRightButton;
        case Qt::MiddleButton:
            return kMiddleButton;
        default:
            return 0;
    }
}

QString hexCaption(int value) {
    return QString::fromStdString(HexPad(value, 2));
}

// --- button pictures, drawn here so no image files ship with the window ---

QPixmap blankIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

QIcon selectIcon() {
    QPixmap pm = blankIcon();
    QPainter p(&pm);
    QPen pen(Qt::black, 1, Qt::DashLine);
    p.setPen(pen);
    p.drawRect(2, 3, 11, 9);
    return QIcon(pm);
}

QIcon pencilIcon() {
    QPixmap pm = blankIcon();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(8, 8);
    p.rotate(45);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(230, 190, 60));
    p.drawRect(QRectF(-2, -7, 4, 10));  // body
    p.setBrush(QColor(240, 150, 150));
    p.drawRect(QRectF(-2, -8, 4, 2));  // eraser
    QPainterPath tip;
    tip.moveTo(-2, 3);
    tip.lineTo(2, 3);
    tip.lineTo(0, 7);
    tip.closeSubpath();
    p.setBrush(QColor(240, 220, 180));
    p.drawPath(tip);
    return QIcon(pm);
}

QIcon scissorsIcon() {
    QPixmap pm = blankIcon();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.2));
    p.drawLine(QPointF(4, 1), QPointF(10, 10));
    p.drawLine(QPointF(12, 1), QPointF(6, 10));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 12), 2.5, 2.5);
    p.drawEllipse(QPointF(11.5, 12), 2.5, 2.5);
    return QIcon(pm);
}

void drawPage(QPainter& p, const QRect& r) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    for (int y = r.top() + 2; y < r.bottom() - 1; y += 2)
        p.drawLine(r.left() + 2, y, r.right() - 2, y);
}

QIcon copyIcon() {
    QPixmap pm = blankIcon();
    QPainter p(&pm);
    drawPage(p, QRect(1, 1, 8, 10));
    drawPage(p, QRect(6, 5, 8, 10));
    return QIcon(pm);
}

QIcon pasteIcon() {
    QPixmap pm = blankIcon();
    QPainter p(&pm);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(170, 120, 60));
    p.drawRect(1, 2, 10, 13);  // board
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(4, 1, 4, 2);  // clip
    drawPage(p, QRect(6, 6, 8, 9));
    return QIcon(pm);
}

// Pointer over the tile slots: an arrow with a small tile beside it, which
// says "press here to store or recall a tile".
QCursor slotCursor() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    QPainterPath arrow;
    arrow.moveTo(0, 0);
    arrow.lineTo(0, 15);
    arrow.lineTo(4, 11);
    arrow.lineTo(7, 17);
    arrow.lineTo(9, 16);
    arrow.lineTo(6, 10);
    arrow.lineTo(11, 10);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    p.setBrush(QColor(255, 255, 0));
    p.drawRect(12, 12, 9, 9);
    p.drawLine(12, 16, 21, 16);
    p.drawLine(16, 12, 16, 21);
    p.end();
    return QCursor(pm, 0, 0);
}

}  // namespace

// A tile picture: black, then the tile's image at (0, 0), scaled up crisply.
// It keeps the tile number rather than pixels, so a new tile set shows the
// same number with the new set's image.
class TilePalette::TileBox : public QWidget {
  public:
    TileBox(const TileCache& tiles, QWidget* parent) : QWidget(parent), tiles_(tiles) {
        setFixedSize(kPreviewSide, kPreviewSide);
    }
    void setTile(std::optional<uint8_t> tile) {
        tile_ = tile;
        update();
    }
    std::optional<uint8_t> tile() const { return tile_; }
    std::function<void(int button)> onPress;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (!tile_) return;
        const QImage& img = tiles_.tile(*tile_);
        if (img.isNull()) return;
        p.drawImage(QRect(0, 0, img.width() * kPreviewScale, img.height() * kPreviewScale), img);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (onPress) onPress(buttonNumber(e->button()));
    }

  private:
    const TileCache& tiles_;
    std::optional<uint8_t> tile_;
};

// tsetprev: the current tile sheet at its own size, one pixel per pixel, so
// the sheet's 8 x 8 grid matches the tile numbers.
class TilePalette::SheetBox : public QWidget {
  public:
    SheetBox(const TileCache& tiles, QWidget* parent) : QWidget(parent), tiles_(tiles) {
        setFixedSize(128, 128);
        setMouseTracking(true);
    }
    std::function<void(int button, double x, double y)> onPress;
    std::function<void(double x, double y)> onMove;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.drawImage(0, 0, tiles_.sheet());
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (onPress) onPress(buttonNumber(e->button()), e->position().x(), e->position().y());
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (onMove) onMove(e->position().x(), e->position().y());
    }
    // "Tile 3C" over each tile, gone once the pointer leaves that tile.
    bool event(QEvent* e) override {
        if (e->type() != QEvent::ToolTip) return QWidget::event(e);
        const auto* help = static_cast<QHelpEvent*>(e);
        const int column = cellOf(help->pos().x());
        const int row = cellOf(help->pos().y());
        if (column < 0 || column > 15 || row < 0 || row > 15) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(help->globalPos(), "Tile " + hexCaption(column + 16 * row), this,
                           QRect(8 * column, 8 * row, 8, 8));
        return true;
    }

  private:
    const TileCache& tiles_;
};

TilePalette::TilePalette(RomSession& session, EditTools& tools, TileCache& tiles, History* history,
                         QWidget* parent)
    : QWidget(parent, Qt::Tool),
      session_(session),
      tools_(tools),
      tiles_(tiles),
      history_(history) {
    setObjectName("frmTileSet");
    setWindowTitle("Tools");
    setFixedSize(kClientWidth, kClientHeight);
    buildTools();
    buildPictures();
    // Form_Load chooses the select tool. The core starts with it, and is only
    // told when it differs: its change notice may lead back here before the
    // owner has stored this window.
    if (tools_.curtool() != kSelectTool) tools_.ctool_Click(kSelectTool);
    highlightTool(kSelectTool);
    refreshFromTools();
}

void TilePalette::buildTools() {
    // Buttons 1 and 3 to 7 choose tool numbers with no map behaviour; they
    // exist, hidden, so every index keeps its place.
    static constexpr QPoint kToolPos[8] = {{24, 0},  {96, 0}, {0, 0},   {72, 0},
                                           {96, 24}, {48, 0}, {48, 24}, {72, 24}};
    for (int i = 0; i < 8; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString("cTool%1").arg(i));
        b->setGeometry(kToolPos[i].x(), kToolPos[i].y(), kButtonSide, kButtonSide);
        b->setIconSize(QSize(16, 16));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, i] { ctool_Click(i); });
        b->setVisible(i == kSelectTool || i == kDrawTool);
        cTool_[i] = b;
    }
    cTool_[kSelectTool]->setIcon(selectIcon());
    cTool_[kSelectTool]->setToolTip("Select: drag a block to move, copy or cut");
    cTool_[kDrawTool]->setIcon(pencilIcon());
    cTool_[kDrawTool]->setToolTip(
        "Draw: left and right buttons paint their tiles, middle button picks a tile");

    static constexpr QPoint kClipPos[4] = {{24, 56}, {48, 56}, {72, 56}, {0, 56}};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString("clip%1").arg(i));
        b->setGeometry(kClipPos[i].x(), kClipPos[i].y(), kButtonSide, kButtonSide);
        b->setIconSize(QSize(16, 16));
        b->setFocusPolicy(Qt::NoFocus);
        b->setEnabled(false);
        connect(b, &QToolButton::clicked, this, [this, i] { clip_Click(i); });
        clip_[i] = b;
    }
    clip_[kClipNone]->hide();
    clip_[kClipCopy]->setIcon(copyIcon());
    clip_[kClipCopy]->setToolTip("Copy (Ctrl+C)");
    clip_[kClipPaste]->setIcon(pasteIcon());
    clip_[kClipPaste]->setToolTip("Paste (Ctrl+V)");
    clip_[kClipCut]->setIcon(scissorsIcon());
    clip_[kClipCut]->setToolTip("Cut (Ctrl+X)");
}

void TilePalette::buildPictures() {
    QFont small = font();
    small.setPixelSize(10);
    auto label = [&](const char* name, const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        l->setFont(small);
        l->setGeometry(x, y, w, h);
        return l;
    };
    auto box = [&](const char* name, int x, int y) {
        auto* b = new TileBox(tiles_, this);
        b->setObjectName(name);
        b->move(x, y);
        return b;
    };

    tsetprev_ = new SheetBox(tiles_, this);
    tsetprev_->setObjectName("tsetprev");
    tsetprev_->move(0, 88);
    tsetprev_->onPress = [this](int button, double x, double y) {
        tsetprev_MouseDown(button, x, y);
    };
    tsetprev_->onMove = [this](double x, double y) { tsetprev_MouseMove(x, y); };

    // Hexadecimal captions are a little wider than the classic 12 pixels at
    // today's font sizes; they keep their left edges.
    lpseltile_ = label("lpseltile", "00", 8, 232, 16, 13);
    pseltile_ = box("pseltile", 24, 232);
    lmseltile_ = label("lmseltile", "00", 96, 232, 16, 13);
    mseltile_ = box("mseltile", 112, 232);

    label("Label1", "Left", 32, 248, 30, 17);
    llseltile_ = label("llseltile", "01", 64, 248, 16, 13);
    lseltile_ = box("lseltile", 80, 248);
    label("Label2", "Right", 32, 264, 30, 17);
    lrseltile_ = label("lrseltile", "00", 64, 264, 16, 13);
    rseltile_ = box("rseltile", 96, 264);

    static constexpr const char* kSlotNames[4] = {"ts1seltile", "ts2seltile", "tdseltile",
                                                  "tsseltile"};
    static constexpr QPoint kSlotPos[4] = {{16, 320}, {72, 320}, {16, 344}, {72, 344}};
    const QCursor cursor = slotCursor();
    for (int i = 0; i < 4; ++i) {
        slots_[i] = box(kSlotNames[i], kSlotPos[i].x(), kSlotPos[i].y());
        slots_[i]->setCursor(cursor);
        slots_[i]->setToolTip(
            "Left or right button: store that button's tile; middle button: make it the left "
            "tile");
        slots_[i]->onPress = [this, i](int button) { tileyank(i, button); };
    }

    auto go = [&](const char* name, int x, int y, void (TilePalette::*handler)()) {
        auto* b = new QPushButton("Go!", this);
        b->setObjectName(name);
        b->setGeometry(x, y, 33, 17);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    go("cmdswap", 88, 320, &TilePalette::cmdswap_Click)
        ->setToolTip("Swap the two tiles on the left all over the map");
    go("cmdTransform", 88, 344, &TilePalette::cmdTransform_Click)
        ->setToolTip("Replace every first tile on the map by the second");
}

void TilePalette::highlightTool(int index) {
    for (int i = 0; i < 8; ++i) {
        const QColor& c = i == index ? kToolChosen : kToolIdle;
        cTool_[i]->setStyleSheet(
            QString("QToolButton { background-color: %1; border: 1px solid #606060; }")
                .arg(c.name()));
    }
    shownTool_ = index;
}

void TilePalette::ctool_Click(int index) {
    if (index < 0 || index > 7) return;
    // Highlight first: the core's change notice may come back through
    // refreshFromTools, which then has nothing left to do.
    highlightTool(index);
    tools_.ctool_Click(index);
    emit toolChanged(index);
}

void TilePalette::clip_Click(int index) {
    if (index < 0 || index > 3 || index == kClipNone) return;
    if (!tools_.clipEnabled(index)) return;
    emit clipRequested(index);
}

void TilePalette::refreshFromTools() {
    for (int i = 0; i < 4; ++i) clip_[i]->setEnabled(i != kClipNone && tools_.clipEnabled(i));

    llseltile_->setText(hexCaption(tools_.leftTile()));
    lseltile_->setTile(tools_.leftTile());
    lrseltile_->setText(hexCaption(tools_.rightTile()));
    rseltile_->setTile(tools_.rightTile());

    if (const auto tile = tools_.pointerTile()) {
        lmseltile_->setText(hexCaption(*tile));
        mseltile_->setTile(*tile);
    }

    // ResetTools and Paste choose the select tool in the core; the buttons and
    // the map pointer follow.
    if (tools_.curtool() != shownTool_) {
        highlightTool(tools_.curtool());
        emit toolChanged(tools_.curtool());
    }
}

void TilePalette::showSheet() {
    // The pictures hold tile numbers, so repainting shows the new set's images.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (dynamic_cast<TileBox*>(w) || w == tsetprev_) w->update();
    }
}

int TilePalette::slotTile(int slot) const {
    if (slot < 0 || slot > 3) return -1;
    return slotTiles_[slot];
}

void TilePalette::tsetprev_MouseDown(int button, double x, double y) {
    const int column = cellOf(x);
    const int row = cellOf(y);
    if (column < 0 || column > 15 || row < 0 || row > 15) return;
    const auto n = static_cast<uint8_t>(column + 16 * row);
    if (button == kLeftButton)
        tools_.setLeftTile(n);
    else if (button == kRightButton)
        tools_.setRightTile(n);
    else
        return;
    refreshFromTools();
}

void TilePalette::tsetprev_MouseMove(double x, double y) {
    const int column = cellOf(x);
    const int row = cellOf(y);
    if (column < 0 || column > 15 || row < 0 || row > 15) return;
    const auto n = static_cast<uint8_t>(column + 16 * row);
    pseltile_->setTile(n);
    lpseltile_->setText(hexCaption(n));
}

// Recalling from a slot that never stored a tile does nothing: it has no tile
// number, and silently choosing tile 0 would surprise the user.
void TilePalette::tileyank(int slot, int button) {
    if (slot < 0 || slot > 3) return;
    switch (button) {
        case kLeftButton:
        case kRightButton: {
            const uint8_t tile = button == kLeftButton ? tools_.leftTile() : tools_.rightTile();
            slotTiles_[slot] = tile;
            slots_[slot]->setTile(tile);
            break;
        }
        case kMiddleButton:
            if (slotTiles_[slot] < 0) return;
            tools_.setLeftTile(static_cast<uint8_t>(slotTiles_[slot]));
            refreshFromTools();
            break;
        default:
            break;
    }
}

template <typename Rule>
void TilePalette::rewriteMap(const char* stepName, Rule rule) {
    TrackMap::Cells cells = session_.map.cells();
    bool any = false;
    for (uint8_t& cell : cells) {
        const uint8_t after = rule(cell);
        any = any || after != cell;
        cell = after;
    }
    if (any) {
        if (history_) history_->begin(stepName);
        session_.map.replace(cells);
        if (history_) history_->end();
        // The map now differs from what was loaded or saved; without this an
        // exit right after would drop the edit without asking.
        session_.rom.changed = true;
    }
    emit mapRewritten();
}

void TilePalette::cmdswap_Click() {
    const auto a = static_cast<uint8_t>(std::max(slotTiles_[0], 0));
    const auto b = static_cast<uint8_t>(std::max(slotTiles_[1], 0));
    rewriteMap("Swap", [a, b](uint8_t cell) -> uint8_t {
        if (cell == a) return b;
        if (cell == b) return a;
        return cell;
    });
}

void TilePalette::cmdTransform_Click() {
    const auto from = static_cast<uint8_t>(std::max(slotTiles_[2], 0));
    const auto to = static_cast<uint8_t>(std::max(slotTiles_[3], 0));
    rewriteMap("Transform", [from, to](uint8_t cell) { return cell == from ? to : cell; });
}

}  // namespace korvale
