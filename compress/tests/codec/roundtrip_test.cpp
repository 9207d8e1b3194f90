// Property test: generated inputs of every shape encode and decode back
// exactly, and each stream is consumed to its last byte. With formatFlag,
// formats 0 and 1 get tile data of even size whose dropped bytes are zero;
// format 101 has no end marker, so it decodes with maxSize = the input size.
// The shortest format 4 streams also never exceed the greedy encoder's.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "test_support.h"
#include "zarni_compress.h"

namespace {

struct FormatCase {
    uint32_t format;
    uint32_t flag;
    bool smallest = false;
};

class RoundTrip : public ::testing::TestWithParam<FormatCase> {};

std::string caseName(const ::testing::TestParamInfo<FormatCase>& info) {
    return "format" + std::to_string(info.param.format) + (info.param.flag ? "_packed" : "") +
           (info.param.smallest ? "_smallest" : "");
}

TEST_P(RoundTrip, GeneratedInputsDecodeBackExactly) {
    const FormatCase fc = GetParam();
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);

    zt::TempDir dir;
    const std::string path = dir.file("streams.bin");
    int encoded = 0;
    // Streams go into the file in batches, each decoded from its own offset.
    // The shortest-stream search is slower: fewer inputs.
    const int kInputs = fc.smallest ? 2000 : 10000, kBatch = 100;
    for (int first = 0; first < kInputs; first += kBatch) {
        std::vector<zt::Bytes> inputs;
        std::vector<uint32_t> offsets;
        zt::Bytes file;
        for (int i = first; i < first + kBatch; ++i) {
            uint32_t size = zt::propertySize(rng);
            if (fc.flag) size &= ~1u;
            zt::Bytes input = zt::shapedInput(rng, size, i);
            if (fc.flag) zt::zeroDroppedTileBytes(input);
            zt::Bytes stream(0x10000), work = input;
            auto* recompress = fc.smallest ? ZarniRecompressSmallest : ZarniRecompress;
            uint32_t n = recompress(work.data(), stream.data(), size, 0x10000, fc.format, fc.flag);
            if (fc.smallest) {
                zt::Bytes again = input;
                const uint32_t greedy =
                    ZarniRecompress(again.data(), nullptr, size, 0, fc.format, fc.flag);
                if (greedy != 0) {
                    ASSERT_NE(n, 0u) << "input " << i;
                    ASSERT_LE(n, greedy) << "input " << i;
                }
            }
            if (n == 0) continue;  // stream would pass 64 KiB: a documented failure
            ++encoded;
            offsets.push_back(static_cast<uint32_t>(file.size()));
            file.insert(file.end(), stream.begin(), stream.begin() + n);
            inputs.push_back(std::move(input));
        }
        offsets.push_back(static_cast<uint32_t>(file.size()));
        zt::writeFile(path, file);
        ASSERT_EQ(ZarniOpenFile(path.c_str(), 0), 1u);
        zt::Bytes out(0x10000);
        for (size_t k = 0; k < inputs.size(); ++k) {
            const auto size = static_cast<uint32_t>(inputs[k].size());
            const uint32_t maxSize = fc.format == 101 ? size : 0x10000;
            uint32_t end = 0;
            uint32_t got =
                ZarniDecompress(out.data(), offsets[k], maxSize, fc.format, fc.flag, &end);
            ASSERT_EQ(got, size) << "batch " << first << ", stream " << k;
            ASSERT_TRUE(std::equal(inputs[k].begin(), inputs[k].end(), out.begin()))
                << "batch " << first << ", stream " << k << " of " << size << " bytes";
            ASSERT_EQ(end, offsets[k + 1]) << "batch " << first << ", stream " << k;
        }
        ZarniCloseFile();
    }
    // Only incompressible inputs near 64 KiB may fail to encode.
    EXPECT_GT(encoded, kInputs * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         ::testing::Values(FormatCase{4, 0}, FormatCase{0, 0}, FormatCase{1, 0},
                                           FormatCase{0, 1}, FormatCase{1, 1}, FormatCase{2, 0},
                                           FormatCase{3, 0}, FormatCase{100, 0}, FormatCase{101, 0},
                                           FormatCase{4, 0, true}),
                         caseName);

}  // namespace
