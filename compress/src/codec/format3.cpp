// Not written yet: decoding produces nothing and encoding fails.
#include "frame.h"

namespace zarni::codec {

void decodeFormat3(DecoderFrame& f) { f.go = false; }

void encodeFormat3(EncoderFrame& f, uint8_t*, uint32_t) { f.go = false; }

}  // namespace zarni::codec
