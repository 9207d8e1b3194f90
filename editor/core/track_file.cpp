#include "core/track_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace korvale {

namespace {

constexpr uint32_t kReadOnly = 0;
constexpr uint32_t kCreate = 2;
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

Outcome writeTrackFile(ZarniBinding& zarni, const std::string& path, const TrackFile& file) {
    std::string error;
    if (!zarni.require({"ZarniOpenFile", "ZarniCloseFile", "ZarniGetFileSize", "ZarniReadFile",
                        "ZarniWriteFile"},
                       &error))
        return Outcome{Status::LibraryMissing, error};
    if (path.empty() || !zarni.OpenFile(path, kCreate)) return Outcome{Status::CannotWrite, path};
    std::array<uint8_t, layout::kTrackFileSize> bytes{};
    std::copy(file.cells.begin(), file.cells.end(), bytes.begin());
    bytes[kMapBytes] = file.theme;
    zarni.WriteFile(bytes.data(), kMapBytes, 0);
    zarni.WriteFile(&bytes[kMapBytes], 1, kMapBytes);
    zarni.CloseFile();

    // The library does not report a failed write, so the file is read back.
    bool whole = zarni.OpenFile(path, kReadOnly) != 0;
    if (whole) {
        std::array<uint8_t, layout::kTrackFileSize> back{};
        std::transform(bytes.begin(), bytes.end(), back.begin(),
                       [](uint8_t b) { return static_cast<uint8_t>(~b); });
        whole = zarni.GetFileSize() == layout::kTrackFileSize;
        zarni.ReadFile(back.data(), layout::kTrackFileSize, 0);
        zarni.CloseFile();
        whole = whole && back == bytes;
    }
    if (!whole) return Outcome{Status::CannotWrite, path};
    return {};
}

}  // namespace korvale
