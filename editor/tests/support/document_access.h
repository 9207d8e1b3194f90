// Arranges a document's state directly, for tests that need a map or a flag
// in place without going through the operations that would set it.
#pragma once

#include "core/track_document.h"

namespace korvale {

class DocumentTestAccess {
  public:
    static TrackMap& map(TrackDocument& document) { return document.map_; }
    static OpenRom& rom(TrackDocument& document) { return document.rom_; }
    static void setChanged(TrackDocument& document, bool changed) { document.changed_ = changed; }
};

}  // namespace korvale
