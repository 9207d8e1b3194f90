// Erasing, growing and searching the open ROM file. Everything here speaks in
// file offsets; the copier header is recognised by bit 9 of the file size.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "module_state.h"
#include "zarni_compress.h"

namespace {

constexpr uint32_t kMegabit = 0x20000;
constexpr uint32_t kMaxMegabits = 32;
constexpr uint32_t kWorkBufferSize = 0x10000;

uint32_t headerSize(uint32_t fileSize) {
    return fileSize & 0x200u;
}

// Size byte of the cartridge header for a ROM of the given size.
uint8_t romSizeByte(uint32_t megabits) {
    if (megabits <= 3) return 8;
    if (megabits <= 7) return 9;
    if (megabits <= 9) return 10;
    if (megabits <= 20) return 11;
    return 12;
}

// Little-endian word at offset; bytes beyond the end of the file read as 0.
uint16_t readWord(uint32_t offset, uint32_t fileSize) {
    uint8_t bytes[2] = {0, 0};
    if (offset < fileSize) {
        std::FILE* f = zarni::moduleState().file;
        zarni::seekOpenFile(offset);
        std::clearerr(f);
        const size_t wanted = fileSize - offset < 2 ? 1 : 2;
        if (std::fread(bytes, 1, wanted, f) != wanted) bytes[0] = bytes[1] = 0;
    }
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// Where the size byte goes (base + 0x17) when the checksum and its
// complement at base + 0x1E / base + 0x1C look like a real cartridge header,
// and what is there now.
struct SizeBytePlace {
    bool wanted = false;
    uint32_t offset = 0;
    uint8_t old = 0;
};

SizeBytePlace sizeBytePlace(uint32_t base, uint32_t fileSize) {
    SizeBytePlace place;
    const uint16_t checksum = readWord(base + 0x1E, fileSize);
    const uint16_t complement = readWord(base + 0x1C, fileSize);
    place.wanted = (checksum | complement) == 0xFFFF;
    place.offset = base + 0x17;
    place.old = static_cast<uint8_t>(readWord(place.offset, fileSize));
    return place;
}

bool writeByte(uint32_t offset, uint8_t value) {
    std::FILE* f = zarni::moduleState().file;
    if (!zarni::seekOpenFile(offset)) return false;
    const bool ok = std::fputc(value, f) != EOF;
    return std::fflush(f) == 0 && ok;
}

bool writeZeros(std::FILE* f, uint32_t size) {
    // One write when the whole zero block can be had; calloc lets the system
    // hand out zero pages lazily.
    if (void* block = std::calloc(size, 1)) {
        const bool ok = std::fwrite(block, 1, size, f) == size;
        std::free(block);
        return ok;
    }
    static const uint8_t zeros[4096] = {};
    while (size > 0) {
        const uint32_t n = std::min<uint32_t>(size, sizeof zeros);
        if (std::fwrite(zeros, 1, n, f) != n) return false;
        size -= n;
    }
    return true;
}

bool zeroFill(uint32_t fileOffset, uint32_t size) {
    std::FILE* f = zarni::moduleState().file;
    if (!zarni::seekOpenFile(fileOffset)) return false;
    std::clearerr(f);
    bool ok = writeZeros(f, size);
    ok = std::fflush(f) == 0 && ok;
    std::clearerr(f);
    return ok;
}

}  // namespace

extern "C" {

ZARNI_API uint32_t ZARNI_CALL ZarniEraseArea(uint32_t fileOffset, uint32_t size) {
    auto& s = zarni::moduleState();
    if (!s.file || size == 0 || !s.writePermitted) return 0;
    // Offsets are 32-bit: an area reaching past 4 GiB could never be addressed.
    const uint64_t end = uint64_t{fileOffset} + size;
    if (end > 0x100000000ull) return 0;
    const uint32_t oldSize = zarni::openFileSize();
    // The part past the end goes first: when the file cannot grow, it is cut
    // back before any of its old bytes has been touched.
    const bool grows = end > oldSize;
    if (grows) {
        const uint32_t from = std::max(fileOffset, oldSize);
        if (!zeroFill(from, static_cast<uint32_t>(end - from))) {
            zarni::truncateOpenFile(oldSize);
            return 0;
        }
    }
    if (fileOffset < oldSize) {
        const uint32_t inside =
            static_cast<uint32_t>(std::min<uint64_t>(end, oldSize)) - fileOffset;
        if (!zeroFill(fileOffset, inside)) {
            if (grows) zarni::truncateOpenFile(oldSize);
            return 0;
        }
    }
    return 1;
}

ZARNI_API uint32_t ZARNI_CALL ZarniExpandROM(uint32_t megabits) {
    auto& s = zarni::moduleState();
    if (!s.file || megabits > kMaxMegabits) return 0;
    const uint32_t fileSize = zarni::openFileSize();
    const uint32_t h = headerSize(fileSize);
    const uint32_t wanted = megabits * kMegabit;
    const uint32_t current = fileSize - h;
    if (wanted <= current) return current / kMegabit;
    if (!s.writePermitted) return 0;

    // A ROM that did not grow must not be reported as grown, nor left part
    // grown: its size would no longer show the copier header.
    if (!ZarniEraseArea(fileSize, wanted - current)) return 0;
    const uint32_t newSize = zarni::openFileSize();
    if (newSize != wanted + h) {
        zarni::truncateOpenFile(fileSize);
        return 0;
    }

    const uint8_t sizeByte = romSizeByte(megabits);
    const SizeBytePlace places[] = {sizeBytePlace(h + 0x7FC0, newSize),   // LoROM header
                                    sizeBytePlace(h + 0xFFC0, newSize)};  // HiROM header
    for (size_t i = 0; i < std::size(places); ++i) {
        if (!places[i].wanted || writeByte(places[i].offset, sizeByte)) continue;
        // Put back what this call changed.
        for (size_t j = 0; j <= i; ++j)
            if (places[j].wanted) writeByte(places[j].offset, places[j].old);
        zarni::truncateOpenFile(fileSize);
        return 0;
    }
    return megabits;
}

ZARNI_API uint32_t ZARNI_CALL ZarniVerifyFreeSpace(uint32_t startOffset, uint32_t endOffset,
                                                   uint32_t size, uint32_t mappingKind) {
    auto& s = zarni::moduleState();
    if (!s.file) return 0;
    const uint32_t fileSize = zarni::openFileSize();
    const uint32_t h = headerSize(fileSize);

    uint64_t start = startOffset == 0 ? 1 : startOffset;  // 0 is the failure result
    if (mappingKind != 0 && start < h) start = h;
    const uint64_t end = std::min(endOffset, fileSize);
    if (start + size > end) return 0;

    // Banks are counted from the end of the copier header; other kinds cut
    // pieces from the search's own start.
    uint64_t pieceLength = 0x10000;
    uint64_t pieceStart = start;
    if (mappingKind == 1) {
        pieceLength = 0x8000;
        pieceStart = h + ((start - h) & ~(pieceLength - 1));
    } else if (mappingKind == 2 || mappingKind == 4) {
        pieceStart = h + ((start - h) & ~(pieceLength - 1));
    }

    uint8_t buffer[kWorkBufferSize];
    uint64_t candidate = start;
    uint64_t position = start;
    while (pieceStart < end) {
        const uint64_t pieceEnd = std::min(pieceStart + pieceLength, end);
        const size_t length = static_cast<size_t>(pieceEnd - position);
        zarni::seekOpenFile(static_cast<uint32_t>(position));
        std::clearerr(s.file);
        const size_t got = std::fread(buffer, 1, length, s.file);
        // Bytes the file did not deliver are not free.
        std::fill(buffer + got, buffer + length, uint8_t{0xFF});

        size_t i = 0;
        while (i < length) {
            while (i < length && buffer[i] == 0) ++i;
            if (position + i - candidate >= size) return static_cast<uint32_t>(candidate);
            if (i == length) break;
            while (i < length && buffer[i] != 0) ++i;
            candidate = position + i;
        }

        if (mappingKind != 0) candidate = pieceEnd;  // a run never spans two banks
        position = pieceEnd;
        pieceStart += pieceLength;
    }
    return 0;
}

}  // extern "C"
