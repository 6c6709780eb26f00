// The reversible encoding of the held password from any bytes and any key
// table: same length, and decode undoes encode (and encode undoes decode).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "screens/aputilcrpt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace crpt = replica::APUtilCrpt;
    crpt::KeyTable key = crpt::kKey;
    std::size_t at = 0;
    // The first bytes, when there are enough, make a key table of their own.
    if (size >= 4 && (data[0] & 1)) {
        for (std::size_t i = 1; i < 4; ++i) {
            key[i] = data[i];
        }
        at = 4;
    }
    const std::string text(reinterpret_cast<const char*>(data + at), size - at);
    for (const crpt::KeyTable& k : {key, crpt::kKey}) {
        const std::string encoded = crpt::encode(text, k);
        const std::string decoded = crpt::decode(text, k);
        if (encoded.size() != text.size() || decoded.size() != text.size() ||
            crpt::decode(encoded, k) != text || crpt::encode(decoded, k) != text) {
            std::abort();
        }
    }
    if (crpt::decode(crpt::encode(text)) != text) {
        std::abort();
    }
    return 0;
}
