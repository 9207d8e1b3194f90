#include "core/edit_tools.h"

#include <algorithm>
#include <cmath>

namespace korvale {

namespace {

constexpr int kCell = 8;
constexpr int kMapPixels = layout::kMapSide * kCell;  // 1024

// Far enough outside the map for any use, small enough never to overflow.
constexpr double kPixelLimit = 1.0e6;

}  // namespace

int cellOf(double pixel) {
    if (std::isnan(pixel)) return -static_cast<int>(kPixelLimit);
    pixel = std::clamp(pixel, -kPixelLimit, kPixelLimit);
    // C++ integer division truncates toward zero, as the pointer arithmetic wants.
    return static_cast<int>(std::lround(pixel)) / kCell;
}

EditTools::EditTools(MapEditor& document) : document_(document), history_(&document.history()) {
    history_->setClient(this);
}

EditTools::~EditTools() {
    if (history_ && history_->client() == this) history_->setClient(nullptr);
}

void EditTools::setLeftTile(uint8_t tile) {
    leftTile_ = tile;
    notify();
}

void EditTools::setRightTile(uint8_t tile) {
    rightTile_ = tile;
    notify();
}

void EditTools::ctool_Click(int index) {
    if (index < 0 || index > 7) return;
    curtool_ = index;
    notify();
}

// --- undo steps ---

void EditTools::beginStep(const char* name) {
    if (history_) history_->begin(name);
}

void EditTools::endStep() {
    if (history_) history_->end();
}

void EditTools::setMode(ToolMode mode) {
    mode_ = mode;
    // Buttons held on the floating picture count only while dragging.
    if (mode_ != ToolMode::Dragging) carrierButtons_ = 0;
}

void EditTools::beginStroke() {
    // A drag that wanders in while a block floats paints cell by cell, each
    // an undo step of its own; the block keeps floating.
    if (mode_ != ToolMode::Idle && mode_ != ToolMode::Selecting) return;
    setMode(ToolMode::Painting);
    beginStep("Paint");
}

void EditTools::endStroke() {
    strokeButtons_ = 0;
    if (mode_ != ToolMode::Painting) return;
    setMode(ToolMode::Idle);
    endStep();
}

bool EditTools::undo() {
    endStroke();
    return document_.undo();
}

bool EditTools::redo() {
    endStroke();
    return document_.redo();
}

std::optional<FloatingSnapshot> EditTools::floatingNow() const {
    if (!blockfloat()) return std::nullopt;
    FloatingSnapshot block;
    block.left = carrier_.left;
    block.top = carrier_.top;
    block.width = carrier_.width;
    block.height = carrier_.height;
    block.blockx = blockx_;
    block.blocky = blocky_;
    block.blockw = blockw_;
    block.blockh = blockh_;
    block.cells.reserve(static_cast<size_t>(blockw_ * blockh_));
    for (int dy = 0; dy < blockh_; ++dy) {
        const auto row = blockbuf_.begin() + dy * layout::kMapSide;
        block.cells.insert(block.cells.end(), row, row + blockw_);
    }
    return block;
}

void EditTools::restoreFloating(const std::optional<FloatingSnapshot>& block) {
    if (!block) {
        discardFloatingBlock();
        return;
    }
    const int w = std::clamp(block->blockw, 0, static_cast<int>(layout::kMapSide));
    const int h = std::clamp(block->blockh, 0, static_cast<int>(layout::kMapSide));
    if (block->cells.size() < static_cast<size_t>(w * h)) return;
    for (int dy = 0; dy < h; ++dy) {
        std::copy_n(block->cells.begin() + dy * w, w, blockbuf_.begin() + dy * layout::kMapSide);
    }
    blockw_ = w;
    blockh_ = h;
    blockx_ = block->blockx;
    blocky_ = block->blocky;
    carrier_ = PixelRect{block->left, block->top, block->width, block->height};
    setMode(ToolMode::Floating);
    justdropped_ = false;
    outlineShown_ = false;
    clipEnabled_[kClipCopy] = true;
    clipEnabled_[kClipCut] = true;
    notify();
}

void EditTools::historyDestroyed() {
    if (mode_ == ToolMode::Painting) setMode(ToolMode::Idle);
    history_ = nullptr;
}

void EditTools::historyApplied(const std::optional<FloatingSnapshot>* floating) {
    if (floating) {
        restoreFloating(*floating);
    } else {
        notify();
    }
}

void EditTools::leaveFloating() {
    if (blockfloat()) setMode(ToolMode::Idle);
}

void EditTools::discardFloatingBlock() {
    leaveFloating();
    clipEnabled_[kClipCopy] = false;
    clipEnabled_[kClipCut] = false;
    notify();
}

// --- the map view ---

void EditTools::setStatus(int cx, int cy) {
    statusText_ = "X: " + std::to_string(cx) + ", Y: " + std::to_string(cy);
}

void EditTools::picture2_MouseDown(int button, double x, double y) {
    pressOnMap(button, x, y);
    notify();
}

void EditTools::pressOnMap(int button, double x, double y) {
    const int cx = cellOf(x);
    const int cy = cellOf(y);
    setStatus(cx, cy);

    if (blockfloat()) {
        drop();
    } else {
        if (mode_ == ToolMode::Selecting) setMode(ToolMode::Idle);
        outlineShown_ = false;
        clipEnabled_[kClipCopy] = false;
        clipEnabled_[kClipCut] = false;
    }

    if (curtool_ == kDrawTool) {
        strokeButtons_ |= button;
        beginStroke();
    }
    if (!TrackMap::inside(cx, cy)) return;
    if (curtool_ == kDrawTool) {
        drawPress(button, cx, cy);
    } else if (curtool_ == kSelectTool && button == kLeftButton && !justdropped_) {
        startSelection(cx, cy);
    }
}

void EditTools::drawPress(int button, int cx, int cy) {
    switch (button) {
        case kLeftButton:
            document_.DrawMap(cx, cy, leftTile_);
            break;
        case kRightButton:
            document_.DrawMap(cx, cy, rightTile_);
            break;
        case kMiddleButton:
            pick(cx, cy);
            break;
        default:
            break;
    }
}

void EditTools::pick(int cx, int cy) {
    leftTile_ = document_.map().at(cx, cy);
}

void EditTools::picture2_MouseMove(int buttons, double x, double y) {
    const int cx = cellOf(x);
    const int cy = cellOf(y);
    setStatus(cx, cy);
    if (buttons == 0) endStroke();  // a release we never saw
    if (TrackMap::inside(cx, cy)) {
        pointerTile_ = document_.map().at(cx, cy);
        if (curtool_ == kDrawTool) {
            if (buttons == kLeftButton || buttons == kRightButton) {
                beginStroke();  // a drag that began off the map view
                strokeButtons_ |= buttons;
            }
            drawPress(buttons, cx, cy);
        } else if (curtool_ == kSelectTool && buttons == kLeftButton) {
            stretchSelection(cx, cy);
        }
    }
    notify();
}

void EditTools::picture2_MouseUp(int button, double /*x*/, double /*y*/) {
    strokeButtons_ &= ~button;
    if (strokeButtons_ == 0) endStroke();

    if (curtool_ != kSelectTool) {
        notify();
        return;
    }
    if (justdropped_ || blockfloat()) {
        justdropped_ = false;
    } else {
        lift();
    }
    notify();
}

// --- selection and the floating block ---

void EditTools::startSelection(int cx, int cy) {
    setMode(ToolMode::Selecting);
    outlineShown_ = true;
    selection_ = PixelRect{kCell * cx, kCell * cy, kCell, kCell};
    anchorx_ = kCell * cx;
    anchory_ = kCell * cy;
}

void EditTools::stretchSelection(int cx, int cy) {
    const int dx = kCell * cx - anchorx_;
    if (dx < 0) {
        selection_.left = kCell * cx;
        selection_.width = anchorx_ - kCell * cx + kCell;
    } else {
        selection_.left = anchorx_;
        selection_.width = dx + kCell;
    }
    const int dy = kCell * cy - anchory_;
    if (dy < 0) {
        selection_.top = kCell * cy;
        selection_.height = anchory_ - kCell * cy + kCell;
    } else {
        selection_.top = anchory_;
        selection_.height = dy + kCell;
    }
}

void EditTools::lift() {
    const int bx = cellOf(selection_.left);
    const int by = cellOf(selection_.top);
    const int bw = cellOf(selection_.width);
    const int bh = cellOf(selection_.height);
    // Before any selection there is nothing to lift; a rectangle reaching
    // beyond the map lifts nothing either, and changes nothing.
    if (bw <= 0 || bh <= 0) return;
    if (!TrackMap::inside(bx, by) || !TrackMap::inside(bx + bw - 1, by + bh - 1)) return;

    endStroke();
    beginStep("Lift");
    carrier_ = selection_;
    blockx_ = bx;
    blocky_ = by;
    blockw_ = bw;
    blockh_ = bh;
    for (int y = by; y < by + bh; ++y) {
        for (int x = bx; x < bx + bw; ++x) {
            blockbuf_[static_cast<size_t>((x - bx) + layout::kMapSide * (y - by))] =
                document_.map().at(x, y);
        }
    }
    setMode(ToolMode::Floating);
    for (int y = by; y < by + bh; ++y) {
        for (int x = bx; x < bx + bw; ++x) document_.DrawMap(x, y, rightTile_);
    }
    outlineShown_ = false;
    clipEnabled_[kClipCopy] = true;
    clipEnabled_[kClipCut] = true;
    if (history_) history_->setFloatingAfter(floatingNow());
    endStep();
}

void EditTools::drop() {
    beginStep("Drop");
    if (history_) history_->setFloatingBefore(floatingNow());
    leaveFloating();
    document_.markChanged();
    justdropped_ = true;
    const int ox = cellOf(carrier_.left);
    const int oy = cellOf(carrier_.top);
    for (int dy = 0; dy < blockh_; ++dy) {
        for (int dx = 0; dx < blockw_; ++dx) {
            const int x = ox + dx;
            const int y = oy + dy;
            if (TrackMap::inside(x, y)) {
                document_.DrawMap(x, y, blockbuf_[static_cast<size_t>(dx + layout::kMapSide * dy)]);
            }
        }
    }
    if (history_) history_->setFloatingAfter(std::nullopt);
    endStep();
}

void EditTools::pcarrier_MouseDown(int button, double x, double y) {
    if (!blockfloat()) return;
    outlineShown_ = false;
    carrierButtons_ |= button;
    setMode(ToolMode::Dragging);
    if (button == kLeftButton) {
        grabx_ = static_cast<int>(std::lround(std::clamp(x, -kPixelLimit, kPixelLimit)));
        graby_ = static_cast<int>(std::lround(std::clamp(y, -kPixelLimit, kPixelLimit)));
    }
    notify();
}

void EditTools::pcarrier_MouseMove(int buttons, double x, double y) {
    if (!blockfloat()) return;
    outlineShown_ = false;
    if (buttons == kLeftButton) {
        const double px = carrier_.left + x;
        const double py = carrier_.top + y;
        int newleft = cellOf(px - grabx_) * kCell;
        int newtop = cellOf(py - graby_) * kCell;
        newleft = std::max(newleft, 0);
        newtop = std::max(newtop, 0);
        newleft = std::min(newleft, kMapPixels - kCell * blockw_);
        newtop = std::min(newtop, kMapPixels - kCell * blockh_);
        carrier_.left = newleft;
        carrier_.top = newtop;
    }
    notify();
}

void EditTools::pcarrier_MouseUp(int button, double /*x*/, double /*y*/) {
    if (!blockfloat()) return;
    outlineShown_ = false;
    carrierButtons_ &= ~button;
    setMode(carrierButtons_ != 0 ? ToolMode::Dragging : ToolMode::Floating);
    notify();
}

// --- ResetTools and the clipboard ---

void EditTools::ResetTools() {
    clearTools();
    notify();
}

void EditTools::clearTools() {
    endStroke();
    clipEnabled_[kClipCopy] = false;
    clipEnabled_[kClipCut] = false;
    blockw_ = 0;
    blockh_ = 0;
    justdropped_ = false;
    setMode(ToolMode::Idle);
    outlineShown_ = false;
    curtool_ = kSelectTool;
}

bool EditTools::clipEnabled(int index) const {
    if (index < 0 || index > 3) return false;
    return clipEnabled_[index];
}

void EditTools::clip_Click(int index, int viewLeft, int viewTop) {
    runClip(index, viewLeft, viewTop);
    notify();
}

void EditTools::runClip(int index, int viewLeft, int viewTop) {
    if (!clipEnabled(index)) return;
    endStroke();
    switch (index) {
        case kClipCopy:
            copy();
            break;
        case kClipPaste:
            paste(viewLeft, viewTop);
            break;
        case kClipCut:
            cut();
            break;
        default:
            break;
    }
}

void EditTools::copy() {
    clipbuf_ = blockbuf_;
    clipw_ = blockw_;
    cliph_ = blockh_;
    clipEnabled_[kClipPaste] = true;
}

void EditTools::cut() {
    beginStep("Cut");
    if (history_) history_->setFloatingBefore(floatingNow());
    copy();
    clearTools();
    if (history_) history_->setFloatingAfter(std::nullopt);
    endStep();
}

void EditTools::paste(int viewLeft, int viewTop) {
    // One step: the drop of a block floating before, and the new block.
    beginStep("Paste");
    if (history_) history_->setFloatingBefore(floatingNow());
    curtool_ = kSelectTool;
    pressOnMap(kLeftButton, 0, 0);
    blockw_ = clipw_;
    blockh_ = cliph_;
    blockbuf_ = clipbuf_;
    setMode(ToolMode::Floating);
    justdropped_ = false;
    carrier_ = PixelRect{viewLeft, viewTop, kCell * clipw_, kCell * cliph_};
    if (history_) history_->setFloatingAfter(floatingNow());
    endStep();
}

// --- keyboard ---

void EditTools::run(EditCommand command, int viewLeft, int viewTop) {
    switch (command) {
        case EditCommand::Delete:
            if (blockfloat()) {
                // Discarding a lifted block erases its source; undo brings it back floating.
                beginStep("Delete");
                if (history_) history_->setFloatingBefore(floatingNow());
                clearTools();
                if (history_) history_->setFloatingAfter(std::nullopt);
                endStep();
            } else {
                clearTools();
            }
            break;
        case EditCommand::Copy:
            runClip(kClipCopy, viewLeft, viewTop);
            break;
        case EditCommand::Paste:
            runClip(kClipPaste, viewLeft, viewTop);
            break;
        case EditCommand::SelectAll:
            runClip(kClipNone, viewLeft, viewTop);
            break;
        case EditCommand::Cut:
            runClip(kClipCut, viewLeft, viewTop);
            break;
    }
    notify();
}

void EditTools::notify() {
    if (onStateChanged) onStateChanged();
}

}  // namespace korvale
