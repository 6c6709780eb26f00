#include <gtest/gtest.h>

#include <cstdio>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "tests/support/tempdir.h"

using namespace replica;
using db::Query;

namespace {

class QueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        conn = test::createDatabase(dir.file("q.fdb"),
                                    "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, "
                                    "CODE CHAR(3), NAME VARCHAR(20), AMOUNT NUMERIC(15,2), "
                                    "RATE NUMERIC(15,4));"
                                    "INSERT INTO T VALUES (1, 'A', 'uno', 10.5, 1.2345);"
                                    "INSERT INTO T VALUES (2, 'ñá', 'dos', NULL, NULL);"
                                    "INSERT INTO T VALUES (3, 'C', 'O''Brien', -0.01, 0);");
    }
    test::TempDir dir;
    std::unique_ptr<db::Connection> conn;
};

}  // namespace

TEST_F(QueryTest, WalksASnapshotOfEveryRow) {
    Query q(*conn);
    q.open("select * from t order by id");
    ASSERT_EQ(q.rowCount(), 3);
    EXPECT_FALSE(q.isEmpty());
    EXPECT_EQ(q.asInt("ID"), 1);
    // Rows written after the open do not move the snapshot.
    conn->execute("INSERT INTO T (ID) VALUES (4)");
    int seen = 0;
    for (q.first(); !q.eof(); q.next()) {
        ++seen;
    }
    EXPECT_EQ(seen, 3);
    q.last();
    EXPECT_EQ(q.asText("name"), "O'Brien");
    q.open("select * from t where id < 0");
    EXPECT_TRUE(q.isEmpty());
    EXPECT_TRUE(q.eof());
}

TEST_F(QueryTest, DescribesColumnsWithTypeScaleRequiredAndKey) {
    Query q(*conn);
    q.open("select * from t");
    ASSERT_EQ(q.columnCount(), 5);
    EXPECT_EQ(q.column(0).name, "ID");
    EXPECT_TRUE(q.column(0).required);
    EXPECT_TRUE(q.column(0).inKey);
    EXPECT_FALSE(q.column(1).required);
    EXPECT_FALSE(q.column(1).inKey);
    EXPECT_EQ(q.column(1).type, db::ColumnType::Char);
    EXPECT_EQ(q.column(1).length, 3);
    EXPECT_EQ(q.column(2).length, 20);
    EXPECT_TRUE(q.column(3).isFixedPoint());
    EXPECT_EQ(q.column(3).scale, -2);
    EXPECT_EQ(q.column(4).scale, -4);
    EXPECT_EQ(q.indexOf("rate"), 4);
    EXPECT_EQ(q.indexOf("nope"), -1);
}

TEST_F(QueryTest, CharKeepsItsBlanksAndAccentedCharacters) {
    Query q(*conn);
    q.open("select code, amount, rate from t order by id");
    EXPECT_EQ(q.asText(0), "A  ");
    EXPECT_EQ(q.asText(1), "10.5");
    EXPECT_EQ(q.asCurrency(2).raw(), 12345);
    q.next();
    EXPECT_EQ(q.asText(0), "ñá ");
    EXPECT_TRUE(q.isNull(1));
}

TEST_F(QueryTest, ErrorsCarryTheDatabaseMessage) {
    Query q(*conn);
    try {
        q.open("select * from no_such_table");
        FAIL() << "no error";
    } catch (const db::Error& e) {
        EXPECT_NE(e.message().find("NO_SUCH_TABLE"), std::string::npos) << e.message();
        EXPECT_EQ(e.sql(), "select * from no_such_table");
    }
    EXPECT_FALSE(q.isOpen());
    try {
        conn->execute("INSERT INTO T (ID) VALUES (1)");
        FAIL() << "no error";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.kind(), db::ErrorKind::Constraint);
        EXPECT_NE(e.message().find("PRIMARY or UNIQUE KEY"), std::string::npos) << e.message();
    }
    EXPECT_THROW(conn->execute("SELEC oops"), db::Error);
}

TEST(Connection, MissingDatabaseGivesAConnectionError) {
    test::TempDir dir;
    db::Connection c;
    c.setPath(dir.file("absent/none.fdb"));
    c.setUserName("SYSDBA");
    try {
        c.open();
        FAIL() << "opened a missing file";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.kind(), db::ErrorKind::Connection);
        EXPECT_FALSE(e.message().empty());
    }
    EXPECT_FALSE(c.isOpen());
}

// A local directory needs the engine plugin and a Providers setting that
// enables it; the machine the tests run on has both (they open files).
TEST(Connection, EmbeddedEngineMissingNamesWhatLacks) {
    EXPECT_EQ(db::embeddedEngineMissing(), "");
    test::TempDir dir;
    EXPECT_EQ(db::embeddedEngineMissing(dir.path(), "Remote, Engine12, Loopback"),
              "falta " + dir.path() + "/libEngine12.so");
    std::FILE* plugin = std::fopen(dir.file("libEngine12.so").c_str(), "w");
    ASSERT_NE(plugin, nullptr);
    std::fclose(plugin);
    EXPECT_EQ(db::embeddedEngineMissing(dir.path(), "Remote, Engine12, Loopback"), "");
    EXPECT_EQ(db::embeddedEngineMissing(dir.path(), "Remote,Loopback"),
              "Providers de firebird.conf no incluye Engine12 (Remote,Loopback)");
}

TEST(Connection, TraceHookSeesEveryTextWithItsConnection) {
    test::TempDir dir;
    auto conn = test::createDatabase(dir.file("t.fdb"), "CREATE TABLE X (A INTEGER)");
    std::vector<std::string> seen;
    db::Connection::setTraceHook([&](const db::Connection& c, const std::string& sql) {
        if (&c == conn.get()) {
            seen.push_back(sql);
        }
    });
    conn->execute("INSERT INTO X VALUES (1)");
    Query q(*conn);
    q.open("select a from x");
    db::Connection::setTraceHook(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "INSERT INTO X VALUES (1)");
    EXPECT_EQ(seen[1], "select a from x");
}

// Units of work one after another on one connection (the transaction of one
// taken up by the next): each commits or takes back only its own rows, holds
// nothing once ended, and the connection still says goodbye cleanly.
TEST_F(QueryTest, UnitsOfWorkInARowEachEndOnTheirOwn) {
    const auto count = [](db::Connection& c, const std::string& sql) {
        Query q(c);
        q.open(sql);
        return q.asInt(0);
    };
    {
        db::UnitOfWork first(*conn);
        conn->execute("INSERT INTO T (ID) VALUES (10)");
        first.commit();
    }
    {
        db::UnitOfWork taken(*conn);
        conn->execute("INSERT INTO T (ID) VALUES (11)");
    }  // rolled back
    {
        db::UnitOfWork noWait(*conn, db::Connection::Locks::NoWait);
        conn->execute("UPDATE T SET NAME = 'diez' WHERE ID = 10");
        noWait.commit();
    }
    auto other = test::openDatabase(dir.file("q.fdb"));
    EXPECT_EQ(count(*other, "select count(*) from T where ID in (10, 11)"), 1);
    EXPECT_EQ(count(*other, "select count(*) from T where NAME = 'diez'"), 1);
    // No lock is left behind: another transaction changes the row at once.
    {
        db::UnitOfWork elsewhere(*other, db::Connection::Locks::NoWait);
        other->execute("UPDATE T SET NAME = 'otra' WHERE ID = 10");
        elsewhere.commit();
    }
    conn->close();
    EXPECT_EQ(count(*other, "select count(*) from MON$ATTACHMENTS where MON$SYSTEM_FLAG = 0"), 1);
    conn->open();
    db::UnitOfWork again(*conn);
    conn->execute("INSERT INTO T (ID) VALUES (12)");
    again.commit();
    EXPECT_EQ(count(*other, "select count(*) from T where ID = 12"), 1);
}
