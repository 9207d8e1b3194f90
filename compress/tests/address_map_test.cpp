#include <gtest/gtest.h>

#include "zarni_compress.h"

namespace {

struct Case {
    uint32_t input, kind;
    int32_t header;
    uint32_t expected;
};

TEST(AddressMap, SnesToPcWorkedValues) {
    const Case cases[] = {
        {0x0A8000, 1, 0, 0x50000},  {0x0A8000, 1, 1, 0x50200}, {0xC12345, 2, 0, 0x12345},
        {0x412345, 2, 1, 0x12545},  {0xC12345, 4, 0, 0x12345}, {0x401234, 4, 0, 0x401234},
        {0x001234, 4, 0, 0x401234}, {0x808000, 3, 1, 0},       {0x8A8000, 1, 0, 0x50000},
        {0x0A0000, 1, 0, 0x50000},  {0x008000, 1, 0, 0},       {0xC53412, 2, 1, 0x53612},
        {0x123456, 0, 0, 0},        {0x123456, 5, 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZarniSNEStoPC(c.input, c.kind, c.header), c.expected)
            << std::hex << c.input << " kind " << c.kind << " header " << c.header;
}

TEST(AddressMap, PcToSnesWorkedValues) {
    const Case cases[] = {
        {0x50200, 1, 1, 0x0A8000},  {0x37FFFF, 1, 0, 0x6FFFFF}, {0x380000, 1, 0, 0xF08000},
        {0x12345, 2, 0, 0xC12345},  {0x401234, 4, 0, 0x401234}, {0x12345, 4, 0, 0xC12345},
        {0x1234, 3, 0, 0},          {0x100, 1, -1, 0xFFFF00},   {0x412345, 2, 0, 0xC12345},
        {0x400000, 1, 0, 0x808000}, {0x80200, 2, 1, 0xC80000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZarniPCtoSNES(c.input, c.kind, c.header), c.expected)
            << std::hex << c.input << " kind " << c.kind << " header " << c.header;
}

TEST(AddressMap, RoundTripsOverTheWholeMappedRange) {
    for (int32_t header : {0, 1}) {
        const uint32_t h = header ? 512 : 0;
        for (uint32_t kind : {1u, 2u}) {
            for (uint32_t p = h; p < h + 0x400000; ++p)
                ASSERT_EQ(ZarniSNEStoPC(ZarniPCtoSNES(p, kind, header), kind, header), p)
                    << std::hex << p << " kind " << kind;
        }
        for (uint32_t p = h; p < h + 0x800000; ++p)
            ASSERT_EQ(ZarniSNEStoPC(ZarniPCtoSNES(p, 4, header), 4, header), p) << std::hex << p;
    }
}

}  // namespace
