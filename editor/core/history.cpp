#include "core/history.h"

#include <utility>

namespace korvale {

History::History(TrackMap& map) : map_(map), slot_(layout::kMapCells, -1) {
    map_.addObserver(this);
}

History::~History() {
    map_.removeObserver(this);
    if (client_) client_->historyDestroyed();
}

void History::begin(const std::string& name) {
    if (depth_++ == 0) {
        open_ = Step{};
        open_.name = name;
    }
}

void History::end() {
    if (depth_ == 0) return;
    if (--depth_ > 0) return;

    for (const Change& c : open_.changes) slot_[c.index] = -1;
    // A cell painted and painted back is no change at all.
    std::erase_if(open_.changes, [](const Change& c) { return c.before == c.after; });

    const bool floatingMoved = open_.tracksFloating && open_.floatingBefore != open_.floatingAfter;
    if (open_.changes.empty() && !floatingMoved) {
        open_ = Step{};
        return;
    }
    open_.changes.shrink_to_fit();
    // A clean point among the redo steps can no longer be reached.
    if (clean_ > static_cast<long>(undo_.size())) clean_ = -1;
    undo_.push_back(std::move(open_));
    open_ = Step{};
    if (undo_.size() > kMaxSteps) {
        undo_.pop_front();
        if (clean_ >= 0) --clean_;
    }
    redo_.clear();
    changedLists();
}

void History::setFloatingBefore(std::optional<FloatingSnapshot> block) {
    if (depth_ == 0 || open_.beforeSet) return;
    open_.tracksFloating = true;
    open_.beforeSet = true;
    open_.floatingBefore = std::move(block);
}

void History::setFloatingAfter(std::optional<FloatingSnapshot> block) {
    if (depth_ == 0) return;
    open_.tracksFloating = true;
    if (!open_.beforeSet) {
        // Nothing said otherwise, so nothing floated when the step began.
        open_.beforeSet = true;
        open_.floatingBefore.reset();
    }
    open_.floatingAfter = std::move(block);
}

void History::clear() {
    for (const Change& c : open_.changes) slot_[c.index] = -1;
    const std::string name = open_.name;
    open_ = Step{};
    open_.name = name;
    undo_.clear();
    redo_.clear();
    clean_ = -1;
    changedLists();
}

void History::markClean() {
    clean_ = static_cast<long>(undo_.size());
}

bool History::isClean() const {
    return clean_ == static_cast<long>(undo_.size());
}

bool History::canUndo() const {
    return !undo_.empty();
}
bool History::canRedo() const {
    return !redo_.empty();
}
std::string History::undoName() const {
    return undo_.empty() ? std::string() : undo_.back().name;
}
std::string History::redoName() const {
    return redo_.empty() ? std::string() : redo_.back().name;
}
size_t History::undoCount() const {
    return undo_.size();
}
size_t History::redoCount() const {
    return redo_.size();
}

bool History::undo() {
    if (undo_.empty() || depth_ > 0) return false;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    // The block may have been dragged since the step floated it: remember it
    // where it is now, so a redo puts it back there.
    if (client_ && step.tracksFloating && step.floatingAfter) {
        if (std::optional<FloatingSnapshot> now = client_->floatingNow()) step.floatingAfter = *now;
    }
    apply(step, false);
    if (client_) client_->historyApplied(step.tracksFloating ? &step.floatingBefore : nullptr);
    redo_.push_back(std::move(step));
    changedLists();
    return true;
}

bool History::redo() {
    if (redo_.empty() || depth_ > 0) return false;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    apply(step, true);
    if (client_) client_->historyApplied(step.tracksFloating ? &step.floatingAfter : nullptr);
    undo_.push_back(std::move(step));
    changedLists();
    return true;
}

void History::apply(const Step& step, bool forward) {
    applying_ = true;
    for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it) {
        const int x = it->index % layout::kMapSide;
        const int y = it->index / layout::kMapSide;
        map_.setCell(x, y, forward ? it->after : it->before);
    }
    applying_ = false;
}

void History::record(uint16_t index, uint8_t before, uint8_t after) {
    if (applying_) return;
    if (depth_ == 0) {
        // Nobody bracketed this write; it still must be undoable.
        begin("Edit");
        record(index, before, after);
        end();
        return;
    }
    int32_t& slot = slot_[index];
    if (slot < 0) {
        slot = static_cast<int32_t>(open_.changes.size());
        open_.changes.push_back(Change{index, before, after});
    } else {
        open_.changes[static_cast<size_t>(slot)].after = after;
    }
}

void History::cellChanged(int x, int y, uint8_t before, uint8_t after) {
    if (applying_ || !TrackMap::inside(x, y)) return;
    record(static_cast<uint16_t>(y * layout::kMapSide + x), before, after);
}

void History::mapReplaced(const TrackMap::Cells& before) {
    if (applying_) return;
    const TrackMap::Cells& now = map_.cells();
    const bool bracketed = depth_ > 0;
    if (!bracketed) begin("Edit");
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] != now[i]) record(static_cast<uint16_t>(i), before[i], now[i]);
    }
    if (!bracketed) end();
}

void History::changedLists() {
    if (onChanged) onChanged();
}

}  // namespace korvale
