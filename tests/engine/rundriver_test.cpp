#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/catalogue.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/db/rowlock.h"
#include "engine/eventloop.h"
#include "engine/rundriver.h"
#include "engine/sql.h"
#include "tests/support/erp.h"
#include "tests/support/recording_operator.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {

struct Sent {
    std::string path;
    std::string sql;
};

std::string daysAgo(int days) {
    return sqlDate(addDays(today(), -days));
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Local company 001 and its server companies 002 and 003, all under one
// temporary folder that serves as the server text and the application
// directory.
class RunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* code : {"001", "002", "003"}) {
            std::filesystem::create_directories(dir.path() + "/datos/" + code);
        }
        local = test::createCompany(path("001"));
        s2 = test::createCompany(path("002"));
        local->execute(
            "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
            "VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO PARA REPLICACION DE "
            "ARTICULOS', 'SYSDBA')");
        local->execute(
            "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
            "VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO PARA REPLICACION DE "
            "ARTICULOS', 'masterkey')");
        addCompany("002", dir.path(), "S");
        op.fields.companyCode = "001";
        op.fields.downloadCount = "100";
        op.fields.uploadCount = "100";
        op.fields.frequency = "1";
        driver = std::make_unique<RunDriver>(op, logs, catalogue, *local);
        db::Connection::setTraceHook([this](const db::Connection& c, const std::string& sql) {
            sent.push_back({c.path(), sql});
        });
    }
    void TearDown() override { db::Connection::setTraceHook({}); }

    std::string path(const std::string& code) const {
        return dir.path() + "/datos/" + code + "/norvale.fdb";
    }
    void addCompany(const std::string& code, const std::string& server, const std::string& erro,
                    const std::string& activa = "S") {
        local->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
            "RPCO_ACTIVA) VALUES (" +
            Q(code) + ", 'Compania', " + Q(server) + ", " + Q(erro) + ", " + Q(activa) + ")");
    }
    static void addEvent(db::Connection& c, int id, const std::string& company, int type,
                         const std::string& oper = "I", const std::string& pref = "",
                         const std::string& fecreg = daysAgo(1),
                         const std::string& horareg = "10:00:00", const std::string& extra = "") {
        c.execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG" +
            std::string(extra.empty() ? "" : ", RPEV_ERROR") + ") VALUES (" + sqlInt(id) + ", " +
            Q(company) + ", " + sqlInt(type) + ", " + Q(oper) + ", " + Q(pref) + ", '" +
            std::to_string(id) + "', 'C" + std::to_string(id) + "', " + Q(fecreg) + ", " +
            Q(horareg) + (extra.empty() ? "" : ", " + Q(extra)) + ")");
    }
    // "date|time|error" of an event, "pending" fields empty.
    static std::string state(db::Connection& c, int id) {
        db::Query q(c);
        q.open(
            "select RPEV_FECREP, RPEV_HORAREP, RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID = " +
            sqlInt(id));
        if (q.isEmpty()) {
            return "deleted";
        }
        return q.asText(0) + "|" + (q.isNull(1) ? "" : "t") + "|" + q.asText(2);
    }
    static std::string replicated() { return sqlDate(today()) + "|t|"; }
    bool wasSent(const std::string& sql) const {
        return std::any_of(sent.begin(), sent.end(), [&](const Sent& s) { return s.sql == sql; });
    }
    RunReport run() {
        sent.clear();
        return driver->run();
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> local;
    std::unique_ptr<db::Connection> s2;
    std::vector<Sent> sent;
    test::RecordingOperator op;
    Logs logs{[this] { return dir.path(); }};
    Catalogue catalogue = Catalogue::listed();
    std::unique_ptr<RunDriver> driver;
};

TEST_F(RunTest, WholeRunMarksUnknownCodesAndLeavesUnbuiltOnesPending) {
    addEvent(*s2, 1, "001", 999);
    addEvent(*s2, 2, "001", 236);
    addEvent(*s2, 3, "001", 11);   // listed, no handler yet
    addEvent(*s2, 4, "003", 999);  // addressed to another company
    addEvent(*local, 10, "002", 999);
    addEvent(*local, 11, "002", 236);
    addEvent(*local, 12, "002", 33, "U");
    addEvent(*local, 13, "002", 33, "I");

    const RunReport r = run();
    EXPECT_FALSE(local->isOpen());  // closed after each destination
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(state(*s2, 1), replicated());
    EXPECT_EQ(state(*s2, 2), replicated());
    EXPECT_EQ(state(*s2, 3), "||Tipo de evento sin manejador");
    EXPECT_EQ(state(*s2, 4), "||");
    EXPECT_EQ(state(*local, 10), replicated());
    EXPECT_EQ(state(*local, 11), "||");
    EXPECT_EQ(state(*local, 12), "||");
    EXPECT_EQ(state(*local, 13), "||Tipo de evento sin manejador");
    EXPECT_EQ(r.handled, 5);
    EXPECT_EQ(r.completed, 3);
    EXPECT_EQ(r.failed, 2);

    EXPECT_EQ(op.captions,
              (std::vector<std::string>{
                  "Borrando información procesada...", "Descargando información del servidor ...",
                  "Enviando información al servidor 002", "Borrando información procesada..."}));
    EXPECT_EQ(op.eventLines.front(), "999,I,1,C1");
    EXPECT_FALSE(op.progressVisible);
    EXPECT_FALSE(op.eventLineVisible);
    EXPECT_TRUE(op.timerRunning);
    EXPECT_EQ(op.timerInterval, 60000);
    EXPECT_EQ(op.lastSend.substr(0, 13), sqlDate(today()) + " - ");
    EXPECT_EQ(lineCount(test::slurp(dir.file("ENVIO.TXT"))), 5);
}

TEST_F(RunTest, StatementsAreSentAsTheErpAlwaysWroteThem) {
    addEvent(*s2, 1, "001", 999);
    addEvent(*local, 10, "002", 999);
    op.fields.skipErrors = true;
    run();
    const std::string d = Q(daysAgo(7));
    const std::vector<std::string> expected = {
        "SELECT FIRST 1 RPEV_ID, RPEV_FECREP, RPEV_HORAREP FROM replica_eventos ORDER BY "
        "RPEV_FECREP DESC, RPEV_HORAREP DESC",
        "delete from replica_eventos r WHERE (R.rpev_fecrep IS NOT NULL) AND (R.rpev_fecrep < " +
            d + ")",
        "delete from replica_eventos r WHERE R.rpev_TIPO = 33 AND R.RPEV_OPER = 'U' AND "
        "(R.rpev_fecrep IS NULL) AND (R.RPEV_ERROR IS NOT NULL) AND (R.rpev_fecreg < " +
            d + ")",
        "select first 1 rpco_servidor, rpco_cod from replica_compania r WHERE rpco_activa = 'S' "
        "AND RPCO_ERRO = 'S'",
        "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
        "conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA REPLICACION "
        "DE ARTICULOS'",
        "select first 100 * from replica_eventos where rpev_fecrep is null and rpev_compania = "
        "'001' AND RPEV_ERROR IS NULL order by rpev_fecreg, rpev_horareg",
        "select distinct r.rpev_compania from replica_eventos r WHERE RPEV_COMPANIA <> '' AND "
        "(R.rpev_fecrep IS NULL)",
        "select RPCO_SERVIDOR from REPLICA_COMPANIA where RPCO_COD = '002' AND RPCO_ACTIVA = 'S'",
        "select first 100 * from replica_eventos where (rpev_tipo <> 236) and ((rpev_tipo <> 33) "
        "OR (RPEV_OPER <> 'U')) and rpev_fecrep is null and rpev_compania = '002' AND RPEV_ERROR "
        "IS NULL order by rpev_fecreg, rpev_horareg",
    };
    for (const std::string& sql : expected) {
        EXPECT_TRUE(wasSent(sql)) << sql;
    }
    // The download event is read and marked on the server, the upload one
    // on the local database.
    const std::string mark1 =
        "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(sqlDate(today())) + ", RPEV_HORAREP = ";
    int marks = 0;
    for (const Sent& s : sent) {
        if (s.sql.rfind(mark1, 0) == 0) {
            ++marks;
            const bool download = s.sql.ends_with(" where RPEV_ID = 1 AND RPEV_FECREP IS NULL");
            EXPECT_EQ(s.path, download ? path("002") : path("001")) << s.sql;
        }
    }
    EXPECT_EQ(marks, 2);
    EXPECT_NE(test::slurp(dir.file("ENVIO.TXT")).find(",10,999,10C10," + expected.back() + "\n"),
              std::string::npos);

    // Retrying errors: the events without an error as the count says, and
    // the failed ones in a turn of their own.
    op.fields.newestFirst = true;
    op.fields.skipErrors = false;
    op.fields.uploadCount = "7";
    addEvent(*local, 11, "002", 999);
    run();
    EXPECT_TRUE(wasSent(
        "select first 7 * from replica_eventos where (rpev_tipo <> 236) and ((rpev_tipo <> 33) "
        "OR (RPEV_OPER <> 'U')) AND rpev_fecrep is null and rpev_compania = '002' AND RPEV_ERROR "
        "IS NULL order by rpev_fecreg desc, rpev_horareg desc"));
    EXPECT_TRUE(wasSent(
        "select first 7 * from replica_eventos where (rpev_tipo <> 236) and ((rpev_tipo <> 33) "
        "OR (RPEV_OPER <> 'U')) AND rpev_fecrep is null and rpev_compania = '002' AND RPEV_ERROR "
        "IS NOT NULL order by rpev_fecreg desc, rpev_horareg desc"));
    // Each event is claimed in the database it is marked in.
    EXPECT_TRUE(
        wasSent("SELECT RPEV_ID, (SELECT RPEV_FECREP FROM REPLICA_EVENTOS WHERE RPEV_ID = 11) "
                "FROM REPLICA_EVENTOS WHERE RPEV_ID = 11 AND RPEV_FECREP IS NULL WITH LOCK"));
}

class CountAndOrderTest : public RunTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CountAndOrderTest, OnlyTheCountOldestOrNewestAreHandled) {
    const bool newest = GetParam();
    for (int i = 1; i <= 12; ++i) {
        addEvent(*s2, i, "001", 999, "I", "", daysAgo(20 - i), "08:00:00");
    }
    op.fields.downloadCount = "5";
    op.fields.newestFirst = newest;
    EXPECT_EQ(run().completed, 5);
    for (int i = 1; i <= 12; ++i) {
        const bool chosen = newest ? i > 7 : i <= 5;
        EXPECT_EQ(state(*s2, i), chosen ? replicated() : "||") << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Order, CountAndOrderTest, ::testing::Bool());

TEST_F(RunTest, NoReintentarErroresLeavesFailedEventsAlone) {
    addEvent(*s2, 1, "001", 999, "I", "", daysAgo(2), "10:00:00", "old failure");
    addEvent(*s2, 2, "001", 999);
    op.fields.skipErrors = true;
    run();
    EXPECT_EQ(state(*s2, 1), "||old failure");
    EXPECT_EQ(state(*s2, 2), replicated());

    // Retried without the option; the old text stays on the replicated event.
    op.fields.skipErrors = false;
    run();
    EXPECT_EQ(state(*s2, 1), sqlDate(today()) + "|t|old failure");
}

TEST_F(RunTest, UploadPrefixFilterSkipsOtherPrefixesButAuditsThem) {
    addEvent(*local, 1, "002", 999, "I", "A");
    addEvent(*local, 2, "002", 999, "I", "B");
    addEvent(*local, 3, "002", 999, "I", "");
    addEvent(*s2, 4, "001", 999, "I", "B");  // downloads are never filtered
    op.fields.prefix = "A";
    const RunReport r = run();
    EXPECT_EQ(state(*local, 1), replicated());
    EXPECT_EQ(state(*local, 2), "||");
    EXPECT_EQ(state(*local, 3), replicated());
    EXPECT_EQ(state(*s2, 4), replicated());
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.handled, 3);
    EXPECT_EQ(lineCount(test::slurp(dir.file("ENVIO.TXT"))), 4);
}

TEST_F(RunTest, CleanupDeletesOnlyOldReplicatedAndOldFailedReturns) {
    local->execute("UPDATE REPLICA_COMPANIA SET RPCO_ACTIVA = 'N'");  // no server at all
    addEvent(*local, 1, "002", 999);
    addEvent(*local, 2, "002", 999);
    local->execute("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(daysAgo(8)) +
                   ", RPEV_HORAREP = '10:00:00' where RPEV_ID = 1");
    local->execute("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(daysAgo(6)) +
                   ", RPEV_HORAREP = '10:00:00' where RPEV_ID = 2");
    addEvent(*local, 3, "002", 999, "I", "", daysAgo(30));
    addEvent(*local, 4, "002", 33, "U", "", daysAgo(8), "10:00:00", "failed");
    addEvent(*local, 5, "002", 33, "U", "", daysAgo(6), "10:00:00", "failed");
    addEvent(*local, 6, "002", 33, "U", "", daysAgo(8));
    addEvent(*local, 7, "002", 33, "I", "", daysAgo(8), "10:00:00", "failed");
    const RunReport r = run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(state(*local, 1), "deleted");
    EXPECT_NE(state(*local, 2), "deleted");
    EXPECT_EQ(state(*local, 3), "||");  // its company has no active server
    EXPECT_EQ(state(*local, 4), "deleted");
    EXPECT_EQ(state(*local, 5), "||failed");
    EXPECT_EQ(state(*local, 6), "||");
    EXPECT_EQ(state(*local, 7), "||failed");
    EXPECT_EQ(op.lastSend, daysAgo(6) + " - 10:00:00");
    EXPECT_TRUE(op.errorsButtonEnabled);
}

TEST_F(RunTest, WithoutDownloadServerOnlyTheUploadRuns) {
    local->execute("UPDATE REPLICA_COMPANIA SET RPCO_ERRO = 'N'");
    addEvent(*s2, 1, "001", 999);
    addEvent(*local, 2, "002", 999);
    const RunReport r = run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(state(*s2, 1), "||");
    EXPECT_EQ(state(*local, 2), replicated());
    // The button follows the display at the start of the run only.
    EXPECT_EQ(op.lastSend.substr(0, 10), sqlDate(today()));
    EXPECT_FALSE(op.errorsButtonEnabled);
    EXPECT_EQ(lineCount(test::slurp(dir.file("ENVIO.TXT"))), 1);
}

TEST_F(RunTest, ServerThatIsDownIsLoggedOnceAndTheNextDestinationIsServed) {
    const std::string down = dir.path() + "/apagado";
    local->execute("UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = " + Q(down));
    addCompany("003", dir.path(), "N");
    auto s3 = test::createCompany(path("003"));
    addEvent(*local, 1, "002", 999);
    addEvent(*local, 2, "003", 999);
    const RunReport r = run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.unreachable, 2);
    EXPECT_EQ(state(*local, 1), "||");
    EXPECT_EQ(state(*local, 2), replicated());

    const std::string errors = test::slurp(dir.file("errorenvio.txt"));
    const std::string line =
        ",No se pudo conectar con el servidor " + down + "/datos/002/norvale.fdb\n";
    ASSERT_EQ(lineCount(errors), 2);  // the download phase and destination 002
    EXPECT_EQ(errors.substr(19, line.size()), line);
    const std::string second = errors.substr(errors.find('\n') + 1);
    EXPECT_EQ(second.substr(19), line);
    // The label repeats the file's line with its own separators.
    EXPECT_EQ(op.lastError, "Ult. error:" + second.substr(0, 10) + ":" + second.substr(11, 8) +
                                " No se pudo conectar con el servidor " + down +
                                "/datos/002/norvale.fdb");
}

TEST_F(RunTest, ReportGivesEachPhaseItsOwnFigures) {
    addCompany("003", dir.path() + "/apagado", "N");
    addEvent(*s2, 1, "001", 999);
    addEvent(*s2, 2, "001", 11);  // no handler: stays pending with an error
    addEvent(*local, 3, "002", 999, "I", "FV");
    addEvent(*local, 4, "002", 999, "I", "XX");  // left by the prefix filter
    addEvent(*local, 5, "003", 999);
    addEvent(*local, 6, "004", 999);  // no REPLICA_COMPANIA row
    op.fields.prefix = "FV";
    const RunReport r = run();
    ASSERT_TRUE(r.finished);

    using O = PhaseReport::Outcome;
    struct Expected {
        Phase phase;
        const char* company;
        O outcome;
        int selected, handled, completed, failed, skipped;
    } expected[] = {
        {Phase::Download, "002", O::Done, 2, 2, 1, 1, 0},
        {Phase::Upload, "002", O::Done, 2, 1, 1, 0, 1},
        {Phase::Upload, "003", O::Unreachable, 0, 0, 0, 0, 0},
        {Phase::Upload, "004", O::NoServer, 0, 0, 0, 0, 0},
    };
    ASSERT_EQ(r.phases.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const PhaseReport& p = r.phases[i];
        const Expected& e = expected[i];
        EXPECT_EQ(p.phase, e.phase);
        EXPECT_EQ(p.company, e.company);
        EXPECT_EQ(p.outcome, e.outcome);
        EXPECT_EQ(p.selected, e.selected);
        EXPECT_EQ(p.counts.handled, e.handled);
        EXPECT_EQ(p.counts.completed, e.completed);
        EXPECT_EQ(p.counts.failed, e.failed);
        EXPECT_EQ(p.counts.skipped, e.skipped);
    }
    EXPECT_EQ(r.handled, 3);
    EXPECT_EQ(r.completed, 2);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.unreachable, 1);

    // Without a download server the phase is still listed, as such.
    local->execute("UPDATE REPLICA_COMPANIA SET RPCO_ERRO = 'N'");
    const RunReport again = run();
    ASSERT_FALSE(again.phases.empty());
    EXPECT_EQ(again.phases[0].phase, Phase::Download);
    EXPECT_EQ(again.phases[0].outcome, O::NoServer);
    EXPECT_EQ(again.phases[0].company, "");
}

TEST_F(RunTest, ServerOverrideReplacesEveryServerText) {
    local->execute("UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = '/no/such/server'");
    driver->setServerOverride(dir.path());
    addEvent(*s2, 1, "001", 999);
    addEvent(*local, 2, "002", 999);
    run();
    EXPECT_EQ(state(*s2, 1), replicated());
    EXPECT_EQ(state(*local, 2), replicated());
    EXPECT_TRUE(test::slurp(dir.file("errorenvio.txt")).empty());
}

TEST_F(RunTest, RefusedStartsSendNothing) {
    op.fields.companyCode = "";
    EXPECT_FALSE(run().started);
    EXPECT_EQ(op.messages, std::vector<std::string>{"Debe indicar la compañía de origen."});

    op.fields.companyCode = "001";
    const std::string tooLarge =
        "El valor de \"Operaciones a traer:\" no puede pasar de 2147483647.";
    for (const auto& [bad, message] :
         std::vector<std::pair<std::string, std::string>>{{"5 or 1=1", kDownloadCountMessage},
                                                          {"-5", kDownloadCountMessage},
                                                          {"1.5", kDownloadCountMessage},
                                                          {" 5", kDownloadCountMessage},
                                                          {"2147483648", tooLarge},
                                                          {"99999999999999999999", tooLarge}}) {
        op.messages.clear();
        op.fields.downloadCount = bad;
        EXPECT_FALSE(run().started) << bad;
        EXPECT_EQ(op.messages, std::vector<std::string>{message}) << bad;
        EXPECT_TRUE(sent.empty()) << bad;
    }
    op.fields.downloadCount = "10";
    op.fields.uploadCount = "x";
    EXPECT_FALSE(run().started);
    EXPECT_EQ(op.messages.back(), kUploadCountMessage);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(op.captions.empty());
    EXPECT_EQ(op.timerStops, 0);
}

TEST_F(RunTest, EmptyCountsBecomeEighty) {
    addEvent(*local, 1, "002", 999);
    op.fields.downloadCount = "";
    op.fields.uploadCount = "";
    EXPECT_TRUE(run().finished);
    EXPECT_EQ(op.fields.downloadCount, "80");
    EXPECT_EQ(op.fields.uploadCount, "80");
    EXPECT_TRUE(wasSent(
        "select first 80 * from replica_eventos where rpev_fecrep is null and rpev_compania = "
        "'001' AND RPEV_ERROR IS NULL order by rpev_fecreg, rpev_horareg"));
}

// Every count the database takes after FIRST is accepted, the largest too.
TEST_F(RunTest, TheLargestCountIsTaken) {
    addEvent(*s2, 1, "001", 999);
    op.fields.downloadCount = "2147483647";
    EXPECT_EQ(run().completed, 1);
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(RunTest, BadFrequencyKeepsThePreviousIntervalAndTheTimer) {
    op.fields.frequency = "5";
    run();
    EXPECT_EQ(op.timerInterval, 300000);
    op.fields.frequency = "cinco";
    EXPECT_TRUE(run().finished);
    EXPECT_EQ(op.messages, std::vector<std::string>{kFrequencyMessage});
    EXPECT_TRUE(op.timerRunning);
    EXPECT_EQ(op.timerInterval, 300000);
    EXPECT_EQ(driver->timerInterval(), 300000);
    op.fields.frequency = "99999";  // more milliseconds than the timer holds
    run();
    EXPECT_EQ(op.timerInterval, 300000);
    op.fields.frequency = "0";
    run();
    EXPECT_FALSE(op.timerRunning);
}

// An operator whose screen, while it pumps messages, gets another "Enviar".
class ImpatientOperator : public test::RecordingOperator {
  public:
    RunDriver* driver = nullptr;
    std::vector<RunReport> nested;
    void processEvents() override {
        if (driver) {
            nested.push_back(driver->run());
        }
    }
};

TEST_F(RunTest, SecondRunWhileRunningIsRefused) {
    ImpatientOperator impatient;
    impatient.fields = op.fields;
    RunDriver d(impatient, logs, catalogue, *local);
    impatient.driver = &d;
    addEvent(*s2, 1, "001", 999);
    addEvent(*s2, 2, "001", 999);
    EXPECT_TRUE(d.run().finished);
    ASSERT_EQ(impatient.nested.size(), 2u);
    EXPECT_FALSE(impatient.nested[0].started);
    EXPECT_EQ(impatient.captions.size(), 2u);  // no second run's captions
    EXPECT_FALSE(d.running());
    impatient.driver = nullptr;
    EXPECT_TRUE(d.run().started);
}

// An operator who presses "Detener" while the run shows its second event.
class StoppingOperator : public test::RecordingOperator {
  public:
    RunDriver* driver = nullptr;
    int stopAt = 2;
    int pumps = 0;
    void processEvents() override {
        if (++pumps == stopAt && driver) {
            driver->requestStop();
        }
    }
};

TEST_F(RunTest, StopRequestEndsTheRunAfterTheEventInHandAndLeavesTheRestPending) {
    StoppingOperator stopping;
    stopping.fields = op.fields;
    stopping.fields.frequency = "3";
    RunDriver d(stopping, logs, catalogue, *local);
    stopping.driver = &d;
    d.requestStop();  // no run in progress: ignored
    EXPECT_FALSE(d.stopRequested());
    addEvent(*s2, 1, "001", 999);
    addEvent(*s2, 2, "001", 999);
    addEvent(*s2, 3, "001", 999);
    addEvent(*local, 10, "002", 999);

    const RunReport r = d.run();
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(d.stopRequested());
    // The event shown when the stop came is handled whole; the rest of the
    // phase and the upload phase wait for the next run.
    EXPECT_EQ(state(*s2, 1), replicated());
    EXPECT_EQ(state(*s2, 2), replicated());
    EXPECT_EQ(state(*s2, 3), "||");
    EXPECT_EQ(state(*local, 10), "||");
    EXPECT_EQ(r.completed, 2);
    EXPECT_EQ(lineCount(test::slurp(dir.file("ENVIO.TXT"))), 2);
    // It ends as a run ends: timer re-armed, panel hidden.
    EXPECT_TRUE(stopping.timerRunning);
    EXPECT_EQ(stopping.timerInterval, 180000);
    EXPECT_FALSE(stopping.progressVisible);

    // The next run starts afresh and does the rest.
    stopping.driver = nullptr;
    EXPECT_TRUE(d.run().finished);
    EXPECT_FALSE(d.stopRequested());
    EXPECT_EQ(state(*s2, 3), replicated());
    EXPECT_EQ(state(*local, 10), replicated());
}

// Another agent of the same local company (another directory, another
// machine) holds the company's rows of REPLICA_COMPANIA: this run is refused
// before it reads or writes anything else, and runs once they are free.
TEST_F(RunTest, AnotherAgentOfTheCompanyRefusesTheRunUntilItEnds) {
    addEvent(*local, 1, "002", 999);
    db::Connection other;
    other.configureLike(*local);
    db::RowLock otherAgent(other);
    ASSERT_EQ(otherAgent.acquire(kAgentGuardSql), db::RowLock::Result::Held);

    RunReport r = run();
    EXPECT_FALSE(r.started);
    EXPECT_TRUE(r.anotherAgent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sql, kAgentGuardSql);
    EXPECT_EQ(op.messages, std::vector<std::string>{
                               "Otro agente está replicando la compañía 001 en este momento: "
                               "este envío no se hace."});
    EXPECT_TRUE(op.captions.empty());
    EXPECT_EQ(state(*local, 1), "||");
    EXPECT_FALSE(driver->guardConnection().isOpen());

    otherAgent.release();
    r = run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(state(*local, 1), replicated());
    // The run held the lock while it ran and gave it back at its end.
    EXPECT_EQ(otherAgent.acquire(kAgentGuardSql), db::RowLock::Result::Held);
}

// Log files that cannot be written lose their lines only: every event is
// handled and completed as usual, and the run says once, at its end, why
// the lines were lost.
TEST_F(RunTest, UnwritableLogsDoNotStopReplication) {
    Logs lost([this] { return dir.path() + "/borrado"; });
    RunDriver d(op, lost, catalogue, *local);
    addCompany("003", dir.path() + "/apagado", "N");
    addEvent(*s2, 1, "001", 999);
    addEvent(*local, 2, "002", 999);
    addEvent(*local, 3, "003", 999);
    const RunReport r = d.run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.completed, 2);
    EXPECT_EQ(state(*s2, 1), replicated());
    EXPECT_EQ(state(*local, 2), replicated());
    EXPECT_EQ(state(*local, 3), "||");
    EXPECT_TRUE(r.outage);
    const std::string reason = "No se pudo abrir el archivo " + dir.path() +
                               "/borrado/ENVIO.TXT: No such file or directory";
    EXPECT_EQ(r.logFailure, reason);
    EXPECT_EQ(op.lastError, "Ultimo error: " + std::string(kLogFailureMessage) + reason);
    EXPECT_EQ(lost.takeFailure(), "");
}

TEST_F(RunTest, HandlersGetThePhaseDatabasesAndTheirOutcomeDecidesCompletion) {
    std::vector<std::string> seen;
    const Handler h = [&](HandlerContext& ctx) {
        seen.push_back(ctx.source.path() + ">" + ctx.destination.path() + ":" + ctx.event.number);
        if (ctx.event.code == "C2") {
            ctx.state.failed = true;
        }
        if (ctx.event.code == "C3") {
            ctx.state.completionNote = "Registro ya encontrado.";
        }
    };
    catalogue.set(101, h, h);
    addEvent(*s2, 1, "001", 101);
    addEvent(*s2, 2, "001", 101);
    addEvent(*local, 3, "002", 101);
    const RunReport r = run();
    EXPECT_EQ(seen, (std::vector<std::string>{path("002") + ">" + path("001") + ":1",
                                              path("002") + ">" + path("001") + ":2",
                                              path("001") + ">" + path("002") + ":3"}));
    EXPECT_EQ(state(*s2, 1), replicated());
    EXPECT_EQ(state(*s2, 2), "||");
    EXPECT_EQ(state(*local, 3), replicated() + "Registro ya encontrado.");
    EXPECT_EQ(r.failed, 1);
}

TEST_F(RunTest, RefusedApplyIsRecordedAndTheRunGoesOn) {
    // The destination refuses one of the rows through a CHECK constraint.
    local->execute("ALTER TABLE SUCURSALES ADD CONSTRAINT CK_PRUEBA CHECK (SUCU_ID < 100)");
    catalogue.set(101,
                  [](HandlerContext& ctx) {
                      db::RecordSet rs(ctx.destination);
                      rs.open("select * from SUCURSALES where SUCU_ID = 0");
                      rs.append();
                      rs.set("SUCU_ID", db::Value(static_cast<int>(ctx.event.id * 100)));
                      ctx.post(rs);
                      ctx.apply(rs);
                  },
                  {});
    addEvent(*s2, 1, "001", 101);
    addEvent(*s2, 2, "001", 999);
    op.progressVisible = true;
    const RunReport r = run();
    EXPECT_TRUE(r.finished);
    const std::string st = state(*s2, 1);
    EXPECT_NE(st.find("CK_PRUEBA"), std::string::npos) << st;
    EXPECT_EQ(st.substr(0, 2), "||");
    EXPECT_EQ(state(*s2, 2), replicated());
    EXPECT_NE(test::slurp(dir.file("errorenvio.txt")).find("CK_PRUEBA"), std::string::npos);
    EXPECT_EQ(op.lastError.rfind("Ultimo error: ", 0), 0u);
    EXPECT_EQ(op.beeps, 1);
}

// A statement the database refuses in the middle of a handler, or a row
// refused in memory, is that event's failure: it stays pending with the
// reason and the run goes on with the next event.
TEST_F(RunTest, AnEventTheDatabaseRefusesFailsAloneAndTheRunGoesOn) {
    catalogue.set(
        101, [](HandlerContext& ctx) { ctx.destination.execute("update NO_SUCH_TABLE set X = 1"); },
        {});
    catalogue.set(102,
                  [](HandlerContext& ctx) {
                      db::RecordSet rs(ctx.destination);
                      rs.open("select * from SUCURSALES where SUCU_ID = 0");
                      rs.append();
                      ctx.post(rs);
                  },
                  {});
    addEvent(*s2, 1, "001", 101, "I", "", daysAgo(3));
    addEvent(*s2, 2, "001", 102, "I", "", daysAgo(2));
    addEvent(*s2, 3, "001", 999, "I", "", daysAgo(1));
    addEvent(*local, 4, "002", 999);
    const RunReport r = run();
    EXPECT_TRUE(r.finished);
    EXPECT_NE(state(*s2, 1).find("NO_SUCH_TABLE"), std::string::npos);
    EXPECT_EQ(state(*s2, 2), "||Field 'SUCU_ID' must have a value");
    EXPECT_EQ(
        op.lastError,
        "Ultimo error: Documento tipo 102 2 código C2: Los campos SUCU_ID,  son obligatorios.");
    EXPECT_EQ(state(*s2, 3), replicated());
    EXPECT_EQ(state(*local, 4), replicated());
    EXPECT_EQ(r.failed, 2);
    EXPECT_TRUE(op.timerRunning);
    EXPECT_NE(test::slurp(dir.file("errorenvio.txt")).find("NO_SUCH_TABLE"), std::string::npos);
}

// What the run cannot go on from: the event's own row refusing its mark.
// The run ends there, recorded on that event; the later ones are not
// reached, and the timer is armed again for the next run.
TEST_F(RunTest, AnEventThatCannotBeMarkedEndsTheRunAndStaysOnTheEvent) {
    s2->execute("CREATE EXCEPTION E_NO_MARCAR 'no se marca'");
    s2->execute(
        "CREATE TRIGGER T_NO_MARCAR FOR REPLICA_EVENTOS BEFORE UPDATE AS BEGIN IF (NEW.RPEV_ID = 1 "
        "AND NEW.RPEV_FECREP IS NOT NULL) THEN EXCEPTION E_NO_MARCAR; END");
    addEvent(*s2, 1, "001", 999, "I", "", daysAgo(2));
    addEvent(*s2, 2, "001", 999, "I", "", daysAgo(1));
    addEvent(*local, 3, "002", 999);
    const RunReport r = run();
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.finished);
    EXPECT_NE(state(*s2, 1).find("E_NO_MARCAR"), std::string::npos) << state(*s2, 1);
    EXPECT_EQ(state(*s2, 2), "||");  // never reached
    EXPECT_EQ(state(*local, 3), "||");
    EXPECT_TRUE(op.timerRunning);  // stopped by the download phase, armed again
    EXPECT_FALSE(driver->running());
    // The report says where the run ended.
    ASSERT_EQ(r.phases.size(), 1u);
    EXPECT_EQ(r.phases[0].phase, Phase::Download);
    EXPECT_EQ(r.phases[0].outcome, PhaseReport::Outcome::Interrupted);
    EXPECT_EQ(r.phases[0].selected, 2);
}

// The batch waits packed until each event's turn: every field must reach
// the handler as the row held it, empty, long (a data field of thousands of
// characters) and multibyte texts included.
TEST_F(RunTest, EveryFieldOfAnEventReachesItsHandler) {
    const std::string longData = std::string(3000, 'd') + "ñ";
    struct Row {
        int id;
        const char* pref;
        const char* prefDest;
        std::string data;
        const char* error;
    };
    const Row rows[] = {
        {1, "A", "B", "x|y", "antes falló"}, {2, "", "", "", ""}, {3, "ÑA", "Z", longData, "e"}};
    for (const Row& r : rows) {
        addEvent(*s2, r.id, "001", 101, "U", r.pref, daysAgo(4 - r.id));
        s2->execute("UPDATE REPLICA_EVENTOS SET RPEV_IDDOC = " + sqlInt(r.id * 10) +
                    ", RPEV_PREFDEST = " + Q(r.prefDest) + ", RPEV_DATOS = " + Q(r.data) +
                    ", RPEV_ERROR = " + Q(r.error) + " WHERE RPEV_ID = " + sqlInt(r.id));
    }
    std::vector<Event> seen;
    const Handler h = [&seen](HandlerContext& ctx) { seen.push_back(ctx.event); };
    catalogue.set(101, h, h);
    run();
    ASSERT_EQ(seen.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const Row& r = rows[i];
        const Event& e = seen[i];
        EXPECT_EQ(e.id, r.id);
        EXPECT_EQ(e.type, 101);
        EXPECT_EQ(e.company, "001");
        EXPECT_EQ(e.iddocText, std::to_string(r.id * 10));
        EXPECT_EQ(e.prefix, r.pref);
        EXPECT_EQ(e.number, std::to_string(r.id));
        EXPECT_EQ(e.code, "C" + std::to_string(r.id));
        EXPECT_EQ(e.operation, "U");
        EXPECT_EQ(e.prefixDest, r.prefDest);
        EXPECT_EQ(e.data, r.data);
        EXPECT_EQ(e.error, r.error);
    }
}

// The batch is read at once and kept as events: a row that cannot be read
// as one (here a type that is no number) must still let the events before it
// be handled, and end the phase where it stands, with the failure on that
// event and the rest left pending.
TEST_F(RunTest, UnreadableEventEndsThePhaseWhereItStands) {
    s2->execute("ALTER TABLE REPLICA_EVENTOS ALTER RPEV_TIPO TYPE VARCHAR(11)");
    addEvent(*s2, 1, "001", 999, "I", "", daysAgo(3));
    addEvent(*s2, 2, "001", 999, "I", "", daysAgo(2));
    addEvent(*s2, 3, "001", 999, "I", "", daysAgo(1));
    s2->execute("UPDATE REPLICA_EVENTOS SET RPEV_TIPO = 'x' WHERE RPEV_ID = 2");
    const RunReport r = run();
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(state(*s2, 1), replicated());  // the failure is not put on the event before
    EXPECT_EQ(state(*s2, 2), "||'x' is not a valid integer value");
    EXPECT_EQ(state(*s2, 3), "||");
    ASSERT_EQ(r.phases.size(), 1u);
    EXPECT_EQ(r.phases[0].outcome, PhaseReport::Outcome::Interrupted);
    EXPECT_EQ(r.phases[0].selected, 3);
}

// Settings declared in the catalogue are read at their moments: from the
// local database as the download starts, from each destination once it is
// connected (by the lookup, which tells the operator when one is absent) and
// once its events are selected; a kept one survives a run that does not
// read it, the others start each run empty.
TEST_F(RunTest, DeclaredSettingsAreReadAtTheirMomentsPerCompany) {
    catalogue.declare({.name = "mode",
                       .module = "COMPRAS",
                       .category = "FACTURAS",
                       .property = "ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA",
                       .readAt = {ReadAt::DownloadStart, ReadAt::UploadConnected},
                       .keptBetweenRuns = true});
    catalogue.declare({.name = "transfer",
                       .module = "INVENTARIO",
                       .category = "TRASLADOS",
                       .property = "REPLICAR TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA A BODEGA "
                                   "DE DESTINO",
                       .readAt = {ReadAt::DownloadStart},
                       .keptBetweenRuns = true});
    catalogue.declare({.name = "lock",
                       .module = "CONTABILIDAD",
                       .category = "GENERAL",
                       .property = "FECHA DE BLOQUEO",
                       .readAt = {ReadAt::UploadSelected},
                       .spelled = "select CONF_VALOR from CONFIGURACION where CONF_MODULO = "
                                  "'CONTABILIDAD' and CONF_CATEGORIA = 'GENERAL' and "
                                  "CONF_PROPIEDAD = 'FECHA DE BLOQUEO'"});
    EXPECT_THROW(catalogue.declare({.name = "lock"}), std::logic_error);
    s2->execute(
        "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
        "VALUES ('CONTABILIDAD', 'GENERAL', 'FECHA DE BLOQUEO', '2026-01-31')");
    local->execute(
        "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
        "VALUES ('INVENTARIO', 'TRASLADOS', 'REPLICAR TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA "
        "A BODEGA DE DESTINO', 'SI')");
    std::vector<std::string> seen;
    const Handler h = [&](HandlerContext& ctx) {
        seen.push_back(ctx.options.setting("mode") + "/" + ctx.options.setting("transfer") + "/" +
                       ctx.options.setting("lock") + "|" +
                       ctx.configuracion("FACTURACION", "FACTURAS",
                                         "ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO"));
    };
    catalogue.set(101, h, h);
    addEvent(*s2, 1, "001", 101);
    addEvent(*local, 2, "002", 101);
    run();
    EXPECT_EQ(seen, (std::vector<std::string>{"/SI/|", "/SI/2026-01-31|"}));
    // Absent on the destination: one dialog for the setting read by the
    // lookup and one per lookup of the handlers.
    EXPECT_EQ(op.errorMessages,
              (std::vector<std::string>{
                  "No se encontró la configuración ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO",
                  "No se encontró la configuración ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO "
                  "FACTURA",
                  "No se encontró la configuración ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO"}));
    // In the order declared, with the spelled text where one is given.
    std::vector<std::string> reads;
    for (const Sent& x : sent) {
        if ((x.sql.find("onfiguracion") != std::string::npos ||
             x.sql.find("ONFIGURACION") != std::string::npos) &&
            x.sql.find("ARTICULOS") == std::string::npos) {
            reads.push_back(x.path.substr(x.path.size() - 15, 3) + " " + x.sql.substr(0, 42));
        }
    }
    EXPECT_EQ(reads, (std::vector<std::string>{
                         "001 select conf_valor from configuracion where",  // mode
                         "001 select conf_valor from configuracion where",  // transfer
                         "002 select conf_valor from configuracion where",  // the handler's
                         "002 select conf_valor from configuracion where",  // mode
                         "002 select CONF_VALOR from CONFIGURACION where",  // lock
                         "002 select conf_valor from configuracion where",  // the handler's
                     }));

    // No download server: the kept setting stays from the run before, the
    // other one is read again per destination.
    local->execute("UPDATE REPLICA_COMPANIA SET RPCO_ERRO = 'N'");
    s2->execute(
        "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
        "VALUES ('COMPRAS', 'FACTURAS', 'ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA', "
        "'factura')");
    addEvent(*local, 3, "002", 101);
    seen.clear();
    run();
    EXPECT_EQ(seen, (std::vector<std::string>{"factura/SI/2026-01-31|"}));
}

// More failed events than the count, and good events behind them: every
// run replicates the good ones, and the failed ones take turns at a retry
// of their own, however many there are.
TEST_F(RunTest, FailedEventsNeverHoldBackTheEventsBehindThem) {
    std::set<std::int64_t> fixed;  // the failed events that now go through
    std::vector<std::int64_t> tried;
    catalogue.set(101,
                  [&](HandlerContext& ctx) {
                      tried.push_back(ctx.event.id);
                      if (fixed.count(ctx.event.id) == 0) {
                          ctx.errors.record("sigue fallando", "sigue fallando");
                          ctx.state.failed = true;
                      }
                  },
                  {});
    for (int id = 1; id <= 5; ++id) {
        addEvent(*s2, id, "001", 101, "I", "", daysAgo(30 - id), "10:00:00", "falló antes");
    }
    for (int id = 6; id <= 9; ++id) {
        addEvent(*s2, id, "001", 999, "I", "", daysAgo(20 - id));
    }
    op.fields.downloadCount = "3";

    RunReport r = run();
    EXPECT_EQ(tried, (std::vector<std::int64_t>{1, 2, 3}));
    for (int id = 6; id <= 8; ++id) {
        EXPECT_EQ(state(*s2, id), replicated()) << id;
    }
    EXPECT_EQ(state(*s2, 9), "||");
    ASSERT_EQ(r.phases.size(), 1u);
    EXPECT_EQ(r.phases[0].counts.retried, 3);
    EXPECT_EQ(r.phases[0].counts.failedNotRetried, 2);

    // The next turn: the failed events after those still failing.
    tried.clear();
    fixed.insert(4);
    r = run();
    EXPECT_EQ(tried, (std::vector<std::int64_t>{4, 5}));
    EXPECT_EQ(state(*s2, 4), replicated() + "falló antes");
    EXPECT_EQ(state(*s2, 9), replicated());
    EXPECT_EQ(r.phases[0].counts.failedNotRetried, 3);  // 1 to 3 wait for the next turn

    // That turn reached the last one: the oldest again.
    tried.clear();
    run();
    EXPECT_EQ(tried, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(state(*s2, 1), "||sigue fallando");
}

// An event another agent is handling (its claim, the locked row, held) is
// left to it with no error, and so are the later events of its document in
// this run; an event that agent completed since the selection is not marked
// again.
TEST_F(RunTest, AnEventAnotherAgentHoldsOrCompletedIsLeftToIt) {
    std::vector<std::int64_t> handled;
    const Handler h = [&](HandlerContext& ctx) {
        handled.push_back(ctx.event.id);
        if (ctx.event.id == 3) {
            // Meanwhile the other agent completes event 4.
            db::Connection other;
            other.configureLike(ctx.source);
            other.execute(
                "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = '2001-02-03' WHERE RPEV_ID = 4");
        }
    };
    catalogue.set(101, h, h);
    addEvent(*s2, 1, "001", 101, "I", "A", daysAgo(5));
    addEvent(*s2, 2, "001", 101, "U", "A", daysAgo(4));
    s2->execute(
        "UPDATE REPLICA_EVENTOS SET RPEV_NUMERO = '1', RPEV_CODIGO = 'C1' WHERE RPEV_ID = 2");
    addEvent(*s2, 3, "001", 101, "I", "B", daysAgo(3));
    addEvent(*s2, 4, "001", 101, "I", "C", daysAgo(2));

    db::Connection holder;
    holder.configureLike(*s2);
    db::RowLock otherAgent(holder);
    ASSERT_EQ(otherAgent.acquire(claimSql(1)), db::RowLock::Result::Held);
    const RunReport r = run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(handled, (std::vector<std::int64_t>{3}));
    EXPECT_EQ(state(*s2, 1), "||");
    EXPECT_EQ(state(*s2, 2), "||");
    EXPECT_EQ(state(*s2, 3), replicated());
    EXPECT_EQ(state(*s2, 4), "2001-02-03||");
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.phases[0].counts.taken, 2);
    EXPECT_EQ(r.phases[0].counts.waiting, 1);
    EXPECT_TRUE(test::slurp(dir.file("errorenvio.txt")).empty());

    otherAgent.release();
    handled.clear();
    run();
    EXPECT_EQ(handled, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(state(*s2, 2), replicated());
}

// Events addressed to a company without an active server row would wait in
// silence for ever: each run says so once, in errorenvio.txt.
TEST_F(RunTest, EventsWithNowhereToGoAreLoggedOncePerRun) {
    addCompany("003", dir.path(), "N", "N");
    addEvent(*local, 1, "003", 999);
    addEvent(*local, 2, "003", 999);
    addEvent(*local, 3, "003", 236);  // never uploaded: not counted
    RunReport r = run();
    EXPECT_EQ(r.failed, 0);
    run();
    const std::string errors = test::slurp(dir.file("errorenvio.txt"));
    EXPECT_NE(errors.find("," + noServerMessage("003", 2) + "\n"), std::string::npos) << errors;
    EXPECT_EQ(lineCount(errors), 2);
}

}  // namespace

// An operator that notes any call made from a thread other than the one
// that started the run (a window must only be touched from its own).
class OneThreadOperator : public test::RecordingOperator {
  public:
    std::thread::id home = std::this_thread::get_id();
    std::atomic<int> foreignCalls{0};
    RunDriver* driver = nullptr;
    std::atomic<bool> stopOnPump{false};
    void note() {
        if (std::this_thread::get_id() != home) {
            ++foreignCalls;
        }
    }
    void showEventLine(const std::string& t) override {
        note();
        RecordingOperator::showEventLine(t);
    }
    void stepProgress() override {
        note();
        RecordingOperator::stepProgress();
    }
    void setLastError(const std::string& t) override {
        note();
        RecordingOperator::setLastError(t);
    }
    void beep() override {
        note();
        RecordingOperator::beep();
    }
    void processEvents() override {
        note();
        if (stopOnPump && driver) {
            driver->requestStop();
        }
    }
};

class SideBySideTest : public RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        for (const char* code : {"003", "004"}) {
            std::filesystem::create_directories(dir.path() + "/datos/" + code);
            addCompany(code, dir.path(), "N");
            others.push_back(test::createCompany(path(code)));
        }
        local->execute("UPDATE REPLICA_COMPANIA SET RPCO_ERRO = 'N'");  // upload only
        lanes.fields = op.fields;
        d = std::make_unique<RunDriver>(lanes, logs, catalogue, *local);
        lanes.driver = d.get();
    }
    static std::string destinationOf(const HandlerContext& ctx) {
        const std::string& p = ctx.destination.path();
        return p.substr(p.find("/datos/") + 7, 3);
    }
    // Waits up to five seconds for done(); whether it came.
    template <class Done>
    static bool waitFor(Done done) {
        for (int i = 0; i < 500 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }

    std::vector<std::unique_ptr<db::Connection>> others;
    OneThreadOperator lanes;
    std::unique_ptr<RunDriver> d;
};

// Three destinations at once: one waits on another's event (served one
// after another it would wait in vain), one refuses its first event and
// goes on; every call of the operator stays on the run's thread and every
// destination's phase is reported in the companies' order.
TEST_F(SideBySideTest, DestinationsAreServedAtOnceAndNoneHoldsBackAnother) {
    std::atomic<bool> fourDone{false};
    std::atomic<bool> threeSawFour{false};
    catalogue.set(101, {}, [&](HandlerContext& ctx) {
        const std::string to = destinationOf(ctx);
        if (to == "002") {
            ctx.destination.execute("update NO_SUCH_TABLE set X = 1");
        } else if (to == "003") {
            threeSawFour = waitFor([&] { return fourDone.load(); });
        } else {
            fourDone = true;
        }
    });
    addEvent(*local, 1, "002", 101, "I", "", daysAgo(2));
    addEvent(*local, 2, "002", 999, "I", "", daysAgo(1));
    addEvent(*local, 3, "003", 101);
    addEvent(*local, 4, "004", 101);
    // Old replicated events, which each lane cleans up: the run still ends whole.
    for (int id : {101, 102, 103}) {
        addEvent(*local, id, "002", 999, "I", "", daysAgo(20));
    }
    local->execute("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(daysAgo(10)) +
                   " WHERE RPEV_ID > 100");
    const RunReport r = d->run();
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(threeSawFour);
    EXPECT_NE(state(*local, 1).find("NO_SUCH_TABLE"), std::string::npos) << state(*local, 1);
    for (int id : {2, 3, 4}) {
        EXPECT_EQ(state(*local, id), replicated()) << id;
    }
    EXPECT_EQ(r.completed, 3);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(state(*local, 101), "deleted");
    std::vector<std::string> order;
    for (const PhaseReport& p : r.phases) {
        if (p.phase == Phase::Upload) {
            order.push_back(p.company);
            EXPECT_EQ(p.outcome, PhaseReport::Outcome::Done) << p.company;
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"002", "003", "004"}));
    EXPECT_EQ(lanes.foreignCalls, 0);
    // One bar over every destination's events, each line naming its company.
    EXPECT_EQ(lanes.progressMaximum, 4);
    EXPECT_EQ(lanes.progressPosition, 4);
    EXPECT_EQ(lanes.beeps, 1);
    EXPECT_NE(lanes.lastError.find("NO_SUCH_TABLE"), std::string::npos);
    ASSERT_EQ(lanes.eventLines.size(), 4u);
    for (const std::string& line : lanes.eventLines) {
        EXPECT_TRUE(line.rfind("002: ", 0) == 0 || line.rfind("003: ", 0) == 0 ||
                    line.rfind("004: ", 0) == 0)
            << line;
    }
    // The audit file keeps one whole line per event.
    const std::string audit = test::slurp(dir.file("ENVIO.TXT"));
    EXPECT_EQ(lineCount(audit), 4) << audit;
    EXPECT_TRUE(lanes.timerRunning);
}

// "Detener" while every destination is in the middle of an event: the run's
// thread still hears it, and each destination ends after the event in hand.
TEST_F(SideBySideTest, StopMidUploadEndsEachDestinationAfterItsEventInHand) {
    std::atomic<int> started{0};
    catalogue.set(101, {}, [&](HandlerContext&) {
        if (++started == 3) {
            lanes.stopOnPump = true;
        }
        EXPECT_TRUE(waitFor([&] { return lanes.driver->stopRequested(); }));
    });
    int id = 0;
    for (const char* to : {"002", "003", "004"}) {
        for (int i = 0; i < 3; ++i) {
            ++id;
            addEvent(*local, id, to, 101, "I", "", daysAgo(1), "10:00:0" + std::to_string(i));
        }
    }
    const RunReport r = d->run();
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.completed, 3);
    for (int first : {1, 4, 7}) {
        EXPECT_EQ(state(*local, first), replicated()) << first;
        EXPECT_EQ(state(*local, first + 1), "||") << first + 1;
        EXPECT_EQ(state(*local, first + 2), "||") << first + 2;
    }
    EXPECT_TRUE(lanes.timerRunning);
    EXPECT_EQ(lanes.foreignCalls, 0);
}
