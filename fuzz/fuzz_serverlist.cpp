// The server list of the login screen (SERVIDORES.cfg) from any bytes: one
// entry per line end (CR, LF or CR LF), no entry longer than the limit or
// holding a line break, the text after the last line end dropped.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "screens/ctrlaccesoauto.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> servers = replica::screens::parseServerList(bytes);

    std::size_t lineEnds = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            ++lineEnds;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        }
    }
    if (servers.size() != lineEnds) {
        std::abort();
    }
    for (const std::string& s : servers) {
        if (s.size() > replica::screens::kMaxServerLine ||
            s.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
