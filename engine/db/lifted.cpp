// Statements prepared once with their compared literals bound: see
// literals.h for which values are lifted, and connection.h for the promise
// that the same rows are read or touched as with the text written out.

#include <cmath>
#include <limits>

#include "engine/db/fb.h"
#include "engine/db/literals.h"
#include "engine/db/params.h"
#include "engine/db/text.h"

namespace replica::db::fb {

namespace {

// A text that spells a whole number and nothing else ("7", "-12", "007"):
// compared with an integer column it reads as that number, lifted or not.
std::optional<std::int64_t> wholeNumberIn(const std::string& text) {
    const std::size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() > 18 || !allDigits(std::string_view(text).substr(digitsFrom))) {
        return std::nullopt;
    }
    return std::stoll(text);
}

bool isIntegerType(unsigned type) {
    return type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64;
}

// Whether integer n fits a parameter of type (scale 0).
bool fits(unsigned type, std::int64_t n) {
    switch (type) {
        case SQL_SHORT:
            return n >= std::numeric_limits<std::int16_t>::min() &&
                   n <= std::numeric_limits<std::int16_t>::max();
        case SQL_LONG:
            return n >= std::numeric_limits<std::int32_t>::min() &&
                   n <= std::numeric_limits<std::int32_t>::max();
        case SQL_INT64:
            return true;
        case SQL_DOUBLE:
        case SQL_FLOAT:
            return std::llabs(n) < (1LL << 24);
        default:
            return false;
    }
}

// Whether an exact numeric parameter (type, scale) holds a number with
// decimals as it is written: the literal compares exactly, so the parameter
// must neither round it (fewer decimals) nor overflow with the zeros its
// scale adds. Approximate columns keep the literal written.
bool takesDecimal(unsigned type, int scale, const Literal& l) {
    if (!isIntegerType(type) || scale > l.scale) {
        return false;
    }
    std::int64_t scaled = l.integer;
    for (int k = scale; k < l.scale; ++k) {
        if (std::llabs(scaled) > std::numeric_limits<std::int64_t>::max() / 10) {
            return false;
        }
        scaled *= 10;
    }
    return fits(type, scaled);
}

// Whether a parameter described as i of input takes literal l exactly as
// the text would have compared it: a text no longer than a text column (or
// read as a date or time, as a literal is), a number within an exact numeric
// column of at least as many decimals (or a whole number within a double), a
// text that is plainly a whole number within an integer column.
bool takes(IMessageMetadata* input, unsigned i, const Literal& l) {
    Status st;
    const unsigned type = input->getType(&st, i) & ~1u;
    if (l.kind == Literal::Kind::Text) {
        if (isIntegerType(type)) {
            // Only a text that is plainly a whole number: "1.5" or " 1"
            // might read otherwise as a literal than as a parameter.
            const std::optional<std::int64_t> n = wholeNumberIn(l.text);
            return n && input->getScale(&st, i) == 0 && fits(type, *n);
        }
        switch (type) {
            case SQL_TEXT:
            case SQL_VARYING: {
                const unsigned chars =
                    input->getLength(&st, i) /
                    static_cast<unsigned>(bytesPerChar(input->getCharSet(&st, i)));
                return utf8Length(l.text) <= chars;
            }
            case SQL_TYPE_DATE:
            case SQL_TYPE_TIME:
            case SQL_TIMESTAMP:
                return true;
            default:
                return false;
        }
    }
    const int scale = input->getScale(&st, i);
    return l.kind == Literal::Kind::Integer && scale == 0 ? fits(type, l.integer)
                                                          : takesDecimal(type, scale, l);
}

bool takesAll(IMessageMetadata* input, const std::vector<Literal>& literals) {
    Status st;
    if (!input || input->getCount(&st) != literals.size()) {
        return false;
    }
    for (unsigned i = 0; i < literals.size(); ++i) {
        if (!takes(input, i, literals[i])) {
            return false;
        }
    }
    return true;
}

// The values to bind (takesAll has accepted them): a whole number written as
// a text goes to an integer parameter as that number.
std::vector<Value> valuesOf(IMessageMetadata* input, const std::vector<Literal>& literals) {
    Status st;
    std::vector<Value> values;
    values.reserve(literals.size());
    for (unsigned i = 0; i < literals.size(); ++i) {
        const Literal& l = literals[i];
        if (l.kind == Literal::Kind::Integer) {
            values.emplace_back(l.integer);
        } else if (l.kind == Literal::Kind::Decimal) {
            values.emplace_back(Decimal{l.integer, l.scale});
        } else if (isIntegerType(input->getType(&st, i) & ~1u)) {
            values.emplace_back(*wholeNumberIn(l.text));
        } else {
            values.emplace_back(l.text);
        }
    }
    return values;
}

// The select prepared for text (lifted or as written), from the cache or
// prepared now. A lifted text the database refuses is remembered without a
// statement. Throws Firebird::FbException when a text as written does not
// prepare.
Connection::Impl::Select& selectFor(Connection& conn, ITransaction* tra, const std::string& text,
                                    bool lifted) {
    auto& cache = conn.impl().selects;
    if (auto found = cache.find(text); found != cache.end()) {
        return found->second;
    }
    if (cache.size() >= 512) {
        cache.clear();  // bounded: a connection lives for months
    }
    Connection::Impl::Select select;
    Status st;
    try {
        select.stmt.reset(conn.impl().att->prepare(&st, tra, 0, text.c_str(), 3,
                                                   IStatement::PREPARE_PREFETCH_METADATA));
    } catch (const Firebird::FbException&) {
        if (!lifted) {
            throw;
        }
        return cache.emplace(text, std::move(select)).first->second;
    }
    select.input.reset(select.stmt->getInputMetadata(&st));
    select.output.reset(select.stmt->getOutputMetadata(&st));
    describe(conn, select.output.get(), select.columns);
    return cache.emplace(text, std::move(select)).first->second;
}

}  // namespace

const Connection::Impl::Select* preparedSelect(Connection& conn, ITransaction* tra,
                                               const std::string& sql, std::vector<Value>& values) {
    values.clear();
    const std::optional<ParameterizedSql> lifted = parameterize(sql);
    const Connection::Impl::Select& select =
        selectFor(conn, tra, lifted ? lifted->sql : sql, lifted.has_value());
    if (!select.stmt) {
        return nullptr;
    }
    if (lifted) {
        if (!takesAll(select.input.get(), lifted->values)) {
            return nullptr;
        }
        values = valuesOf(select.input.get(), lifted->values);
    }
    return &select;
}

InputMessage encodeLiterals(Connection& conn, ITransaction* tra, const std::vector<Value>& values,
                            IMessageMetadata* input) {
    Status st;
    // Texts are sized by the parameter they fill, so that one statement
    // keeps one message layout whatever the length of its values.
    std::vector<Column> columns(values.size());
    std::vector<Param> params;
    params.reserve(values.size());
    for (unsigned i = 0; i < values.size(); ++i) {
        if (values[i].text()) {
            columns[i].type = ColumnType::VarChar;
            columns[i].length = static_cast<int>(input->getLength(&st, i)) /
                                bytesPerChar(input->getCharSet(&st, i));
        }
        params.push_back(Param{&values[i], &columns[i]});
    }
    return encodeParams(conn, tra, params);
}

bool executeLifted(Connection& conn, ITransaction* tra, const std::string& sql) {
    const std::optional<ParameterizedSql> lifted = parameterize(sql);
    if (!lifted) {
        return false;
    }
    Connection::Impl& impl = conn.impl();
    IStatement* stmt = nullptr;
    try {
        stmt = impl.prepared(lifted->sql, tra);
    } catch (const Error&) {
        return false;  // the database would not prepare the lifted form
    }
    auto input = impl.inputs.find(lifted->sql);
    if (input == impl.inputs.end()) {
        Status st;
        input = impl.inputs.emplace(lifted->sql, Ref<IMessageMetadata>(stmt->getInputMetadata(&st)))
                    .first;
    }
    if (!takesAll(input->second.get(), lifted->values)) {
        return false;
    }
    const std::vector<Value> values = valuesOf(input->second.get(), lifted->values);
    InputMessage message = encodeLiterals(conn, tra, values, input->second.get());
    Status st;
    stmt->execute(&st, tra, message.meta, message.buffer.data(), nullptr, nullptr);
    return true;
}

}  // namespace replica::db::fb
