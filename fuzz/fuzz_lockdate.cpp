// The accounting lock date as a person types it, from any bytes: a date
// exactly when the text, blanks around it aside, is an existing date written
// YYYY-MM-DD or D/M/YYYY (one or two digits for day and month), and then the
// date those digits say; blanks around the text change nothing; the date
// written back as the engine writes dates reads as the same date.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "engine/sql.h"

namespace {

bool allDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

int number(std::string_view s) {
    int n = 0;
    for (char c : s) {
        n = n * 10 + (c - '0');
    }
    return n;
}

// The date the text spells in either form, existing or not.
std::optional<replica::db::Date> spelled(std::string_view text) {
    if (text.size() == 10 && text[4] == '-' && text[7] == '-' && allDigits(text.substr(0, 4)) &&
        allDigits(text.substr(5, 2)) && allDigits(text.substr(8, 2))) {
        return replica::db::Date{number(text.substr(0, 4)), number(text.substr(5, 2)),
                                 number(text.substr(8, 2))};
    }
    const std::size_t a = text.find('/');
    if (a == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t b = text.find('/', a + 1);
    if (b == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view day = text.substr(0, a);
    const std::string_view month = text.substr(a + 1, b - a - 1);
    const std::string_view year = text.substr(b + 1);
    if (day.size() > 2 || month.size() > 2 || year.size() != 4 || !allDigits(day) ||
        !allDigits(month) || !allDigits(year)) {
        return std::nullopt;
    }
    return replica::db::Date{number(year), number(month), number(day)};
}

bool exists(const replica::db::Date& d) {
    return std::chrono::year_month_day{std::chrono::year{d.year},
                                       std::chrono::month{static_cast<unsigned>(d.month)},
                                       std::chrono::day{static_cast<unsigned>(d.day)}}
        .ok();
}

bool blank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<replica::db::Date> date = replica::lockDate(text);

    std::string_view trimmed = text;
    while (!trimmed.empty() && blank(trimmed.front())) {
        trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && blank(trimmed.back())) {
        trimmed.remove_suffix(1);
    }
    std::optional<replica::db::Date> expected = spelled(trimmed);
    if (expected && !exists(*expected)) {
        expected.reset();
    }
    if (date != expected) {
        std::abort();
    }
    if (replica::lockDate(" \t" + text + "\t ") != date) {
        std::abort();
    }
    if (date && replica::lockDate(date->toString()) != date) {
        std::abort();
    }
    return 0;
}
