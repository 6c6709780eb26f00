#include "screens/aputilcrpt.h"

namespace replica::APUtilCrpt {

namespace {

// The shift of the byte at 1-based position p of a text of length n, modulo
// 256 (the key entries may be any small non-negative integers).
unsigned shift(std::size_t n, std::size_t p, const KeyTable& key) {
    const auto k = static_cast<std::size_t>(key[keyEntry(p)]);
    return static_cast<unsigned>((n + p + k) % 256);
}

}  // namespace

std::string encode(const std::string& text, const KeyTable& key) {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>((c + shift(text.size(), i + 1, key)) % 256);
    }
    return out;
}

std::string decode(const std::string& text, const KeyTable& key) {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>((c + 256 - shift(text.size(), i + 1, key)) % 256);
    }
    return out;
}

}  // namespace replica::APUtilCrpt
