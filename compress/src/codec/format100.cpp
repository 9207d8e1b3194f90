// Not written yet: decoding produces nothing and encoding fails.
#include "frame.h"

namespace zarni::codec {

void decodeFormat100(DecoderFrame& f) { f.go = false; }

void encodeFormat100(EncoderFrame& f, uint8_t*, uint32_t) { f.go = false; }

}  // namespace zarni::codec
