#include "core/track_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "core/safe_file.h"

namespace korvale {

namespace {

constexpr uint32_t kReadOnly = 0;
constexpr uint32_t kMapBytes = layout::kMapCells;
// Theme bytes name one of the eight tile sets, times two.
constexpr uint8_t kThemeLimit = layout::kTileSetCount * 2;

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace

Outcome readTrackFile(ZarniBinding& zarni, const std::string& path, TrackFile& out) {
    std::string error;
    if (!zarni.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile"},
                       &error))
        return Outcome{Status::LibraryMissing, error};
    // A folder opens for reading on some systems but reads nothing.
    if (path.empty() || isDirectory(path) || !zarni.OpenFile(path, kReadOnly))
        return Outcome{Status::CannotOpen, path};
    if (zarni.GetFileSize() < layout::kTrackFileSize) {
        zarni.CloseFile();
        return Outcome{Status::BadTrackFile, path};
    }
    std::array<uint8_t, layout::kTrackFileSize> bytes{};
    zarni.ReadFile(bytes.data(), layout::kTrackFileSize, 0);
    zarni.CloseFile();
    const uint8_t theme = bytes[kMapBytes];
    if (theme >= kThemeLimit) return Outcome{Status::BadTrackFile, path, theme};
    std::copy_n(bytes.begin(), kMapBytes, out.cells.begin());
    out.theme = theme;
    return {};
}

Outcome writeTrackFile(const std::string& path, const TrackFile& file) {
    if (path.empty()) return Outcome{Status::CannotWrite, path};
    std::array<uint8_t, layout::kTrackFileSize> bytes{};
    std::copy(file.cells.begin(), file.cells.end(), bytes.begin());
    bytes[kMapBytes] = file.theme;
    // Never truncate the old file first: a full disk would leave neither.
    const FileResult r = writeFileAtomically(path, bytes.data(), bytes.size());
    if (!r.ok()) return Outcome{Status::FileFailed, path, 0, r.reason};
    return {};
}

}  // namespace korvale
