#include "core/open_rom.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

namespace korvale {

namespace {

constexpr uint32_t kFormat = 4;
constexpr uint32_t kMapBytes = layout::kMapCells;

Outcome fail(Status status, std::string detail = {}, uint32_t value = 0) {
    return Outcome{status, std::move(detail), value};
}

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

// Reads the three tables into `rom`; the caller has the image open and has
// made sure the file reaches past kTablesEnd.
void readTables(ZarniBinding& zarni, uint32_t headerSize, OpenRom& rom) {
    zarni.ReadFile(rom.levelTrack.data(), layout::kLevelTrackTableASize,
                   layout::kLevelTrackTableA + headerSize);
    zarni.ReadFile(rom.levelTrack.data() + layout::kLevelTrackTableASize,
                   layout::kLevelTrackTableBSize, layout::kLevelTrackTableB + headerSize);
    zarni.ReadFile(rom.trackTheme.data(), layout::kTrackCount,
                   layout::kTrackThemeTable + headerSize);
    std::array<uint8_t, layout::kTrackCount * layout::kTrackPointerSize> pointers{};
    zarni.ReadFile(pointers.data(), static_cast<uint32_t>(pointers.size()),
                   layout::kTrackPointerTable + headerSize);
    for (int i = 0; i < layout::kTrackCount; ++i) {
        const uint8_t* p = &pointers[static_cast<size_t>(i) * layout::kTrackPointerSize];
        const uint32_t address = p[0] | (p[1] << 8) | (p[2] << 16);
        rom.trackOffset[static_cast<size_t>(i)] = static_cast<int32_t>(
            zarni.SNEStoPC(address, layout::kMappingKind, headerSize != 0 ? 1 : 0));
    }
}

}  // namespace

bool pageTarget(PageCommand command, const OpenRom& rom, int& track, int& level) {
    const int curTrack = rom.curTrack;
    const int curLevel = rom.curLevel;
    switch (command) {
        case PageCommand::NextTrack:
            if (curTrack >= layout::kTrackCount - 1) return false;
            track = curTrack + 1;
            level = curLevel;
            return true;
        case PageCommand::PreviousTrack:
            if (curTrack == 0 || curTrack > layout::kTrackCount) return false;
            track = curTrack - 1;
            level = curLevel;
            return true;
        case PageCommand::NextLevel:
            if (curLevel >= layout::kLevelCount - 1) return false;
            level = curLevel + 1;
            track = rom.levelTrack[static_cast<size_t>(level)];
            return true;
        case PageCommand::PreviousLevel:
            if (curLevel == 0 || curLevel > layout::kLevelCount) return false;
            level = curLevel - 1;
            track = rom.levelTrack[static_cast<size_t>(level)];
            return true;
    }
    return false;
}

Outcome readRomImage(ZarniBinding& zarni, const std::string& path, bool acceptForeignTitle,
                     OpenRom& rom) {
    std::string error;
    if (!zarni.require(&error)) return fail(Status::LibraryMissing, error);

    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fail(Status::CannotOpen, path);
    OpenedFile file(zarni, path, OpenedFile::kReadOnly);
    if (!file) return fail(Status::CannotOpen, path);

    const uint32_t size = zarni.GetFileSize();
    const auto header = headerSizeFor(size);
    if (!header) return fail(Status::NotARomImage, path);
    const uint32_t h = *header;
    if (size < h + layout::kTablesEnd) return fail(Status::TooSmall, path);

    std::string title;
    if (size >= h + layout::kInternalTitle + layout::kInternalTitleSize) {
        std::array<char, layout::kInternalTitleSize> raw{};
        zarni.ReadFile(raw.data(), layout::kInternalTitleSize, h + layout::kInternalTitle);
        for (char c : raw)
            if (c != ' ') title += c;
    }
    if (title != layout::kExpectedTitle && !acceptForeignTitle)
        return fail(Status::ForeignTitle, path);

    OpenRom read = rom;
    readTables(zarni, h, read);
    read.romFileName = path;
    read.stamp = fileStamp(path);
    read.headerSize = h;
    rom = read;
    return {};
}

Outcome LoadTrackOffsetList(ZarniBinding& zarni, OpenRom& rom) {
    std::string error;
    if (!zarni.require(&error)) return fail(Status::LibraryMissing, error);
    if (!rom.isOpen()) return fail(Status::CannotOpen, rom.romFileName);
    OpenedFile file(zarni, rom.romFileName, OpenedFile::kReadOnly);
    if (!file) return fail(Status::CannotOpen, rom.romFileName);
    // Keep the tables we have rather than fill them from a file that has
    // shrunk or lost its header since it was opened.
    const uint32_t size = zarni.GetFileSize();
    if (headerSizeFor(size) != rom.headerSize || size < rom.fileOffset(layout::kTablesEnd))
        return fail(Status::CannotRead, rom.romFileName);
    readTables(zarni, rom.headerSize, rom);
    return {};
}

Outcome readTrack(ZarniBinding& zarni, const OpenRom& rom, int tracknum, int32_t coffset,
                  const TrackMap::Cells& current, LoadedTrack& out) {
    if (coffset <= 0 && (tracknum < 0 || tracknum >= layout::kTrackCount))
        return fail(Status::BadTrackNumber, {}, static_cast<uint32_t>(tracknum));
    std::string error;
    if (!zarni.require(&error)) return fail(Status::LibraryMissing, error);

    const int track = coffset > 0 ? 0 : tracknum;
    const int32_t offset = coffset > 0 ? coffset : rom.trackOffset[static_cast<size_t>(track)];
    if (!rom.isOpen()) return fail(Status::CannotOpen, rom.romFileName);
    std::array<uint8_t, kMapBytes> packed{};
    uint32_t end = 0;
    {
        OpenedFile file(zarni, rom.romFileName, OpenedFile::kReadOnly);
        if (!file) return fail(Status::CannotOpen, rom.romFileName);
        // An offset past the end would decode nothing and show garbage as a track.
        if (offset < 0 || static_cast<uint32_t>(offset) >= zarni.GetFileSize())
            return fail(Status::CannotRead, rom.romFileName, static_cast<uint32_t>(offset));
        zarni.Decompress(packed.data(), static_cast<uint32_t>(offset), kMapBytes, kFormat, 0, &end);
    }

    LoadedTrack loaded;
    loaded.track = static_cast<uint8_t>(track);
    loaded.offset = offset;
    // A theme byte beyond the eight tile sets (only in a foreign image) shows set 0.
    const int tileSet = rom.trackTheme[static_cast<size_t>(track)] >> 1;
    loaded.tileSet = static_cast<uint8_t>(tileSet < layout::kTileSetCount ? tileSet : 0);
    // A stream that decodes short leaves the rest of the map as it was. All
    // 16,384 bytes of the intermediate buffer count, whatever the first
    // decode delivered.
    loaded.cells = current;
    zarni.DecompressMemory(loaded.cells.data(), packed.data(), kMapBytes, 0, kMapBytes, kFormat, 0,
                           &end);
    out = loaded;
    return {};
}

namespace {

using Stream = std::array<uint8_t, kMapBytes>;
using Encoder = uint32_t (ZarniBinding::*)(void*, void*, uint32_t, uint32_t, uint32_t, uint32_t);

// Both results are checked: 0 is a failure, and a longer stream would only
// be in the buffer in part.
Outcome encodeTwice(ZarniBinding& zarni, const TrackMap::Cells& cells, Encoder inner, Encoder outer,
                    Stream& out, uint32_t& length) {
    Stream source = cells;
    Stream packedMap{};
    const uint32_t l1 =
        (zarni.*inner)(source.data(), packedMap.data(), kMapBytes, kMapBytes, kFormat, 0);
    if (l1 == 0 || l1 > kMapBytes) return Outcome{Status::CompressFailed, {}, l1};
    length = (zarni.*outer)(packedMap.data(), out.data(), l1, kMapBytes, kFormat, 0);
    if (length == 0 || length > kMapBytes) return Outcome{Status::CompressFailed, {}, length};
    return {};
}

Outcome storedStream(ZarniBinding& zarni, const TrackMap::Cells& cells, SaveEncoding encoding,
                     Stream& out, uint32_t& length) {
    Outcome exact = encodeTwice(zarni, cells, &ZarniBinding::Recompress, &ZarniBinding::Recompress,
                                out, length);
    if (encoding == SaveEncoding::Exact || !exact.ok()) return exact;
    // A shortest inner stream is not always the one whose outer stream is
    // shortest, so both inner choices are tried; ties keep the exact bytes.
    for (Encoder inner : {&ZarniBinding::RecompressSmallest, &ZarniBinding::Recompress}) {
        Stream candidate{};
        uint32_t candidateLength = 0;
        if (encodeTwice(zarni, cells, inner, &ZarniBinding::RecompressSmallest, candidate,
                        candidateLength)
                .ok() &&
            candidateLength < length) {
            out = candidate;
            length = candidateLength;
        }
    }
    return {};
}

}  // namespace

Outcome saveTrack(ZarniBinding& zarni, OpenRom& rom, const TrackMap::Cells& cells, uint8_t t,
                  bool overwriteChanged, SaveEncoding encoding) {
    // Larger numbers would write past both tables into other game data.
    if (t >= layout::kTrackCount) return fail(Status::BadSaveNumber, {}, t);
    std::string error;
    if (!zarni.require(&error)) return fail(Status::LibraryMissing, error);
    if (!rom.isOpen()) return fail(Status::NoSpace, rom.romFileName);
    if (Outcome o = checkUnchanged(rom, overwriteChanged); !o.ok()) return o;

    rom.curTrack = t;

    std::array<uint8_t, kMapBytes> packedTrack{};
    uint32_t l2 = 0;
    if (Outcome o = storedStream(zarni, cells, encoding, packedTrack, l2); !o.ok()) return o;

    const uint32_t pointerAt = rom.fileOffset(layout::kTrackPointerTable + 3u * t);
    const uint32_t themeAt = rom.fileOffset(layout::kTrackThemeTable + t);
    const uint8_t theme = rom.curTheme;
    uint32_t at = 0;
    rom.curOffset = 0;
    const Outcome stored = editCopyOf(rom, Status::NoSpace, [&](const std::string& work) {
        std::array<uint8_t, 3> pointer{};
        {
            OpenedFile file(zarni, work, OpenedFile::kReadWrite);
            if (!file)
                return fileFailed(rom.romFileName, "its copy could not be opened for writing");
            // The library finds the header from the size as well; if the file no
            // longer agrees with what we opened, every offset below would be wrong.
            if (headerSizeFor(zarni.GetFileSize()) != rom.headerSize)
                return fail(Status::NotARomImage, rom.romFileName);
            if (zarni.ExpandROM(layout::kSaveRomMegabits) == 0)
                return fileFailed(rom.romFileName,
                                  "no space left on the device to grow it to 16 megabits");
            at = zarni.VerifyFreeSpace(rom.fileOffset(layout::kSaveWindowStart),
                                       rom.fileOffset(layout::kSaveWindowEnd), l2,
                                       layout::kMappingKind);
            if (at == 0) return fail(Status::NoSpace, rom.romFileName);

            const uint32_t bus =
                zarni.PCtoSNES(at, layout::kMappingKind, rom.headerSize != 0 ? 1 : 0);
            pointer = {static_cast<uint8_t>(bus & 0xFF), static_cast<uint8_t>((bus >> 8) & 0xFF),
                       static_cast<uint8_t>((bus >> 16) & 0xFF)};
            zarni.WriteFile(packedTrack.data(), l2, at);
            zarni.WriteFile(pointer.data(), 3, pointerAt);
            zarni.WriteFile(&theme, 1, themeAt);
        }
        OpenedFile back(zarni, work, OpenedFile::kReadOnly);
        if (!back) return fileFailed(rom.romFileName, "its copy could not be read back");
        const bool written = readsBack(zarni, packedTrack.data(), l2, at) &&
                             readsBack(zarni, pointer.data(), 3, pointerAt) &&
                             readsBack(zarni, &theme, 1, themeAt);
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
    return Outcome{Status::Ok, {}, at};
}

Outcome writeLevelTable(ZarniBinding& zarni, OpenRom& rom,
                        const std::array<uint8_t, layout::kLevelCount>& table,
                        bool overwriteChanged) {
    std::string error;
    if (!zarni.require(&error)) return fail(Status::LibraryMissing, error);
    if (!rom.isOpen()) return fail(Status::CannotWrite, rom.romFileName);
    if (Outcome o = checkUnchanged(rom, overwriteChanged); !o.ok()) return o;

    const uint32_t partA = rom.fileOffset(layout::kLevelTrackTableA);
    const uint32_t partB = rom.fileOffset(layout::kLevelTrackTableB);
    const uint8_t* tableB = table.data() + layout::kLevelTrackTableASize;
    const Outcome stored = editCopyOf(rom, Status::CannotWrite, [&](const std::string& work) {
        {
            OpenedFile file(zarni, work, OpenedFile::kReadWrite);
            if (!file) return fail(Status::CannotWrite, rom.romFileName);
            uint32_t written = zarni.WriteFile(table.data(), layout::kLevelTrackTableASize, partA);
            written &= zarni.WriteFile(tableB, layout::kLevelTrackTableBSize, partB);
            if (!written) return fail(Status::CannotWrite, rom.romFileName);
        }
        OpenedFile back(zarni, work, OpenedFile::kReadOnly);
        if (!back) return fileFailed(rom.romFileName, "its copy could not be read back");
        const bool same = readsBack(zarni, table.data(), layout::kLevelTrackTableASize, partA) &&
                          readsBack(zarni, tableB, layout::kLevelTrackTableBSize, partB);
        if (!same) return fileFailed(rom.romFileName, "no space left on the device");
        return Outcome{};
    });
    if (!stored.ok()) return stored;

    Outcome reread = LoadTrackOffsetList(zarni, rom);
    if (!reread.ok()) return reread;
    if (rom.levelTrack != table) return fail(Status::CannotWrite, rom.romFileName);
    return {};
}

Outcome fixChecksum(OpenRom& rom, RomChecksum& before, bool overwriteChanged) {
    if (!rom.isOpen()) return fail(Status::CannotOpen, rom.romFileName);
    if (Outcome o = checkUnchanged(rom, overwriteChanged); !o.ok()) return o;
    std::vector<uint8_t> image;
    {
        std::ifstream in(rom.romFileName, std::ios::binary);
        if (!in) return fail(Status::CannotOpen, rom.romFileName);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return fail(Status::CannotOpen, rom.romFileName);
    }
    const auto sum = readRomChecksum(image);
    if (!sum)
        return fail(headerSizeFor(static_cast<uint32_t>(image.size())) ? Status::TooSmall
                                                                       : Status::NotARomImage,
                    rom.romFileName);
    before = *sum;
    if (sum->matches()) return {};
    fixRomChecksum(image);
    const FileResult r = writeFileAtomically(rom.romFileName, image.data(), image.size());
    if (!r.ok()) return fileFailed(rom.romFileName, r.reason);
    rom.stamp = fileStamp(rom.romFileName);
    return {};
}

}  // namespace korvale
