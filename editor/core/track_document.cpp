#include "core/track_document.h"

#include <limits>

#include "core/hex.h"
#include "core/track_file.h"

namespace korvale {

TrackDocument::TrackDocument(ZarniBinding& zarni) : zarni_(zarni) {}

void TrackDocument::notify(unsigned changes) {
    if (changes != 0 && onChanged) onChanged(changes);
}

Outcome TrackDocument::loadTileSet(int index) {
    std::string error;
    if (tileSetLoader_ && !tileSetLoader_(index, &error))
        return Outcome{Status::TileSetMissing, error};
    return {};
}

// Every track load decodes through here.
Outcome TrackDocument::readTrack(const OpenRom& rom, int tracknum, int32_t coffset,
                                 LoadedTrack& out) {
    LoadedTrack loaded;
    Outcome outcome = korvale::readTrack(zarni_, rom, tracknum, coffset, map_.cells(), loaded);
    if (!outcome.ok()) return outcome;
    // The tile set before anything is shown: a missing sheet leaves all as it was.
    outcome = loadTileSet(loaded.tileSet);
    if (!outcome.ok()) return outcome;
    out = loaded;
    return {};
}

void TrackDocument::show(const OpenRom& rom, const LoadedTrack& track, unsigned changes) {
    rom_ = rom;
    rom_.curTrack = track.track;
    rom_.curOffset = track.offset;
    rom_.curTheme = static_cast<uint8_t>(track.tileSet * 2);
    // Choosing the track's tile set marks the map changed, as every load does.
    changed_ = true;
    // The history forgets everything when a map is loaded.
    map_.load(track.cells);
    notify(changes | kTrackChanged | kTileSetChanged | kMapLoaded);
}

Outcome TrackDocument::openRom(const std::string& path, bool acceptForeignTitle) {
    OpenRom opened = rom_;
    Outcome outcome = readRomImage(zarni_, path, acceptForeignTitle, opened);
    if (!outcome.ok()) return outcome;
    LoadedTrack track;
    outcome = readTrack(opened, opened.levelTrack[0], 0, track);
    if (!outcome.ok()) return outcome;
    show(opened, track, kRomChanged);
    return {};
}

Outcome TrackDocument::loadLevel(int level) {
    if (level < 0 || level >= layout::kLevelCount)
        return Outcome{Status::BadTrackNumber, {}, static_cast<uint32_t>(level)};
    LoadedTrack track;
    Outcome outcome = readTrack(rom_, rom_.levelTrack[static_cast<size_t>(level)], 0, track);
    if (!outcome.ok()) return outcome;
    OpenRom rom = rom_;
    rom.curLevel = static_cast<uint8_t>(level);
    show(rom, track, 0);
    return {};
}

Outcome TrackDocument::loadTrack(int tracknum) {
    LoadedTrack track;
    Outcome outcome = readTrack(rom_, tracknum, 0, track);
    if (!outcome.ok()) return outcome;
    show(rom_, track, 0);
    return {};
}

Outcome TrackDocument::loadPage(PageCommand command) {
    int track = 0;
    int level = rom_.curLevel;
    if (!rom_.isOpen() || !pageTarget(command, rom_, track, level))
        return Outcome{Status::Cancelled, {}};
    LoadedTrack loaded;
    Outcome outcome = readTrack(rom_, track, 0, loaded);
    if (!outcome.ok()) return outcome;
    OpenRom rom = rom_;
    rom.curLevel = static_cast<uint8_t>(level);
    show(rom, loaded, 0);
    return {};
}

Outcome TrackDocument::importFromOffset(const std::string& answer) {
    int32_t offset = 0;
    if (const auto value = parseHexAnswer(answer)) {
        if (*value > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
            return Outcome{Status::BadOffset, {}, *value};
        offset = static_cast<int32_t>(*value);
    }
    LoadedTrack track;
    Outcome outcome = readTrack(rom_, 0, offset, track);
    if (!outcome.ok()) return outcome;
    OpenRom rom = rom_;
    rom.curLevel = 0;
    show(rom, track, 0);
    return {};
}

Outcome TrackDocument::saveTrack(const std::string& answer, bool overwriteChanged) {
    const auto number = parseHexAnswer(answer);
    if (!number) return Outcome{Status::Cancelled, {}};
    if (*number >= static_cast<uint32_t>(layout::kTrackCount))
        return Outcome{Status::BadSaveNumber, {}, *number};
    Outcome outcome = korvale::saveTrack(zarni_, rom_, map_.cells(), static_cast<uint8_t>(*number),
                                         overwriteChanged, saveEncoding_);
    if (!outcome.ok()) return outcome;
    const uint32_t written = outcome.value;
    // The track's entries were just written; the rest of the tables may have
    // changed beside us, so the record is read afresh as after every write.
    Outcome reread = LoadTrackOffsetList(zarni_, rom_);
    if (!reread.ok()) return reread;
    // The map is what now lies in the ROM: no reload, so the history stays.
    changed_ = false;
    history_.markClean();
    notify(kRomChanged | kTrackChanged);
    return Outcome{Status::Ok, {}, written};
}

Outcome TrackDocument::exportTrack(const std::string& path) {
    TrackFile file;
    file.cells = map_.cells();
    file.theme = rom_.curTheme;
    Outcome outcome = writeTrackFile(path, file);
    if (!outcome.ok()) return outcome;
    changed_ = false;
    history_.markClean();
    return {};
}

Outcome TrackDocument::writeLevelTable(const std::array<uint8_t, layout::kLevelCount>& table,
                                       bool overwriteChanged) {
    Outcome outcome = korvale::writeLevelTable(zarni_, rom_, table, overwriteChanged);
    // A refused write still read the tables back.
    notify(kRomChanged);
    return outcome;
}

Outcome TrackDocument::fixChecksum(RomChecksum& before, bool overwriteChanged) {
    return korvale::fixChecksum(rom_, before, overwriteChanged);
}

Outcome TrackDocument::importTrack(const std::string& path) {
    TrackFile file;
    Outcome outcome = readTrackFile(zarni_, path, file);
    if (!outcome.ok()) return outcome;
    const int set = file.theme >> 1;
    outcome = loadTileSet(set);
    if (!outcome.ok()) return outcome;
    history_.begin("Import Track");
    map_.replace(file.cells);
    history_.end();
    rom_.curTheme = static_cast<uint8_t>(set * 2);
    changed_ = true;
    notify(kTileSetChanged | kMapRewritten);
    return {};
}

void TrackDocument::newTrack(uint8_t tile) {
    history_.begin("New Track");
    map_.fill(tile);
    history_.end();
    notify(kMapRewritten);
}

template <typename Rule>
void TrackDocument::rewrite(const char* stepName, Rule rule) {
    TrackMap::Cells cells = map_.cells();
    bool any = false;
    for (uint8_t& cell : cells) {
        const uint8_t after = rule(cell);
        any = any || after != cell;
        cell = after;
    }
    if (any) {
        history_.begin(stepName);
        map_.replace(cells);
        history_.end();
        changed_ = true;
    }
    // The tools start afresh whether or not a cell changed.
    notify(kMapRewritten);
}

void TrackDocument::swapTiles(uint8_t a, uint8_t b) {
    rewrite("Swap", [a, b](uint8_t cell) -> uint8_t {
        if (cell == a) return b;
        if (cell == b) return a;
        return cell;
    });
}

void TrackDocument::replaceTile(uint8_t from, uint8_t to) {
    rewrite("Transform", [from, to](uint8_t cell) { return cell == from ? to : cell; });
}

Outcome TrackDocument::setTileSet(int index) {
    if (index < 0 || index >= layout::kTileSetCount) return Outcome{Status::Cancelled, {}};
    Outcome outcome = loadTileSet(index);
    if (!outcome.ok()) return outcome;
    rom_.curTheme = static_cast<uint8_t>(index * 2);
    changed_ = true;
    notify(kTileSetChanged);
    return {};
}

void TrackDocument::DrawMap(int x, int y, uint8_t tile) {
    if (map_.setCell(x, y, tile)) changed_ = true;
}

bool TrackDocument::undo() {
    if (!history_.undo()) return false;
    changed_ = !history_.isClean();
    return true;
}

bool TrackDocument::redo() {
    if (!history_.redo()) return false;
    changed_ = !history_.isClean();
    return true;
}

}  // namespace korvale
