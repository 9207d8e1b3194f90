// zarni: the Zarni Compress library for build scripts. Each subcommand does one
// library call on files named on the command line. Results go to stdout; any
// failure ends with one line on stderr, exit code 1, and no file changed.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "zarni_compress.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBlockLimit = 0x10000;  // no stream decodes or encodes to more

// Ends the program with its message as the one line on stderr.
struct Failure {
    std::string message;
};

[[noreturn]] void fail(std::string message) {
    throw Failure{std::move(message)};
}

std::string hexText(uint32_t value, int digits = 6) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*" PRIX32, digits, value);
    return text;
}

// Decimal, 0x-prefixed or $-prefixed hexadecimal, up to 0xFFFFFFFF.
uint32_t parseNumber(const std::string& text, const std::string& what) {
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
    if (digits.empty() || error != std::errc() || stop != end || value > 0xFFFFFFFFull)
        fail("bad number for " + what + ": '" + text + "'");
    return static_cast<uint32_t>(value);
}

uint32_t parseFormat(const std::string& text) {
    const uint32_t format = parseNumber(text, "the format");
    for (uint32_t known : {0u, 1u, 2u, 3u, 4u, 100u, 101u})
        if (format == known) return format;
    fail("unknown format " + text + " (known: 0, 1, 2, 3, 4, 100, 101)");
}

// Mapping kind by name or number; `allowNone` admits 0 (no bank limits).
uint32_t parseKind(const std::string& text, bool allowNone) {
    if (text == "lorom" || text == "1") return 1;
    if (text == "hirom" || text == "2") return 2;
    if (text == "exhirom" || text == "4") return 4;
    if (allowNone && (text == "none" || text == "0")) return 0;
    fail("unknown mapping kind '" + text + "' (use lorom, hirom, exhirom" +
         (allowNone ? ", none)" : ")"));
}

// Why the system refused to write or grow a file, in the user's words.
std::string writeFailure(int error) {
    switch (error) {
        case ENOSPC:
            return "no space left on the device";
#if defined(EDQUOT)
        case EDQUOT:
            return "the disk quota is used up";
#endif
        case EFBIG:
            return "the file would pass the largest size allowed to it";
        case EROFS:
        case EACCES:
        case EPERM:
        case EBADF:
            return "it is read-only";
        default:
            return error != 0 ? std::strerror(error) : "the system refused the write";
    }
}

void requireFile(const std::string& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec || !fs::exists(status)) fail("cannot open " + path + ": no such file");
    if (fs::is_directory(status)) fail(path + " is a folder, not a file");
    if (!fs::is_regular_file(status)) fail(path + " is not a regular file");
}

// The bytes of a regular file from `from` to its end.
Bytes readAll(const std::string& path, uint64_t from = 0) {
    requireFile(path);
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec) fail("cannot read " + path + ": " + ec.message());
    Bytes bytes(size > from ? static_cast<size_t>(size - from) : 0);
    if (bytes.empty()) return bytes;
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) fail("cannot read " + path);
    return bytes;
}

// A new file beside an output, removed unless it was renamed over the output.
class TempFile {
  public:
    explicit TempFile(const fs::path& target) {
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        path_ = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
        fd_ = mkstemp(path_.data());
        if (fd_ < 0) path_.clear();
    }
    ~TempFile() {
        if (fd_ >= 0) close(fd_);
        if (!path_.empty()) std::remove(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool opened() const { return fd_ >= 0; }

    // Writes everything and puts it on the disk; errno tells why not.
    bool write(const uint8_t* data, size_t size) {
        while (size > 0) {
            const auto chunk = static_cast<unsigned>(std::min<size_t>(size, 1u << 30));
            const auto n = ::write(fd_, data, chunk);
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
#if defined(_WIN32)
        return _commit(fd_) == 0;
#else
        return fsync(fd_) == 0;
#endif
    }

    bool renameOver(const fs::path& target, fs::perms permissions) {
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) return false;
        std::error_code ec;
        fs::permissions(path_, permissions, ec);
        if (!ec) fs::rename(path_, target, ec);
        if (ec) {
            errno = ec.value();
            return false;
        }
        path_.clear();
        return true;
    }

  private:
    std::string path_;
    int fd_ = -1;
};

// Permission bits of a file created now.
fs::perms newFilePermissions() {
#if defined(_WIN32)
    return fs::perms::owner_read | fs::perms::owner_write;
#else
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<fs::perms>(0666 & ~mask);
#endif
}

// Writes an output all or nothing: into a new file in the output's folder,
// flushed to the disk, then renamed over the output, which keeps its
// permission bits. On failure the new file goes and the output stays as it was.
void writeAll(const std::string& path, const uint8_t* data, size_t size) {
    std::error_code ec;
    fs::path target = path;
    // Through a link, the file it names is replaced, not the link.
    if (fs::is_symlink(target, ec)) target = fs::weakly_canonical(target, ec);
    const auto status = fs::status(target, ec);
    if (fs::is_directory(status)) fail("cannot write " + path + ": it is a folder");
    const fs::perms permissions =
        fs::exists(status) ? status.permissions() & fs::perms::mask : newFilePermissions();
    errno = 0;
    TempFile temp(target);
    if (!temp.opened())
        fail("cannot write " + path + ": no new file can be made in its folder (" +
             writeFailure(errno) + ")");
    if (!temp.write(data, size) || !temp.renameOver(target, permissions))
        fail("cannot write " + path + ": " + writeFailure(errno));
}

// Refuses a file whose write bits are all clear, even where the user could
// write it anyway (root): a build script marks an image read-only on purpose.
void requireWritable(const std::string& path) {
    requireFile(path);
    using fs::perms;
    const perms writeBits = perms::owner_write | perms::group_write | perms::others_write;
    if ((fs::status(path).permissions() & writeBits) == perms::none) fail(path + " is read-only");
}

// The library's one open file, closed on every way out.
class OpenFile {
  public:
    OpenFile(const std::string& path, uint32_t mode) {
        errno = 0;
        if (!ZarniOpenFile(path.c_str(), mode))
            fail("cannot open " + path + (mode == 0 ? "" : " for writing: " + writeFailure(errno)));
    }
    ~OpenFile() { ZarniCloseFile(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
};

struct Arguments {
    std::string input, output, offset, format, flag = "0", maxSize = "65536";
    std::string kind, address, megabits, size, start = "0", end = "0xFFFFFFFF", bpp;
    bool header = false, smallest = false;
};

void runDecompress(const Arguments& a) {
    const uint32_t offset = parseNumber(a.offset, "the offset");
    const uint32_t format = parseFormat(a.format);
    const uint32_t flag = parseNumber(a.flag, "--flag");
    const uint32_t maxSize = parseNumber(a.maxSize, "--max");
    if (maxSize > kBlockLimit) fail("--max must be at most 65536");
    // The stream can run to the end of the file, no further.
    const Bytes stream = readAll(a.input, offset);
    if (stream.empty()) fail("offset " + hexText(offset) + " lies beyond the end of " + a.input);
    Bytes decoded(kBlockLimit);
    uint32_t endOffset = 0;
    const uint32_t size =
        ZarniDecompressMemory(decoded.data(), stream.data(), static_cast<uint32_t>(stream.size()),
                              0, maxSize, format, flag, &endOffset);
    endOffset += offset;
    if (size == 0) fail("nothing decoded at " + hexText(offset) + " in format " + a.format);
    if (!a.output.empty()) writeAll(a.output, decoded.data(), size < maxSize ? size : maxSize);
    std::cout << "decoded " << size << " bytes, end offset " << hexText(endOffset) << '\n';
}

void runCompress(const Arguments& a) {
    const uint32_t format = parseFormat(a.format);
    const uint32_t flag = parseNumber(a.flag, "--flag");
    Bytes input = readAll(a.input);
    if (input.size() > kBlockLimit)
        fail(a.input + " holds " + std::to_string(input.size()) +
             " bytes; at most 65536 can be compressed");
    const auto inputSize = static_cast<uint32_t>(input.size());
    Bytes encoded(kBlockLimit);
    const auto recompress = a.smallest ? ZarniRecompressSmallest : ZarniRecompress;
    const uint32_t size =
        recompress(input.data(), encoded.data(), inputSize, kBlockLimit, format, flag);
    if (size == 0 || size > kBlockLimit)
        fail("cannot compress " + a.input + " in format " + a.format);
    writeAll(a.output, encoded.data(), size);
    std::cout << "compressed " << inputSize << " bytes to " << size << " bytes\n";
}

void runSnesToPc(const Arguments& a) {
    const uint32_t address = parseNumber(a.address, "the address");
    const uint32_t kind = parseKind(a.kind, false);
    std::cout << hexText(ZarniSNEStoPC(address, kind, a.header ? 1 : 0)) << '\n';
}

void runPcToSnes(const Arguments& a) {
    const uint32_t offset = parseNumber(a.offset, "the offset");
    const uint32_t kind = parseKind(a.kind, false);
    std::cout << hexText(ZarniPCtoSNES(offset, kind, a.header ? 1 : 0)) << '\n';
}

void runExpand(const Arguments& a) {
    const uint32_t megabits = parseNumber(a.megabits, "the megabits");
    if (megabits > 32) fail("a ROM holds at most 32 megabits");
    requireFile(a.input);
    const auto fileSize = static_cast<uint64_t>(fs::file_size(a.input));
    const uint64_t romSize = fileSize - (fileSize & 0x200);
    const bool grows = uint64_t{megabits} * 0x20000 > romSize;
    if (grows) requireWritable(a.input);
    OpenFile file(a.input, grows ? 1 : 0);
    errno = 0;
    const uint32_t result = ZarniExpandROM(megabits);
    if (result == 0 && megabits != 0)
        fail("cannot expand " + a.input + ": " + writeFailure(errno) + "; it is unchanged");
    std::cout << result << '\n';
}

void runFree(const Arguments& a) {
    const uint32_t size = parseNumber(a.size, "--size");
    const uint32_t kind = parseKind(a.kind, true);
    const uint32_t start = parseNumber(a.start, "--start");
    const uint32_t end = parseNumber(a.end, "--end");
    requireFile(a.input);
    OpenFile file(a.input, 0);
    const uint32_t offset = ZarniVerifyFreeSpace(start, end, size, kind);
    if (offset == 0) fail("no run of " + std::to_string(size) + " free bytes in " + a.input);
    std::cout << hexText(offset) << '\n';
}

void runErase(const Arguments& a) {
    const uint32_t offset = parseNumber(a.offset, "the offset");
    const uint32_t size = parseNumber(a.size, "the size");
    if (size == 0) fail("nothing to erase: the size is 0");
    if (uint64_t{offset} + size > 0x100000000ull)
        fail("cannot erase in " + a.input + ": the area reaches past 4 GiB");
    requireWritable(a.input);
    OpenFile file(a.input, 1);
    errno = 0;
    if (!ZarniEraseArea(offset, size))
        fail("cannot erase in " + a.input + ": " + writeFailure(errno) + "; it is unchanged");
    std::cout << "erased " << size << " bytes at " << hexText(offset) << '\n';
}

uint32_t parseDepth(const std::string& text) {
    const uint32_t bpp = parseNumber(text, "--bpp");
    if (bpp < 1 || bpp > 8) fail("--bpp must be 1 to 8");
    return bpp;
}

void runToPixels(const Arguments& a) {
    const uint32_t bpp = parseDepth(a.bpp);
    const Bytes planar = readAll(a.input);
    const size_t tileBytes = 8 * size_t{bpp};
    if (planar.size() % tileBytes != 0)
        fail(a.input + " is not a whole number of " + std::to_string(tileBytes) + "-byte tiles");
    const size_t tiles = planar.size() / tileBytes;
    Bytes pixels(tiles * 64 + 1);  // never empty: the library refuses null pointers
    if (!ZarniCreatePixelMap(planar.empty() ? pixels.data() + 1 : planar.data(), pixels.data(),
                             static_cast<uint32_t>(tiles), bpp))
        fail("cannot convert " + a.input);
    writeAll(a.output, pixels.data(), tiles * 64);
    std::cout << "converted " << tiles << " tiles\n";
}

void runToPlanar(const Arguments& a) {
    const uint32_t bpp = parseDepth(a.bpp);
    const Bytes pixels = readAll(a.input);
    if (pixels.size() % 64 != 0) fail(a.input + " is not a whole number of 64-byte tiles");
    const size_t tiles = pixels.size() / 64;
    Bytes planar(tiles * 8 * bpp + 1);
    if (!ZarniCreateBppMap(pixels.empty() ? planar.data() + 1 : pixels.data(), planar.data(),
                           static_cast<uint32_t>(tiles), bpp))
        fail("cannot convert " + a.input);
    writeAll(a.output, planar.data(), tiles * 8 * bpp);
    std::cout << "converted " << tiles << " tiles\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "zarni: compress and decompress SNES game data, convert SNES addresses, grow ROM images, "
        "find and erase free space, and convert planar tile graphics.\n"
        "Numbers are decimal, 0x-prefixed or $-prefixed hexadecimal. Offsets are file offsets, "
        "a 512-byte copier header included.",
        "zarni"};
    // One line on stderr for usage errors too.
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string("zarni: ") + e.what() + " (see --help)\n";
    });
    app.require_subcommand(1);
    Arguments a;

    auto* decompress =
        app.add_subcommand("decompress",
                           "Decode the stream at OFFSET of FILE; print the decoded size and the "
                           "offset just past the stream");
    decompress->add_option("file", a.input, "File holding the stream")->required();
    decompress->add_option("offset", a.offset, "File offset of the stream")->required();
    decompress->add_option("-f,--format", a.format, "Format: 0, 1, 2, 3, 4, 100 or 101")
        ->required();
    decompress->add_option("--flag", a.flag, "Format flag (formats 0 and 1: 4-to-3 tile packing)")
        ->capture_default_str();
    decompress->add_option("--max", a.maxSize, "Write at most this many bytes")
        ->capture_default_str();
    decompress->add_option("-o,--output", a.output,
                           "Output file, written only after a successful decode; without it "
                           "only the sizes are printed");

    auto* compress = app.add_subcommand(
        "compress", "Encode INPUT (at most 65536 bytes) in a format and write the stream");
    compress->add_option("input", a.input, "File to compress")->required();
    compress->add_option("-f,--format", a.format, "Format: 0, 1, 2, 3, 4, 100 or 101")->required();
    compress->add_option("--flag", a.flag, "Format flag (formats 0 and 1: 4-to-3 tile packing)")
        ->capture_default_str();
    compress->add_option("-o,--output", a.output, "Output file, written only on success")
        ->required();
    compress->add_flag("--smallest", a.smallest,
                       "Format 4: write a shortest possible stream (slower; other bytes than "
                       "the default encoder's)");

    auto* snesToPc = app.add_subcommand("snes2pc", "Convert a SNES bus address to a file offset");
    snesToPc->add_option("address", a.address, "SNES address, e.g. $C12345 or 0xC12345")
        ->required();
    auto* pcToSnes = app.add_subcommand("pc2snes", "Convert a file offset to a SNES bus address");
    pcToSnes->add_option("offset", a.offset, "File offset")->required();
    for (auto* sub : {snesToPc, pcToSnes}) {
        sub->add_option("-k,--kind", a.kind, "Mapping: lorom (1), hirom (2) or exhirom (4)")
            ->required();
        sub->add_flag("--header", a.header, "The file starts with a 512-byte copier header");
    }

    auto* expand = app.add_subcommand(
        "expand",
        "Grow the ROM image to MEGABITS (0 to 32) with zero bytes and set its size byte; "
        "print its size in megabits");
    expand->add_option("rom", a.input, "ROM image")->required();
    expand->add_option("megabits", a.megabits, "Wanted ROM size in megabits")->required();

    auto* freeSpace = app.add_subcommand(
        "free", "Print the first file offset where SIZE zero bytes lie in [START, END)");
    freeSpace->add_option("rom", a.input, "ROM image")->required();
    freeSpace->add_option("-s,--size", a.size, "Bytes needed")->required();
    freeSpace
        ->add_option("-k,--kind", a.kind,
                     "Bank limits: lorom (1, 32 KiB banks), hirom (2) or exhirom (4) "
                     "(64 KiB banks), none (0, runs may cross banks)")
        ->required();
    freeSpace->add_option("--start", a.start, "First offset to consider")->capture_default_str();
    freeSpace->add_option("--end", a.end, "End of the search (exclusive; cut to the file size)")
        ->capture_default_str();

    auto* erase = app.add_subcommand("erase", "Fill SIZE bytes at OFFSET of the file with zeros");
    erase->add_option("rom", a.input, "File to change")->required();
    erase->add_option("offset", a.offset, "File offset")->required();
    erase->add_option("size", a.size, "Bytes to erase")->required();

    auto* toPixels = app.add_subcommand(
        "to-pixels", "Convert planar SNES tiles to pixel maps (64 bytes a tile, one per pixel)");
    auto* toPlanar = app.add_subcommand(
        "to-planar",
        "Convert pixel maps (64 bytes a tile) to planar SNES tiles; pixel bits above "
        "the depth are dropped");
    for (auto* sub : {toPixels, toPlanar}) {
        sub->add_option("input", a.input, "Input file")->required();
        sub->add_option("output", a.output, "Output file, written only on success")->required();
        sub->add_option("-b,--bpp", a.bpp, "Bits per pixel, 1 to 8")->required();
    }

    // Left to itself, the parser reports any unknown first word as a missing subcommand.
    if (argc > 1) {
        const std::string word = argv[1];
        const auto subcommands = app.get_subcommands([](const CLI::App*) { return true; });
        const bool known =
            word == "-h" || word == "--help" ||
            std::any_of(subcommands.begin(), subcommands.end(),
                        [&](const CLI::App* sub) { return sub->get_name() == word; });
        if (!known)
            return app.exit(CLI::ParseError(
                std::string(word[0] == '-' ? "unknown option '" : "unknown subcommand '") + word +
                    "'",
                CLI::ExitCodes::ExtrasError));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    try {
        if (decompress->parsed()) runDecompress(a);
        if (compress->parsed()) runCompress(a);
        if (snesToPc->parsed()) runSnesToPc(a);
        if (pcToSnes->parsed()) runPcToSnes(a);
        if (expand->parsed()) runExpand(a);
        if (freeSpace->parsed()) runFree(a);
        if (erase->parsed()) runErase(a);
        if (toPixels->parsed()) runToPixels(a);
        if (toPlanar->parsed()) runToPlanar(a);
    } catch (const Failure& f) {
        std::cerr << "zarni: " << f.message << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "zarni: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
