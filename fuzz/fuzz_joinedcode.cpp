// The splitter of an event's joined code ("a|b" or "a|b|c") from any text:
// parts only when the code has the "|" it needs; the parts joined again give
// the code back; only the last part may hold a further "|".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/keyedcopy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int parts = 2 + (data[0] & 1);
    const std::string code(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto split = replica::splitJoinedCode(code, parts);

    std::size_t bars = 0;
    for (char c : code) {
        bars += c == '|' ? 1 : 0;
    }
    if (split.has_value() != (bars >= static_cast<std::size_t>(parts - 1))) {
        std::abort();
    }
    if (!split) {
        return 0;
    }
    if (split->size() != static_cast<std::size_t>(parts)) {
        std::abort();
    }
    std::string joined;
    for (std::size_t i = 0; i < split->size(); ++i) {
        const std::string& part = (*split)[i];
        if (i + 1 < split->size() && part.find('|') != std::string::npos) {
            std::abort();
        }
        joined += (i > 0 ? "|" : "") + part;
    }
    if (joined != code) {
        std::abort();
    }
    return 0;
}
