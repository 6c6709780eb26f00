// The table a record set edits, read from its SELECT, from any bytes: never
// a double quote in the name; a name written plainly comes back in
// capitals, one between double quotes as written; no FROM, no name. And
// with the bytes placed around a known FROM: texts and quoted identifiers
// before it (a "from" inside them included) do not stop it, and the name
// after it comes back.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/db/recordset.h"
#include "engine/sql.h"

namespace {

bool identifierChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c == '$';
}

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string without(std::string s, char drop) {
    std::erase(s, drop);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string table = replica::db::tableAfterFrom(bytes);
    if (table.find('"') != std::string::npos) {
        std::abort();
    }
    if (upper(bytes).find("FROM") == std::string::npos && !table.empty()) {
        std::abort();
    }
    if (!table.empty() && bytes.find(table) == std::string::npos) {
        // Not as written: then a plain name, upper-cased.
        bool plain = true;
        for (char c : table) {
            plain = plain && identifierChar(c) && !(c >= 'a' && c <= 'z');
        }
        if (!plain || upper(bytes).find(table) == std::string::npos) {
            std::abort();
        }
    }

    // The bytes as a text and a quoted identifier of the select list, the
    // name of its table and a compared text.
    std::string name;
    for (char c : bytes) {
        if (identifierChar(c)) {
            name += c;
        }
    }
    const std::string list = "SELECT " + replica::Q(bytes) + " AS A, \"" + without(bytes, '"') +
                             "\", X_FROM, FROM_Y FROM ";
    const std::string where = " WHERE C = " + replica::Q(bytes);
    if (!name.empty() && replica::db::tableAfterFrom(list + name + where) != upper(name)) {
        std::abort();
    }
    const std::string quoted = without(bytes, '"');
    if (replica::db::tableAfterFrom(list + "\"" + quoted + "\"" + where) != quoted) {
        std::abort();
    }
    return 0;
}
