// Undo and redo of map edits. It watches the map, so every write is recorded;
// the editing commands only say where a step begins and ends and what it is
// called. A step keeps only the cells it changed.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/track_map.h"

namespace korvale {

class History : public TrackMap::Observer {
public:
    static constexpr size_t kMaxSteps = 1000;

    explicit History(TrackMap& map);
    ~History() override;

    // Brackets one step ("Paint", "Swap", "Drop", ...). Steps may nest; only
    // the outermost counts. A step that changed nothing is not kept.
    void begin(const std::string& name);
    void end();

    // Forgets everything (a track load or a newly opened ROM).
    void clear();

    bool canUndo() const;
    bool canRedo() const;
    std::string undoName() const;  // name of the step undo would revert
    std::string redoName() const;

    // Put the map back one step, or forward again. False when there is none.
    bool undo();
    bool redo();

    size_t undoCount() const;
    size_t redoCount() const;

    void cellChanged(int x, int y, uint8_t before, uint8_t after) override;
    void mapReplaced(const TrackMap::Cells& before) override;

private:
    struct Change {
        uint16_t index;
        uint8_t before;
        uint8_t after;
    };
    struct Step {
        std::string name;
        std::vector<Change> changes;
    };
    void record(uint16_t index, uint8_t before, uint8_t after);
    void apply(const Step& step, bool forward);

    TrackMap& map_;
    std::deque<Step> undo_;
    std::deque<Step> redo_;
    Step open_;
    int depth_ = 0;
    bool applying_ = false;
};

}  // namespace korvale
