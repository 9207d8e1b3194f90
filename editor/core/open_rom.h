// The open ROM image and the track being edited: reading the game's tables,
// loading a track (two format 4 decodes), saving it back into new space, and
// writing the level track table. Every operation opens the image, does its
// work and closes it again; nothing stays open between operations.
//
// Operations take the user's answers as arguments and return an Outcome; the
// window turns that into the message the user sees. A failed operation
// leaves the record, the map and the file as they were.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/rom_layout.h"
#include "core/safe_file.h"
#include "core/track_map.h"
#include "core/zarni_binding.h"

namespace korvale {

// The open-ROM record.
struct OpenRom {
    std::string romFileName;  // empty until a ROM is opened
    uint32_t headerSize = 0;  // 512 with a copier header, else 0
    std::array<uint8_t, layout::kLevelCount> levelTrack{};
    std::array<uint8_t, layout::kTrackCount> trackTheme{};
    std::array<int32_t, layout::kTrackCount> trackOffset{};  // file offsets
    uint8_t curTrack = 0;
    uint8_t curLevel = 0;
    uint8_t curTheme = 0;   // tile set number x 2
    int32_t curOffset = 0;  // the file offset the shown track came from (curOffsetText)
    bool changed = false;   // the map or its tile set has unsaved changes
    FileStamp stamp;        // the image as it was when read or last written here

    bool isOpen() const { return !romFileName.empty(); }
    uint32_t fileOffset(uint32_t romOffset) const { return romOffset + headerSize; }
};

enum class Status {
    Ok,
    Cancelled,       // an empty answer: nothing was done
    LibraryMissing,  // detail: the binding's message naming the library
    CannotOpen,      // detail: the file name
    CannotRead,      // detail: the file name (too short for what was read, or a track
                     // offset beyond its end; value: that offset)
    NotARomImage,    // size modulo 1024 is neither 512 nor 0; detail: file name
    TooSmall,        // the tables lie beyond the end of the file; detail: file name
    ForeignTitle,    // the internal title is not this game's; nothing changed yet
    BadTrackNumber,  // 24 or more; value: the number
    CompressFailed,  // a compression gave 0 or more than 16,384 bytes
    NoSpace,         // no room in the save window, or the file is read only
    CannotWrite,     // detail: the file name
    BadTrackFile,    // too short, or its theme byte is 16 or more; detail: file name
    FileFailed,      // a write or copy failed; detail: the file name, reason: why
    ChangedOnDisk,   // the image changed since it was read; nothing written yet
};

struct Outcome {
    Outcome() = default;
    Outcome(Status s, std::string d = {}, uint32_t v = 0, std::string r = {})
        : status(s), detail(std::move(d)), value(v), reason(std::move(r)) {}
    Status status = Status::Ok;
    std::string detail;
    uint32_t value = 0;  // saveTrack: the file offset written
    std::string reason;  // FileFailed: why, in words for the user
    bool ok() const { return status == Status::Ok; }
};

// A decoded track, not yet shown.
struct LoadedTrack {
    uint8_t track = 0;
    int32_t offset = 0;   // file offset of its data
    uint8_t tileSet = 0;  // its theme byte shifted right by one
    TrackMap::Cells cells{};
};

class RomSession {
  public:
    explicit RomSession(ZarniBinding& zarni = ZarniBinding::instance());

    OpenRom rom;
    TrackMap map;

    // Opens a ROM image: decides the copier header from the size (512 left
    // over from whole KiB: a header; none left: no header; anything else is
    // NotARomImage), checks that the tables fit (TooSmall), checks the
    // internal title with its spaces taken out (ForeignTitle unless
    // acceptForeignTitle), then replaces the record's file name, header size
    // and tables. Any refusal leaves the previously open ROM as it was.
    // The shown track is not changed: the caller loads level 0's track.
    Outcome openRom(const std::string& path, bool acceptForeignTitle);

    // Reads the level track table, the theme table and the pointers of the
    // open image into the record (and converts the pointers to file offsets).
    Outcome LoadTrackOffsetList();

    // Decodes track `tracknum`, or, when coffset > 0, the track data at file
    // offset coffset (then as track 0). Changes nothing. BadTrackNumber for 24
    // and above; CannotOpen when the image cannot be read; CannotRead for an
    // offset beyond the end of the image. The map starts as a copy of the
    // current one, so a stream that decodes short keeps the rest of it. The
    // intermediate stream goes through a private temporary file, removed again.
    Outcome readTrack(int tracknum, int32_t coffset, LoadedTrack& out);

    // Makes a decoded track the shown one: curTrack, curOffset and the map.
    // The tile set is chosen by the caller (it needs the tile images).
    void applyTrack(const LoadedTrack& track);

    // The tile-set operation's state part: curTheme = index x 2, changed set.
    // Indexes outside 0 to 7 change nothing.
    void setTileSet(int index);

    // Writes one cell and sets `changed`; nothing at all outside the map.
    void DrawMap(int x, int y, uint8_t tile);

    // Saves the map under the typed hexadecimal track number: two format 4
    // compressions, the image grown to 16 megabits, the first free run in the
    // save window, then data, pointer and theme byte. On success curTrack is
    // the number, `changed` is clear and value is the offset written; the
    // caller then reloads (LoadTrackOffsetList and the track). A refused
    // number changes nothing; NoSpace leaves curTrack set to the number.
    // Cancelled for an empty answer; CompressFailed (nothing opened) when a
    // compression gives 0 or more than 16,384 bytes; NoSpace also when the
    // image cannot be opened for writing or the written bytes do not read
    // back. curOffset is the offset being written (0 when no room was found).
    // The image is edited as a copy beside it and renamed over it only when
    // everything read back, so a failure of any kind leaves it as it was
    // (FileFailed says why). ChangedOnDisk, before anything is written, when
    // the image is not as it was read, unless overwriteChanged.
    Outcome saveTrack(const std::string& answer, bool overwriteChanged = false);

    // Writes the 24-byte level track table (two blocks) and reads the tables
    // back. CannotWrite when either write fails or the table does not read
    // back as written (a file that refuses writes).
    // All or nothing and ChangedOnDisk as saveTrack.
    Outcome writeLevelTable(const std::array<uint8_t, layout::kLevelCount>& table,
                            bool overwriteChanged = false);

    // Export: the map and curTheme into a track file; clears `changed` only
    // when the whole file was written.
    Outcome exportTrack(const std::string& path);

    // New Track: every cell becomes `tile`. `changed` is left as it is.
    void newTrack(uint8_t tile);

    ZarniBinding& zarni() { return zarni_; }

  private:
    ZarniBinding& zarni_;
};

}  // namespace korvale
