#include "support/test_rom.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "core/rom_layout.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(KORVALE_HAVE_DEMO)
#include "demo_tracks.h"
#endif

namespace korvale::test {

namespace fs = std::filesystem;

ZarniBinding& binding() {
    return ZarniBinding::instance();
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = fs::temp_directory_path() / ("korvale-test-" + std::to_string(random()) +
                                                      "-" + std::to_string(counter.fetch_add(1)));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Fallback maps: a ring road on a ground tile with a few scattered tiles, so
// every track differs and the encoder has both runs and literals to deal with.
TrackMap::Cells fallbackTrackMap(int track) {
    TrackMap::Cells cells;
    const auto ground = static_cast<uint8_t>(0x20 + track);
    cells.fill(ground);
    const int inset = 8 + track;
    for (int y = inset; y < layout::kMapSide - inset; ++y) {
        for (int x = inset; x < layout::kMapSide - inset; ++x) {
            const bool edge = x < inset + 6 || y < inset + 6 || x >= layout::kMapSide - inset - 6 ||
                              y >= layout::kMapSide - inset - 6;
            if (edge) cells[static_cast<size_t>(y * layout::kMapSide + x)] = 0x00;
        }
    }
    std::mt19937 rng(static_cast<unsigned>(track) + 1);
    for (int i = 0; i < 300; ++i)
        cells[rng() % cells.size()] = static_cast<uint8_t>(0x60 + rng() % 4);
    return cells;
}

uint8_t fallbackTrackTheme(int track) {
    return static_cast<uint8_t>((track % 8) * 2);
}

uint8_t fallbackLevelTrack(int level) {
    return static_cast<uint8_t>(23 - level);
}

TrackMap::Cells expectedTrackMap(int track) {
#if defined(KORVALE_HAVE_DEMO)
    return demo::demoTrackMap(track);
#else
    return fallbackTrackMap(track);
#endif
}

uint8_t expectedTrackTheme(int track) {
#if defined(KORVALE_HAVE_DEMO)
    return static_cast<uint8_t>(demo::demoTrackTheme(track));
#else
    return fallbackTrackTheme(track);
#endif
}

uint8_t expectedLevelTrack(int level) {
#if defined(KORVALE_HAVE_DEMO)
    return static_cast<uint8_t>(demo::demoLevelTrack(level));
#else
    return fallbackLevelTrack(level);
#endif
}

Bytes doubleCompress(const TrackMap::Cells& cells) {
    ZarniBinding& z = binding();
    Bytes source(cells.begin(), cells.end());
    Bytes once(0x10000), twice(0x10000);
    const uint32_t l1 = z.Recompress(source.data(), once.data(),
                                     static_cast<uint32_t>(source.size()), 0x10000, 4, 0);
    if (l1 == 0 || l1 > 0x10000) return {};
    const uint32_t l2 = z.Recompress(once.data(), twice.data(), l1, 0x10000, 4, 0);
    if (l2 == 0 || l2 > 0x10000) return {};
    twice.resize(l2);
    return twice;
}

Bytes buildFallbackRom() {
    constexpr uint32_t kRomSize = 0x80000;
    constexpr uint32_t h = layout::kCopierHeaderSize;
    Bytes image(h + kRomSize, 0);
    auto at = [&](uint32_t romOffset) -> uint8_t& { return image[h + romOffset]; };

    const std::string title = "SUPER MARIOKART";
    for (uint32_t i = 0; i < layout::kInternalTitleSize; ++i)
        at(layout::kInternalTitle + i) = i < title.size() ? static_cast<uint8_t>(title[i]) : ' ';
    at(0xFFD5) = 0x31;  // HiROM, fast
    at(0xFFD7) = 9;     // 4 megabits
    // A checksum pair that ORs to 0xFFFF, so growing the ROM updates the size byte.
    at(0xFFDC) = 0x34;
    at(0xFFDD) = 0x12;
    at(0xFFDE) = 0xCB;
    at(0xFFDF) = 0xED;

    for (int level = 0; level < layout::kLevelCount; ++level) {
        const uint32_t place = level < 20
                                   ? layout::kLevelTrackTableA + static_cast<uint32_t>(level)
                                   : layout::kLevelTrackTableB + static_cast<uint32_t>(level - 20);
        at(place) = fallbackLevelTrack(level);
    }
    uint32_t next = 0x40000;
    for (int track = 0; track < layout::kTrackCount; ++track) {
        at(layout::kTrackThemeTable + static_cast<uint32_t>(track)) = fallbackTrackTheme(track);
        const Bytes stored = doubleCompress(fallbackTrackMap(track));
        if (stored.empty()) throw std::runtime_error("the library could not compress a map");
        std::copy(stored.begin(), stored.end(), image.begin() + h + next);
        const uint32_t bus = 0xC00000 | next;
        const uint32_t entry = layout::kTrackPointerTable + 3u * static_cast<uint32_t>(track);
        at(entry) = static_cast<uint8_t>(bus);
        at(entry + 1) = static_cast<uint8_t>(bus >> 8);
        at(entry + 2) = static_cast<uint8_t>(bus >> 16);
        next += static_cast<uint32_t>(stored.size());
    }
    return image;
}

const Bytes& romImage() {
    static const Bytes image = [] {
#if defined(KORVALE_HAVE_DEMO)
        Bytes demo = readBytes(KORVALE_DEMO_ROM);
        if (!demo.empty()) return demo;
#endif
        return buildFallbackRom();
    }();
    return image;
}

Bytes headerless(const Bytes& image) {
    return Bytes(image.begin() + std::min<size_t>(image.size(), layout::kCopierHeaderSize),
                 image.end());
}

std::vector<size_t> differences(const Bytes& a, const Bytes& b) {
    std::vector<size_t> out;
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i)
        if (a[i] != b[i]) out.push_back(i);
    for (size_t i = common; i < std::max(a.size(), b.size()); ++i) out.push_back(i);
    return out;
}

UnwritableFile::UnwritableFile(const Bytes& contents) {
#if defined(__linux__)
    fd_ = memfd_create("korvale-unwritable", MFD_ALLOW_SEALING);
    if (fd_ < 0) return;
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd_, contents.data() + done, contents.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const int seals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL;
    if (done != contents.size() || fcntl(fd_, F_ADD_SEALS, seals) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
#else
    (void)contents;
#endif
}

UnwritableFile::~UnwritableFile() {
#if defined(__linux__)
    if (fd_ >= 0) ::close(fd_);
#endif
}

}  // namespace korvale::test
