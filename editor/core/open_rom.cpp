#include "core/open_rom.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "core/hex.h"
#include "core/track_file.h"

namespace korvale {

namespace {

constexpr uint32_t kReadOnly = 0;
constexpr uint32_t kReadWrite = 1;
constexpr uint32_t kFormat = 4;
constexpr uint32_t kMapBytes = layout::kMapCells;

Outcome fail(Status status, std::string detail = {}, uint32_t value = 0) {
    return Outcome{status, std::move(detail), value};
}

// Closes the library's open file on every way out of a scope.
class ZarniFileCloser {
  public:
    explicit ZarniFileCloser(ZarniBinding& zarni) : zarni_(zarni) {}
    ~ZarniFileCloser() { close(); }
    ZarniFileCloser(const ZarniFileCloser&) = delete;
    ZarniFileCloser& operator=(const ZarniFileCloser&) = delete;
    void close() {
        if (open_) zarni_.CloseFile();
        open_ = false;
    }

  private:
    ZarniBinding& zarni_;
    bool open_ = true;
};

Outcome fileFailed(const std::string& path, std::string reason) {
    return Outcome{Status::FileFailed, path, 0, std::move(reason)};
}

// Someone else may have written the image since we read it; saving over
// their work without asking could lose it.
Outcome checkUnchanged(const OpenRom& rom, bool overwriteChanged) {
    const FileStamp now = fileStamp(rom.romFileName);
    if (!now.exists) return fileFailed(rom.romFileName, "the file no longer exists");
    if (now != rom.stamp && !overwriteChanged) return fail(Status::ChangedOnDisk, rom.romFileName);
    return {};
}

// The library edits a copy beside the image, and the copy replaces the image
// only when the edit succeeded: at no moment is the image half written.
// A read-only image is refused with `readOnly` before anything is copied.
template <class Edit>
Outcome editCopyOf(OpenRom& rom, Status readOnly, Edit&& edit) {
    FileReplacement copy;
    FileResult r = copy.beginCopy(rom.romFileName);
    if (!r.ok())
        return r.fault == FileFault::ReadOnly ? fail(readOnly, rom.romFileName)
                                              : fileFailed(rom.romFileName, r.reason);
    Outcome outcome = edit(copy.workPath());
    if (!outcome.ok()) return outcome;
    r = copy.commit();
    if (!r.ok()) return fileFailed(rom.romFileName, r.reason);
    rom.stamp = fileStamp(rom.romFileName);
    return outcome;
}

// The copier header from the image size: 512 or 0 bytes, or nothing for a
// size that is neither a whole number of KiB nor one plus a header.
std::optional<uint32_t> headerSizeFor(uint32_t fileSize) {
    switch (fileSize % 1024) {
        case 512:
            return layout::kCopierHeaderSize;
        case 0:
            return 0u;
        default:
            return std::nullopt;
    }
}

// The three tables as the file holds them; the caller has the image open and
// has made sure the file reaches past kTablesEnd.
struct Tables {
    std::array<uint8_t, layout::kLevelCount> levelTrack{};
    std::array<uint8_t, layout::kTrackCount> trackTheme{};
    std::array<int32_t, layout::kTrackCount> trackOffset{};
};

Tables readTables(ZarniBinding& zarni, uint32_t headerSize) {
    Tables t;
    zarni.ReadFile(t.levelTrack.data(), layout::kLevelTrackTableASize,
                   layout::kLevelTrackTableA + headerSize);
    zarni.ReadFile(t.levelTrack.data() + layout::kLevelTrackTableASize,
                   layout::kLevelTrackTableBSize, layout::kLevelTrackTableB + headerSize);
    zarni.ReadFile(t.trackTheme.data(), layout::kTrackCount, layout::kTrackThemeTable + headerSize);
    std::array<uint8_t, layout::kTrackCount * layout::kTrackPointerSize> pointers{};
    zarni.ReadFile(pointers.data(), static_cast<uint32_t>(pointers.size()),
                   layout::kTrackPointerTable + headerSize);
    for (int i = 0; i < layout::kTrackCount; ++i) {
        const uint8_t* p = &pointers[static_cast<size_t>(i) * layout::kTrackPointerSize];
        const uint32_t address = p[0] | (p[1] << 8) | (p[2] << 16);
        t.trackOffset[static_cast<size_t>(i)] = static_cast<int32_t>(
            zarni.SNEStoPC(address, layout::kMappingKind, headerSize != 0 ? 1 : 0));
    }
    return t;
}

bool sameBytes(ZarniBinding& zarni, const uint8_t* expected, uint32_t size, uint32_t offset) {
    std::vector<uint8_t> actual(size);
    // A read cut short keeps the buffer's bytes, so start from their complement.
    for (uint32_t i = 0; i < size; ++i) actual[i] = static_cast<uint8_t>(~expected[i]);
    zarni.ReadFile(actual.data(), size, offset);
    return std::equal(actual.begin(), actual.end(), expected);
}

}  // namespace

RomSession::RomSession(ZarniBinding& zarni) : zarni_(zarni) {}

Outcome RomSession::openRom(const std::string& path, bool acceptForeignTitle) {
    std::string error;
    if (!zarni_.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile",
                         "ZarniSNEStoPC"},
                        &error))
        return fail(Status::LibraryMissing, error);

    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec) ||
        !zarni_.OpenFile(path, kReadOnly))
        return fail(Status::CannotOpen, path);

    const uint32_t size = zarni_.GetFileSize();
    const auto header = headerSizeFor(size);
    if (!header) {
        zarni_.CloseFile();
        return fail(Status::NotARomImage, path);
    }
    const uint32_t h = *header;
    if (size < h + layout::kTablesEnd) {
        zarni_.CloseFile();
        return fail(Status::TooSmall, path);
    }

    std::string title;
    if (size >= h + layout::kInternalTitle + layout::kInternalTitleSize) {
        std::array<char, layout::kInternalTitleSize> raw{};
        zarni_.ReadFile(raw.data(), layout::kInternalTitleSize, h + layout::kInternalTitle);
        for (char c : raw)
            if (c != ' ') title += c;
    }
    if (title != layout::kExpectedTitle && !acceptForeignTitle) {
        zarni_.CloseFile();
        return fail(Status::ForeignTitle, path);
    }

    const Tables tables = readTables(zarni_, h);
    zarni_.CloseFile();

    rom.romFileName = path;
    rom.stamp = fileStamp(path);
    rom.headerSize = h;
    rom.levelTrack = tables.levelTrack;
    rom.trackTheme = tables.trackTheme;
    rom.trackOffset = tables.trackOffset;
    return {};
}

Outcome RomSession::LoadTrackOffsetList() {
    std::string error;
    if (!zarni_.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile",
                         "ZarniSNEStoPC"},
                        &error))
        return fail(Status::LibraryMissing, error);
    if (!rom.isOpen() || !zarni_.OpenFile(rom.romFileName, kReadOnly))
        return fail(Status::CannotOpen, rom.romFileName);
    // Keep the tables we have rather than fill them from a file that has
    // shrunk or lost its header since it was opened.
    const uint32_t size = zarni_.GetFileSize();
    if (headerSizeFor(size) != rom.headerSize || size < rom.fileOffset(layout::kTablesEnd)) {
        zarni_.CloseFile();
        return fail(Status::CannotRead, rom.romFileName);
    }
    const Tables tables = readTables(zarni_, rom.headerSize);
    zarni_.CloseFile();
    rom.levelTrack = tables.levelTrack;
    rom.trackTheme = tables.trackTheme;
    rom.trackOffset = tables.trackOffset;
    return {};
}

Outcome RomSession::readTrack(int tracknum, int32_t coffset, LoadedTrack& out) {
    if (coffset <= 0 && (tracknum < 0 || tracknum >= layout::kTrackCount))
        return fail(Status::BadTrackNumber, {}, static_cast<uint32_t>(tracknum));
    std::string error;
    if (!zarni_.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile",
                         "ZarniDecompress", "ZarniDecompressMemory"},
                        &error))
        return fail(Status::LibraryMissing, error);

    const int track = coffset > 0 ? 0 : tracknum;
    const int32_t offset = coffset > 0 ? coffset : rom.trackOffset[static_cast<size_t>(track)];
    if (!rom.isOpen() || !zarni_.OpenFile(rom.romFileName, kReadOnly))
        return fail(Status::CannotOpen, rom.romFileName);
    // An offset past the end would decode nothing and show garbage as a track.
    if (offset < 0 || static_cast<uint32_t>(offset) >= zarni_.GetFileSize()) {
        zarni_.CloseFile();
        return fail(Status::CannotRead, rom.romFileName, static_cast<uint32_t>(offset));
    }
    std::array<uint8_t, kMapBytes> packed{};
    uint32_t end = 0;
    zarni_.Decompress(packed.data(), static_cast<uint32_t>(offset), kMapBytes, kFormat, 0, &end);
    zarni_.CloseFile();

    LoadedTrack loaded;
    loaded.track = static_cast<uint8_t>(track);
    loaded.offset = offset;
    // A theme byte beyond the eight tile sets (only in a foreign image) shows set 0.
    const int tileSet = rom.trackTheme[static_cast<size_t>(track)] >> 1;
    loaded.tileSet = static_cast<uint8_t>(tileSet < layout::kTileSetCount ? tileSet : 0);
    // A stream that decodes short leaves the rest of the map as it was.
    loaded.cells = map.cells();
    zarni_.DecompressMemory(loaded.cells.data(), packed.data(), kMapBytes, 0, kMapBytes, kFormat, 0,
                            &end);
    out = loaded;
    return {};
}

void RomSession::applyTrack(const LoadedTrack& track) {
    rom.curTrack = track.track;
    rom.curOffset = track.offset;
    map.replace(track.cells);
}

void RomSession::setTileSet(int index) {
    if (index < 0 || index >= layout::kTileSetCount) return;
    rom.curTheme = static_cast<uint8_t>(index * 2);
    rom.changed = true;
}

void RomSession::DrawMap(int x, int y, uint8_t tile) {
    if (map.setCell(x, y, tile)) rom.changed = true;
}

Outcome RomSession::saveTrack(const std::string& answer, bool overwriteChanged) {
    const auto number = parseHexAnswer(answer);
    if (!number) return fail(Status::Cancelled);
    // Larger numbers would write past both tables into other game data.
    if (*number >= static_cast<uint32_t>(layout::kTrackCount))
        return fail(Status::BadTrackNumber, {}, *number);
    std::string error;
    if (!zarni_.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile",
                         "ZarniWriteFile", "ZarniRecompress", "ZarniExpandROM",
                         "ZarniVerifyFreeSpace", "ZarniPCtoSNES"},
                        &error))
        return fail(Status::LibraryMissing, error);
    if (!rom.isOpen()) return fail(Status::NoSpace, rom.romFileName);
    if (Outcome o = checkUnchanged(rom, overwriteChanged); !o.ok()) return o;

    const auto t = static_cast<uint8_t>(*number);
    rom.curTrack = t;

    // Both results are checked: 0 is a failure, and a longer stream would
    // only be in the buffer in part.
    std::array<uint8_t, kMapBytes> source = map.cells();
    std::array<uint8_t, kMapBytes> packedMap{};
    std::array<uint8_t, kMapBytes> packedTrack{};
    const uint32_t l1 =
        zarni_.Recompress(source.data(), packedMap.data(), kMapBytes, kMapBytes, kFormat, 0);
    if (l1 == 0 || l1 > kMapBytes) return fail(Status::CompressFailed, {}, l1);
    const uint32_t l2 =
        zarni_.Recompress(packedMap.data(), packedTrack.data(), l1, kMapBytes, kFormat, 0);
    if (l2 == 0 || l2 > kMapBytes) return fail(Status::CompressFailed, {}, l2);

    const uint32_t pointerAt = rom.fileOffset(layout::kTrackPointerTable + 3u * t);
    const uint32_t themeAt = rom.fileOffset(layout::kTrackThemeTable + t);

    const uint8_t theme = rom.curTheme;
    uint32_t at = 0;
    rom.curOffset = 0;
    const Outcome stored = editCopyOf(rom, Status::NoSpace, [&](const std::string& work) {
        if (!zarni_.OpenFile(work, kReadWrite))
            return fileFailed(rom.romFileName, "its copy could not be opened for writing");
        ZarniFileCloser closer(zarni_);
        // The library finds the header from the size as well; if the file no
        // longer agrees with what we opened, every offset below would be wrong.
        if (headerSizeFor(zarni_.GetFileSize()) != rom.headerSize)
            return fail(Status::NotARomImage, rom.romFileName);
        if (zarni_.ExpandROM(layout::kSaveRomMegabits) == 0)
            return fileFailed(rom.romFileName,
                              "no space left on the device to grow it to 16 megabits");
        at = zarni_.VerifyFreeSpace(rom.fileOffset(layout::kSaveWindowStart),
                                    rom.fileOffset(layout::kSaveWindowEnd), l2,
                                    layout::kMappingKind);
        if (at == 0) return fail(Status::NoSpace, rom.romFileName);

        const uint32_t bus = zarni_.PCtoSNES(at, layout::kMappingKind, rom.headerSize != 0 ? 1 : 0);
        const std::array<uint8_t, 3> pointer = {static_cast<uint8_t>(bus & 0xFF),
                                                static_cast<uint8_t>((bus >> 8) & 0xFF),
                                                static_cast<uint8_t>((bus >> 16) & 0xFF)};
        zarni_.WriteFile(packedTrack.data(), l2, at);
        zarni_.WriteFile(pointer.data(), 3, pointerAt);
        zarni_.WriteFile(&theme, 1, themeAt);
        closer.close();

        // The library reports every write as done; a write the system refused
        // (a full disk) shows only when read back.
        if (!zarni_.OpenFile(work, kReadOnly))
            return fileFailed(rom.romFileName, "its copy could not be read back");
        const bool written = sameBytes(zarni_, packedTrack.data(), l2, at) &&
                             sameBytes(zarni_, pointer.data(), 3, pointerAt) &&
                             sameBytes(zarni_, &theme, 1, themeAt);
        zarni_.CloseFile();
        if (!written) return fileFailed(rom.romFileName, "no space left on the device");
        return Outcome{};
    });
    rom.curOffset = static_cast<int32_t>(at);
    if (!stored.ok()) {
        if (stored.status == Status::NoSpace) rom.curOffset = 0;
        return stored;
    }

    rom.trackOffset[t] = static_cast<int32_t>(at);
    rom.trackTheme[t] = theme;
    rom.changed = false;
    return Outcome{Status::Ok, {}, at};
}

Outcome RomSession::writeLevelTable(const std::array<uint8_t, layout::kLevelCount>& table,
                                    bool overwriteChanged) {
    std::string error;
    if (!zarni_.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile",
                         "ZarniWriteFile", "ZarniSNEStoPC"},
                        &error))
        return fail(Status::LibraryMissing, error);
    if (!rom.isOpen()) return fail(Status::CannotWrite, rom.romFileName);
    if (Outcome o = checkUnchanged(rom, overwriteChanged); !o.ok()) return o;

    const uint32_t partA = rom.fileOffset(layout::kLevelTrackTableA);
    const uint32_t partB = rom.fileOffset(layout::kLevelTrackTableB);
    const uint8_t* tableB = table.data() + layout::kLevelTrackTableASize;
    const Outcome stored = editCopyOf(rom, Status::CannotWrite, [&](const std::string& work) {
        if (!zarni_.OpenFile(work, kReadWrite)) return fail(Status::CannotWrite, rom.romFileName);
        uint32_t written = zarni_.WriteFile(table.data(), layout::kLevelTrackTableASize, partA);
        written &= zarni_.WriteFile(tableB, layout::kLevelTrackTableBSize, partB);
        zarni_.CloseFile();
        if (!written) return fail(Status::CannotWrite, rom.romFileName);
        // Writes the system refused are reported as done; the read-back tells.
        if (!zarni_.OpenFile(work, kReadOnly))
            return fileFailed(rom.romFileName, "its copy could not be read back");
        const bool same = sameBytes(zarni_, table.data(), layout::kLevelTrackTableASize, partA) &&
                          sameBytes(zarni_, tableB, layout::kLevelTrackTableBSize, partB);
        zarni_.CloseFile();
        if (!same) return fileFailed(rom.romFileName, "no space left on the device");
        return Outcome{};
    });
    if (!stored.ok()) return stored;

    Outcome reread = LoadTrackOffsetList();
    if (!reread.ok()) return reread;
    if (rom.levelTrack != table) return fail(Status::CannotWrite, rom.romFileName);
    return {};
}

Outcome RomSession::exportTrack(const std::string& path) {
    TrackFile file;
    file.cells = map.cells();
    file.theme = rom.curTheme;
    Outcome outcome = writeTrackFile(path, file);
    if (outcome.ok()) rom.changed = false;
    return outcome;
}

void RomSession::newTrack(uint8_t tile) {
    map.fill(tile);
}

}  // namespace korvale
