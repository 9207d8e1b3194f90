// Not written yet: every conversion fails.
#include "zarni_compress.h"

extern "C" {
ZARNI_API uint32_t ZARNI_CALL ZarniCreatePixelMap(const void*, void*, uint32_t, uint32_t) { return 0; }
ZARNI_API uint32_t ZARNI_CALL ZarniCreateBppMap(const void*, void*, uint32_t, uint32_t) { return 0; }
ZARNI_API uint32_t ZARNI_CALL ZarniSNEStoPCRGB(uint32_t) { return 0; }
ZARNI_API uint32_t ZARNI_CALL ZarniPCtoSNESRGB(uint32_t) { return 0; }
ZARNI_API uint32_t ZARNI_CALL ZarniRender8x8(uint32_t*, int32_t, int32_t, int32_t, int32_t,
                                             const uint8_t*, const uint32_t*, uint32_t, uint32_t) {
    return 0;
}
}
