// The .xls writer of the event monitors from any titles and cell texts
// (valid UTF-8 or not, line breaks, empty cells, ragged rows): a compound
// file of whole sectors with its signature, never a crash.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "screens/export.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    replica::exporting::Table table;
    table.title = in.ConsumeRandomLengthString(64);
    const std::size_t columns = in.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t c = 0; c < columns; ++c) {
        table.headers.push_back(in.ConsumeRandomLengthString(40));
    }
    const std::size_t rows = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    for (std::size_t r = 0; r < rows && in.remaining_bytes() > 0; ++r) {
        std::vector<std::string>& row = table.rows.emplace_back();
        const std::size_t cells = in.ConsumeIntegralInRange<std::size_t>(0, columns + 2);
        for (std::size_t c = 0; c < cells; ++c) {
            row.push_back(in.ConsumeRandomLengthString(300));
        }
    }
    const std::string xls = replica::exporting::toXls(table);
    static const std::string kSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (xls.size() < 1536 || xls.size() % 512 != 0 || xls.compare(0, 8, kSignature) != 0) {
        std::abort();
    }
    return 0;
}
