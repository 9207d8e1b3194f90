#include "core/hex.h"

#include <cctype>

namespace korvale {

namespace {

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string HexPad(int32_t value, unsigned digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    auto v = static_cast<uint32_t>(value);
    std::string text;
    do {
        text.insert(text.begin(), kDigits[v & 15]);
        v >>= 4;
    } while (v);
    if (text.size() < digits) text.insert(0, digits - text.size(), '0');
    return text;
}

std::optional<uint32_t> parseHexAnswer(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) break;
        int d = std::isdigit(static_cast<unsigned char>(c))
                    ? c - '0'
                    : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) value = 0x100000000ull;
    }
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

std::optional<uint32_t> parseDecimalAnswer(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) value = 0x100000000ull;
    }
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

}  // namespace korvale
