#pragma once
// The two text rules every layer needs: CHAR values (and the names the
// system tables report) come padded with blanks, and user names and table
// names are compared in upper case. Plain ASCII rules: the ERP's codes and
// identifiers are ASCII.

#include <string>
#include <string_view>

namespace replica::db {

// s without its trailing blanks.
inline std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// Whether text is decimal digits only (no sign, no blank) and not empty:
// the one test every reader of a whole number starts from.
inline bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// s with its ASCII letters in upper case.
inline std::string upperCase(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

}  // namespace replica::db
