// The lifting of compared literals out of a SQL text, from any bytes: a
// lifted text puts each value's written form back in place of its "?" and
// gives the text unchanged; each value says what it spelled (a text quoted
// as Q() quotes it, a whole number, digits with decimals within eighteen
// digits); each "?" stands where a value may be lifted (after a comparison
// operator, or as a procedure's whole argument); and a text the scanner
// does not understand (a comment, an unterminated quote) or that is not a
// SELECT, UPDATE, DELETE or EXECUTE lifts nothing.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "engine/db/literals.h"
#include "engine/sql.h"

namespace {

using replica::db::Literal;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool identifierChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c == '$';
}

// "-"? digits, and with decimals "." digits: the number's digits (point
// left out) and how many decimals it has; none for any other text.
std::optional<std::pair<std::string, int>> numberShape(const std::string& s) {
    std::size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
    const std::size_t intFrom = i;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
    }
    if (i == intFrom) {
        return std::nullopt;
    }
    std::string digits = s.substr(0, i);
    int decimals = 0;
    if (i < s.size()) {
        if (s[i] != '.' || i + 1 == s.size()) {
            return std::nullopt;
        }
        for (++i; i < s.size(); ++i) {
            if (!isDigit(s[i])) {
                return std::nullopt;
            }
            digits += s[i];
            ++decimals;
        }
    }
    return std::make_pair(digits, decimals);
}

void checkLiteral(const Literal& l) {
    switch (l.kind) {
        case Literal::Kind::Text:
            // The value is the literal with its quotes undone: quoting it
            // again spells the literal.
            if (replica::Q(l.text) != l.spelled) {
                std::abort();
            }
            return;
        case Literal::Kind::Integer:
        case Literal::Kind::Decimal: {
            const auto shape = numberShape(l.spelled);
            if (!shape || !l.text.empty()) {
                std::abort();
            }
            const auto& [digits, decimals] = *shape;
            if ((l.kind == Literal::Kind::Integer) != (decimals == 0) || l.scale != -decimals) {
                std::abort();
            }
            const std::size_t count = digits.size() - (digits[0] == '-' ? 1 : 0);
            if (l.kind == Literal::Kind::Decimal && count > 18) {
                std::abort();
            }
            std::int64_t n = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (ec != std::errc() || end != digits.data() + digits.size() || n != l.integer) {
                std::abort();
            }
            return;
        }
    }
    std::abort();
}

// The last character before `at` that is not a blank, 0 when none.
char before(const std::string& s, std::size_t at) {
    while (at > 0 && s[at - 1] == ' ') {
        --at;
    }
    return at > 0 ? s[at - 1] : 0;
}

// The first character from `at` on that is not a blank, 0 when none.
char after(const std::string& s, std::size_t at) {
    while (at < s.size() && s[at] == ' ') {
        ++at;
    }
    return at < s.size() ? s[at] : 0;
}

// Whether sql, read with its quotes, holds a comment or ends inside a quote:
// the scanner leaves such a text as it is.
bool notUnderstood(std::string_view sql) {
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (i + 1 < sql.size() &&
                   ((c == '-' && sql[i + 1] == '-') || (c == '/' && sql[i + 1] == '*'))) {
            return true;
        }
    }
    return quote != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    const auto p = replica::db::parameterize(sql);
    const std::string word = replica::db::statementWord(sql);
    const bool compared = word == "SELECT" || word == "UPDATE" || word == "DELETE";
    if (!compared && word != "EXECUTE") {
        if (p) {
            std::abort();
        }
        return 0;
    }
    if (notUnderstood(sql) && p) {
        std::abort();
    }
    if (!p) {
        return 0;
    }
    if (p->values.empty()) {
        std::abort();
    }

    // Walk the lifted text along the input: a "?" there is either one the
    // input had (no written value starts with "?") or the next value, whose
    // written form must stand at that place of the input.
    std::size_t at = 0;
    std::size_t next = 0;
    for (std::size_t i = 0; i < p->sql.size(); ++i) {
        const char c = p->sql[i];
        if (c == '?' && (at == sql.size() || sql[at] != '?')) {
            if (next == p->values.size()) {
                std::abort();
            }
            const Literal& l = p->values[next++];
            checkLiteral(l);
            if (sql.compare(at, l.spelled.size(), l.spelled) != 0) {
                std::abort();
            }
            at += l.spelled.size();
            // A number is lifted whole: no identifier or decimals go on
            // after it ("1.5e3", "2x" stay written).
            if (l.kind != Literal::Kind::Text && at < sql.size() &&
                (identifierChar(sql[at]) || sql[at] == '.')) {
                std::abort();
            }
            const char b = before(p->sql, i);
            if (compared ? !(b == '=' || b == '<' || b == '>')
                         : !((b == '(' || b == ',') &&
                             (after(p->sql, i + 1) == ',' || after(p->sql, i + 1) == ')'))) {
                std::abort();
            }
            continue;
        }
        if (at == sql.size() || sql[at] != c) {
            std::abort();
        }
        ++at;
    }
    if (at != sql.size() || next != p->values.size()) {
        std::abort();
    }
    return 0;
}
