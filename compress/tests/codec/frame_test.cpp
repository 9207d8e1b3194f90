// Decoding from memory and from the open file share one frame: for any bytes,
// offset, format and size they give the same result, bytes and end offset.
#include <gtest/gtest.h>

#include <random>

#include "test_support.h"
#include "zarni_compress.h"

namespace {

const uint32_t kFormats[] = {0, 1, 2, 3, 4, 100, 101};

// A buffer holding an encoded stream (or plain noise) between random bytes,
// sometimes cut short inside the stream; and an offset near the stream.
struct Trial {
    zt::Bytes buffer;
    uint32_t offset;
};

Trial makeTrial(std::mt19937& rng, uint32_t format, uint32_t flag, int i) {
    Trial t;
    auto randomBytes = [&](uint32_t n) {
        zt::Bytes b(n);
        for (auto& v : b) v = static_cast<uint8_t>(rng());
        return b;
    };
    t.buffer = randomBytes(rng() % 64);
    t.offset = static_cast<uint32_t>(t.buffer.size());
    zt::Bytes stream =
        zt::encode(zt::shapedInput(rng, zt::propertySize(rng) % 4096 + 2, i), format, flag);
    if (stream.empty() || rng() % 4 == 0) stream = randomBytes(rng() % 512);
    if (rng() % 4 == 0) stream.resize(rng() % (stream.size() + 1));
    t.buffer.insert(t.buffer.end(), stream.begin(), stream.end());
    if (rng() % 2) {
        zt::Bytes tail = randomBytes(rng() % 64);
        t.buffer.insert(t.buffer.end(), tail.begin(), tail.end());
    }
    // Now and then an offset anywhere, the end and past it included.
    if (rng() % 8 == 0) t.offset = rng() % (t.buffer.size() + 4);
    return t;
}

TEST(DecompressMemory, MatchesDecompressOverTheSameBytesInAFile) {
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    zt::TempDir dir;
    const std::string path = dir.file("stream.bin");
    const uint32_t maxSizes[] = {0, 1, 100, 16384, 0x10000};

    for (int i = 0; i < 1400; ++i) {
        const uint32_t format = kFormats[i % 7];
        const uint32_t flag = rng() % 2;
        const Trial t = makeTrial(rng, format, flag, i);
        const uint32_t maxSize = maxSizes[rng() % 5];
        const bool measureOnly = rng() % 8 == 0;
        SCOPED_TRACE("trial " + std::to_string(i) + ", format " + std::to_string(format));

        zt::writeFile(path, t.buffer);
        ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
        zt::Bytes fromFile(0x10000, 0xA5), fromMemory(0x10000, 0xA5);
        uint32_t fileEnd = 0xDEADBEEF, memoryEnd = 0xFEEDFACE;
        const uint32_t fileResult = ZarniDecompress(measureOnly ? nullptr : fromFile.data(),
                                                    t.offset, maxSize, format, flag, &fileEnd);
        ZarniCloseFile();
        // An empty vector may hand out a null pointer, which the export refuses;
        // an empty source is still a source.
        const uint8_t none = 0;
        const uint8_t* source = t.buffer.empty() ? &none : t.buffer.data();
        const uint32_t memoryResult = ZarniDecompressMemory(
            measureOnly ? nullptr : fromMemory.data(), source,
            static_cast<uint32_t>(t.buffer.size()), t.offset, maxSize, format, flag, &memoryEnd);

        ASSERT_EQ(memoryResult, fileResult);
        ASSERT_EQ(memoryEnd, fileEnd);
        ASSERT_EQ(fromMemory, fromFile);
    }
}

// The work buffer is not cleared up front; what a copy reads beyond the
// output must still be zero, even where an earlier call left other bytes.
TEST(DecoderFrame, CopiesFromBytesNoCommandWroteReadZeros) {
    auto decode = [](const std::string& stream, uint32_t format) {
        const zt::Bytes in = zt::hex(stream);
        zt::Bytes out(0x10000);
        const uint32_t n = ZarniDecompressMemory(out.data(), in.data(), uint32_t(in.size()), 0,
                                                 0x10000, format, 0, nullptr);
        out.resize(n);
        return out;
    };
    const std::string fullOfAA = "E7 FF AA E7 FF AA E7 FF AA E7 FF AA FF";  // 4 KiB of 0xAA
    // Format 4: absolute, inverted absolute and distance-0 relative copies.
    decode(fullOfAA, 4);
    EXPECT_EQ(decode("01 41 42 83 64 00 A3 64 00 C1 00 FF", 4),
              zt::hex("41 42 00 00 00 00 FF FF FF FF 00 00"));
    // Format 2: a backward copy that starts past the output and then reads
    // what it wrote itself, and a bit-reversed copy from past the output.
    decode(fullOfAA, 4);
    EXPECT_EQ(decode("01 41 42 C2 00 03 A1 00 64 FF", 2), zt::hex("41 42 00 00 42 00 00"));
}

TEST(DecompressMemory, NeedsNoOpenFileAndRefusesNullSourceOrUnknownFormat) {
    ZarniCloseFile();
    const zt::Bytes stream = zt::hex("5A 02 41 42 43 FF");
    zt::Bytes out(3);
    uint32_t end = 0;
    EXPECT_EQ(ZarniDecompressMemory(out.data(), stream.data(), 6, 1, 3, 4, 0, &end), 3u);
    EXPECT_EQ(out, zt::hex("41 42 43"));
    EXPECT_EQ(end, 6u);

    end = 77;
    EXPECT_EQ(ZarniDecompressMemory(out.data(), nullptr, 6, 1, 3, 4, 0, &end), 0u);
    EXPECT_EQ(ZarniDecompressMemory(out.data(), stream.data(), 6, 1, 3, 5, 0, &end), 0u);
    EXPECT_EQ(end, 77u);
}

}  // namespace
