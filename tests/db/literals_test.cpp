// Compared literals lifted out as parameters: which ones the scanner lifts,
// and that a lifted text reads and touches exactly the rows the text as
// written would, including the values a parameter could not carry.

#include "engine/db/literals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/script.h"
#include "engine/db/error.h"
#include "engine/db/query.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {

struct Shape {
    const char* name;
    const char* sql;
    const char* lifted;  // nullptr: the text is left as it is
    std::vector<std::string> spelled;
};

const Shape kShapes[] = {
    {"TextAndNumber",
     "select * from t where code = 'A''B' and id = 5",
     "select * from t where code = ? and id = ?",
     {"'A''B'", "5"}},
    {"EveryOperator",
     "select 1 from t where a <> 1 and b != -2 and c <= 3 and d >= 'x' and e < 4",
     "select 1 from t where a <> ? and b != ? and c <= ? and d >= ? and e < ?",
     {"1", "-2", "3", "'x'", "4"}},
    {"UpdateAndDelete",
     "UPDATE T SET N = 'x' where ID = 3",
     "UPDATE T SET N = ? where ID = ?",
     {"'x'", "3"}},
    {"NotAfterAComparison",
     "select first 10 * from t where a in (1, 2) and b like 'x%'",
     nullptr,
     {}},
    {"Decimals",
     "select * from t where amount = 1.50 and b > -0.5",
     "select * from t where amount = ? and b > ?",
     {"1.50", "-0.5"}},
    {"ExponentStaysWritten", "select * from t where amount = 1.5e3", nullptr, {}},
    {"QuotedIdentifierKeptWhole",
     "select \"A = 1\" from t where \"B\" = 2",
     "select \"A = 1\" from t where \"B\" = ?",
     {"2"}},
    {"CommentLeavesTheText", "select * from t where id = 1 -- note", nullptr, {}},
    {"UnterminatedQuoteLeavesTheText", "select * from t where code = 'abc", nullptr, {}},
    {"InsertIsNotLifted", "insert into t (id) values (1)", nullptr, {}},
    {"ProcedureArguments",
     "execute procedure P(31, -2,'A''B', NULL, 5 + 1, 'x' || 'y', 1.5)",
     "execute procedure P(?, ?,?, NULL, 5 + 1, 'x' || 'y', ?)",
     {"31", "-2", "'A''B'", "1.5"}},
    {"NoSpaces",
     "select * from t where a=1 and b='x'",
     "select * from t where a=? and b=?",
     {"1", "'x'"}},
};

class LiteralShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(LiteralShapes, LiftOnlyComparedValues) {
    const Shape& s = GetParam();
    const auto p = db::parameterize(s.sql);
    if (!s.lifted) {
        EXPECT_FALSE(p.has_value()) << p->sql;
        return;
    }
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->sql, s.lifted);
    std::vector<std::string> spelled;
    for (const db::Literal& l : p->values) {
        spelled.push_back(l.spelled);
    }
    EXPECT_EQ(spelled, s.spelled);
}

INSTANTIATE_TEST_SUITE_P(Cases, LiteralShapes, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& p) { return p.param.name; });

std::int64_t count(db::Connection& c, const std::string& where) {
    db::Query q(c);
    q.open("select count(*) from T where " + where);
    return q.asInt(0);
}

// Each comparison as the engine writes it, against the rows it must find.
// Several cannot travel as the parameter the database describes (a text
// longer than its column, a number beyond INTEGER, a number against a text
// column, a number with more decimals than its column): they must still find
// what the written text finds, not fail.
TEST(LiftedLiterals, FindAndTouchTheRowsTheWrittenTextWould) {
    test::TempDir dir;
    auto conn = test::createDatabase(
        dir.file("l.fdb"),
        "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, CODE VARCHAR(4), FIX CHAR(4), "
        "AMOUNT NUMERIC(15,2), D DATE, NAME VARCHAR(5), BIG BIGINT, SMALL SMALLINT);"
        "INSERT INTO T VALUES (1, 'AB', 'AB', 5, '2026-12-09', 'ñandú', 9000000000, 7);"
        "INSERT INTO T VALUES (2, '7', 'X', 5.25, '2026-12-10', 'it''s', -1, -7);"
        "INSERT INTO T VALUES (3, 'it''s', NULL, -1, NULL, 'abc', 0, 0);");
    const std::pair<const char*, std::int64_t> cases[] = {
        {"CODE = 'AB'", 1},
        {"CODE = 'ABCDE'", 0},  // longer than the column
        {"NAME = 'ñandú'", 1},  // five characters, ten bytes
        {"NAME = 'ñandúx'", 0},
        {"CODE = 'it''s'", 1},
        {"FIX = 'AB'", 1},  // CHAR padding
        {"FIX = 'AB  '", 1},
        {"ID = '2'", 1},         // a text against a number column
        {"ID = 2147483648", 0},  // beyond INTEGER
        {"ID = -2147483649", 0},
        {"SMALL = 70000", 0},  // beyond SMALLINT
        {"SMALL = -7", 1},
        {"BIG = 9000000000", 1},
        {"AMOUNT = 5", 1},  // a whole number against NUMERIC(15,2)
        {"AMOUNT = 5.25", 1},
        {"AMOUNT = 5.250", 1},  // more decimals than the column keeps
        {"AMOUNT = 5.251", 0},  // a parameter of the column would round it to 5.25
        {"AMOUNT = 5.2", 0},
        {"AMOUNT = -1.0", 1},
        {"AMOUNT > 99999999999999.99", 0},  // beyond NUMERIC(15,2)'s digits, within BIGINT
        {"SMALL = -7.0", 1},                // decimals against a whole-number column
        {"SMALL = 6.9", 0},
        {"AMOUNT < 0", 1},
        {"D = '2026-12-09'", 1},
        {"D < '2026-12-10'", 1},
        {"ID <> 1 AND CODE <> 'AB'", 2},
        {"1 = 0", 0},
        {"ID >= 2 and ID <= 3", 2},
    };
    // Twice: the second time every shape comes from the connection's cache.
    for (int round = 0; round < 2; ++round) {
        for (const auto& [where, expected] : cases) {
            EXPECT_EQ(count(*conn, where), expected) << where << " (round " << round << ")";
        }
    }
    // Numbers written as texts against integer columns: lifted only when the
    // text is plainly a whole number, and then they find what the written
    // text finds (the parenthesis keeps the second form written).
    const auto outcome = [&](const std::string& where) {
        try {
            return std::to_string(count(*conn, where));
        } catch (const db::Error& e) {
            return std::string("refused");
        }
    };
    for (const char* value :
         {"'2'", "'002'", "'-7'", "'2.0'", "' 2'", "'2 '", "'99999999999'", "'x'", "''"}) {
        for (const char* column : {"ID", "SMALL", "BIG"}) {
            const std::string lifted = std::string(column) + " = " + value;
            const std::string written = std::string(column) + " = (" + value + ")";
            EXPECT_EQ(outcome(lifted), outcome(written)) << lifted;
        }
    }
    // A number against a text column converts the column's values, and "AB"
    // is no number: refused, lifted or not (the parenthesis keeps it written).
    EXPECT_THROW(count(*conn, "CODE = 7"), db::Error);
    EXPECT_THROW(count(*conn, "CODE = (7)"), db::Error);
    // Values change between calls of the same shape.
    for (int id = 0; id <= 4; ++id) {
        EXPECT_EQ(count(*conn, "ID = " + std::to_string(id)), id >= 1 && id <= 3 ? 1 : 0);
    }

    // Decimals in an UPDATE touch what the written text touches: a value
    // the column would round must touch nothing.
    conn->execute("UPDATE T SET SMALL = 1 WHERE AMOUNT = 5.251");
    EXPECT_EQ(count(*conn, "SMALL = 1"), 0);
    conn->execute("UPDATE T SET SMALL = 2 WHERE AMOUNT = 5.250");
    EXPECT_EQ(count(*conn, "SMALL = 2"), 1);

    conn->execute("UPDATE T SET NAME = 'x' WHERE CODE = 'AB'");
    conn->execute("UPDATE T SET NAME = 'y' WHERE CODE = 'ABCDE'");
    conn->execute("UPDATE T SET NAME = 'z' WHERE ID = 2147483648");
    EXPECT_EQ(count(*conn, "NAME = 'x'"), 1);
    EXPECT_EQ(count(*conn, "NAME = 'y' or NAME = 'z'"), 0);
    // An assignment longer than its column is refused as the written text is.
    EXPECT_THROW(conn->execute("UPDATE T SET CODE = 'ABCDEF' WHERE ID = 1"), db::Error);
    EXPECT_EQ(count(*conn, "CODE = 'AB'"), 1);
    // Procedure arguments: the values arrive as written; one longer than
    // its parameter is refused either way.
    conn->execute("CREATE TABLE CALLS (A INTEGER, B VARCHAR(4))");
    demo::runScript(*conn,
                    "SET TERM ^ ;\nCREATE PROCEDURE P (A INTEGER, B VARCHAR(4)) AS BEGIN INSERT "
                    "INTO CALLS VALUES (:A, :B); END^\nSET TERM ; ^\n");
    conn->execute("execute procedure P(7, 'it''s')");
    conn->execute("execute procedure P('-3', 'ñañú')");  // four characters, eight bytes
    EXPECT_THROW(conn->execute("execute procedure P(1, 'ABCDE')"), db::Error);
    EXPECT_THROW(conn->execute("execute procedure P(1, ('ABCDE'))"), db::Error);
    conn->execute("execute procedure P(2147483647, NULL)");
    // A decimal argument arrives as the written text delivers it: rounded to
    // the parameter's scale by the database when it has more decimals.
    conn->execute("CREATE TABLE AMOUNTS (N INTEGER, A NUMERIC(15,2))");
    demo::runScript(
        *conn,
        "SET TERM ^ ;\nCREATE PROCEDURE PA (N INTEGER, A NUMERIC(15,2)) AS BEGIN INSERT "
        "INTO AMOUNTS VALUES (:N, :A); END^\nSET TERM ; ^\n");
    for (const char* a : {"1.25", "1.255", "-0.5", "1.2", "99999999999999.999"}) {
        conn->execute(std::string("execute procedure PA(1, ") + a + ")");
        conn->execute(std::string("execute procedure PA(2, (") + a + "))");
        db::Query both(*conn);
        both.open("select N, A from AMOUNTS order by N");
        ASSERT_EQ(both.rowCount(), 2) << a;
        const std::string lifted = both.asText(1);
        both.next();
        EXPECT_EQ(lifted, both.asText(1)) << a;
        conn->execute("DELETE FROM AMOUNTS");
    }
    db::Query calls(*conn);
    calls.open("select A, coalesce(B, '<null>') from CALLS order by A");
    std::vector<std::string> rows;
    for (; !calls.eof(); calls.next()) {
        rows.push_back(calls.asText(0) + "|" + calls.asText(1));
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"-3|ñañú", "7|it's", "2147483647|<null>"}));

    conn->execute("DELETE FROM T WHERE ID = 3");
    conn->execute("DELETE FROM T WHERE ID = '2'");
    EXPECT_EQ(count(*conn, "1 = 1"), 1);
}

}  // namespace
