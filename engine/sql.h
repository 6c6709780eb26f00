#pragma once
// How values are written into the SQL texts the engine sends.
//
// Every statement of the engine is built by plain concatenation of fixed
// texts and values. A text value always goes through Q(): wrapped in single
// quotes with every inner quote doubled, so no value can end the literal
// early. Integers are written in decimal; decimals with "." and without
// trailing zeros; dates and times as YYYY-MM-DD and HH:MM:SS, which Firebird
// reads the same whatever the machine's locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/db/value.h"

namespace replica {

// 'text' with inner single quotes doubled.
std::string Q(const std::string& text);
// The inner part of Q(text), without the outer quotes: for building one
// literal out of several pieces ("'Ajuste No." + quoteInner(pref) + "'").
std::string quoteInner(const std::string& text);

inline std::string sqlInt(std::int64_t v) {
    return std::to_string(v);
}
inline std::string sqlDecimal(const db::Currency& c) {
    return c.toString();
}
inline std::string sqlDate(const db::Date& d) {
    return d.toString();
}
inline std::string sqlTime(const db::Time& t) {
    return t.toString();
}

// The machine's clock, as the engine writes it into SQL and log files.
db::Date today();
db::Time now();
// d plus days (negative to go back), in the proleptic Gregorian calendar.
db::Date addDays(const db::Date& d, int days);

// A date as a person types it into the ERP's settings (the accounting lock
// date): ISO (2024-01-31) or day first (31/01/2024); nullopt for any other
// text or a date that does not exist. Surrounding blanks are ignored.
std::optional<db::Date> lockDate(std::string_view text);

}  // namespace replica
