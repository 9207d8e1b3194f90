#include "core/track_map.h"

#include <algorithm>

namespace korvale {

uint8_t TrackMap::GetMap(unsigned x, unsigned y) const {
    uint64_t index = static_cast<uint64_t>(y) * layout::kMapSide + x;
    if (index > layout::kMapCells - 1) index = layout::kMapCells - 1;
    return cells_[static_cast<size_t>(index)];
}

bool TrackMap::setCell(int x, int y, uint8_t tile) {
    if (!inside(x, y)) return false;
    uint8_t& cell = cells_[static_cast<size_t>(y * layout::kMapSide + x)];
    const uint8_t before = cell;
    cell = tile;
    for (Observer* o : observers_) o->cellChanged(x, y, before, tile);
    return true;
}

void TrackMap::replace(const Cells& cells) {
    const Cells before = cells_;
    cells_ = cells;
    for (Observer* o : observers_) o->mapReplaced(before);
}

void TrackMap::load(const Cells& cells) {
    cells_ = cells;
    for (Observer* o : observers_) o->mapLoaded();
}

void TrackMap::fill(uint8_t tile) {
    Cells cells;
    cells.fill(tile);
    replace(cells);
}

void TrackMap::addObserver(Observer* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TrackMap::removeObserver(Observer* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

}  // namespace korvale
