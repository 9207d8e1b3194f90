// Not written yet: every service fails.
#include "zarni_compress.h"

extern "C" {
ZARNI_API uint32_t ZARNI_CALL ZarniEraseArea(uint32_t, uint32_t) { return 0; }
ZARNI_API uint32_t ZARNI_CALL ZarniExpandROM(uint32_t) { return 0; }
ZARNI_API uint32_t ZARNI_CALL ZarniVerifyFreeSpace(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }
}
