// korvale-cli: the editor's core without a window, for build scripts that keep
// tracks in files. Results go to stdout, one line each; any failure ends with
// one line on stderr, exit code 1, and every file as it was.
#include <CLI/CLI.hpp>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/open_rom.h"
#include "core/rom_checksum.h"
#include "core/rom_layout.h"
#include "core/safe_file.h"
#include "core/track_file.h"

namespace fs = std::filesystem;
using namespace korvale;

namespace {

struct Failure {
    std::string message;
};

[[noreturn]] void fail(std::string message) {
    throw Failure{std::move(message)};
}

// Decimal, 0x-prefixed or $-prefixed hexadecimal, as the zarni tool reads them.
uint32_t parseNumber(const std::string& text, const std::string& what, uint32_t limit) {
    std::string_view digits = text;
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
    } else if (digits.starts_with("$")) {
        digits.remove_prefix(1);
        base = 16;
    }
    uint64_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || error != std::errc() || stop != end)
        fail("bad number for " + what + ": '" + text + "'");
    if (value > limit) fail(what + " must be at most " + std::to_string(limit) + ", not " + text);
    return static_cast<uint32_t>(value);
}

std::string describe(const Outcome& o, const std::string& rom) {
    switch (o.status) {
        case Status::Ok:
        case Status::Cancelled:
            return {};
        case Status::LibraryMissing:
            return o.detail;
        case Status::CannotOpen:
            return "cannot open " + o.detail;
        case Status::CannotRead:
            return "cannot read " + o.detail;
        case Status::NotARomImage:
            return o.detail + " is not a ROM image (its size fits no known layout)";
        case Status::TooSmall:
            return o.detail + " is too small to hold the game's tables";
        case Status::ForeignTitle:
            return o.detail + " does not carry the game's title (--any-title opens it anyway)";
        case Status::BadTrackNumber:
        case Status::BadSaveNumber:
            return "track number " + std::to_string(o.value) + " is not 0 to 23";
        case Status::BadOffset:
            return "offset " + std::to_string(o.value) + " lies beyond any ROM image";
        case Status::TileSetMissing:
            return o.detail;
        case Status::CompressFailed:
            return "the track could not be compressed";
        case Status::NoSpace:
            return "cannot save into " + rom + ": " +
                   (o.detail.empty() || o.detail == rom ? "no room left in the save window, or "
                                                          "the file is read-only"
                                                        : o.detail);
        case Status::CannotWrite:
            return "cannot write " + o.detail;
        case Status::FileFailed:
            return "cannot write " + o.detail + ": " + o.reason + " (it was left as it was)";
        case Status::ChangedOnDisk:
            return o.detail + " changed while it was being read";
        case Status::BadTrackFile:
            return o.detail + " is not a track file (16,385 bytes, theme byte below 16)";
    }
    return "failed";
}

void check(const Outcome& o, const std::string& rom) {
    if (!o.ok()) fail(describe(o, rom));
}

// The open-ROM record alone: the tool shows no track, so it needs no document.
struct Rom {
    ZarniBinding& zarni = ZarniBinding::instance();
    OpenRom record;
    std::string path;
    Rom(const std::string& p, bool anyTitle) : path(p) {
        check(readRomImage(zarni, p, anyTitle, record), p);
    }
};

uint32_t trackNumber(const std::string& text) {
    return parseNumber(text, "the track number", layout::kTrackCount - 1);
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) fail("cannot read " + path);
    return bytes;
}

void writeAtomically(const std::string& path, const void* data, size_t size) {
    const FileResult r = writeFileAtomically(path, data, size);
    if (!r.ok()) fail("cannot write " + path + ": " + r.reason + " (nothing was changed)");
}

LoadedTrack loadTrack(Rom& rom, uint32_t track) {
    LoadedTrack loaded;
    check(readTrack(rom.zarni, rom.record, static_cast<int>(track), 0, TrackMap::Cells{}, loaded),
          rom.path);
    return loaded;
}

// The tile sheets ship beside the program, or in the installed share folder.
QString sheetPath(int tileSet) {
    const QString name = QString::fromStdString(layout::tileSheetFileName(tileSet));
    const QDir bin(QCoreApplication::applicationDirPath());
    for (const QString& folder : {bin.path(), bin.filePath("../share/korvale")}) {
        const QString candidate = QDir(folder).filePath(name);
        if (QFileInfo::exists(candidate)) return candidate;
    }
    fail("cannot find the tile sheet " + name.toStdString() + " beside the program");
}

void writePicture(const LoadedTrack& track, const std::string& out) {
    const QString sheetFile = sheetPath(track.tileSet);
    QImage sheet(sheetFile);
    if (sheet.isNull()) fail("cannot read the tile sheet " + sheetFile.toStdString());
    sheet = sheet.convertToFormat(QImage::Format_RGB32);
    constexpr int kTile = 8;
    QImage picture(layout::kMapSide * kTile, layout::kMapSide * kTile, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    for (int i = 0; i < layout::kMapCells; ++i) {
        const int tile = track.cells[static_cast<size_t>(i)];
        painter.drawImage(QPoint((i % layout::kMapSide) * kTile, (i / layout::kMapSide) * kTile),
                          sheet, QRect((tile % 16) * kTile, (tile / 16) * kTile, kTile, kTile));
    }
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) fail("cannot encode the picture for " + out);
    writeAtomically(out, png.constData(), static_cast<size_t>(png.size()));
}

void writeTrack(const LoadedTrack& track, const std::string& out) {
    std::vector<uint8_t> bytes(track.cells.begin(), track.cells.end());
    bytes.push_back(static_cast<uint8_t>(track.tileSet * 2));
    writeAtomically(out, bytes.data(), bytes.size());
}

bool endsWithPng(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

std::string levelsUsing(const OpenRom& rom, int track, bool json) {
    std::string out;
    for (int level = 0; level < layout::kLevelCount; ++level) {
        if (rom.levelTrack[static_cast<size_t>(level)] != track) continue;
        if (!out.empty()) out += json ? "," : " ";
        out += std::to_string(level);
    }
    return json ? "[" + out + "]" : (out.empty() ? "-" : out);
}

std::string jsonText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The stored stream's length: the outer decode's end offset tells it.
uint32_t storedSize(Rom& rom, int32_t offset) {
    ZarniBinding& z = rom.zarni;
    if (offset <= 0 || !z.OpenFile(rom.path, 0)) return 0;
    uint32_t end = 0;
    std::vector<uint8_t> scratch(layout::kMapCells);
    if (static_cast<uint32_t>(offset) < z.GetFileSize())
        z.Decompress(scratch.data(), static_cast<uint32_t>(offset), layout::kMapCells, 4, 0, &end);
    z.CloseFile();
    return end > static_cast<uint32_t>(offset) ? end - static_cast<uint32_t>(offset) : 0;
}

struct Arguments {
    std::string rom, track, out, in, dir, level;
    std::vector<std::string> set;
    bool json = false, png = false, fix = false, anyTitle = false, smallest = false;
};

void runTracks(const Arguments& a) {
    Rom rom(a.rom, a.anyTitle);
    const OpenRom& r = rom.record;
    if (a.json) std::cout << "[\n";
    for (int t = 0; t < layout::kTrackCount; ++t) {
        const auto i = static_cast<size_t>(t);
        const int tileSet = r.trackTheme[i] >> 1;
        std::string setName = tileSet < layout::kTileSetCount
                                  ? layout::tileSetMenuCaption(tileSet).substr(4)
                                  : std::string("?");
        const uint32_t size = storedSize(rom, r.trackOffset[i]);
        if (a.json) {
            std::cout << "  {\"track\": " << t << ", \"offset\": " << r.trackOffset[i]
                      << ", \"storedSize\": " << size << ", \"theme\": " << int{r.trackTheme[i]}
                      << ", \"tileSet\": " << jsonText(setName)
                      << ", \"levels\": " << levelsUsing(r, t, true) << "}"
                      << (t + 1 < layout::kTrackCount ? ",\n" : "\n");
        } else {
            char line[160];
            std::snprintf(line, sizeof line, "%2d  0x%06X  %5u  0x%02X  %-14s %s", t,
                          static_cast<unsigned>(r.trackOffset[i]), size, r.trackTheme[i],
                          setName.c_str(), levelsUsing(r, t, false).c_str());
            std::cout << line << '\n';
        }
    }
    if (a.json) std::cout << "]\n";
}

void runLevels(const Arguments& a) {
    Rom rom(a.rom, a.anyTitle);
    if (!a.set.empty()) {
        const uint32_t level = parseNumber(a.set[0], "the level", layout::kLevelCount - 1);
        auto table = rom.record.levelTrack;
        table[level] = static_cast<uint8_t>(trackNumber(a.set[1]));
        check(writeLevelTable(rom.zarni, rom.record, table), a.rom);
    }
    const OpenRom& r = rom.record;
    for (int level = 0; level < layout::kLevelCount; ++level)
        std::cout << level << '\t' << int{r.levelTrack[static_cast<size_t>(level)]} << '\t'
                  << layout::levelName(level) << '\n';
}

void runExport(const Arguments& a) {
    Rom rom(a.rom, a.anyTitle);
    const LoadedTrack track = loadTrack(rom, trackNumber(a.track));
    endsWithPng(a.out) ? writePicture(track, a.out) : writeTrack(track, a.out);
    std::cout << a.out << '\n';
}

void runExportAll(const Arguments& a) {
    Rom rom(a.rom, a.anyTitle);
    std::error_code ec;
    fs::create_directories(a.dir, ec);
    if (!fs::is_directory(a.dir)) fail("cannot make the folder " + a.dir);
    // Decode everything first, so a bad track leaves no half-written folder.
    std::vector<LoadedTrack> tracks;
    for (int t = 0; t < layout::kTrackCount; ++t)
        tracks.push_back(loadTrack(rom, static_cast<uint32_t>(t)));
    for (int t = 0; t < layout::kTrackCount; ++t) {
        const std::string base = (fs::path(a.dir) / ("track" + HexPad(t, 2))).string();
        writeTrack(tracks[static_cast<size_t>(t)], base + ".mkt");
        if (a.png) writePicture(tracks[static_cast<size_t>(t)], base + ".png");
    }
    std::cout << layout::kTrackCount << " tracks written to " << a.dir << '\n';
}

void runImport(const Arguments& a) {
    Rom rom(a.rom, a.anyTitle);
    const uint32_t track = trackNumber(a.track);
    TrackFile file;
    check(readTrackFile(rom.zarni, a.in, file), a.rom);
    // The file's tile set, as importing it in the editor chooses it.
    rom.record.curTheme = static_cast<uint8_t>((file.theme >> 1) * 2);
    const Outcome saved =
        saveTrack(rom.zarni, rom.record, file.cells, static_cast<uint8_t>(track), false,
                  a.smallest ? SaveEncoding::Smallest : SaveEncoding::Exact);
    check(saved, a.rom);
    std::printf("0x%06X\n", saved.value);
}

void runFree(const Arguments& a) {
    Rom rom(a.rom, a.anyTitle);
    const std::vector<uint8_t> image = readAll(a.rom);
    const uint32_t h = rom.record.headerSize;
    // Bytes past the end count as free: the first save grows the image with zeros.
    uint64_t free = 0;
    for (uint32_t at = layout::kSaveWindowStart + h; at < layout::kSaveWindowEnd + h; ++at)
        if (at >= image.size() || image[at] == 0) ++free;
    std::cout << free << '\n';
}

void runChecksum(const Arguments& a) {
    std::vector<uint8_t> image = readAll(a.rom);
    const auto sum = readRomChecksum(image);
    if (!sum) fail(a.rom + " is too small or not a ROM image");
    char line[120];
    if (a.fix && !sum->matches()) {
        fixRomChecksum(image);
        writeAtomically(a.rom, image.data(), image.size());
        std::snprintf(line, sizeof line, "fixed: checksum 0x%04X, complement 0x%04X", sum->computed,
                      sum->computed ^ 0xFFFF);
        std::cout << line << '\n';
        return;
    }
    if (sum->matches()) {
        std::snprintf(line, sizeof line, "ok: checksum 0x%04X, complement 0x%04X", sum->stored,
                      sum->complement);
        std::cout << line << '\n';
        return;
    }
    std::snprintf(line, sizeof line,
                  "checksum 0x%04X and complement 0x%04X do not match the image (0x%04X); "
                  "--fix rewrites them",
                  sum->stored, sum->complement, sum->computed);
    fail(line);
}

}  // namespace

int main(int argc, char* argv[]) {
    // No display is needed: the core application only finds the program's folder.
    QCoreApplication qt(argc, argv);
    CLI::App app{"korvale-cli: read and write the tracks of a ROM image without a window"};
    app.require_subcommand(1);
    Arguments a;

    auto romOption = [&](CLI::App* sub) {
        sub->add_option("rom", a.rom, "ROM image")->required();
        sub->add_flag("--any-title", a.anyTitle, "Open an image without the game's title");
    };
    auto* tracks = app.add_subcommand("tracks",
                                      "List the 24 tracks: number, file offset, "
                                      "stored size, theme byte, tile set, levels");
    romOption(tracks);
    tracks->add_flag("--json", a.json, "Print JSON instead of a table");

    auto* levels = app.add_subcommand("levels", "List (or with --set change) the level table");
    romOption(levels);
    levels->add_option("--set", a.set, "LEVEL TRACK: the level to change and its track")
        ->expected(2);

    auto* exportOne = app.add_subcommand(
        "export", "Write a track to a track file (.mkt) or, for a .png name, a picture");
    romOption(exportOne);
    exportOne->add_option("track", a.track, "Track number, 0 to 23")->required();
    exportOne->add_option("out", a.out, "Output file")->required();

    auto* exportAll = app.add_subcommand(
        "export-all", "Write every track as DIR/trackNN.mkt (and .png with --png)");
    romOption(exportAll);
    exportAll->add_option("dir", a.dir, "Output folder")->required();
    exportAll->add_flag("--png", a.png, "Also write a picture of each track");

    auto* import = app.add_subcommand(
        "import", "Save a track file into the ROM under a track number, as the editor does");
    romOption(import);
    import->add_option("track", a.track, "Track number, 0 to 23")->required();
    import->add_option("in", a.in, "Track file (.mkt)")->required();
    import->add_flag("--smallest", a.smallest,
                     "Store the track in the fewest bytes (the editor's Smallest Saves)");

    auto* freeSpace = app.add_subcommand("free", "Print the bytes still free in the save window");
    romOption(freeSpace);

    auto* checksum = app.add_subcommand(
        "checksum", "Check the internal checksum and complement; --fix rewrites them");
    checksum->add_option("rom", a.rom, "ROM image")->required();
    checksum->add_flag("--fix", a.fix, "Rewrite them to match the image");

    // Name a mistyped subcommand instead of saying only that one is missing.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const auto* sub : app.get_subcommands({})) known = known || sub->check_name(argv[1]);
        if (!known) {
            std::cerr << "korvale-cli: unknown subcommand '" << argv[1] << "' (see --help)\n";
            return 1;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    try {
        if (tracks->parsed()) runTracks(a);
        if (levels->parsed()) runLevels(a);
        if (exportOne->parsed()) runExport(a);
        if (exportAll->parsed()) runExportAll(a);
        if (import->parsed()) runImport(a);
        if (freeSpace->parsed()) runFree(a);
        if (checksum->parsed()) runChecksum(a);
    } catch (const Failure& f) {
        std::cerr << "korvale-cli: " << f.message << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "korvale-cli: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
