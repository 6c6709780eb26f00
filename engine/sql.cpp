#include "engine/sql.h"

#include <chrono>
#include <ctime>

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

}  // namespace replica
