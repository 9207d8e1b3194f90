// The open ROM image: its record (file, copier header, the game's three
// track tables, the track being edited), level paging over it, and the file
// work on it: reading the tables, decoding a track (two format 4 decodes),
// saving a track into new space, writing the level track table. Every
// operation opens the image, does its work and closes it again.
//
// These functions change the record only on success; the document
// (track_document.h) decides when their results become what the user sees.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/outcome.h"
#include "core/rom_checksum.h"
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
    FileStamp stamp;        // the image as it was when read or last written here

    bool isOpen() const { return !romFileName.empty(); }
    uint32_t fileOffset(uint32_t romOffset) const { return romOffset + headerSize; }
};

// The page keys: the next or previous track number, or level.
enum class PageCommand { NextTrack, PreviousTrack, NextLevel, PreviousLevel };

// The bound of a page command: false at either end (nothing to show).
// Otherwise `track` is the track to show and `level` the curLevel once it is
// shown (unchanged for the track commands).
bool pageTarget(PageCommand command, const OpenRom& rom, int& track, int& level);

// A decoded track, not yet shown.
struct LoadedTrack {
    uint8_t track = 0;
    int32_t offset = 0;   // file offset of its data
    uint8_t tileSet = 0;  // its theme byte shifted right by one
    TrackMap::Cells cells{};
};

// Reads the image at `path`: the copier header from the size (512 left over
// from whole KiB: a header; none left: no header; anything else is
// NotARomImage), whether the tables fit (TooSmall), the internal title with
// its spaces taken out (ForeignTitle unless acceptForeignTitle), then the
// tables. On success `rom`'s file name, header size and tables are the new
// image's; on failure `rom` is untouched.
Outcome readRomImage(ZarniBinding& zarni, const std::string& path, bool acceptForeignTitle,
                     OpenRom& rom);

// Reads the level track table, the theme table and the pointers of the
// open image into the record (and converts the pointers to file offsets).
Outcome LoadTrackOffsetList(ZarniBinding& zarni, OpenRom& rom);

// Decodes track `tracknum`, or, when coffset > 0, the track data at file
// offset coffset (then as track 0): the first decode from the image, the
// second from memory. BadTrackNumber for 24 and above;
// CannotOpen when the image cannot be read; CannotRead for an offset beyond
// the end of the image. The result starts as a copy of `current`, so a
// stream that decodes short keeps the rest of it.
Outcome readTrack(ZarniBinding& zarni, const OpenRom& rom, int tracknum, int32_t coffset,
                  const TrackMap::Cells& current, LoadedTrack& out);

// Saves `cells` as track `track` (0 to 23): two format 4 compressions, the
// image grown to 16 megabits, the first free run in the save window, then
// data, pointer and theme byte, read back. curTrack becomes `track` first;
// curOffset is the offset being written (0 when no room was found). On
// success value is that offset and the record's entries for the track are
// the new ones. CompressFailed (nothing opened) when a compression gives 0
// or more than 16,384 bytes; NoSpace also when the image is read only.
// The image is edited as a copy beside it and renamed over it only when
// everything read back, so a failure of any kind leaves it as it was
// (FileFailed says why). ChangedOnDisk, before anything is written, when
// the image is not as it was read, unless overwriteChanged.
// Smallest: the shortest of three encodings (shortest inner and outer
// stream, greedy inner and shortest outer, greedy both), so never longer
// than Exact, whose bytes are the game's own encoder's.
enum class SaveEncoding { Exact, Smallest };
Outcome saveTrack(ZarniBinding& zarni, OpenRom& rom, const TrackMap::Cells& cells, uint8_t track,
                  bool overwriteChanged = false, SaveEncoding encoding = SaveEncoding::Exact);

// Writes the 24-byte level track table (two blocks) and reads the tables
// back. CannotWrite when the image is read only or the table does not read
// back as written. All or nothing, and ChangedOnDisk, as saveTrack.
Outcome writeLevelTable(ZarniBinding& zarni, OpenRom& rom,
                        const std::array<uint8_t, layout::kLevelCount>& table,
                        bool overwriteChanged = false);

// Makes the internal checksum and its complement match the image. `before`
// is the pair as it was read; when it already matched, nothing is written.
// The whole image is written anew beside the old one and renamed over it
// (FileFailed says why it could not be). ChangedOnDisk as saveTrack.
Outcome fixChecksum(OpenRom& rom, RomChecksum& before, bool overwriteChanged = false);

}  // namespace korvale
