#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "demo/script.h"
#include "engine/catalogue.h"
#include "engine/db/query.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {

struct ColumnFact {
    int position;
    bool notNull;
};

// TABLE -> COLUMN -> position and nullability, from the system tables.
std::map<std::string, std::map<std::string, ColumnFact>> columnsOf(db::Connection& c) {
    db::Query q(c);
    q.open(
        "SELECT TRIM(rf.RDB$RELATION_NAME), TRIM(rf.RDB$FIELD_NAME), rf.RDB$FIELD_POSITION, "
        "COALESCE(rf.RDB$NULL_FLAG, f.RDB$NULL_FLAG, 0) FROM RDB$RELATION_FIELDS rf JOIN "
        "RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE JOIN RDB$RELATIONS r ON "
        "r.RDB$RELATION_NAME = rf.RDB$RELATION_NAME WHERE COALESCE(r.RDB$SYSTEM_FLAG, 0) = 0");
    std::map<std::string, std::map<std::string, ColumnFact>> out;
    for (; !q.eof(); q.next()) {
        out[q.asText(0)][q.asText(1)] = ColumnFact{static_cast<int>(q.asInt(2)), q.asInt(3) != 0};
    }
    return out;
}

std::string upper(std::string s) {
    for (char& ch : s) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return s;
}

}  // namespace

TEST(Schema, EveryIdGeneratorViewGivesAFreshIdOnEveryRead) {
    test::TempDir dir;
    auto c = test::createCompany(dir.file("c.fdb"));
    db::Query views(*c);
    views.open(
        "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NOT NULL "
        "AND RDB$RELATION_NAME STARTING WITH 'CAMBIE_ID_'");
    ASSERT_GT(views.rowCount(), 30);
    db::Query q(*c);
    for (; !views.eof(); views.next()) {
        const std::string view = views.asText(0);
        q.open("select * from " + view);
        ASSERT_EQ(q.rowCount(), 1) << view;
        const auto first = q.asInt(0);
        q.open("select * from " + view);
        EXPECT_NE(q.asInt(0), first) << view;
    }
}

TEST(Schema, ColumnsTheAgentAddressesSitWhereTheContractSays) {
    test::TempDir dir;
    auto c = test::createCompany(dir.file("c.fdb"));
    const auto cols = columnsOf(*c);
    int checked = 0;
    const std::string contractDir = std::string(REPLICA_DEMO_SQL_DIR) + "/contract";
    for (const auto& entry : std::filesystem::directory_iterator(contractDir)) {
        std::ifstream in(entry.path());
        std::string line;
        int lineNo = 0;
        while (std::getline(in, line)) {
            ++lineNo;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty() || line[0] == '#') {
                continue;
            }
            std::istringstream fields(line);
            std::string table, where, column;
            std::getline(fields, table, '\t');
            std::getline(fields, where, '\t');
            std::getline(fields, column, '\t');
            const std::string at = entry.path().filename().string() + ":" + std::to_string(lineNo);
            table = upper(table);
            column = upper(column);
            auto t = cols.find(table);
            ASSERT_NE(t, cols.end()) << at << ": no table " << table;
            auto col = t->second.find(column);
            ASSERT_NE(col, t->second.end()) << at << ": no column " << table << "." << column;
            if (where == "NOTNULL") {
                EXPECT_TRUE(col->second.notNull) << at << ": " << table << "." << column;
            } else if (where != "-") {
                EXPECT_EQ(col->second.position, std::stoi(where))
                    << at << ": " << table << "." << column;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

TEST(Schema, TwoCompanyDatabasesHaveTheSameColumnsInTheSameOrder) {
    test::TempDir dir;
    auto a = test::createCompany(dir.file("a.fdb"));
    // The second one is loaded from the scripts, not copied from the template.
    auto b = test::createDatabase(dir.file("b.fdb"));
    demo::loadSchema(*b, REPLICA_DEMO_SQL_DIR, "company");
    EXPECT_EQ(columnsOf(*a).size(), columnsOf(*b).size());
    const auto ca = columnsOf(*a);
    const auto cb = columnsOf(*b);
    for (const auto& [table, columns] : ca) {
        auto t = cb.find(table);
        ASSERT_NE(t, cb.end()) << table;
        for (const auto& [name, fact] : columns) {
            auto col = t->second.find(name);
            ASSERT_NE(col, t->second.end()) << table << "." << name;
            EXPECT_EQ(col->second.position, fact.position) << table << "." << name;
        }
    }
}

TEST(Schema, EveryReferenceLookupRunsOnACompanyDatabase) {
    test::TempDir dir;
    auto c = test::createCompany(dir.file("c.fdb"));
    int run = 0;
    for (int code = 1; code < 300; ++code) {
        const std::string sql = referenceSql(code, "P'1", "0001");
        if (sql.empty()) {
            continue;
        }
        db::Query q(*c);
        EXPECT_NO_THROW(q.open(sql)) << sql;
        ++run;
    }
    EXPECT_EQ(run, 46);
}
