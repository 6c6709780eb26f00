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

namespace {

// One pass over a statement's text, writing the parameterized text as it
// goes. Each read...() starts at the current character and moves past what
// it read; false means the text is one the scanner leaves alone.
class Scanner {
  public:
    Scanner(std::string_view sql, Lift lift) : m_sql(sql), m_lift(lift) {
        m_out.sql.reserve(sql.size());
    }

    std::optional<ParameterizedSql> run() {
        while (m_at < m_sql.size()) {
            if (!step()) {
                return std::nullopt;
            }
        }
        if (m_out.values.empty()) {
            return std::nullopt;
        }
        return std::move(m_out);
    }

  private:
    bool step() {
        const char c = m_sql[m_at];
        if (startsComment()) {
            return false;
        }
        if (c == '"') {
            return readQuotedName();
        }
        if (c == '\'') {
            return readText();
        }
        if (startsNumber()) {
            readNumber();
            return true;
        }
        m_out.sql += c;
        ++m_at;
        return true;
    }

    bool startsComment() const {
        const std::string_view rest = m_sql.substr(m_at);
        return rest.substr(0, 2) == "--" || rest.substr(0, 2) == "/*";
    }

    // A quoted identifier, copied whole.
    bool readQuotedName() {
        const std::size_t end = m_sql.find('"', m_at + 1);
        if (end == std::string_view::npos) {
            return false;
        }
        m_out.sql.append(m_sql.substr(m_at, end + 1 - m_at));
        m_at = end + 1;
        return true;
    }

    // A quoted text, its doubled quotes undone.
    bool readText() {
        std::string value;
        std::size_t j = m_at + 1;
        for (;; ++j) {
            if (j >= m_sql.size()) {
                return false;  // unterminated
            }
            if (m_sql[j] != '\'') {
                value += m_sql[j];
            } else if (j + 1 < m_sql.size() && m_sql[j + 1] == '\'') {
                value += '\'';
                ++j;
            } else {
                break;
            }
        }
        const std::string_view spelled = m_sql.substr(m_at, j + 1 - m_at);
        if (takesParameter(j + 1)) {
            m_out.values.push_back(
                Literal{Literal::Kind::Text, std::move(value), 0, std::string(spelled)});
            m_out.sql += '?';
        } else {
            m_out.sql.append(spelled);
        }
        m_at = j + 1;
        return true;
    }

    bool isDigit(std::size_t k) const {
        return k < m_sql.size() && std::isdigit(static_cast<unsigned char>(m_sql[k]));
    }

    bool startsNumber() const {
        const bool number = isDigit(m_at) || (m_sql[m_at] == '-' && isDigit(m_at + 1));
        return number && (m_out.sql.empty() || !identifierChar(m_out.sql.back())) &&
               (m_lift == Lift::Compared ? afterComparison(m_out.sql)
                                         : afterArgumentStart(m_out.sql));
    }

    std::size_t digitsFrom(std::size_t k) const {
        while (isDigit(k)) {
            ++k;
        }
        return k;
    }

    // A whole number, or digits, a point and digits; a huge number or an
    // exponent stays written.
    void readNumber() {
        std::size_t j = digitsFrom(m_at + 1);
        std::string digits(m_sql.substr(m_at, j - m_at));
        int scale = 0;
        if (j < m_sql.size() && m_sql[j] == '.' && isDigit(j + 1)) {
            const std::size_t fractionEnd = digitsFrom(j + 1);
            digits.append(m_sql.substr(j + 1, fractionEnd - j - 1));
            scale = -static_cast<int>(fractionEnd - j - 1);
            j = fractionEnd;
        }
        // Eighteen digits at most with decimals: what the database reads as
        // an exact number.
        const std::size_t digitCount = digits.size() - (digits[0] == '-' ? 1 : 0);
        const bool alone = (j == m_sql.size() || (!identifierChar(m_sql[j]) && m_sql[j] != '.')) &&
                           (scale == 0 || digitCount <= 18) && takesParameter(j);
        std::int64_t n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (alone && ec == std::errc() && end == digits.data() + digits.size()) {
            m_out.values.push_back(
                Literal{scale == 0 ? Literal::Kind::Integer : Literal::Kind::Decimal,
                        {},
                        n,
                        std::string(m_sql.substr(m_at, j - m_at)),
                        scale});
            m_out.sql += '?';
        } else {
            m_out.sql.append(m_sql.substr(m_at, j - m_at));
        }
        m_at = j;
    }

    // Whether the value that ends before end takes a parameter, given the
    // text written so far.
    bool takesParameter(std::size_t end) const {
        return m_lift == Lift::Compared
                   ? afterComparison(m_out.sql)
                   : afterArgumentStart(m_out.sql) && argumentEndsAt(m_sql, end);
    }

    std::string_view m_sql;
    Lift m_lift;
    std::size_t m_at = 0;
    ParameterizedSql m_out;
};

}  // namespace

std::optional<ParameterizedSql> parameterize(std::string_view sql) {
    const Lift lift = liftable(sql);
    if (lift == Lift::Nothing) {
        return std::nullopt;
    }
    return Scanner(sql, lift).run();
}

}  // namespace replica::db
