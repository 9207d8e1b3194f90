#include "zarni_compress.h"

extern "C" {

ZARNI_API uint32_t ZARNI_CALL ZarniSNEStoPC(uint32_t a, uint32_t mappingKind, int32_t headerFlag) {
    const uint32_t h = headerFlag != 0 ? 512u : 0u;
    switch (mappingKind) {
        case 1:
            return (((a & 0x7F0000u) >> 1) | (a & 0x7FFFu)) + h;
        case 2:
            return (a & 0x3FFFFFu) + h;
        case 4:
            return (a & 0x3FFFFFu) + (a < 0xC00000u ? 0x400000u : 0u) + h;
        default:
            return 0;
    }
}

ZARNI_API uint32_t ZARNI_CALL ZarniPCtoSNES(uint32_t p, uint32_t mappingKind, int32_t headerFlag) {
    const uint32_t d = p - (headerFlag != 0 ? 512u : 0u);
    switch (mappingKind) {
        case 1: {
            uint32_t r = ((2u * d) & 0x7F0000u) | (d & 0x7FFFu) | 0x8000u;
            return d >= 0x380000u ? r + 0x800000u : r;
        }
        case 2:
            return d | 0xC00000u;
        case 4:
            return d < 0x400000u ? (d | 0xC00000u) : d;
        default:
            return 0;
    }
}

}  // extern "C"
