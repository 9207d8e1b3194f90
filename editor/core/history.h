// Undo and redo of map edits. It watches the map, so every write is recorded;
// the editing commands only say where a step begins and ends and what it is
// called. A step keeps only the cells it changed.
//
// The floating block is not in the map, yet undoing a lift must not lose it.
// So a step may also carry the floating block as it was before and after the
// step (lift: none -> the lifted block; drop: the block -> none; paste: none
// -> the clipboard block; cut and Delete: the block -> none). After an undo or
// a redo the history hands the matching block to its client, which floats it
// again or removes it. EditTools makes itself that client when it is built,
// and its undo() and redo() (through the document, which keeps `changed`)
// are the ones to call.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/track_map.h"

namespace korvale {

// A floating block as an undo step remembers it.
struct FloatingSnapshot {
    int left = 0, top = 0, width = 0, height = 0;  // the floating picture, map pixels
    int blockx = 0, blocky = 0;                    // the cell it was lifted from
    int blockw = 0, blockh = 0;                    // size in cells
    std::vector<uint8_t> cells;                    // blockw x blockh, row by row
    friend bool operator==(const FloatingSnapshot&, const FloatingSnapshot&) = default;
};

class HistoryClient {
  public:
    virtual ~HistoryClient() = default;
    // The block floating now, if any.
    virtual std::optional<FloatingSnapshot> floatingNow() const = 0;
    // Called after every undo and redo, once the map is back. `floating` is
    // the block that should float now when the step carried one (an empty
    // optional: none floats), or nullptr when the step leaves the block alone.
    virtual void historyApplied(const std::optional<FloatingSnapshot>* floating) = 0;
    // The history is going away; forget it.
    virtual void historyDestroyed() {}
};

class History : public TrackMap::Observer {
  public:
    static constexpr size_t kMaxSteps = 1000;

    explicit History(TrackMap& map);
    ~History() override;
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Brackets one step ("Paint", "Swap", "Drop", ...). Steps may nest; only
    // the outermost counts. A step that changed nothing is not kept. A write
    // outside any bracket becomes a step of its own, named "Edit". An end()
    // without a begin() is ignored.
    void begin(const std::string& name);
    void end();
    bool inStep() const { return depth_ > 0; }

    // Within a step: the floating block before it (the first call of the
    // outermost step counts) and after it (the last call counts).
    void setFloatingBefore(std::optional<FloatingSnapshot> block);
    void setFloatingAfter(std::optional<FloatingSnapshot> block);

    // Forgets everything; a map load does this by itself.
    void clear();

    // The clean point: where the map matches what was last saved. Cleared
    // with the history, and lost when the steps that lead back to it go.
    void markClean();
    bool isClean() const;

    bool canUndo() const;
    bool canRedo() const;
    std::string undoName() const;  // name of the step undo would revert; empty when none
    std::string redoName() const;

    // Put the map back one step, or forward again. False when there is none,
    // or while a step is still open (a mouse button is held).
    bool undo();
    bool redo();

    size_t undoCount() const;
    size_t redoCount() const;

    // Told about undo and redo (EditTools sets itself); may be null.
    void setClient(HistoryClient* client) { client_ = client; }
    HistoryClient* client() const { return client_; }

    // Called whenever the undo or redo list changes, for menus to follow.
    std::function<void()> onChanged;

    void cellChanged(int x, int y, uint8_t before, uint8_t after) override;
    void mapReplaced(const TrackMap::Cells& before) override;
    void mapLoaded() override { clear(); }

  private:
    struct Change {
        uint16_t index;
        uint8_t before;
        uint8_t after;
    };
    struct Step {
        std::string name;
        std::vector<Change> changes;
        bool tracksFloating = false;
        bool beforeSet = false;
        std::optional<FloatingSnapshot> floatingBefore;
        std::optional<FloatingSnapshot> floatingAfter;
    };
    void record(uint16_t index, uint8_t before, uint8_t after);
    void apply(const Step& step, bool forward);
    void changedLists();

    TrackMap& map_;
    HistoryClient* client_ = nullptr;
    std::deque<Step> undo_;
    std::deque<Step> redo_;
    Step open_;
    // Where each cell's change sits in open_.changes (-1: none yet), so a
    // cell painted over and over in one stroke keeps one entry.
    std::vector<int32_t> slot_;
    int depth_ = 0;
    bool applying_ = false;
    // The number of undo steps at the clean point; -1 when there is none.
    long clean_ = -1;
};

}  // namespace korvale
