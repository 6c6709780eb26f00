// Q(), the one way a text reaches SQL, from any bytes: the literal opens and
// closes with a quote, no quote inside ends it early, and reading it back as
// Firebird reads a string literal gives the text unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "engine/sql.h"

namespace {

// A string literal at the start of sql, as the SQL lexer reads it: the text
// and where the literal ends; none when it never closes.
std::optional<std::pair<std::string, std::size_t>> readLiteral(const std::string& sql) {
    if (sql.empty() || sql[0] != '\'') {
        return std::nullopt;
    }
    std::string text;
    for (std::size_t i = 1; i < sql.size(); ++i) {
        if (sql[i] != '\'') {
            text += sql[i];
        } else if (i + 1 < sql.size() && sql[i + 1] == '\'') {
            text += '\'';
            ++i;
        } else {
            return std::make_pair(text, i + 1);
        }
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string literal = replica::Q(text);
    // Followed by more SQL, the literal still ends where Q ended it.
    const auto read = readLiteral(literal + " AND X = 1");
    if (!read || read->first != text || read->second != literal.size()) {
        std::abort();
    }
    if ("'" + replica::quoteInner(text) + "'" != literal) {
        std::abort();
    }
    return 0;
}
