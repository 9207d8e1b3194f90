// The track document: the one owner of what the editor edits. It holds the
// open ROM's record, the track map, the track, level and tile set shown, the
// unsaved-changes flag `changed` and the undo history with its clean point.
// Each user intent is one operation here; an operation either happens
// completely or changes nothing, and announces what it changed once,
// through onChanged. Windows read the document and call it; they never
// write its state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/history.h"
#include "core/open_rom.h"
#include "core/outcome.h"
#include "core/track_map.h"
#include "core/zarni_binding.h"

namespace korvale {

// What the editing tools may do to the document: read the map, write
// cells, mark a change, and bracket and walk the undo history.
class MapEditor {
  public:
    virtual ~MapEditor() = default;
    virtual const TrackMap& map() const = 0;
    // Writes one cell and sets `changed`; nothing at all outside the map.
    virtual void DrawMap(int x, int y, uint8_t tile) = 0;
    // A drop sets `changed` even when every cell of the block lies outside.
    virtual void markChanged() = 0;
    virtual History& history() = 0;
    virtual bool undo() = 0;
    virtual bool redo() = 0;
};

class TrackDocument : public MapEditor {
  public:
    // The parts of the document an operation changed, as onChanged reports them.
    enum Change : unsigned {
        kRomChanged = 1u << 0,      // another ROM, or its tables read again
        kTrackChanged = 1u << 1,    // curTrack and curOffset: the caption and pointer panel
        kTileSetChanged = 1u << 2,  // curTheme: the tile images and the palette sheet
        kMapLoaded = 1u << 3,       // a new map: repaint it whole, the tools start afresh
        kMapRewritten = 1u << 4,    // a whole-map edit: the tools start afresh
    };

    // Makes the tile images of a tile set ready before the set is shown.
    // False (with a message in *error) stops the operation with nothing
    // changed; a missing tile sheet must not leave a half-shown track.
    using TileSetLoader = std::function<bool(int tileSet, std::string* error)>;

    explicit TrackDocument(ZarniBinding& zarni = ZarniBinding::instance());
    TrackDocument(const TrackDocument&) = delete;
    TrackDocument& operator=(const TrackDocument&) = delete;

    void setTileSetLoader(TileSetLoader loader) { tileSetLoader_ = std::move(loader); }
    // Called once after every operation that changed something: a set of Change bits.
    std::function<void(unsigned changes)> onChanged;

    // --- reading ---
    const OpenRom& rom() const { return rom_; }
    const TrackMap& map() const override { return map_; }
    // The map's observers see every cell written (the view, the history).
    void addMapObserver(TrackMap::Observer* observer) { map_.addObserver(observer); }
    void removeMapObserver(TrackMap::Observer* observer) { map_.removeObserver(observer); }
    History& history() override { return history_; }
    bool changed() const { return changed_; }
    int tileSet() const { return rom_.curTheme >> 1; }

    // --- opening and loading (each resets the history and sets `changed`) ---

    // Opens a ROM image and shows level 0's track, as one step: on any
    // failure (not an image, a foreign title not accepted, a level 0 that
    // names no track, an unreadable track, a missing tile sheet) the
    // previous ROM, map and track stay exactly as they were. curLevel is
    // not changed.
    Outcome openRom(const std::string& path, bool acceptForeignTitle);
    // Shows the track of `level` (mTrack) and makes it curLevel.
    Outcome loadLevel(int level);
    // Shows track number `tracknum` (mTrackN); curLevel stays.
    Outcome loadTrack(int tracknum);
    // The page keys: Cancelled (nothing done) before a ROM is open and at
    // either end.
    Outcome loadPage(PageCommand command);
    // Import Level from Offset: the typed hexadecimal offset, as track 0 and
    // level 0. An empty answer loads track 0 from its usual place; an offset
    // beyond 0x7FFFFFFF is BadOffset.
    Outcome importFromOffset(const std::string& answer);

    // --- saving ---

    // Saves the map under the typed hexadecimal track number (Cancelled for
    // an empty answer, BadSaveNumber from 0x18 on) and reads the tables
    // back. The map and the history stay; `changed` is clear and this is
    // the history's clean point. curTrack becomes the number once it is
    // accepted, even when no room is found. ChangedOnDisk (nothing written)
    // when another program changed the image since it was read, unless
    // overwriteChanged.
    Outcome saveTrack(const std::string& answer, bool overwriteChanged = false);
    // How saveTrack encodes the map: Exact (the default) or Smallest.
    void setSaveEncoding(SaveEncoding encoding) { saveEncoding_ = encoding; }
    SaveEncoding saveEncoding() const { return saveEncoding_; }
    // Writes the map and curTheme into a track file; on success `changed`
    // is clear and this is the clean point.
    Outcome exportTrack(const std::string& path);
    // Writes the level track table and reads the tables back; ChangedOnDisk
    // as saveTrack.
    Outcome writeLevelTable(const std::array<uint8_t, layout::kLevelCount>& table,
                            bool overwriteChanged = false);

    // File > Fix ROM Checksum: makes the image's internal checksum pair
    // match it (fixChecksum of open_rom.h); the map and `changed` stay.
    Outcome fixChecksum(RomChecksum& before, bool overwriteChanged = false);

    // --- whole-map edits (one undo step each) ---

    // Import Track from File: the file's map and tile set; sets `changed`.
    Outcome importTrack(const std::string& path);
    // New Track: every cell becomes `tile`; `changed` is left as it is.
    void newTrack(uint8_t tile);
    // Swap: tiles a and b change places everywhere. Sets `changed` when a
    // cell changed.
    void swapTiles(uint8_t a, uint8_t b);
    // Transform: every `from` becomes `to`. Sets `changed` when a cell changed.
    void replaceTile(uint8_t from, uint8_t to);

    // The tile-set operation (mTileSet_Click): curTheme = index x 2 and
    // `changed` set; the map stays. Indexes outside 0 to 7 change nothing.
    Outcome setTileSet(int index);

    // --- the editing tools' writes ---
    void DrawMap(int x, int y, uint8_t tile) override;
    void markChanged() override { changed_ = true; }
    // Undo or redo one step; `changed` is clear exactly at the clean point.
    bool undo() override;
    bool redo() override;

    ZarniBinding& zarni() { return zarni_; }

  private:
    friend class DocumentTestAccess;

    Outcome readTrack(const OpenRom& rom, int tracknum, int32_t coffset, LoadedTrack& out);
    Outcome loadTileSet(int index);
    // Makes a decoded track the shown one; `rom` becomes the record.
    void show(const OpenRom& rom, const LoadedTrack& track, unsigned changes);
    template <typename Rule>
    void rewrite(const char* stepName, Rule rule);
    void notify(unsigned changes);

    ZarniBinding& zarni_;
    OpenRom rom_;
    TrackMap map_;
    History history_{map_};
    bool changed_ = false;
    SaveEncoding saveEncoding_ = SaveEncoding::Exact;
    TileSetLoader tileSetLoader_;
};

}  // namespace korvale
