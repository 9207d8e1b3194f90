// Not written yet: decoding produces nothing and encoding fails.
#include "frame.h"

namespace zarni::codec {

void decodeFormat01(DecoderFrame& f) { f.go = false; }

void encodeFormat01(EncoderFrame& f, uint8_t*, uint32_t) { f.go = false; }

}  // namespace zarni::codec
