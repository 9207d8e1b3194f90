// Hexadecimal text as the editor shows it and reads it back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvale {

// Upper-case hexadecimal, left-padded with "0" to at least `digits`; a
// negative value shows its 8-digit two's complement. HexPad(10, 2) is "0A".
std::string HexPad(int32_t value, unsigned digits);

// A typed hexadecimal answer: the trimmed text's leading hexadecimal digits
// (either case); no digit gives 0. Empty (or only blanks, as a cancelled
// input box gives) is nullopt. Values beyond 32 bits saturate at 0xFFFFFFFF,
// so a caller's range check refuses them.
std::optional<uint32_t> parseHexAnswer(std::string_view text);

// A typed decimal answer, for the track number box: the trimmed text must be
// digits only. nullopt when empty or not a number; saturates like the above.
std::optional<uint32_t> parseDecimalAnswer(std::string_view text);

}  // namespace korvale
