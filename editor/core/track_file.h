// Track files (.mkt): the 16,384 map bytes, row by row, then the theme byte
// (tile set number x 2). No header, no checksum.
#pragma once

#include <string>

#include "core/open_rom.h"
#include "core/track_map.h"
#include "core/zarni_binding.h"

namespace korvale {

struct TrackFile {
    TrackMap::Cells cells{};
    uint8_t theme = 0;
};

// Reads the first 16,385 bytes. CannotOpen when it cannot be opened (or is a
// folder), BadTrackFile when it is shorter or its theme byte is 16 or more;
// `out` changes only on success.
Outcome readTrackFile(ZarniBinding& zarni, const std::string& path, TrackFile& out);

// Replaces (or creates) the file with both parts, all or nothing;
// FileFailed with the reason when it cannot be written.
Outcome writeTrackFile(const std::string& path, const TrackFile& file);

}  // namespace korvale
