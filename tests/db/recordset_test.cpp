#include <gtest/gtest.h>

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

const char* kAllTypes =
    "CREATE TABLE ALLT (ID INTEGER NOT NULL PRIMARY KEY, S SMALLINT, I INTEGER, B BIGINT, "
    "N2 NUMERIC(15,2), N4 NUMERIC(15,4), N6 NUMERIC(18,6), D DOUBLE PRECISION, "
    "C CHAR(5), V VARCHAR(40), DT DATE, TM TIME, TS TIMESTAMP, "
    "TB BLOB SUB_TYPE TEXT, BB BLOB SUB_TYPE BINARY);";

struct Recorder {
    std::vector<std::string> messages;
    RecordSet::ErrorCallback callback() {
        return [this](const db::Error& e) { messages.push_back(e.message()); };
    }
};

class RecordSetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        conn = test::createDatabase(
            dir.file("r.fdb"),
            std::string(kAllTypes) +
                "CREATE TABLE DEF (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20) NOT NULL, "
                "STATUS CHAR(1) DEFAULT 'P', QTY NUMERIC(15,4) DEFAULT 1, "
                "AMT NUMERIC(15,2) CHECK (AMT IS NULL OR AMT >= 0));"
                "INSERT INTO DEF (ID, NAME) VALUES (1, 'uno');"
                "INSERT INTO DEF (ID, NAME) VALUES (2, 'dos');");
    }
    test::TempDir dir;
    std::unique_ptr<db::Connection> conn;
    Recorder rec;
};

std::vector<Value> sampleRow() {
    std::string bin;
    for (int i = 0; i < 256; ++i) {
        bin += static_cast<char>(i);
    }
    return {Value(7),
            Value(std::int64_t{-32768}),
            Value(std::int64_t{2147483647}),
            Value(std::int64_t{9007199254740993LL}),
            Value(Decimal{-1234567, -2}),
            Value(Decimal{123456789, -4}),
            Value(Decimal{-123456789012LL, -6}),
            Value(0.1 + 0.2),
            Value("ñá'b"),
            Value("Año \"nuevo\" 'citado', línea"),
            Value(Date{2026, 2, 28}),
            Value(Time{23, 59, 58, 1234}),
            Value(Timestamp{Date{1999, 12, 31}, Time{0, 0, 1, 0}}),
            Value(std::string("texto largo ") + std::string(70000, 'x')),
            Value(db::Bytes{std::vector<unsigned char>(bin.begin(), bin.end())})};
}

}  // namespace

TEST_F(RecordSetTest, EveryErpTypeRoundTripsThroughApply) {
    RecordSet rs(*conn);
    rs.open("select * from allt where id = 0");
    ASSERT_TRUE(rs.isEmpty());
    const auto row = sampleRow();
    rs.append();
    for (int i = 0; i < rs.columnCount(); ++i) {
        rs.set(i, row[static_cast<std::size_t>(i)]);
    }
    rs.post();
    rs.append();
    rs.set(0, Value(8));  // every other column null
    rs.post();
    ASSERT_EQ(rs.apply(0, rec.callback()), 0) << (rec.messages.empty() ? "" : rec.messages[0]);

    Query q(*conn);
    q.open("select * from allt order by id");
    ASSERT_EQ(q.rowCount(), 2);
    for (int i = 0; i < q.columnCount(); ++i) {
        const Value& expected = row[static_cast<std::size_t>(i)];
        if (i == 8) {  // CHAR(5) comes back padded to its length
            EXPECT_EQ(q.asText(i), "ñá'b ");
        } else {
            EXPECT_EQ(q.value(i), expected) << q.column(i).name << ": " << q.asText(i);
        }
    }
    q.next();
    for (int i = 1; i < q.columnCount(); ++i) {
        EXPECT_TRUE(q.isNull(i)) << q.column(i).name;
    }
}

TEST_F(RecordSetTest, CopyingByPositionThroughCurrencyRoundsToFourDecimals) {
    conn->execute("INSERT INTO ALLT (ID, N6) VALUES (1, 12.345678)");
    conn->execute("INSERT INTO ALLT (ID, N6) VALUES (2, 0.00005)");
    conn->execute("INSERT INTO ALLT (ID, N6) VALUES (3, -0.00005)");
    Query src(*conn);
    src.open("select * from allt order by id");
    RecordSet dst(*conn);
    dst.open("select * from allt where id < 0");
    for (; !src.eof(); src.next()) {
        dst.append();
        for (int i = 0; i < src.columnCount(); ++i) {
            if (src.column(i).isFixedPoint() && !src.isNull(i)) {
                dst.set(i, Value(src.asCurrency(i)));
            } else {
                dst.set(i, src.value(i));
            }
        }
        dst.set(0, Value(src.asInt(0) + 100));
        dst.post();
    }
    ASSERT_EQ(dst.apply(0, rec.callback()), 0);
    Query q(*conn);
    q.open("select n6 from allt where id > 100 order by id");
    EXPECT_EQ(q.asText(0), "12.3457");
    q.next();
    EXPECT_EQ(q.asText(0), "0.0001");
    q.next();
    EXPECT_EQ(q.asText(0), "-0.0001");
}

TEST_F(RecordSetTest, InsertLeavesUnnamedColumnsAtTheirDefault) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF WHERE ID = 3");
    rs.append();
    rs.set("ID", Value(3));
    rs.set("NAME", Value("tres"));
    rs.post();
    ASSERT_EQ(rs.apply(0, rec.callback()), 0);
    Query q(*conn);
    q.open("select status, qty from def where id = 3");
    EXPECT_EQ(q.asText(0), "P");
    EXPECT_EQ(q.asText(1), "1");
}

TEST_F(RecordSetTest, RefusedInsertReachesTheCallbackAndCountsOne) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF WHERE ID = 9");
    rs.append();
    rs.set("ID", Value(9));
    rs.set("NAME", Value("neg"));
    rs.set("AMT", Value(Decimal{-1, 0}));
    rs.post();
    EXPECT_EQ(rs.apply(0, rec.callback()), 1);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_NE(rec.messages[0].find("CHECK"), std::string::npos) << rec.messages[0];

    // A duplicate of a row the set did not read is refused by the database.
    rs.open("SELECT * FROM DEF WHERE ID = 9");
    rs.append();
    rs.set("ID", Value(1));
    rs.set("NAME", Value("again"));
    rs.post();
    EXPECT_EQ(rs.apply(0, rec.callback()), 1);
    ASSERT_EQ(rec.messages.size(), 2u);
    EXPECT_NE(rec.messages[1].find("PRIMARY or UNIQUE KEY"), std::string::npos);
    Query q(*conn);
    q.open("select count(*) from def");
    EXPECT_EQ(q.asInt(0), 2);
}

TEST_F(RecordSetTest, UpdateSetsOnlyChangedColumnsAndFindsTheRowByItsValues) {
    std::vector<std::string> sent;
    db::Connection::setTraceHook(
        [&](const db::Connection&, const std::string& sql) { sent.push_back(sql); });
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF WHERE ID = 1");
    rs.edit();
    rs.set("NAME", Value("UNO"));
    rs.post();
    EXPECT_EQ(rs.apply(0, rec.callback()), 0);
    db::Connection::setTraceHook(nullptr);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1],
              "UPDATE \"DEF\" SET \"NAME\" = ? WHERE \"ID\" = ? AND \"NAME\" = ? AND "
              "\"STATUS\" = ? AND \"QTY\" = ? AND \"AMT\" IS NULL ROWS 1 RETURNING \"ID\", "
              "\"NAME\", \"STATUS\", \"QTY\", \"AMT\"");
    Query q(*conn);
    q.open("select name from def where id = 1");
    EXPECT_EQ(q.asText(0), "UNO");
}

TEST_F(RecordSetTest, UpdateOfARowChangedByAnotherCountsAsFailedAndChangesNothing) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF WHERE ID = 2");
    conn->execute("UPDATE DEF SET STATUS = 'X' WHERE ID = 2");
    rs.edit();
    rs.set("NAME", Value("mine"));
    rs.post();
    EXPECT_EQ(rs.apply(0, rec.callback()), 1);
    ASSERT_EQ(rec.messages.size(), 1u);
    Query q(*conn);
    q.open("select name, status from def where id = 2");
    EXPECT_EQ(q.asText(0), "dos");
    EXPECT_EQ(q.asText(1), "X");
}

TEST_F(RecordSetTest, DeleteRemovesOnlyTheRowRead) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF ORDER BY ID");
    rs.remove();
    EXPECT_EQ(rs.asInt("ID"), 2);  // the next row becomes current
    EXPECT_EQ(rs.apply(0, rec.callback()), 0);
    Query q(*conn);
    q.open("select id from def");
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.asInt(0), 2);
    // Deleting a row that is already gone fails.
    rs.open("SELECT * FROM DEF");
    conn->execute("DELETE FROM DEF");
    rs.remove();
    EXPECT_EQ(rs.apply(0, rec.callback()), 1);
}

TEST_F(RecordSetTest, PostRefusesNullRequiredColumnsAndDuplicateKeys) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF");
    rs.append();
    rs.set("ID", Value(5));
    try {
        rs.post();
        FAIL();
    } catch (const db::PostError& e) {
        EXPECT_STREQ(e.what(), "Field 'NAME' must have a value");
    }
    rs.set("ID", Value(2));
    rs.set("NAME", Value("x"));
    try {
        rs.post();
        FAIL();
    } catch (const db::PostError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Key", 0), 0u) << e.what();
    }
    rs.cancel();
    EXPECT_EQ(rs.changeCount(), 0);
    EXPECT_EQ(rs.apply(0, rec.callback()), 0);
}

TEST_F(RecordSetTest, ApplyStopsAfterMaxErrorsAndRollsBack) {
    RecordSet rs(*conn);
    rs.open("SELECT * FROM DEF WHERE ID < 0");
    for (int id : {10, 11, 12}) {
        rs.append();
        rs.set("ID", Value(id));
        rs.set("NAME", Value("n"));
        rs.set("AMT", Value(Decimal{id == 10 ? -1 : 1, 0}));
        rs.post();
    }
    EXPECT_EQ(rs.apply(0, rec.callback()), 1);
    Query q(*conn);
    q.open("select count(*) from def where id >= 10");
    EXPECT_EQ(q.asInt(0), 0);  // nothing written: rolled back at the first failure
    EXPECT_EQ(rs.apply(-1, rec.callback()), 1);  // tolerate every failure: the others commit
    q.open("select count(*) from def where id >= 10");
    EXPECT_EQ(q.asInt(0), 2);
}

// A statement after a row sees the rows written before it and its own row,
// none after it, however the rows travel: in blocks of many rows, in a block
// of their own, or one statement each. A refused one fails its row's change
// with the database's words, in a block too.
TEST_F(RecordSetTest, AStatementAfterARowRunsRightAfterItInEveryWayOfWriting) {
    struct Way {
        const char* name;
        bool together, blocks;
        int texts;  // sent for five rows, two with a statement after them
    };
    for (const Way& way : {Way{"blocks", true, true, 1}, Way{"its own block", false, true, 5},
                           Way{"row by row", false, false, 7}}) {
        SCOPED_TRACE(way.name);
        conn->execute("delete from def where id >= 10");
        RecordSet::writeTogetherLocally(way.blocks);
        RecordSet rs(*conn);
        rs.open("SELECT * FROM DEF WHERE ID < 0");
        rs.setReadBack(false);
        rs.setWriteTogether(way.together);
        int texts = 0;
        db::Connection::setTraceHook([&](const db::Connection&, const std::string&) { ++texts; });
        for (int id = 10; id < 15; ++id) {
            rs.append();
            rs.set("ID", Value(id));
            rs.set("NAME", Value("n"));
            rs.post();
            if (id == 11 || id == 13) {
                EXPECT_TRUE(rs.runAfterRow(
                    "update def set qty = (select count(*) from def where id >= 10) where id = " +
                    std::to_string(id)));
            }
            if (!way.together) {
                EXPECT_EQ(rs.apply(0, rec.callback()), 0);
            }
        }
        EXPECT_EQ(rs.apply(0, rec.callback()), 0);
        db::Connection::setTraceHook({});
        EXPECT_EQ(texts, way.texts);
        EXPECT_FALSE(rs.runAfterRow("update def set qty = 0"));  // nothing pending to follow
        Query q(*conn);
        q.open("select list(id || ':' || qty, ' ') from def where id >= 10");
        EXPECT_EQ(q.asText(0), "10:1.0000 11:2.0000 12:1.0000 13:4.0000 14:1.0000");

        conn->execute("delete from def where id >= 10");
        rec.messages.clear();
        rs.open("SELECT * FROM DEF WHERE ID < 0");
        for (int id = 10; id < 13; ++id) {
            rs.append();
            rs.set("ID", Value(id));
            rs.set("NAME", Value("n"));
            rs.post();
            if (id == 11) {
                rs.runAfterRow("update def set amt = -1 where id = 11");
            }
        }
        EXPECT_EQ(rs.apply(0, rec.callback()), 1);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_NE(rec.messages[0].find("CHECK"), std::string::npos) << rec.messages[0];
        q.open("select count(*) from def where id >= 10");
        EXPECT_EQ(q.asInt(0), 0);
        RecordSet::writeTogetherLocally(false);
    }
}

TEST(TableAfterFrom, FindsTheTableNamedAfterFrom) {
    EXPECT_EQ(db::tableAfterFrom("SELECT * FROM ENTRADAS WHERE PREF_PRE = 'from x'"), "ENTRADAS");
    EXPECT_EQ(db::tableAfterFrom("select * from entradas_detalle where entr_id = 1"),
              "ENTRADAS_DETALLE");
    EXPECT_EQ(db::tableAfterFrom("select a.x_from from\n  tabla a"), "TABLA");
    EXPECT_EQ(db::tableAfterFrom("select 1"), "");
}
