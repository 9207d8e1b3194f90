#include "frame.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "../module_state.h"
#include "zarni_compress.h"

namespace zarni::codec {

void ByteReader::finish() {
    if (!file_) return;
    std::clearerr(file_);
    seekOpenFile(position_);
}

namespace {

struct FormatEntry {
    uint32_t format;
    DecodeFn decode;
    EncodeFn encode;
    int switch1;  // -1: taken from formatFlag
    int switch2;
};

constexpr FormatEntry kFormats[] = {
    {0, decodeFormat01, encodeFormat01, -1, 0},    {1, decodeFormat01, encodeFormat01, -1, 1},
    {2, decodeFormat2, encodeFormat2, 0, 0},       {3, decodeFormat3, encodeFormat3, 0, 0},
    {4, decodeFormat4, encodeFormat4, 0, 0},       {100, decodeFormat100, encodeFormat100, 2, 1},
    {101, decodeFormat100, encodeFormat100, 3, 1},
};

const FormatEntry* findFormat(uint32_t format) {
    for (const auto& e : kFormats)
        if (e.format == format) return &e;
    return nullptr;
}

int firstSwitch(const FormatEntry& e, uint32_t formatFlag) {
    return e.switch1 >= 0 ? e.switch1 : (formatFlag != 0 ? 1 : 0);
}

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};

enum class Role { kEncoder, kDecoder };

// The 64 KiB a frame works in, kept per thread between calls: most calls
// code a few hundred bytes, and a fresh allocation cost more than that.
// Nothing in it outlives a call (frames clear what they read).
uint8_t* workArea(Role role) {
    thread_local std::unique_ptr<uint8_t, FreeDeleter> areas[2];
    auto& area = areas[static_cast<int>(role)];
    if (!area) area.reset(static_cast<uint8_t*>(std::malloc(kBufferSize)));
    return area.get();
}

// The encoder frame; smallest picks the shortest-stream encoder where a
// format has one.
uint32_t recompress(void* source, void* destination, uint32_t size, uint32_t maxSize,
                    uint32_t format, uint32_t formatFlag, bool smallest) {
    if (!source) return 0;
    const FormatEntry* entry = findFormat(format);
    if (!entry) return 0;
    // Positions have 16 bits and no decoder produces more than 64 KiB.
    if (size > kBufferSize) return 0;
    uint8_t* work = workArea(Role::kEncoder);
    if (!work) return 0;

    EncoderFrame frame(work, firstSwitch(*entry, formatFlag), entry->switch2);
    const EncodeFn encode = smallest && format == 4 ? encodeFormat4Smallest : entry->encode;
    encode(frame, static_cast<uint8_t*>(source), size);
    if (!frame.go) return 0;

    if (destination)
        std::memcpy(destination, work, frame.length < maxSize ? frame.length : maxSize);
    return frame.length;
}

// The decoder frame shared by both sources of a stream.
uint32_t decode(const FormatEntry& entry, ByteReader& reader, void* destination, uint32_t maxSize,
                uint32_t formatFlag, uint32_t* endOffsetOut) {
    // Not zero-filled: the frame clears what a copy reads beyond the output.
    uint8_t* work = workArea(Role::kDecoder);
    if (!work) return 0;
    DecoderFrame frame(work, reader, maxSize, firstSwitch(entry, formatFlag), entry.switch2);
    entry.decode(frame);
    reader.finish();

    if (destination)
        std::memcpy(destination, work, frame.length < maxSize ? frame.length : maxSize);
    if (endOffsetOut) *endOffsetOut = reader.position();
    return frame.length;
}

}  // namespace
}  // namespace zarni::codec

using namespace zarni::codec;

extern "C" {

ZARNI_API uint32_t ZARNI_CALL ZarniDecompress(void* destination, uint32_t fileOffset,
                                              uint32_t maxSize, uint32_t format,
                                              uint32_t formatFlag, uint32_t* endOffsetOut) {
    auto& state = zarni::moduleState();
    if (!state.file) return 0;
    const FormatEntry* entry = findFormat(format);
    if (!entry) return 0;
    std::clearerr(state.file);
    zarni::seekOpenFile(fileOffset);
    ByteReader reader(state.file, fileOffset);
    return decode(*entry, reader, destination, maxSize, formatFlag, endOffsetOut);
}

ZARNI_API uint32_t ZARNI_CALL ZarniDecompressMemory(void* destination, const void* source,
                                                    uint32_t sourceSize, uint32_t sourceOffset,
                                                    uint32_t maxSize, uint32_t format,
                                                    uint32_t formatFlag, uint32_t* endOffsetOut) {
    if (!source) return 0;
    const FormatEntry* entry = findFormat(format);
    if (!entry) return 0;
    ByteReader reader(static_cast<const uint8_t*>(source), sourceSize, sourceOffset);
    return decode(*entry, reader, destination, maxSize, formatFlag, endOffsetOut);
}

ZARNI_API uint32_t ZARNI_CALL ZarniRecompress(void* source, void* destination, uint32_t size,
                                              uint32_t maxSize, uint32_t format,
                                              uint32_t formatFlag) {
    return recompress(source, destination, size, maxSize, format, formatFlag, false);
}

ZARNI_API uint32_t ZARNI_CALL ZarniRecompressSmallest(void* source, void* destination,
                                                      uint32_t size, uint32_t maxSize,
                                                      uint32_t format, uint32_t formatFlag) {
    return recompress(source, destination, size, maxSize, format, formatFlag, true);
}

}  // extern "C"
