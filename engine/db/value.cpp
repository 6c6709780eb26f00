#include "engine/db/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace replica::db {

namespace {

std::int64_t pow10(int n) {
    std::int64_t p = 1;
    for (int i = 0; i < n; ++i) {
        p *= 10;
    }
    return p;
}

// Divides by 10^n, rounding half away from zero.
std::int64_t divRound(std::int64_t v, int n) {
    if (n <= 0) {
        return v * pow10(-n);
    }
    if (n > 18) {
        return 0;
    }
    const std::int64_t p = pow10(n);
    std::int64_t q = v / p;
    std::int64_t r = v % p;
    if (r < 0) {
        r = -r;
    }
    if (r * 2 >= p) {
        q += (v < 0) ? -1 : 1;
    }
    return q;
}

// Digits of |mantissa| placed around the decimal point; trailing zeros of
// the fraction removed.
std::string scaledToString(std::int64_t mantissa, int scale) {
    if (scale >= 0) {
        return std::to_string(mantissa * pow10(scale));
    }
    const bool negative = mantissa < 0;
    // Work on the unsigned magnitude so that INT64_MIN does not overflow.
    std::uint64_t mag = negative ? (~static_cast<std::uint64_t>(mantissa) + 1)
                                 : static_cast<std::uint64_t>(mantissa);
    std::string digits = std::to_string(mag);
    const std::size_t frac = static_cast<std::size_t>(-scale);
    if (digits.size() <= frac) {
        digits.insert(0, frac - digits.size() + 1, '0');
    }
    std::string intPart = digits.substr(0, digits.size() - frac);
    std::string fracPart = digits.substr(digits.size() - frac);
    while (!fracPart.empty() && fracPart.back() == '0') {
        fracPart.pop_back();
    }
    std::string out = negative ? "-" : "";
    out += intPart;
    if (!fracPart.empty()) {
        out += '.';
        out += fracPart;
    }
    if (out == "-0") {
        out = "0";
    }
    return out;
}

std::string twoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

std::string Date::toString() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

std::string Time::toString() const {
    return twoDigits(hour) + ":" + twoDigits(minute) + ":" + twoDigits(second);
}

std::string Timestamp::toString() const {
    return date.toString() + " " + time.toString();
}

std::string Decimal::toString() const {
    return scaledToString(mantissa, scale);
}

Currency Currency::fromDecimal(const Decimal& d) {
    return fromRaw(divRound(d.mantissa, -4 - d.scale));
}

Currency Currency::fromDouble(double d) {
    // Round the decimal the double stands for (its shortest text), not its
    // binary value: 1.00005 must give 1.0001.
    if (!(std::fabs(d) < 1e14)) {
        return fromRaw(std::llround(d * 10000.0));
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    if (res.ec != std::errc()) {
        return fromRaw(std::llround(d * 10000.0));
    }
    return parse(std::string(buf, res.ptr));
}

Currency Currency::parse(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t mantissa = 0;
    int scale = 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (mantissa > (INT64_MAX - 9) / 10) {
                throw std::invalid_argument("number out of range: " + text);
            }
            mantissa = mantissa * 10 + (c - '0');
            if (point) {
                --scale;
            }
        } else {
            throw std::invalid_argument("not a number: " + text);
        }
    }
    if (!digits) {
        throw std::invalid_argument("not a number: " + text);
    }
    return fromDecimal(Decimal{negative ? -mantissa : mantissa, scale});
}

std::string Currency::toString() const {
    return scaledToString(m_raw, -4);
}

std::string Value::asText() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Int:
            return std::to_string(std::get<std::int64_t>(m_v));
        case Kind::Decimal:
            return std::get<Decimal>(m_v).toString();
        case Kind::Currency:
            return std::get<Currency>(m_v).toString();
        case Kind::Double: {
            char buf[64];
            auto res = std::to_chars(buf, buf + sizeof buf, std::get<double>(m_v));
            return std::string(buf, res.ptr);
        }
        case Kind::Text:
            return std::get<std::string>(m_v);
        case Kind::Date:
            return std::get<Date>(m_v).toString();
        case Kind::Time:
            return std::get<Time>(m_v).toString();
        case Kind::Timestamp:
            return std::get<Timestamp>(m_v).toString();
        case Kind::Bytes: {
            const auto& b = std::get<Bytes>(m_v).data;
            return std::string(b.begin(), b.end());
        }
    }
    return {};
}

std::int64_t Value::asInt() const {
    switch (kind()) {
        case Kind::Null:
            return 0;
        case Kind::Int:
            return std::get<std::int64_t>(m_v);
        case Kind::Decimal: {
            const auto& d = std::get<Decimal>(m_v);
            return divRound(d.mantissa, -d.scale);
        }
        case Kind::Currency:
            return divRound(std::get<Currency>(m_v).raw(), 4);
        case Kind::Double:
            return std::llround(std::get<double>(m_v));
        case Kind::Text: {
            std::string t = std::get<std::string>(m_v);
            while (!t.empty() && t.back() == ' ') {
                t.pop_back();
            }
            std::size_t start = 0;
            while (start < t.size() && t[start] == ' ') {
                ++start;
            }
            std::int64_t v = 0;
            const char* first = t.data() + start;
            const char* last = t.data() + t.size();
            auto res = std::from_chars(first, last, v);
            if (first == last || res.ec != std::errc() || res.ptr != last) {
                throw std::invalid_argument("'" + std::get<std::string>(m_v) +
                                            "' is not a valid integer value");
            }
            return v;
        }
        default:
            throw std::invalid_argument("value has no integer form");
    }
}

Currency Value::asCurrency() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Int:
            return Currency::fromRaw(std::get<std::int64_t>(m_v) * 10000);
        case Kind::Decimal:
            return Currency::fromDecimal(std::get<Decimal>(m_v));
        case Kind::Currency:
            return std::get<Currency>(m_v);
        case Kind::Double:
            return Currency::fromDouble(std::get<double>(m_v));
        case Kind::Text:
            return Currency::parse(std::get<std::string>(m_v));
        default:
            throw std::invalid_argument("value has no decimal form");
    }
}

double Value::asDouble() const {
    switch (kind()) {
        case Kind::Null:
            return 0;
        case Kind::Int:
            return static_cast<double>(std::get<std::int64_t>(m_v));
        case Kind::Decimal: {
            const auto& d = std::get<Decimal>(m_v);
            return static_cast<double>(d.mantissa) / static_cast<double>(pow10(-d.scale));
        }
        case Kind::Currency:
            return std::get<Currency>(m_v).toDouble();
        case Kind::Double:
            return std::get<double>(m_v);
        case Kind::Text:
            return std::stod(std::get<std::string>(m_v));
        default:
            throw std::invalid_argument("value has no numeric form");
    }
}

bool Value::operator==(const Value& other) const {
    if (kind() == Kind::Decimal && other.kind() == Kind::Decimal) {
        Decimal a = std::get<Decimal>(m_v);
        Decimal b = std::get<Decimal>(other.m_v);
        while (a.scale > b.scale) {
            a.mantissa *= 10;
            --a.scale;
        }
        while (b.scale > a.scale) {
            b.mantissa *= 10;
            --b.scale;
        }
        return a.mantissa == b.mantissa;
    }
    return m_v == other.m_v;
}

}  // namespace replica::db
