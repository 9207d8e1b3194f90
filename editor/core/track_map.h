// The track map: 128 x 128 cells of one tile number each, row-major.
// Every write goes through setCell, replace or load, which tell the
// observers, so the view and the undo history cannot miss a change.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/rom_layout.h"

namespace korvale {

class TrackMap {
  public:
    using Cells = std::array<uint8_t, layout::kMapCells>;

    class Observer {
      public:
        virtual ~Observer() = default;
        // One cell now holds `after` instead of `before`.
        virtual void cellChanged(int x, int y, uint8_t before, uint8_t after) = 0;
        // Many cells may have changed at once; `before` is the map as it was.
        virtual void mapReplaced(const Cells& before) = 0;
        // A new map was loaded: not an edit, nothing to undo.
        virtual void mapLoaded() {}
    };

    TrackMap() { cells_.fill(0); }

    // Reads cell index y * 128 + x, clamped to the last cell: GetMap(130, 0)
    // is cell (2, 1) and GetMap(0, 200) is cell (127, 127).
    uint8_t GetMap(unsigned x, unsigned y) const;

    // Cell (x, y); the caller keeps both within 0 to 127.
    uint8_t at(int x, int y) const { return cells_[static_cast<size_t>(y * layout::kMapSide + x)]; }
    const Cells& cells() const { return cells_; }

    static bool inside(int x, int y) {
        return x >= 0 && y >= 0 && x < layout::kMapSide && y < layout::kMapSide;
    }

    // Writes one cell; false (and nothing happens) outside the map. A write of
    // the value already there still reports, so a repaint follows every draw.
    bool setCell(int x, int y, uint8_t tile);

    // Replaces every cell at once, as an edit.
    void replace(const Cells& cells);
    // Puts a newly read map in place.
    void load(const Cells& cells);
    void fill(uint8_t tile);

    void addObserver(Observer* observer);
    void removeObserver(Observer* observer);

  private:
    Cells cells_;
    std::vector<Observer*> observers_;
};

}  // namespace korvale
