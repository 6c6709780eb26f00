#include "engine/db/literals.h"

#include <cctype>
#include <charconv>

namespace replica::db {

std::string statementWord(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) {
        ++i;
    }
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
        ++i;
    }
    return word;
}

namespace {

bool identifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Which values of a statement may become parameters: the compared ones of a
// SELECT, UPDATE or DELETE, the arguments of an EXECUTE PROCEDURE.
enum class Lift { Nothing, Compared, Arguments };

Lift liftable(std::string_view sql) {
    const std::string word = statementWord(sql);
    if (word == "SELECT" || word == "UPDATE" || word == "DELETE") {
        return Lift::Compared;
    }
    return word == "EXECUTE" ? Lift::Arguments : Lift::Nothing;
}

// Whether the text written so far ends with "(" or "," (blanks after it
// allowed): a value there starts a procedure's argument.
bool afterArgumentStart(const std::string& out) {
    std::size_t i = out.size();
    while (i > 0 && out[i - 1] == ' ') {
        --i;
    }
    return i > 0 && (out[i - 1] == '(' || out[i - 1] == ',');
}

// Whether the text from `from` goes on with "," or ")" (blanks before it
// allowed): the value before it is a whole argument.
bool argumentEndsAt(std::string_view sql, std::size_t from) {
    while (from < sql.size() && sql[from] == ' ') {
        ++from;
    }
    return from < sql.size() && (sql[from] == ',' || sql[from] == ')');
}

// Whether the text written so far ends with a comparison operator (blanks
// after it allowed).
bool afterComparison(const std::string& out) {
    std::size_t i = out.size();
    while (i > 0 && out[i - 1] == ' ') {
        --i;
    }
    if (i == 0) {
        return false;
    }
    const char c = out[i - 1];
    return c == '=' || c == '<' || c == '>';
}

}  // namespace

std::optional<ParameterizedSql> parameterize(std::string_view sql) {
    const Lift lift = liftable(sql);
    if (lift == Lift::Nothing) {
        return std::nullopt;
    }
    // Whether the value that starts at `at` in sql and ends before `end`
    // takes a parameter, given the text written so far.
    const auto takesParameter = [&](const std::string& written, std::size_t end) {
        return lift == Lift::Compared ? afterComparison(written)
                                      : afterArgumentStart(written) && argumentEndsAt(sql, end);
    };
    ParameterizedSql p;
    p.sql.reserve(sql.size());
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            return std::nullopt;  // a comment: leave the text alone
        }
        if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            return std::nullopt;
        }
        if (c == '"') {  // a quoted identifier, copied whole
            const std::size_t end = sql.find('"', i + 1);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            p.sql.append(sql.substr(i, end + 1 - i));
            i = end + 1;
            continue;
        }
        if (c == '\'') {
            std::string value;
            std::size_t j = i + 1;
            bool closed = false;
            while (j < sql.size()) {
                if (sql[j] == '\'') {
                    if (j + 1 < sql.size() && sql[j + 1] == '\'') {
                        value += '\'';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                value += sql[j++];
            }
            if (!closed) {
                return std::nullopt;
            }
            const std::string_view spelled = sql.substr(i, j + 1 - i);
            if (takesParameter(p.sql, j + 1)) {
                p.values.push_back(
                    Literal{Literal::Kind::Text, std::move(value), 0, std::string(spelled)});
                p.sql += '?';
            } else {
                p.sql.append(spelled);
            }
            i = j + 1;
            continue;
        }
        const bool startsNumber = std::isdigit(static_cast<unsigned char>(c)) ||
                                  (c == '-' && i + 1 < sql.size() &&
                                   std::isdigit(static_cast<unsigned char>(sql[i + 1])));
        if (startsNumber && (p.sql.empty() || !identifierChar(p.sql.back())) &&
            (lift == Lift::Compared ? afterComparison(p.sql) : afterArgumentStart(p.sql))) {
            const auto digitsFrom = [&](std::size_t k) {
                while (k < sql.size() && std::isdigit(static_cast<unsigned char>(sql[k]))) {
                    ++k;
                }
                return k;
            };
            std::size_t j = digitsFrom(i + 1);
            std::string digits(sql.substr(i, j - i));
            int scale = 0;
            if (j + 1 < sql.size() && sql[j] == '.' &&
                std::isdigit(static_cast<unsigned char>(sql[j + 1]))) {
                const std::size_t fractionEnd = digitsFrom(j + 1);
                digits.append(sql.substr(j + 1, fractionEnd - j - 1));
                scale = -static_cast<int>(fractionEnd - j - 1);
                j = fractionEnd;
            }
            // Eighteen digits at most with decimals: what the database
            // reads as an exact number.
            const std::size_t digitCount = digits.size() - (digits[0] == '-' ? 1 : 0);
            const bool alone = (j == sql.size() || (!identifierChar(sql[j]) && sql[j] != '.')) &&
                               (scale == 0 || digitCount <= 18) && takesParameter(p.sql, j);
            std::int64_t n = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (alone && ec == std::errc() && end == digits.data() + digits.size()) {
                Literal literal{scale == 0 ? Literal::Kind::Integer : Literal::Kind::Decimal,
                                {},
                                n,
                                std::string(sql.substr(i, j - i)),
                                scale};
                p.values.push_back(std::move(literal));
                p.sql += '?';
                i = j;
                continue;
            }
            p.sql.append(sql.substr(i, j - i));  // a huge number or an exponent stays written
            i = j;
            continue;
        }
        p.sql += c;
        ++i;
    }
    if (p.values.empty()) {
        return std::nullopt;
    }
    return p;
}

}  // namespace replica::db
