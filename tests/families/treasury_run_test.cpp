// Cash and bank documents as the ERP activity simulator writes them, through
// one whole replication run: local company 001 downloads what the server of
// company 002 wrote for it and uploads its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "demo/simulator.h"
#include "engine/db/query.h"
#include "engine/rundriver.h"
#include "engine/sql.h"
#include "families/all.h"
#include "tests/support/erp.h"
#include "tests/support/recording_operator.h"
#include "tests/support/tempdir.h"

namespace replica {
namespace {

const std::vector<int> kTreasury = {61, 62, 63, 64, 65, 66, 71, 72, 73, 74, 75, 76, 77};

// Row by row (the default) and with whole documents.
class TreasuryRun : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        for (const char* code : {"001", "002"}) {
            std::filesystem::create_directories(dir.path() + "/datos/" + code);
        }
        local = test::createCompany(dir.path() + "/datos/001/norvale.fdb");
        server = test::createCompany(dir.path() + "/datos/002/norvale.fdb");
        for (const auto& [property, value] :
             {std::pair{"NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS", "SYSDBA"},
              std::pair{"CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS", "masterkey"}}) {
            local->execute(
                "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
                "CONF_VALOR) VALUES ('INVENTARIO', 'ARTICULOS', " +
                Q(property) + ", " + Q(value) + ")");
        }
        local->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
            "RPCO_ACTIVA) VALUES ('002', 'Servidor', " +
            Q(dir.path()) + ", 'S', 'S')");
        route(*server, "001");
        route(*local, "002");
        op.fields.companyCode = "001";
        op.fields.frequency = "5";
        op.fields.atomicDocuments = GetParam();
        op.fields.downloadCount = "500";
        op.fields.uploadCount = "500";
        driver = std::make_unique<RunDriver>(op, logs, catalogue, *local);
    }

    // The treasury documents of c replicate to company `to`.
    static void route(db::Connection& c, const std::string& to) {
        for (int type : kTreasury) {
            c.execute(
                "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
                "REPC_COMPANIA) VALUES (" +
                sqlInt(type) + ", " + Q(demo::prefixFor(type)) + ", 'S', " + Q(to) + ")");
        }
    }

    // Two rounds of every treasury family with the invoices and advances
    // their lines settle, then updates, annulments and deletions.
    static void simulate(db::Connection& c, unsigned seed) {
        demo::SimulationOptions o;
        o.seed = seed;
        o.documents = 34;
        o.masters = 0;
        o.types = {21, 31, 45, 55};
        o.types.insert(o.types.end(), kTreasury.begin(), kTreasury.end());
        o.updates = 6;
        o.annulments = 4;
        o.deletions = 10;
        demo::simulate(c, o);
    }

    // "replicated" or "pending: <error>" for each treasury event of c, with
    // its type and letter.
    static std::vector<std::string> outcomes(db::Connection& c) {
        if (!c.isOpen()) {
            c.open();
        }
        db::Query q(c);
        q.open(
            "select RPEV_TIPO, RPEV_OPER, RPEV_FECREP, RPEV_ERROR from REPLICA_EVENTOS where "
            "RPEV_TIPO between 61 and 77 order by RPEV_ID");
        std::vector<std::string> out;
        for (; !q.eof(); q.next()) {
            out.push_back(q.asText(0) + q.asText(1) + " " +
                          (q.isNull(2) ? "pending: " + q.asText(3) : std::string("replicated")));
        }
        return out;
    }

    // The rows of sql, each as its values joined, sorted.
    static std::vector<std::string> values(db::Connection& c, const std::string& sql) {
        if (!c.isOpen()) {
            c.open();
        }
        db::Query q(c);
        q.open(sql);
        std::vector<std::string> out;
        for (; !q.eof(); q.next()) {
            std::string row;
            for (int i = 0; i < q.columnCount(); ++i) {
                row += (q.isNull(i) ? std::string("<null>") : q.asText(i)) + "|";
            }
            out.push_back(row);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> local;
    std::unique_ptr<db::Connection> server;
    test::RecordingOperator op;
    Logs logs{[this] { return dir.path(); }};
    Catalogue catalogue = families::catalogue();
    std::unique_ptr<RunDriver> driver;
};

// Both sides end with the same cash and bank documents: headers with their
// annul flags, lines, and the bank documents' accounts.
const char* const kCompared[] = {
    "select PREF_PRE, RECA_NUMERO, RECA_VALOR, RECA_ANULADO from RECIBOS_CAJA",
    "select r.PREF_PRE, r.RECA_NUMERO, d.RCDE_ITEM, d.RCDE_TIPODOC, d.RCDE_PREFDOC, "
    "d.RCDE_NUMDOC, d.RCDE_VALOR from RECIBOS_CAJA_DETALLE d join RECIBOS_CAJA r on "
    "r.RECA_ID = d.RECA_ID",
    "select e.PREF_PRE, e.EGRE_NUMERO, c.EGCO_ITEM, c.EGCO_DEBITO from EGRESOS_CONTABILIDAD c "
    "join EGRESOS e on e.EGRE_ID = c.EGRE_ID",
    "select PREF_PRE, CADO_NUMERO, CADO_ANULADO from CAMBIO_DOCUMENTOS",
    "select t.PREF_PRE, t.TRCJ_NUMERO, d.TCDE_ITEM, d.TCDE_VALOR from TRASLADOS_CAJA_DET d "
    "join TRASLADOS_CAJA t on t.TRCJ_ID = d.TRCJ_ID",
    "select CUBA_COD, PRBA_PREF, CONS_NUMERO, CONS_ANULADO from CONSIGNA",
    "select c.CUBA_COD, c.PRBA_PREF, c.CONS_NUMERO, d.CNDE_ITEM from CONSIGNA_DETALLE d join "
    "CONSIGNA c on c.CONS_ID = d.CONS_ID",
    "select CUBA_COD, PRBA_PREF, CHEQ_NUMERO from CHEQUES",
    "select CUBA_COD, PRBA_PREF, DVCH_NUMDOC from DEVOLUCION_CHEQUES",
};

TEST_P(TreasuryRun, SimulatedCashAndBankDocumentsReplicateInBothPhases) {
    simulate(*server, 9);
    // The local company numbers its documents after the server's.
    db::Query sequences(*local);
    sequences.open("select trim(RDB$GENERATOR_NAME) from RDB$GENERATORS where RDB$SYSTEM_FLAG = 0");
    for (; !sequences.eof(); sequences.next()) {
        local->execute("SET GENERATOR " + sequences.asText(0) + " TO 1000");
    }
    simulate(*local, 10);
    ASSERT_GT(outcomes(*server).size(), 30u);
    ASSERT_GT(outcomes(*local).size(), 30u);

    const RunReport r = driver->run();

    EXPECT_TRUE(r.finished) << op.lastError;
    for (const auto& [events, what] :
         {std::pair{outcomes(*server), "downloaded"}, std::pair{outcomes(*local), "uploaded"}}) {
        for (const std::string& e : events) {
            EXPECT_NE(e.find(" replicated"), std::string::npos) << what << " " << e;
        }
    }
    for (const char* sql : kCompared) {
        const std::vector<std::string> mine = values(*local, sql);
        EXPECT_FALSE(mine.empty()) << sql;
        EXPECT_EQ(mine, values(*server, sql)) << sql;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, TreasuryRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "WholeDocuments" : "RowByRow";
                         });

}  // namespace
}  // namespace replica
