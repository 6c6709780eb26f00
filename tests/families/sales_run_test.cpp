// Sales documents and loyalty points as the ERP activity simulator writes
// them, through one whole replication run: local company 001 downloads what
// the server of company 002 wrote for it and uploads its own.

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

// The sales documents, the redemptions and the disbursements that refund
// returns.
const std::vector<int> kDocuments = {31, 32, 33, 34, 35, 62, 81};

// Row by row (the default) and with whole documents.
class SalesRun : public ::testing::TestWithParam<bool> {
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
            setting(*local, "INVENTARIO", "ARTICULOS", property, value);
        }
        setting(*local, "FACTURACION", "FACTURAS",
                "ENVIAR FACTURA DE VENTA COMO ENTRADA O COMO FACTURA", "FACTURA");
        setting(*server, "FACTURACION", "FACTURAS", "ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO",
                "SI");
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

    static void setting(db::Connection& c, const char* module, const char* category,
                        const char* property, const char* value) {
        c.execute(
            "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
            "VALUES (" +
            Q(module) + ", " + Q(category) + ", " + Q(property) + ", " + Q(value) + ")");
    }

    // The documents of c replicate to company `to`, and so do points records.
    static void route(db::Connection& c, const std::string& to) {
        const auto configure = [&](int type, const std::string& prefix) {
            c.execute(
                "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
                "REPC_COMPANIA) VALUES (" +
                sqlInt(type) + ", " + Q(prefix) + ", 'S', " + Q(to) + ")");
        };
        for (int type : kDocuments) {
            configure(type, demo::prefixFor(type));
        }
        configure(235, "");
    }

    // Three rounds of the documents with updates, annulments and deletions,
    // then the points records of some of them, one deleted again.
    static void simulate(db::Connection& c, unsigned seed) {
        demo::SimulationOptions o;
        o.seed = seed;
        o.documents = 21;
        o.masters = 0;
        o.types = kDocuments;
        o.updates = 4;
        o.annulments = 3;
        o.deletions = 3;
        demo::simulate(c, o);
        demo::SimulationOptions points;
        points.seed = seed + 100;
        points.documents = 0;
        points.masters = 6;
        points.masterDeletions = 1;
        points.types = {235};
        demo::simulate(c, points);
    }

    // "<type><letter> replicated[ (note)]" or "... pending: <error>" for each
    // event of c.
    static std::vector<std::string> outcomes(db::Connection& c) {
        db::Query q(c);
        q.open(
            "select RPEV_TIPO, RPEV_OPER, RPEV_FECREP, RPEV_ERROR from REPLICA_EVENTOS order by "
            "RPEV_ID");
        std::vector<std::string> out;
        for (; !q.eof(); q.next()) {
            out.push_back(q.asText(0) + q.asText(1) +
                          (q.isNull(2) ? " pending: " + q.asText(3)
                                       : " replicated" + (q.isNull(3) ? std::string()
                                                                      : " (" + q.asText(3) + ")")));
        }
        return out;
    }

    // The rows of sql, each as its values joined, sorted.
    static std::vector<std::string> values(db::Connection& c, const std::string& sql) {
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

// Both sides end with the same documents: headers with their annul flags,
// invoice lines with what was returned on them, payment lines, the invoice
// each return names (through the id each side holds).
const char* const kCompared[] = {
    "select PREF_PRE, FACT_NUMERO, FACT_ANULADO, FACT_SUBTOTAL, FACT_TOTAL from FACTURAS",
    "select f.PREF_PRE, f.FACT_NUMERO, d.FADE_ITEM, d.ARTI_COD, d.FADE_CANT, d.FADE_DEVUELTO "
    "from FACTURAS_DETALLE d join FACTURAS f on f.FACT_ID = d.FACT_ID",
    "select f.PREF_PRE, f.FACT_NUMERO, p.FCNT_ITEM, p.FCNT_VALOR from FACTURAS_CONTADO_PAGO p "
    "join FACTURAS f on f.FACT_ID = p.FCNT_ID",
    "select r.PREF_PRE, r.DEVT_NUMERO, r.DEVT_ANULADO, r.DEVT_FACTURA, f.PREF_PRE || "
    "f.FACT_NUMERO, e.PREF_PRE || e.EGRE_NUMERO from DEVOLUCIONES_VENTAS r left join FACTURAS f "
    "on f.FACT_ID = r.DEVT_FACTID left join EGRESOS e on e.EGRE_ID = r.DEVT_IDEGRE",
    "select PREF_PRE, REVT_NUMERO, REVT_ANULADO from REMISIONES_VENTA",
    "select PREF_PRE, PEDI_NUMERO, PEDI_ANULADO from PEDIDOS",
    "select PREF_PRE, COTI_NUMERO, COTI_ANULADO from COTIZACIONES",
    "select PREF_PRE, PTRE_NUMERO, PTRE_PUNTOS, PTRE_ANULADO from PUNTOS_REDENCION",
};

TEST_P(SalesRun, SimulatedSalesDocumentsAndPointsReplicateInBothPhases) {
    simulate(*server, 21);
    // The local company numbers its documents after the server's.
    db::Query sequences(*local);
    sequences.open("select trim(RDB$GENERATOR_NAME) from RDB$GENERATORS where RDB$SYSTEM_FLAG = 0");
    for (; !sequences.eof(); sequences.next()) {
        local->execute("SET GENERATOR " + sequences.asText(0) + " TO 1000");
    }
    simulate(*local, 22);
    const auto negativeLines = static_cast<std::int64_t>(
        values(*server, "select 1 from FACTURAS_DETALLE where FADE_CANT < 0").size());
    ASSERT_GT(negativeLines, 0);

    const RunReport r = driver->run();

    EXPECT_TRUE(r.finished) << op.lastError;
    int noted = 0;
    for (const auto& [events, what] :
         {std::pair{outcomes(*server), "downloaded"}, std::pair{outcomes(*local), "uploaded"}}) {
        ASSERT_GT(events.size(), 30u);
        for (const std::string& e : events) {
            // A changed return is never uploaded: the ERP sends its own.
            if (std::string(what) == "uploaded" && e == "33U pending: ") {
                continue;
            }
            EXPECT_NE(e.find(" replicated"), std::string::npos) << what << " " << e;
            if (e.find("(Registro ya encontrado.)") != std::string::npos) {
                ++noted;
            }
        }
    }
    // Some points records met the record the copy of their document made.
    EXPECT_GT(noted, 0);
    for (const char* sql : kCompared) {
        const std::vector<std::string> mine = values(*local, sql);
        EXPECT_FALSE(mine.empty()) << sql;
        EXPECT_EQ(mine, values(*server, sql)) << sql;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SalesRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "WholeDocuments" : "RowByRow";
                         });

}  // namespace
}  // namespace replica
