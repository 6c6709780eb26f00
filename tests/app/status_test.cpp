// `replica status`: the figures it reports, that it only reads (one SELECT
// per database), and the program's JSON and exit statuses.

#include "app/status.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/db/query.h"
#include "engine/sql.h"
#include "tests/support/erp.h"
#include "tests/support/program.h"
#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

namespace fs = std::filesystem;

std::string daysAgo(int days) {
    return sqlDate(addDays(today(), -days));
}

// Seconds from "date time" (the machine's local time) to now.
std::int64_t secondsSince(const std::string& date, const std::string& time) {
    std::tm tm{};
    tm.tm_year = std::stoi(date.substr(0, 4)) - 1900;
    tm.tm_mon = std::stoi(date.substr(5, 2)) - 1;
    tm.tm_mday = std::stoi(date.substr(8, 2));
    tm.tm_hour = std::stoi(time.substr(0, 2));
    tm.tm_min = std::stoi(time.substr(3, 2));
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::difftime(std::time(nullptr), std::mktime(&tm)));
}

// Local company 001. Its REPLICA_COMPANIA: 002 active download source,
// 003 active, 005 active on a server that does not exist, 006 inactive;
// its events go to 002, 003, 004 (no row) and 006.
class Status : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::unique_ptr<db::Connection> local, s2, s3;

    void SetUp() override {
        for (const char* c : {"001", "002", "003"}) {
            fs::create_directories(dir.file("datos/") + c);
        }
        local = test::createCompany(path("001"));
        s2 = test::createCompany(path("002"));
        s3 = test::createCompany(path("003"));
        test::configureReplication(*local, {});
        addCompany("002", dir.path(), "S", "S");
        addCompany("003", dir.path(), "N", "S");
        addCompany("005", dir.file("apagado"), "N", "S");
        addCompany("006", dir.path(), "N", "N");
        addCompany("001", dir.path(), "N", "S");  // its own row: no destination

        addEvent(*local, "002", 11, daysAgo(3), "08:00:00", "I", "rechazado");
        addEvent(*local, "002", 11, daysAgo(1), "09:00:00");
        addEvent(*local, "002", 236, daysAgo(10), "08:00:00");      // never uploaded
        addEvent(*local, "002", 33, daysAgo(10), "08:00:00", "U");  // never uploaded
        addEvent(*local, "002", 33, daysAgo(2), "10:00:00");
        addEvent(*local, "003", 12, daysAgo(0), "00:00:00");
        addEvent(*local, "004", 11, daysAgo(1), "12:00:00");
        addEvent(*local, "006", 7, daysAgo(1), "12:00:00");
        local->execute(
            "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_FECREG, RPEV_HORAREG, "
            "RPEV_FECREP, RPEV_HORAREP, RPEV_OPER) values ('002', 11, CURRENT_DATE, "
            "CURRENT_TIME, CURRENT_DATE, CURRENT_TIME, 'I')");  // replicated

        addEvent(*s2, "001", 236, daysAgo(5), "07:30:00");  // the download takes every type
        addEvent(*s2, "001", 11, daysAgo(1), "10:00:00", "I", "sin artículo");
        addEvent(*s2, "009", 11, daysAgo(9), "10:00:00");   // for another company
        addEvent(*s3, "001", 236, daysAgo(8), "07:30:00");  // its agent never sends it
        addEvent(*s3, "001", 5, daysAgo(4), "06:00:00");
    }

    std::string path(const std::string& code) const {
        return dir.file("datos/" + code + "/norvale.fdb");
    }
    void addCompany(const std::string& code, const std::string& server, const std::string& erro,
                    const std::string& activa) {
        test::addPeer(*local,
                      {.code = code, .server = server, .active = activa, .downloadSource = erro});
    }
    static void addEvent(db::Connection& c, const std::string& company, int type,
                         const std::string& date, const std::string& time,
                         const std::string& oper = "I", const std::string& error = {}) {
        c.execute(
            "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_FECREG, RPEV_HORAREG, "
            "RPEV_OPER, RPEV_ERROR) values (" +
            Q(company) + ", " + sqlInt(type) + ", " + Q(date) + ", " + Q(time) + ", " + Q(oper) +
            ", " + (error.empty() ? std::string("null") : Q(error)) + ")");
    }
    // Everything the agent could change in a database, as text.
    static std::string contents(db::Connection& c) {
        std::string text;
        for (const char* sql :
             {"select * from REPLICA_EVENTOS order by RPEV_ID",
              "select * from REPLICA_COMPANIA order by RPCO_COD",
              "select * from CONFIGURACION order by CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD"}) {
            db::Query q(c);
            q.open(sql);
            for (q.first(); !q.eof(); q.next()) {
                for (int i = 0; i < q.columnCount(); ++i) {
                    text += (q.isNull(i) ? "<null>" : q.asText(i)) + "|";
                }
                text += "\n";
            }
        }
        return text;
    }
    CommandLine request() const {
        CommandLine cl;
        cl.command = CommandLine::Command::Status;
        cl.server = dir.path();
        cl.user = "sysdba";
        cl.company = "001";
        return cl;
    }
};

std::map<int, std::pair<std::int64_t, std::int64_t>> byType(const Backlog& b) {
    std::map<int, std::pair<std::int64_t, std::int64_t>> m;
    for (const TypeBacklog& t : b.byType) {
        m[t.type] = {t.pending, t.failed};
    }
    return m;
}

void expectOldest(const Backlog& b, const std::string& date, const std::string& time) {
    EXPECT_EQ(b.oldest, date + " " + time);
    ASSERT_TRUE(b.ageSeconds.has_value());
    EXPECT_NEAR(static_cast<double>(*b.ageSeconds), static_cast<double>(secondsSince(date, time)),
                120.0);
}

TEST_F(Status, CountsPendingAndFailedPerDestinationAndTypeAndOnlyReads) {
    const std::string before1 = contents(*local), before2 = contents(*s2), before3 = contents(*s3);
    std::map<std::string, std::vector<std::string>> sent;
    db::Connection::setTraceHook(
        [&](const db::Connection& c, const std::string& sql) { sent[c.path()].push_back(sql); });
    const StatusReport r = collectStatus(request());
    db::Connection::setTraceHook({});

    // One SELECT per database it could open.
    EXPECT_EQ(sent.size(), 3u);
    for (const auto& [database, texts] : sent) {
        SCOPED_TRACE(database);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].substr(0, 7), "select ");
    }
    EXPECT_EQ(before1, contents(*local));
    EXPECT_EQ(before2, contents(*s2));
    EXPECT_EQ(before3, contents(*s3));

    using Types = std::map<int, std::pair<std::int64_t, std::int64_t>>;
    ASSERT_TRUE(r.local.ok) << r.local.error;
    EXPECT_EQ(r.local.backlog.pending, 6);
    EXPECT_EQ(r.local.backlog.failed, 1);
    EXPECT_EQ(byType(r.local.backlog),
              (Types{{7, {1, 0}}, {11, {3, 1}}, {12, {1, 0}}, {33, {1, 0}}}));
    expectOldest(r.local.backlog, daysAgo(3), "08:00:00");

    ASSERT_EQ(r.destinations.size(), 5u);
    const DestinationStatus &d2 = r.destinations[0], &d3 = r.destinations[1],
                            &d4 = r.destinations[2], &d5 = r.destinations[3],
                            &d6 = r.destinations[4];
    EXPECT_EQ(d2.company, "002");
    EXPECT_TRUE(d2.hasServer);
    EXPECT_TRUE(d2.downloadSource);
    EXPECT_EQ(byType(d2.outgoing), (Types{{11, {2, 1}}, {33, {1, 0}}}));
    expectOldest(d2.outgoing, daysAgo(3), "08:00:00");
    ASSERT_TRUE(d2.incoming.ok) << d2.incoming.error;
    EXPECT_EQ(d2.incoming.path, path("002"));
    EXPECT_EQ(byType(d2.incoming.backlog), (Types{{11, {1, 1}}, {236, {1, 0}}}));
    expectOldest(d2.incoming.backlog, daysAgo(5), "07:30:00");

    EXPECT_EQ(d3.company, "003");
    EXPECT_FALSE(d3.downloadSource);
    EXPECT_EQ(byType(d3.outgoing), (Types{{12, {1, 0}}}));
    ASSERT_TRUE(d3.incoming.ok) << d3.incoming.error;
    EXPECT_EQ(byType(d3.incoming.backlog), (Types{{5, {1, 0}}}));
    expectOldest(d3.incoming.backlog, daysAgo(4), "06:00:00");

    EXPECT_EQ(d4.company, "004");
    EXPECT_FALSE(d4.hasServer);
    EXPECT_EQ(d4.outgoing.pending, 1);

    EXPECT_EQ(d5.company, "005");
    EXPECT_TRUE(d5.hasServer);
    EXPECT_EQ(d5.outgoing.pending, 0);
    EXPECT_FALSE(d5.incoming.ok);
    EXPECT_EQ(d5.incoming.error.rfind("No se pudo conectar con el servidor " + dir.file("apagado") +
                                          "/datos/005/norvale.fdb: ",
                                      0),
              0u)
        << d5.incoming.error;

    EXPECT_EQ(d6.company, "006");
    EXPECT_FALSE(d6.hasServer);  // inactive row
    EXPECT_EQ(d6.outgoing.pending, 1);

    EXPECT_EQ(r.exitStatus(), kStatusCannotConnect);
    const std::string text = statusText(r);
    for (const char* line : {"Compañía 004 (sin servidor activo)\n",
                             "  por recibir en 001: 2 pendientes, 1 con error, el más antiguo del ",
                             "    tipo 236: 1 pendientes, 0 con error\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    // Every line under a company is indented, 005's unreachable server's
    // message of several lines among them.
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);  // the title
    while (std::getline(lines, line)) {
        EXPECT_TRUE(line.rfind("Compañía ", 0) == 0 || line.rfind("Por enviar desde", 0) == 0 ||
                    line.rfind("  ", 0) == 0)
            << line << "\n"
            << text;
    }
}

TEST_F(Status, ProgramPrintsJsonAndTellsByItsExitStatus) {
    const std::string program = test::programPath();
    if (!fs::exists(program)) {
        GTEST_SKIP() << "program not built: " << program;
    }
    // The embedded engine gives a database to one process at a time.
    local.reset();
    s2.reset();
    s3.reset();
    auto change = [&](const std::string& code, const std::string& sql) {
        db::Connection c;
        c.setPath(path(code));
        c.setUserName("SYSDBA");
        c.open();
        c.execute(sql);
    };
    test::TempDir appDir;
    const std::string args =
        "status --json --server '" + dir.path() + "' --user sysdba --company 001";
    auto runJson = [&](int expectedStatus) {
        const test::ProgramResult r = test::runProgram(appDir.path(), args, dir.file("out.json"),
                                                       "REPLICA_PASSWORD=masterkey");
        EXPECT_EQ(r.status, expectedStatus) << r.output;
        QJsonParseError error;
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(r.output), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.output;
        EXPECT_EQ(doc.object()["exit_status"].toInt(), expectedStatus);
        return doc.object();
    };

    const QJsonObject all = runJson(kStatusCannotConnect);
    EXPECT_EQ(all["company"].toString(), "001");
    EXPECT_EQ(all["local"]["pending"].toInt(), 6);
    const QJsonArray destinations = all["destinations"].toArray();
    ASSERT_EQ(destinations.size(), 5);
    const QJsonObject d2 = destinations[0].toObject();
    EXPECT_EQ(d2["company"].toString(), "002");
    EXPECT_TRUE(d2["download_source"].toBool());
    EXPECT_EQ(d2["outgoing"]["failed"].toInt(), 1);
    EXPECT_EQ(d2["incoming"]["oldest_pending"].toString().toStdString(), daysAgo(5) + "T07:30:00");
    EXPECT_GT(d2["incoming"]["oldest_pending_age_seconds"].toInteger(), 4 * 86400);
    EXPECT_EQ(d2["incoming"]["by_type"][1]["type"].toInt(), 236);
    EXPECT_TRUE(destinations[2]["incoming"].isNull());  // 004: no server row
    EXPECT_FALSE(destinations[3]["incoming"]["ok"].toBool());

    // Without the server that is down, the failed events decide; without
    // them, all is well.
    change("001", "delete from REPLICA_COMPANIA where RPCO_COD = '005'");
    runJson(kStatusFailed);
    change("001", "update REPLICA_EVENTOS set RPEV_ERROR = null");
    change("002", "update REPLICA_EVENTOS set RPEV_ERROR = null");
    runJson(kStatusOk);

    // Nothing was written in the application directory.
    EXPECT_TRUE(fs::is_empty(appDir.path()));

    // A company database that cannot be opened.
    const test::ProgramResult missing = test::runProgram(
        appDir.path(), "status '" + dir.path() + "' sysdba masterkey 009", dir.file("out.txt"));
    EXPECT_EQ(missing.status, kStatusCannotConnect);
    EXPECT_NE(missing.output.find("No se pudo abrir la base de datos de la compañía 009 (" +
                                  path("009") + "): "),
              std::string::npos)
        << missing.output;
}

TEST(StatusAge, ReadsAsDaysHoursAndMinutes) {
    EXPECT_EQ(ageText(0), "0 s");
    EXPECT_EQ(ageText(59), "59 s");
    EXPECT_EQ(ageText(60), "1 min");
    EXPECT_EQ(ageText(3600), "1 h 0 min");
    EXPECT_EQ(ageText(2 * 86400 + 5 * 60), "2 d 0 h 5 min");
}

}  // namespace
}  // namespace replica::app
