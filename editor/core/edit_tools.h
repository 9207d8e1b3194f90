// The editing state machine: the draw and select tools, the selection
// rectangle, the floating block, the block clipboard and the keyboard
// commands, all in map pixels (8 per cell, 1024 x 1024 for the whole map).
// The map view forwards mouse events here and draws the state it reads back;
// nothing here knows about windows, so the whole behaviour is testable.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/history.h"
#include "core/rom_layout.h"
#include "core/track_document.h"

namespace korvale {

enum MouseButton : int { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
enum ToolIndex : int { kDrawTool = 0, kSelectTool = 2 };
enum ClipIndex : int { kClipCopy = 0, kClipPaste = 1, kClipNone = 2, kClipCut = 3 };

// The keyboard commands the tools carry out (the page keys are the document's).
enum class EditCommand { Delete, Copy, Paste, SelectAll, Cut };

// What the tools are doing. The named flags are read from it: a block
// floats (blockfloat) while floating or dragging; the floating picture is in
// normal colours while dragging; painting is an open paint stroke; selecting
// is a selection begun and not yet lifted.
enum class ToolMode { Idle, Selecting, Floating, Dragging, Painting };

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

using BlockBuffer = std::array<uint8_t, layout::kMapCells>;  // index dx + 128 * dy

// Cell of a pointer position: rounded to the nearest pixel, then divided
// truncating toward zero, so pixels -1 to -7 still lie in row or column 0.
int cellOf(double pixel);

class EditTools : private HistoryClient {
  public:
    explicit EditTools(MapEditor& document);
    ~EditTools() override;
    EditTools(const EditTools&) = delete;
    EditTools& operator=(const EditTools&) = delete;

    // The steps made in the document's history: a paint stroke from press to
    // release ("Paint"), "Lift", "Drop", "Paste", "Cut" and "Delete" (Delete
    // while a block floats). The tools are the history's client: after an
    // undo or redo they float or remove the block the step remembers.

    // Undo and redo through the document, closing an open paint stroke first.
    // Undo while a block floats puts the map back as it was before the lift
    // or paste and removes the block; redo floats it again where it was.
    bool undo();
    bool redo();

    // Called after every change of the state below, for the view to follow.
    std::function<void()> onStateChanged;

    // --- model state shown by the palette ---
    uint8_t leftTile() const { return leftTile_; }    // llseltile; 1 at start
    uint8_t rightTile() const { return rightTile_; }  // lrseltile; 0 at start
    void setLeftTile(uint8_t tile);
    void setRightTile(uint8_t tile);

    int curtool() const { return curtool_; }
    // The state part of choosing a tool; the palette highlights and sets the pointer.
    void ctool_Click(int index);

    // --- mouse over the map view, in map pixels ---
    void picture2_MouseDown(int button, double x, double y);
    void picture2_MouseMove(int buttons, double x, double y);
    void picture2_MouseUp(int button, double x, double y);

    // --- mouse over the floating picture, relative to its top-left corner ---
    void pcarrier_MouseDown(int button, double x, double y);
    void pcarrier_MouseMove(int buttons, double x, double y);
    void pcarrier_MouseUp(int button, double x, double y);

    // Drops nothing: hides the selection, discards a floating block (its
    // source keeps the right-button tile), disables copy and cut, and chooses
    // the select tool. The clipboard and paste stay.
    void ResetTools();

    bool clipEnabled(int index) const;
    // Copy, paste or cut when that button is enabled. Paste floats the
    // clipboard at map pixel (viewLeft, viewTop), the view's top-left corner.
    void clip_Click(int index, int viewLeft = 0, int viewTop = 0);

    // Delete is ResetTools (as one undo step while a block floats); Copy,
    // Paste, Select All and Cut are the clip buttons.
    void run(EditCommand command, int viewLeft = 0, int viewTop = 0);

    // --- state the view draws ---
    const std::string& statusText() const { return statusText_; }        // "X: 12, Y: 5"
    std::optional<uint8_t> pointerTile() const { return pointerTile_; }  // mseltile
    ToolMode mode() const { return mode_; }
    bool selectionVisible() const { return outlineShown_; }
    const PixelRect& selection() const { return selection_; }  // shselect
    bool blockfloat() const { return mode_ == ToolMode::Floating || mode_ == ToolMode::Dragging; }
    const PixelRect& carrier() const { return carrier_; }  // pcarrier, in map pixels
    // Normal colours while a button is held on the floating picture.
    bool carrierPressed() const { return mode_ == ToolMode::Dragging; }
    bool justdropped() const { return justdropped_; }

    const BlockBuffer& blockbuf() const { return blockbuf_; }
    int blockx() const { return blockx_; }
    int blocky() const { return blocky_; }
    int blockw() const { return blockw_; }
    int blockh() const { return blockh_; }
    const BlockBuffer& clipbuf() const { return clipbuf_; }
    int clipw() const { return clipw_; }
    int cliph() const { return cliph_; }
    int anchorx() const { return anchorx_; }
    int anchory() const { return anchory_; }
    int grabx() const { return grabx_; }
    int graby() const { return graby_; }

    // Undo support: removes the floating block and its picture without
    // writing it anywhere (the history restores the map itself), and disables
    // copy and cut.
    void discardFloatingBlock();

    // The floating block as the history keeps it (nullopt when none floats),
    // and the way back: floats `block` (or removes the floating one).
    std::optional<FloatingSnapshot> floatingNow() const override;
    void restoreFloating(const std::optional<FloatingSnapshot>& block);

  private:
    void historyApplied(const std::optional<FloatingSnapshot>* floating) override;
    void historyDestroyed() override;
    void setMode(ToolMode mode);
    void clearTools();
    void runClip(int index, int viewLeft, int viewTop);
    // Leaves a floating or dragging block behind without placing it.
    void leaveFloating();
    void drawPress(int button, int cx, int cy);
    void pick(int cx, int cy);
    void beginStroke();
    void endStroke();
    void beginStep(const char* name);
    void endStep();
    void startSelection(int cx, int cy);
    void stretchSelection(int cx, int cy);
    void lift();
    void drop();
    void copy();
    void paste(int viewLeft, int viewTop);
    void cut();
    void pressOnMap(int button, double x, double y);
    void setStatus(int cx, int cy);
    void notify();

    MapEditor& document_;
    History* history_ = nullptr;  // the document's, until it goes

    uint8_t leftTile_ = 1;
    uint8_t rightTile_ = 0;
    int curtool_ = kSelectTool;
    ToolMode mode_ = ToolMode::Idle;
    // Set by a drop and kept across tool changes and painting, so it is no
    // mode of its own: the next select-tool press only clears it.
    bool justdropped_ = false;
    int anchorx_ = 0, anchory_ = 0;
    // shselect's visibility. Mostly it shows while selecting, but Paste
    // starts a selection and floats a block at once, and the drop that
    // follows leaves the outline up until the next press.
    bool outlineShown_ = false;
    PixelRect selection_{};
    PixelRect carrier_{};
    bool clipEnabled_[4] = {false, false, false, false};
    BlockBuffer blockbuf_{};
    BlockBuffer clipbuf_{};
    int blockx_ = 0, blocky_ = 0, blockw_ = 0, blockh_ = 0;
    int clipw_ = 0, cliph_ = 0;
    int grabx_ = 0, graby_ = 0;
    std::string statusText_;
    std::optional<uint8_t> pointerTile_;
    int carrierButtons_ = 0;  // buttons held on the floating picture while dragging
    int strokeButtons_ = 0;   // buttons held while painting
};

}  // namespace korvale
