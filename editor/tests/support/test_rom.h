// ROM images for the core tests: the demo image when the build made one,
// otherwise a small image laid out like the game's, built here with the
// library's own encoder. Also temporary folders and a file that refuses writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/track_map.h"
#include "core/zarni_binding.h"

namespace korvale::test {

using Bytes = std::vector<uint8_t>;

// The library next to the test programs.
ZarniBinding& binding();

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

Bytes readBytes(const std::string& path);
void writeBytes(const std::string& path, const Bytes& bytes);

// What the image returned by romImage() holds.
TrackMap::Cells expectedTrackMap(int track);
uint8_t expectedTrackTheme(int track);
uint8_t expectedLevelTrack(int level);

// The image with its 512-byte copier header: the demo ROM, or the fallback.
const Bytes& romImage();
// The same bytes without the copier header.
Bytes headerless(const Bytes& image);

// The fallback image, built here: 4 megabits, title, checksum pair, the three
// tables and the fallback maps stored twice compressed from ROM offset
// 0x40000. Its level table is reversed (level i uses track 23 - i), so a
// mix-up of levels and tracks shows even where the demo maps level i to i.
Bytes buildFallbackRom();
TrackMap::Cells fallbackTrackMap(int track);
uint8_t fallbackTrackTheme(int track);
uint8_t fallbackLevelTrack(int level);

// Format 4 applied twice, as a stored track is; empty when either step fails.
Bytes doubleCompress(const TrackMap::Cells& cells);

// Positions of the differing bytes (and every position past the shorter one).
std::vector<size_t> differences(const Bytes& a, const Bytes& b);

// A file that opens for reading and writing but on which every write fails,
// even for root (which ignores permission bits): a sealed memory file, named
// through /proc/self/fd. Its contents can never change.
class UnwritableFile {
  public:
    explicit UnwritableFile(const Bytes& contents);
    ~UnwritableFile();
    UnwritableFile(const UnwritableFile&) = delete;
    UnwritableFile& operator=(const UnwritableFile&) = delete;
    bool valid() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

  private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace korvale::test
