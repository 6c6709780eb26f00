// Regression tests for faults found by review of the database layer, and
// pins of the behaviour the copy mechanisms rely on: rows found again by the
// values read, every storage form of a number, and edit sequences that must
// write each change exactly once.

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "tests/support/tempdir.h"

using namespace replica;
using db::Date;
using db::Decimal;
using db::Query;
using db::RecordSet;
using db::Time;
using db::Timestamp;
using db::Value;

namespace {

struct Failures {
    std::vector<std::string> messages;
    RecordSet::ErrorCallback callback() {
        return [this](const db::Error& e) { messages.push_back(e.message()); };
    }
    std::string last() const { return messages.empty() ? "" : messages.back(); }
};

// Collects the texts sent on one connection while alive.
class Trace {
  public:
    explicit Trace(const db::Connection& conn) {
        db::Connection::setTraceHook(
            [this, c = &conn](const db::Connection& on, const std::string& sql) {
                if (&on == c) {
                    sent.push_back(sql);
                }
            });
    }
    ~Trace() { db::Connection::setTraceHook(nullptr); }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& s : sent) {
            n += s.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> sent;
};

std::int64_t countRows(db::Connection& conn, const std::string& where) {
    Query q(conn);
    q.open("select count(*) from " + where);
    return q.asInt(0);
}

class RecordSetFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        conn = test::createDatabase(
            dir.file("r.fdb"),
            "CREATE TABLE K (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), "
            "STATUS CHAR(1) DEFAULT 'P', AMT NUMERIC(15,2), CODE CHAR(3), "
            "AMT4 NUMERIC(15,4) CHECK (AMT4 IS NULL OR AMT4 >= 0));"
            "CREATE TABLE NOKEY (CODE VARCHAR(20) NOT NULL, BRANCH INTEGER, ACCOUNT VARCHAR(20));"
            "CREATE TABLE CK (COD CHAR(3) NOT NULL PRIMARY KEY, NAME VARCHAR(20));"
            "INSERT INTO K (ID, NAME, AMT, CODE) VALUES (1, 'uno', 1.5, 'A');"
            "INSERT INTO K (ID, NAME, AMT, CODE) VALUES (2, 'dos', -2.25, 'B');"
            "INSERT INTO CK VALUES ('01', 'uno');");
    }
    test::TempDir dir;
    std::unique_ptr<db::Connection> conn;
    Failures fails;
};

}  // namespace

// apply() starts its transaction on the attachment without checking it:
// on a closed connection it dereferences a null attachment. Query and execute
// reopen a closed connection; apply must at least fail with an Error.
TEST_F(RecordSetFaultTest, ApplyOnAClosedConnectionNeitherCrashesNorLosesTheRow) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            RecordSet rs(*conn);
            rs.open("SELECT * FROM K WHERE ID = 5");
            rs.append();
            rs.set("ID", Value(5));
            rs.post();
            conn->close();
            int code = 0;
            try {
                code = rs.apply(0, fails.callback()) == 0 && countRows(*conn, "k where id = 5") == 1
                           ? 0
                           : 3;
            } catch (const db::Error&) {
                code = rs.changeCount() == 1 ? 0 : 4;  // refused, the row still pending
            }
            std::exit(code);
        },
        ::testing::ExitedWithCode(0), "");
}

// UPDATE and DELETE find their row by the values read; in a table without a
// primary key two identical rows both match, and both are changed.
TEST_F(RecordSetFaultTest, UpdateAndDeleteTouchAtMostOneOfTwoIdenticalRows) {
    conn->execute("INSERT INTO NOKEY VALUES ('ART1', 1, '1435')");
    conn->execute("INSERT INTO NOKEY VALUES ('ART1', 1, '1435')");
    RecordSet rs(*conn);
    rs.open("SELECT * FROM NOKEY WHERE CODE = 'ART1'");
    rs.edit();
    rs.set("ACCOUNT", Value("9999"));
    rs.post();
    rs.apply(0, fails.callback());
    EXPECT_LE(countRows(*conn, "nokey where account = '9999'"), 1);

    rs.open("SELECT * FROM NOKEY WHERE CODE = 'ART1' AND ACCOUNT = '1435'");
    if (!rs.isEmpty()) {
        rs.remove();
        rs.apply(0, fails.callback());
    }
    EXPECT_GE(countRows(*conn, "nokey"), 1) << "one delete removed every identical row";
}

// After a successful apply the row in memory is taken as the row stored, and a
// later UPDATE finds it by those values. Columns filled by a DEFAULT and
// numbers rounded to the column's scale differ from what was set, so the
// second apply of a row the set itself inserted finds nothing.
TEST_F(RecordSetFaultTest, RowAfterApplyHoldsWhatTheDatabaseStored) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM K WHERE ID = 7");
    rs.append();
    rs.set("ID", Value(7));
    rs.set("NAME", Value("siete"));
    rs.set("AMT", Value(Decimal{12345, -4}));  // stored as 1.23
    rs.post();
    ASSERT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    EXPECT_EQ(rs.asText("STATUS"), "P");  // the DEFAULT, as now stored
    EXPECT_EQ(rs.asText("AMT"), "1.23");

    rs.edit();
    rs.set("NAME", Value("SIETE"));
    rs.post();
    EXPECT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    Query q(*conn);
    q.open("select name from k where id = 7");
    EXPECT_EQ(q.asText(0), "SIETE");
}

// Columns are written under the name the SELECT gave them; an alias is not a
// column of the table, and the refused prepare escapes apply as an exception
// instead of a counted failure.
TEST_F(RecordSetFaultTest, AliasedColumnIsWrittenUnderItsTableName) {
    RecordSet rs(*conn);
    rs.open("SELECT ID, NAME AS NOMBRE FROM K WHERE ID = 1");
    rs.edit();
    rs.set("NOMBRE", Value("otro"));
    rs.post();
    int failed = -1;
    EXPECT_NO_THROW(failed = rs.apply(0, fails.callback()));
    EXPECT_EQ(failed, 0) << fails.last();
    Query q(*conn);
    q.open("select name from k where id = 1");
    EXPECT_EQ(q.asText(0), "otro");
}

// A row appended with no value at all becomes "INSERT INTO T () VALUES ()",
// a syntax error thrown out of apply rather than the defaults of the table.
TEST_F(RecordSetFaultTest, AppendWithNoValueInsertsTheTableDefaults) {
    conn->execute("CREATE TABLE ALLDEF (A INTEGER DEFAULT 4, B CHAR(1) DEFAULT 'S')");
    RecordSet rs(*conn);
    rs.open("SELECT * FROM ALLDEF");
    rs.append();
    rs.post();
    int failed = -1;
    EXPECT_NO_THROW(failed = rs.apply(0, fails.callback()));
    EXPECT_EQ(failed, 0) << fails.last();
    EXPECT_EQ(countRows(*conn, "alldef where a = 4 and b = 'S'"), 1);
}

// The in-memory key check compares values by kind and content: a CHAR key read
// padded ("01 ") and the same key set without its blanks, or an integer key
// set from a decimal, slip through post and only fail at apply.
TEST_F(RecordSetFaultTest, PostDetectsDuplicateKeyWhateverTheValueKind) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM CK");
    rs.append();
    rs.set("COD", Value("01"));
    rs.set("NAME", Value("dup"));
    EXPECT_THROW(rs.post(), db::PostError) << "CHAR key without its padding";
    rs.cancel();

    rs.open("SELECT * FROM K");
    rs.append();
    rs.set("ID", Value(Decimal{100, -2}));  // 1.00, as a copy from a NUMERIC source
    EXPECT_THROW(rs.post(), db::PostError) << "integer key set as a decimal";
    rs.cancel();
}

// Text longer than its column must be refused by the database and reported,
// never cut to fit. The parameter length is kept in 16 bits, so a text of
// 70 000 bytes was sent as its first 4 464 bytes.
TEST_F(RecordSetFaultTest, TextLongerThanTheColumnIsRefusedNotTruncated) {
    conn->execute(
        "CREATE TABLE LONGT (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(8000), "
        "S VARCHAR(5))");
    RecordSet rs(*conn);
    rs.open("SELECT * FROM LONGT");
    rs.append();
    rs.set("ID", Value(1));
    rs.set("S", Value("ñññññ"));  // five characters, ten bytes: fits
    rs.post();
    rs.append();
    rs.set("ID", Value(2));
    rs.set("S", Value("abcdef"));
    rs.post();
    rs.append();
    rs.set("ID", Value(3));
    rs.set("V", Value(std::string(70000, 'x')));
    rs.post();
    EXPECT_EQ(rs.apply(-1, fails.callback()), 2);
    ASSERT_FALSE(fails.messages.empty());
    EXPECT_NE(fails.messages[0].find("truncation"), std::string::npos) << fails.messages[0];
    EXPECT_EQ(countRows(*conn, "longt where id = 1 and s = 'ñññññ'"), 1);
    EXPECT_EQ(countRows(*conn, "longt where id = 3"), 0) << "long text stored cut short";
}

// Every kind of value read must find its row again: CHAR padded to its
// length with multi-byte characters, binary floating point, times and
// timestamps with fractions, NUMERIC of each storage size with negative
// values, nulls.
TEST_F(RecordSetFaultTest, UpdateAndDeleteFindRowsByEveryKindOfValue) {
    conn->execute(
        "CREATE TABLE W (ID INTEGER NOT NULL PRIMARY KEY, C CHAR(4), CL CHAR(3) CHARACTER SET "
        "ISO8859_1, D DOUBLE PRECISION, F FLOAT, TM TIME, TS TIMESTAMP, N4 NUMERIC(4,2), "
        "N9 NUMERIC(9,3), N18 NUMERIC(18,4), DT DATE, V VARCHAR(10), NOTE VARCHAR(10))");
    conn->execute(
        "INSERT INTO W VALUES (1, 'ñ€', 'ñ', 0.1e0 + 0.2e0, 0.1, '13:14:15.1234', "
        "'2026-02-28 23:59:59.9999', -3.25, -0.001, -922337203685477.5807, '2026-01-31', '', "
        "NULL)");
    conn->execute("INSERT INTO W (ID) VALUES (2)");
    RecordSet rs(*conn);
    rs.open("SELECT * FROM W ORDER BY ID");
    EXPECT_EQ(rs.asText("C"), "ñ€  ");
    EXPECT_EQ(rs.asText("CL"), "ñ  ");
    EXPECT_EQ(rs.value("TM").time()->fraction, 1234);
    EXPECT_EQ(rs.value("TS").timestamp()->time.fraction, 9999);
    EXPECT_EQ(rs.asText("N4"), "-3.25");
    EXPECT_EQ(rs.asText("N9"), "-0.001");
    EXPECT_EQ(rs.asText("N18"), "-922337203685477.5807");
    EXPECT_FALSE(rs.value("V").isNull());
    EXPECT_TRUE(rs.value("NOTE").isNull());
    for (int pass = 0; pass < 2; ++pass) {
        rs.first();
        for (; !rs.eof(); rs.next()) {
            rs.edit();
            rs.set("NOTE", Value("n" + std::to_string(pass) + rs.asText("ID")));
            rs.post();
        }
        ASSERT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    }
    EXPECT_EQ(countRows(*conn, "w where note starting with 'n1'"), 2);
    rs.open("SELECT * FROM W ORDER BY ID");
    rs.remove();
    rs.remove();
    EXPECT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    EXPECT_EQ(countRows(*conn, "w"), 0);
}

// Empty BLOBs are empty, not null; large ones arrive whole; both survive a
// round trip through apply.
TEST_F(RecordSetFaultTest, BlobsOfNoBytesAndOfManySegmentsRoundTrip) {
    conn->execute(
        "CREATE TABLE BL (ID INTEGER NOT NULL PRIMARY KEY, T BLOB SUB_TYPE TEXT, "
        "B BLOB SUB_TYPE BINARY)");
    conn->execute("INSERT INTO BL VALUES (1, '', '')");
    std::string big;
    for (int i = 0; i < 40000; ++i) {
        big += "ñ";  // 80 000 bytes: a character split across segments
    }
    RecordSet rs(*conn);
    rs.open("SELECT * FROM BL");
    ASSERT_EQ(rs.rowCount(), 1);
    EXPECT_FALSE(rs.value("T").isNull());
    EXPECT_FALSE(rs.value("B").isNull());
    EXPECT_EQ(rs.asText("T"), "");
    rs.append();
    rs.set("ID", Value(2));
    rs.set("T", Value(big));
    rs.set("B", Value(db::Bytes{std::vector<unsigned char>(70000, 0xFF)}));
    rs.post();
    ASSERT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    Query q(*conn);
    q.open("select t, b, char_length(t), octet_length(b) from bl where id = 2");
    EXPECT_EQ(q.asText(0), big);
    ASSERT_NE(q.value(1).bytes(), nullptr);
    EXPECT_EQ(q.value(1).bytes()->data.size(), 70000u);
    EXPECT_EQ(q.asInt(2), 40000);
}

// cancel of an insert, remove while inserting, edit then remove, two edits of
// one row, insert then edit, and a failed apply followed by a second one:
// each change reaches the database once, none is lost.
TEST_F(RecordSetFaultTest, EditSequencesWriteEachChangeOnce) {
    Trace trace(*conn);
    RecordSet rs(*conn);
    rs.open("SELECT * FROM K ORDER BY ID");
    rs.append();
    rs.set("ID", Value(10));
    rs.cancel();  // never written
    rs.append();
    rs.set("ID", Value(11));
    rs.remove();  // removing the row being inserted drops it
    EXPECT_EQ(rs.rowCount(), 2);
    rs.first();
    rs.edit();
    rs.set("NAME", Value("a"));
    rs.post();
    rs.edit();
    rs.set("NAME", Value("b"));
    rs.post();  // two edits, one UPDATE from the values read
    rs.next();
    rs.edit();
    rs.set("NAME", Value("gone"));
    rs.post();
    rs.remove();  // edit then remove: one DELETE by the values read
    rs.append();
    rs.set("ID", Value(12));
    rs.post();
    rs.edit();
    rs.set("NAME", Value("doce"));
    rs.post();  // insert then edit: one INSERT
    rs.append();
    rs.set("ID", Value(13));
    rs.set("AMT4", Value(Decimal{-1, 0}));  // refused by the CHECK
    rs.post();
    EXPECT_EQ(rs.changeCount(), 4);
    EXPECT_EQ(rs.apply(-1, fails.callback()), 1);
    EXPECT_EQ(trace.count("UPDATE"), 1);
    EXPECT_EQ(trace.count("DELETE"), 1);
    EXPECT_EQ(trace.count("INSERT"), 2);
    EXPECT_EQ(rs.changeCount(), 1);  // only the refused row is still pending
    EXPECT_EQ(countRows(*conn, "k where id = 1 and name = 'b'"), 1);
    EXPECT_EQ(countRows(*conn, "k where id = 2"), 0);
    EXPECT_EQ(countRows(*conn, "k where id = 12 and name = 'doce'"), 1);
    EXPECT_EQ(countRows(*conn, "k where id in (10, 11, 13)"), 0);

    // Fix the refused row and apply again: only it is sent.
    rs.last();
    ASSERT_EQ(rs.asInt("ID"), 13);
    rs.edit();
    rs.set("AMT4", Value(Decimal{1, 0}));
    rs.post();
    trace.sent.clear();
    EXPECT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    ASSERT_EQ(trace.sent.size(), 1u);
    EXPECT_EQ(trace.count("INSERT"), 1);
    EXPECT_EQ(countRows(*conn, "k where id = 13"), 1);
    EXPECT_EQ(rs.changeCount(), 0);

    // A failure past maxErrors rolls back the rows written before it; they
    // stay pending and the next apply writes them once.
    rs.append();
    rs.set("ID", Value(14));
    rs.post();
    rs.append();
    rs.set("ID", Value(15));
    rs.set("AMT4", Value(Decimal{-1, 0}));
    rs.post();
    EXPECT_EQ(rs.apply(0, fails.callback()), 1);
    EXPECT_EQ(countRows(*conn, "k where id = 14"), 0);
    rs.remove();  // drop the refused row (current after the apply)
    EXPECT_EQ(rs.apply(0, fails.callback()), 0) << fails.last();
    EXPECT_EQ(countRows(*conn, "k where id in (14, 15)"), 1);
}

// Statements are cached per connection by text; after close and reopen (also
// on another database) the same text must be prepared again on the new
// attachment.
TEST_F(RecordSetFaultTest, StatementCacheIsPerAttachment) {
    auto insertRow = [&](int id) {
        RecordSet rs(*conn);
        rs.open("SELECT * FROM K WHERE ID < 0");
        rs.append();
        rs.set("ID", Value(id));
        rs.post();
        return rs.apply(0, fails.callback());
    };
    ASSERT_EQ(insertRow(20), 0) << fails.last();
    conn->close();
    conn->open();
    ASSERT_EQ(insertRow(21), 0) << fails.last();
    EXPECT_EQ(countRows(*conn, "k where id in (20, 21)"), 2);

    test::createDatabase(dir.file("other.fdb"),
                         "CREATE TABLE K (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), "
                         "STATUS CHAR(1), AMT NUMERIC(15,2), CODE CHAR(3), AMT4 NUMERIC(15,4))")
        ->close();
    conn->close();
    conn->setPath(dir.file("other.fdb"));
    conn->open();
    ASSERT_EQ(insertRow(22), 0) << fails.last();
    EXPECT_EQ(countRows(*conn, "k"), 1);
}

// The id generator views hand out a value per read through an ordinary query;
// procedures with outputs run through execute.
TEST_F(RecordSetFaultTest, GeneratorViewsAndProceduresRunThroughTheLayer) {
    conn->execute("CREATE SEQUENCE GEN_X");
    conn->execute("CREATE VIEW CAMBIE_ID_X (ID) AS SELECT NEXT VALUE FOR GEN_X FROM RDB$DATABASE");
    conn->execute(
        "CREATE PROCEDURE P (A INTEGER) RETURNS (B INTEGER) AS BEGIN "
        "UPDATE K SET NAME = 'p' WHERE ID = :A; B = A; END");
    Query q(*conn);
    q.open("select * from cambie_id_x");
    ASSERT_FALSE(q.isEmpty());
    const auto first = q.asInt(0);
    q.open("select * from cambie_id_x");
    EXPECT_EQ(q.asInt(0), first + 1);
    conn->execute("EXECUTE PROCEDURE P(1)");
    EXPECT_EQ(countRows(*conn, "k where id = 1 and name = 'p'"), 1);
}
