// Whole documents send a document's lines together, in a few blocks instead
// of one exchange per line; what reaches the destinations must be exactly
// what the row-by-row run writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/console_operator.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/logs.h"
#include "engine/rundriver.h"
#include "families/all.h"
#include "tests/support/tempdir.h"

namespace replica {
namespace {

// Every row of every table of the company but the event queue, sorted, as
// text; times of day left out (the ERP's procedures stamp them, and the
// event queue its completions).
std::string everyRow(const std::string& path, const std::string& installation) {
    auto c = test::openDatabase(path);
    std::vector<std::string> tables;
    db::Query list(*c);
    list.open(
        "select trim(rdb$relation_name) from rdb$relations where coalesce(rdb$system_flag, 0) = 0 "
        "and rdb$view_blr is null and rdb$relation_name <> 'REPLICA_EVENTOS' order by 1");
    for (; !list.eof(); list.next()) {
        tables.push_back(list.asText(0));
    }
    std::string out;
    for (const std::string& table : tables) {
        db::Query q(*c);
        q.open("select * from " + table);
        std::vector<std::string> rows;
        for (; !q.eof(); q.next()) {
            std::string row = table + ":";
            for (int i = 0; i < q.columnCount(); ++i) {
                const db::ColumnType type = q.column(i).type;
                std::string text = q.isNull(i) ? std::string("<null>") : q.asText(i);
                if (const std::size_t at = text.find(installation); at != std::string::npos) {
                    text.replace(at, installation.size(), "<installation>");
                }
                if (type != db::ColumnType::Time && type != db::ColumnType::Timestamp) {
                    row += text + "|";
                }
            }
            rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end());
        for (const std::string& row : rows) {
            out += row + "\n";
        }
    }
    return out;
}

struct Replicated {
    std::string rows;  // every company's, after the run
    int completed = 0;
    int statements = 0;  // texts sent to any database during the run
    int joined = 0;      // of them, blocks that also ran a statement after a line
};

// One installation's run of the same simulated activity, both directions.
Replicated replicated(bool wholeDocuments) {
    Replicated r;
    test::TempDir dir;
    demo::InstallationOptions options;
    options.forcedWrites = false;
    demo::buildInstallation(dir.path(), options);
    for (const auto& [code, seed] : {std::pair{"002", 5u}, std::pair{"001", 6u}}) {
        auto company = test::openDatabase(demo::companyPath(dir.path(), code));
        company->execute("delete from REPLICA_EVENTOS");
        demo::SimulationOptions sim;
        sim.seed = seed;
        sim.documents = 40;
        sim.masters = 4;
        // More lines than one block carries, so a document takes two.
        sim.linesPerDocument = 18;
        sim.updates = 4;
        sim.annulments = 2;
        sim.deletions = 2;
        demo::simulate(*company, sim);
    }
    std::ostream quiet(nullptr);
    RunInputs inputs;
    inputs.companyCode = "001";
    inputs.downloadCount = "100000";
    inputs.uploadCount = "100000";
    inputs.frequency = "5";
    inputs.atomicDocuments = wholeDocuments;
    ConsoleOperator op(inputs, quiet);
    const std::string path = dir.path();
    Logs logs([path] { return path; });
    const Catalogue catalogue = families::catalogue();
    auto local = test::openDatabase(demo::companyPath(path, "001"));
    RunDriver driver(op, logs, catalogue, *local);
    db::Connection::setTraceHook([&r](const db::Connection&, const std::string& sql) {
        ++r.statements;
        r.joined += sql.find("EXECUTE STATEMENT") != std::string::npos ? 1 : 0;
    });
    const RunReport report = driver.run();
    db::Connection::setTraceHook({});
    EXPECT_TRUE(report.finished) << op.lastError();
    r.completed = report.completed;
    local->close();
    for (const char* code : {"001", "002", "003"}) {
        r.rows += everyRow(demo::companyPath(path, code), path);
    }
    return r;
}

TEST(WholeDocuments, LeaveEveryCompanyRowForRowAsTheRowByRowRunDoes) {
    const Replicated byRow = replicated(false);
    // The companies are local files here; the blocks are what a server is
    // sent.
    db::RecordSet::writeTogetherLocally(true);
    const Replicated whole = replicated(true);
    db::RecordSet::writeTogetherLocally(false);
    EXPECT_GT(byRow.completed, 40);
    EXPECT_EQ(whole.completed, byRow.completed);
    // The lines went together: a block the database refused would have been
    // sent again row by row, the same rows in the end but no fewer texts.
    EXPECT_LT(whole.statements * 2, byRow.statements);
    // The invoices' returned-line marks went inside the blocks.
    EXPECT_GT(whole.joined, 0);
    const std::string& expected = byRow.rows;
    const std::string& got = whole.rows;
    if (got != expected) {
        // The first row that differs, rather than two dumps of thousands.
        const auto [a, b] = std::mismatch(expected.begin(), expected.end(), got.begin(), got.end());
        const auto lineOf = [](const std::string& s, std::string::const_iterator at) {
            const std::size_t pos = static_cast<std::size_t>(at - s.begin());
            const std::size_t from = s.rfind('\n', pos);
            const std::size_t start = from == std::string::npos ? 0 : from + 1;
            return s.substr(start, s.find('\n', pos) - start);
        };
        ADD_FAILURE() << "row by row:      " << lineOf(expected, a)
                      << "\nwhole documents: " << lineOf(got, b);
    }
}

}  // namespace
}  // namespace replica
