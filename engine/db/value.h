#pragma once
// Values as they travel between Firebird and the engine.
//
// A `Value` is what one column of one row holds: null, an integer, an exact
// decimal (the scaled integer Firebird stores for NUMERIC/DECIMAL, kept with
// its scale so that no digit passes through a double), a 4-decimal
// fixed-point `Currency`, a double, a text, a date, a time, a timestamp or the
// bytes of a binary BLOB. Conversions never throw on null: a null reads as
// 0, "" or a zero date, as the ERP's own client layer did.
//
// Texts are UTF-8. Dates and times render as YYYY-MM-DD and HH:MM:SS, the
// forms Firebird reads the same under every locale.

#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace replica::db {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
    auto operator<=>(const Date&) const = default;
    std::string toString() const;  // YYYY-MM-DD
};

struct Time {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int fraction = 0;  // ten-thousandths of a second, as Firebird keeps them
    auto operator<=>(const Time&) const = default;
    std::string toString() const;  // HH:MM:SS (fractions are not shown)
};

struct Timestamp {
    Date date;
    Time time;
    auto operator<=>(const Timestamp&) const = default;
    std::string toString() const;  // YYYY-MM-DD HH:MM:SS
};

// An exact decimal: value = mantissa * 10^scale, scale <= 0.
struct Decimal {
    std::int64_t mantissa = 0;
    int scale = 0;
    bool operator==(const Decimal&) const = default;
    std::string toString() const;  // plain digits, trailing zeros dropped
};

// 4-decimal fixed-point, stored as value * 10 000. Conversion from a finer
// scale rounds half away from zero (12.345678 -> 12.3457, -0.00005 -> -0.0001).
class Currency {
  public:
    constexpr Currency() = default;
    static constexpr Currency fromRaw(std::int64_t raw) {
        Currency c;
        c.m_raw = raw;
        return c;
    }
    static Currency fromDecimal(const Decimal& d);
    static Currency fromDouble(double d);
    // Parses "12.5", "-0.0001", "7"; throws std::invalid_argument otherwise.
    static Currency parse(const std::string& text);

    constexpr std::int64_t raw() const { return m_raw; }
    Decimal toDecimal() const { return Decimal{m_raw, -4}; }
    double toDouble() const { return static_cast<double>(m_raw) / 10000.0; }
    // No thousands separator, "." as decimal separator, no trailing zeros.
    std::string toString() const;
    auto operator<=>(const Currency&) const = default;

  private:
    std::int64_t m_raw = 0;
};

struct Bytes {
    std::vector<unsigned char> data;
    bool operator==(const Bytes&) const = default;
};

class Value {
  public:
    enum class Kind { Null, Int, Decimal, Currency, Double, Text, Date, Time, Timestamp, Bytes };

    Value() = default;
    Value(std::int64_t v) : m_v(v) {}
    Value(int v) : m_v(static_cast<std::int64_t>(v)) {}
    Value(const Decimal& v) : m_v(v) {}
    Value(const Currency& v) : m_v(v) {}
    Value(double v) : m_v(v) {}
    Value(std::string v) : m_v(std::move(v)) {}
    Value(const char* v) : m_v(std::string(v)) {}
    Value(const Date& v) : m_v(v) {}
    Value(const Time& v) : m_v(v) {}
    Value(const Timestamp& v) : m_v(v) {}
    Value(Bytes v) : m_v(std::move(v)) {}

    Kind kind() const { return static_cast<Kind>(m_v.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Text form: integers in decimal, decimals without trailing zeros,
    // dates and times in ISO form, bytes as they are; null gives "".
    std::string asText() const;
    // Integer form; decimals round half away from zero; a text that is not a
    // whole number throws std::invalid_argument; null gives 0.
    std::int64_t asInt() const;
    Currency asCurrency() const;
    double asDouble() const;

    // The alternatives, for code that must see the exact stored form.
    const Decimal* decimal() const { return std::get_if<Decimal>(&m_v); }
    const Date* date() const { return std::get_if<Date>(&m_v); }
    const Time* time() const { return std::get_if<Time>(&m_v); }
    const Timestamp* timestamp() const { return std::get_if<Timestamp>(&m_v); }
    const Bytes* bytes() const { return std::get_if<Bytes>(&m_v); }
    const std::string* text() const { return std::get_if<std::string>(&m_v); }

    // Same kind and same content; a Decimal equals another of equal value
    // whatever their scales.
    bool operator==(const Value& other) const;

  private:
    std::variant<std::monostate, std::int64_t, Decimal, Currency, double, std::string, Date, Time,
                 Timestamp, Bytes>
        m_v;
};

}  // namespace replica::db
