#pragma once
// APUtilCrpt: the reversible encoding in which the main screen keeps the
// login password while the program runs.
//
// Each byte of the text is shifted by the length of the text, its position
// (counting from 1) and an entry of a small key table chosen by the position:
// entry (p mod 3), or entry 3 when that is 0, so positions 1, 4, 7... share
// entry 1 and entry 0 is never used. Arithmetic is modulo 256, so encode and
// decode are exact inverses for every byte string, including texts with NUL
// bytes and texts longer than 255 bytes; the output always has the length
// of the input. This is obfuscation for a value that never leaves the
// process, not cryptography. No Qt here: the engine and the main window use
// it as well as the login screen.

#include <array>
#include <cstddef>
#include <string>

namespace replica::APUtilCrpt {

using KeyTable = std::array<int, 4>;

// The table the program uses. Entry 0 is never read.
inline constexpr KeyTable kKey = {0, 7, 3, 11};

// The key entry of a 1-based position.
constexpr std::size_t keyEntry(std::size_t position) {
    const std::size_t r = position % 3;
    return r != 0 ? r : 3;
}

std::string encode(const std::string& text, const KeyTable& key);
std::string decode(const std::string& text, const KeyTable& key);

// The two entry points of the program, with the fixed table.
inline std::string encode(const std::string& text) {
    return encode(text, kKey);
}
inline std::string decode(const std::string& text) {
    return decode(text, kKey);
}

}  // namespace replica::APUtilCrpt
