#include "engine/sql.h"

#include <charconv>
#include <chrono>
#include <ctime>

#include "engine/db/text.h"

namespace replica {

std::string quoteInner(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out;
}

std::string Q(const std::string& text) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "'" + s + "'".
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += quoteInner(text);
    out += '\'';
    return out;
}

db::Date today() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return db::Date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

db::Time now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return db::Time{tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

db::Date addDays(const db::Date& d, int days) {
    using namespace std::chrono;
    const sys_days base = year_month_day{year{d.year}, month{static_cast<unsigned>(d.month)},
                                         day{static_cast<unsigned>(d.day)}};
    const year_month_day r{base + std::chrono::days{days}};
    return db::Date{static_cast<int>(r.year()), static_cast<int>(static_cast<unsigned>(r.month())),
                    static_cast<int>(static_cast<unsigned>(r.day()))};
}

namespace {

bool readNumber(std::string_view text, int& out) {
    // Digits only: from_chars would take a sign.
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return db::allDigits(text) && ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<db::Date> lockDate(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    int year = 0;
    int month = 0;
    int day = 0;
    bool read = false;
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        read = readNumber(text.substr(0, 4), year) && readNumber(text.substr(5, 2), month) &&
               readNumber(text.substr(8, 2), day);
    } else if (const std::size_t a = text.find('/'); a <= 2) {  // npos is no position <= 2
        const std::size_t b = text.find('/', a + 1);
        if (b != std::string_view::npos && b - a - 1 <= 2 && text.size() - b - 1 == 4) {
            read = readNumber(text.substr(0, a), day) &&
                   readNumber(text.substr(a + 1, b - a - 1), month) &&
                   readNumber(text.substr(b + 1), year);
        }
    }
    if (!read) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year{year},
                                          std::chrono::month{static_cast<unsigned>(month)},
                                          std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    return db::Date{year, month, day};
}

}  // namespace replica
