#pragma once
// Numbers a person types (the main screen's fields, the command line): plain
// decimal digits, checked as a whole before they go anywhere, and one
// message per field that says what it takes.
//
// The counts go into the event selection unquoted ("select first " +
// count), so a count is accepted only when it is digits alone and fits what
// FIRST takes, a 32-bit integer.

#include <optional>
#include <string>

namespace replica {

// The value of text when it is decimal digits only (no sign, no blanks) and
// lies in [min, max]; nullopt otherwise.
std::optional<long long> digitsIn(const std::string& text, long long min, long long max);

// The largest count the database takes after FIRST.
inline constexpr long long kMaxCount = 2147483647;

// The screen's count fields, as their messages name them.
enum class CountField { Download, Upload };

// Why text cannot be a count of field, or nullopt when it can (0 included).
std::optional<std::string> countProblem(CountField field, const std::string& text);

}  // namespace replica
