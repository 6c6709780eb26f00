#pragma once
// The literal values a SQL text compares with, lifted out as parameters.
//
// The engine composes every lookup and statement as one text with its values
// written in (quoted texts, whole numbers). Prepared anew for every value,
// such texts cost more than the rows they read; with their compared values
// turned into "?" they become a handful of shapes that a connection prepares
// once. Only values that directly follow a comparison operator (=, <>, !=,
// <, >, <=, >=) in a SELECT, UPDATE or DELETE, and the arguments of an
// EXECUTE PROCEDURE that are a value alone, are lifted: a quoted text (its
// doubled quotes undone), a whole number, or a number with decimals written
// as digits, a point and digits ("2.5", "-0.125"). Anything the scanner does
// not understand (a comment, an unterminated quote, an exponent) leaves the
// text as it is. Private to the database layer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace replica::db {

struct Literal {
    enum class Kind { Text, Integer, Decimal };
    Kind kind = Kind::Text;
    std::string text;          // Kind::Text: the value, quotes undone
    std::int64_t integer = 0;  // Kind::Integer; Kind::Decimal: its digits, point left out
    std::string spelled;       // as the text wrote it
    int scale = 0;             // Kind::Decimal: minus the number of decimals ("2.50": -2)
};

struct ParameterizedSql {
    std::string sql;  // the text with "?" where each literal was
    std::vector<Literal> values;
};

// The statement's first word in capitals ("SELECT", "ALTER"...).
std::string statementWord(std::string_view sql);

// The parameterized form of sql, or nullopt when it lifts nothing.
std::optional<ParameterizedSql> parameterize(std::string_view sql);

}  // namespace replica::db
