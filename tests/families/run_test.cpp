// Inventory documents through whole replication runs: local company 001
// downloads from and uploads to the server of company 002.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/db/query.h"
#include "engine/rundriver.h"
#include "engine/sql.h"
#include "families/all.h"
#include "families/inventory.h"
#include "families/settings.h"
#include "tests/support/erp.h"
#include "tests/support/recording_operator.h"
#include "tests/support/tempdir.h"

namespace replica {
namespace {

// Every run twice: row by row (the default) and with whole documents.
class InventoryRun : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        for (const char* code : {"001", "002"}) {
            std::filesystem::create_directories(dir.path() + "/datos/" + code);
        }
        local = test::createCompany(dir.path() + "/datos/001/norvale.fdb");
        server = test::createCompany(dir.path() + "/datos/002/norvale.fdb");
        setting("INVENTARIO", "ARTICULOS", "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS",
                "SYSDBA");
        setting("INVENTARIO", "ARTICULOS", "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS",
                "masterkey");
        local->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
            "RPCO_ACTIVA) VALUES ('002', 'Servidor', " +
            Q(dir.path()) + ", 'S', 'S')");
        op.fields.companyCode = "001";
        op.fields.frequency = "5";
        op.fields.atomicDocuments = GetParam();
        driver = std::make_unique<RunDriver>(op, logs, catalogue, *local);
    }

    void setting(const std::string& module, const std::string& category,
                 const std::string& property, const std::string& value) {
        local->execute(
            "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
            "VALUES (" +
            Q(module) + ", " + Q(category) + ", " + Q(property) + ", " + Q(value) + ")");
    }

    static void addEvent(db::Connection& c, int id, const std::string& company, int type, int iddoc,
                         const std::string& pref, const std::string& number,
                         const std::string& oper = "I") {
        c.execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, "
            "RPEV_PREF, RPEV_NUMERO, RPEV_OPER, RPEV_PREFDEST, RPEV_FECREG, RPEV_HORAREG) "
            "VALUES (" +
            sqlInt(id) + ", " + Q(company) + ", " + sqlInt(type) + ", " + sqlInt(iddoc) + ", " +
            Q(pref) + ", " + Q(number) + ", " + Q(oper) + ", 'LC', " + Q(sqlDate(today())) +
            ", '08:00:00')");
    }

    static std::string eventState(db::Connection& c, int id) {
        db::Query q(c);
        q.open("select RPEV_FECREP, RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID = " + sqlInt(id));
        return (q.isNull(0) ? std::string("pending") : std::string("replicated")) + "|" +
               q.asText(1);
    }

    static std::int64_t count(db::Connection& c, const std::string& sql) {
        if (!c.isOpen()) {
            c.open();
        }
        db::Query q(c);
        q.open(sql);
        return q.asInt(0);
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> local;
    std::unique_ptr<db::Connection> server;
    test::RecordingOperator op;
    Logs logs{[this] { return dir.path(); }};
    Catalogue catalogue = families::catalogue();
    std::unique_ptr<RunDriver> driver;
};

TEST_P(InventoryRun, EntryDownloadsAndExitUploadsInOneRun) {
    server->execute(
        "INSERT INTO ENTRADAS (ENTR_ID, PREF_PRE, ENTR_NUMERO, NUMOK) VALUES (5, 'EN', '0001', "
        "'S')");
    server->execute("INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM) VALUES (5, 1)");
    server->execute("INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM) VALUES (5, 2)");
    addEvent(*server, 1, "001", 11, 5, "EN", "0001");
    local->execute(
        "INSERT INTO SALIDAS (SALI_ID, PREF_PRE, SALI_NUMERO, NUMOK) VALUES (9, 'SA', '0002', "
        "'S')");
    local->execute("INSERT INTO SALIDAS_DETALLE (SALI_ID, SADE_ITEM) VALUES (9, 1)");
    addEvent(*local, 2, "002", 12, 9, "SA", "0002");

    const RunReport r = driver->run();

    EXPECT_TRUE(r.finished) << op.lastError;
    EXPECT_EQ(eventState(*server, 1), "replicated|");
    EXPECT_EQ(eventState(*local, 2), "replicated|");
    EXPECT_EQ(count(*local, "select count(*) from ENTRADAS where NUMOK = 'N'"), 1);
    EXPECT_EQ(count(*local,
                    "select count(*) from ENTRADAS_DETALLE d join ENTRADAS e on "
                    "e.ENTR_ID = d.ENTR_ID"),
              2);
    EXPECT_EQ(count(*server, "select count(*) from SALIDAS where NUMOK = 'N'"), 1);
    EXPECT_EQ(count(*server,
                    "select count(*) from SALIDAS_DETALLE d join SALIDAS s on "
                    "s.SALI_ID = d.SALI_ID"),
              1);
}

// The settings the families read are sent as the ERP always wrote them:
// three from the local database as the download starts, the purchase mode
// by the lookup on the destination, the lock date in its own spelling.
TEST_P(InventoryRun, FamilySettingsAreReadAsTheErpAlwaysWroteThem) {
    addEvent(*local, 2, "002", 999, 0, "", "");
    std::vector<std::string> sent;
    db::Connection::setTraceHook([&](const db::Connection& c, const std::string& sql) {
        if (sql.find("onfiguracion") != std::string::npos ||
            sql.find("ONFIGURACION") != std::string::npos) {
            sent.push_back(c.path().substr(c.path().size() - 15, 3) + " " + sql);
        }
    });
    driver->run();
    db::Connection::setTraceHook({});
    const std::string head = "select conf_valor from configuracion where conf_modulo = ";
    EXPECT_EQ(
        sent,
        (std::vector<std::string>{
            "001 " + head +
                "'COMPRAS' and conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA "
                "DE COMPRA COMO ENTRADA O COMO FACTURA'",
            "001 " + head +
                "'FACTURACION' and conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR "
                "FACTURA DE VENTA COMO ENTRADA O COMO FACTURA'",
            "001 " + head +
                "'INVENTARIO' and conf_categoria = 'TRASLADOS' and conf_propiedad = 'REPLICAR "
                "TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA A BODEGA DE DESTINO'",
            "001 " + head +
                "'INVENTARIO' and conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE "
                "USUARIO PARA REPLICACION DE ARTICULOS'",
            "001 " + head +
                "'INVENTARIO' and conf_categoria = 'ARTICULOS' and conf_propiedad = 'CLAVE DE "
                "USUARIO PARA REPLICACION DE ARTICULOS'",
            "001 " + head +
                "'INVENTARIO' and conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE "
                "USUARIO PARA REPLICACION DE ARTICULOS'",
            "001 " + head +
                "'INVENTARIO' and conf_categoria = 'ARTICULOS' and conf_propiedad = 'CLAVE DE "
                "USUARIO PARA REPLICACION DE ARTICULOS'",
            "002 " + head +
                "'COMPRAS' and conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA "
                "DE COMPRA COMO ENTRADA O COMO FACTURA'",
            "002 select CONF_VALOR from CONFIGURACION where CONF_MODULO = 'CONTABILIDAD' and "
            "CONF_CATEGORIA = 'GENERAL' and CONF_PROPIEDAD = 'FECHA DE BLOQUEO'",
        }));
    // What they mean is compared exactly: FACTURA in lower case is not it.
    RunOptions o;
    o.setSetting(families::kPurchaseInvoiceMode.name, "factura");
    EXPECT_FALSE(families::purchaseInvoiceMode(o));
    o.setSetting(families::kPurchaseInvoiceMode.name, "FACTURA");
    EXPECT_TRUE(families::purchaseInvoiceMode(o));
    o.setSetting(families::kTransferAsEntry.name, "si");
    EXPECT_FALSE(families::transferAsEntryMode(o));
}

TEST_P(InventoryRun, RefusedLineLeavesTheEventPendingUntilTheDestinationAcceptsIt) {
    local->execute("ALTER TABLE RESERVAS_DETALLE ADD CONSTRAINT CK_CANT CHECK (REDE_CANT > 0)");
    server->execute("INSERT INTO RESERVAS (RESE_ID, PREF_PRE, RESE_NUMERO) VALUES (4, 'RS', '7')");
    server->execute(
        "INSERT INTO RESERVAS_DETALLE (RESE_ID, REDE_ITEM, REDE_CANT) VALUES (4, 1, -2)");
    addEvent(*server, 1, "001", 17, 4, "RS", "7");

    driver->run();
    const std::string first = eventState(*server, 1);
    EXPECT_EQ(first.rfind("pending|", 0), 0u) << first;
    EXPECT_NE(first.find("CK_CANT"), std::string::npos) << first;
    EXPECT_EQ(count(*local, "select count(*) from RESERVAS"), 0);

    local->open();
    local->execute("ALTER TABLE RESERVAS_DETALLE DROP CONSTRAINT CK_CANT");
    driver->run();
    // The earlier error text stays on the replicated event.
    EXPECT_EQ(eventState(*server, 1).rfind("replicated|", 0), 0u);
    EXPECT_EQ(count(*local, "select count(*) from RESERVAS"), 1);
    EXPECT_EQ(count(*local, "select count(*) from RESERVAS_DETALLE"), 1);
}

// The third of five lines refused: with whole documents the destination
// keeps exactly what it had (nothing of a new document, the previous
// version of a replaced one with all its lines); row by row the undo
// removes the new document. Either way the event waits with the database's
// message, the next event replicates, and both replicate once the
// destination accepts the line.
TEST_P(InventoryRun, RefusedThirdLineLeavesTheDestinationAsTheModeSays) {
    local->execute("ALTER TABLE RESERVAS_DETALLE ADD CONSTRAINT CK_CANT CHECK (REDE_CANT > 0)");
    local->execute(
        "INSERT INTO RESERVAS (RESE_ID, PREF_PRE, RESE_NUMERO, RESE_CONC) VALUES (50, 'RS', '7', "
        "'antes')");
    for (int item : {1, 2}) {
        local->execute("INSERT INTO RESERVAS_DETALLE (RESE_ID, REDE_ITEM, REDE_CANT) VALUES (50, " +
                       sqlInt(item) + ", 1)");
    }
    for (const auto& [id, number] : {std::pair{4, "7"}, std::pair{5, "8"}}) {
        server->execute(
            "INSERT INTO RESERVAS (RESE_ID, PREF_PRE, RESE_NUMERO, RESE_CONC) VALUES (" +
            sqlInt(id) + ", 'RS', " + Q(number) + ", 'despues')");
        for (int item = 1; item <= 5; ++item) {
            server->execute(
                "INSERT INTO RESERVAS_DETALLE (RESE_ID, REDE_ITEM, REDE_CANT) VALUES (" +
                sqlInt(id) + ", " + sqlInt(item) + ", " + (item == 3 ? "-2" : "3") + ")");
        }
    }
    server->execute("INSERT INTO RESERVAS (RESE_ID, PREF_PRE, RESE_NUMERO) VALUES (6, 'RS', '9')");
    server->execute(
        "INSERT INTO RESERVAS_DETALLE (RESE_ID, REDE_ITEM, REDE_CANT) VALUES (6, 1, 1)");
    addEvent(*server, 1, "001", 17, 4, "RS", "7");
    addEvent(*server, 2, "001", 17, 5, "RS", "8");
    addEvent(*server, 3, "001", 17, 6, "RS", "9");

    EXPECT_TRUE(driver->run().finished) << op.lastError;
    for (int event : {1, 2}) {
        const std::string state = eventState(*server, event);
        EXPECT_EQ(state.rfind("pending|", 0), 0u) << state;
        EXPECT_NE(state.find("CK_CANT"), std::string::npos) << state;
    }
    EXPECT_EQ(eventState(*server, 3), "replicated|");
    EXPECT_EQ(count(*local, "select count(*) from RESERVAS where RESE_NUMERO = '8'"), 0);
    EXPECT_EQ(count(*local,
                    "select count(*) from RESERVAS_DETALLE d join RESERVAS r on r.RESE_ID = "
                    "d.RESE_ID where r.RESE_NUMERO = '9'"),
              1);
    if (GetParam()) {
        EXPECT_EQ(count(*local,
                        "select count(*) from RESERVAS where RESE_ID = 50 and RESE_NUMERO = '7' "
                        "and RESE_CONC = 'antes'"),
                  1);
        EXPECT_EQ(count(*local, "select count(*) from RESERVAS where RESE_NUMERO = '7'"), 1);
        EXPECT_EQ(count(*local,
                        "select count(*) from RESERVAS_DETALLE where RESE_ID = 50 and REDE_CANT "
                        "= 1 and REDE_ITEM in (1, 2)"),
                  2);
        EXPECT_EQ(count(*local, "select count(*) from RESERVAS_DETALLE where RESE_ID = 50"), 2);
    }

    local->open();
    local->execute("ALTER TABLE RESERVAS_DETALLE DROP CONSTRAINT CK_CANT");
    EXPECT_TRUE(driver->run().finished) << op.lastError;
    for (int event : {1, 2}) {
        EXPECT_EQ(eventState(*server, event).rfind("replicated|", 0), 0u);
    }
    for (const char* number : {"7", "8"}) {
        EXPECT_EQ(
            count(*local, std::string("select count(*) from RESERVAS_DETALLE d join RESERVAS r on "
                                      "r.RESE_ID = d.RESE_ID where r.RESE_CONC = 'despues' and "
                                      "r.RESE_NUMERO = '") +
                              number + "'"),
            5)
            << number;
    }
}

TEST_P(InventoryRun, NullIddocLeavesThatEventPendingAndTheRunGoesOn) {
    server->execute(
        "INSERT INTO RESERVAS (RESE_ID, PREF_PRE, RESE_NUMERO) VALUES (3, 'RS', '000001')");
    addEvent(*server, 1, "001", 17, 3, "RS", "000001");
    server->execute("update REPLICA_EVENTOS set RPEV_IDDOC = NULL where RPEV_ID = 1");
    addEvent(*server, 2, "001", 17, 3, "RS", "000001");

    const RunReport r = driver->run();

    EXPECT_TRUE(r.finished);
    EXPECT_EQ(eventState(*server, 1), "pending|RPEV_IDDOC vacío o no numérico: ''");
    EXPECT_EQ(eventState(*server, 2), "replicated|");
    EXPECT_EQ(count(*local, "select count(*) from RESERVAS"), 1);
}

TEST_P(InventoryRun, TransferAsEntryReplicatesInBothPhases) {
    setting("INVENTARIO", "TRASLADOS",
            "REPLICAR TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA A BODEGA DE DESTINO", "SI");
    server->execute(
        "INSERT INTO TRASFERENCIAS (TRAN_ID, PREF_PRE, TRAN_NUMERO, TRAN_BODDES) VALUES (3, 'TR', "
        "'1', '05')");
    server->execute("INSERT INTO TRASFERENCIAS_DETALLE (TRAN_ID, TRAS_ITEM) VALUES (3, 1)");
    addEvent(*server, 1, "001", 13, 3, "TR", "1");
    local->execute(
        "INSERT INTO TRASFERENCIAS (TRAN_ID, PREF_PRE, TRAN_NUMERO, TRAN_BODDES) VALUES (8, 'TR', "
        "'2', '07')");
    local->execute("INSERT INTO TRASFERENCIAS_DETALLE (TRAN_ID, TRAS_ITEM) VALUES (8, 1)");
    addEvent(*local, 2, "002", 13, 8, "TR", "2");

    const RunReport r = driver->run();

    EXPECT_TRUE(r.finished) << op.lastError;
    EXPECT_EQ(eventState(*server, 1), "replicated|");
    EXPECT_EQ(eventState(*local, 2), "replicated|");
    // Downloaded under the event's receiving prefix, uploaded under its own;
    // each line into the destination warehouse.
    EXPECT_EQ(count(*local,
                    "select count(*) from ENTRADAS e join ENTRADAS_DETALLE d on d.ENTR_ID = "
                    "e.ENTR_ID where e.PREF_PRE = 'LC' and e.ENTR_REFER = 'TR1' and d.BODE_COD = "
                    "'05'"),
              1);
    EXPECT_EQ(count(*server,
                    "select count(*) from ENTRADAS e join ENTRADAS_DETALLE d on d.ENTR_ID = "
                    "e.ENTR_ID where e.PREF_PRE = 'TR' and e.ENTR_REFER = 'TR2' and d.BODE_COD = "
                    "'07'"),
              1);
    EXPECT_EQ(count(*local, "select count(*) from TRASFERENCIAS"), 1);
    EXPECT_EQ(count(*server, "select count(*) from TRASFERENCIAS"), 1);
}

// The download phase follows the local company's purchase invoice mode, the
// upload phase the mode of the company receiving the upload.
TEST_P(InventoryRun, PurchaseDocumentsFollowTheModeOfTheReceivingCompany) {
    setting("COMPRAS", "FACTURAS", "ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA",
            "ENTRADA");
    server->execute(
        "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
        "VALUES ('COMPRAS', 'FACTURAS', 'ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA', "
        "'FACTURA')");
    for (db::Connection* c : {server.get(), local.get()}) {
        const std::string id = c == server.get() ? "5" : "6";
        c->execute("INSERT INTO FACTURAS_COMPRA (FACO_ID, PREF_PRE, FACO_NUMERO) VALUES (" + id +
                   ", 'FA', '00000" + id + "')");
        c->execute("INSERT INTO FACTURAS_COMPRAS_DETALLE (FACO_ID, FCDE_ITEM) VALUES (" + id +
                   ", 1)");
        c->execute("INSERT INTO DEVOLUCIONES_COMPRAS (DVCO_ID, PREF_PRE, DVCO_NUMERO) VALUES (" +
                   id + ", 'DV', '00000" + id + "')");
    }
    addEvent(*server, 1, "001", 21, 5, "FA", "000005");
    addEvent(*server, 2, "001", 24, 5, "DV", "000005");
    addEvent(*local, 3, "002", 21, 6, "FA", "000006");
    addEvent(*local, 4, "002", 24, 6, "DV", "000006");

    const RunReport r = driver->run();

    EXPECT_TRUE(r.finished) << op.lastError;
    for (int id : {1, 2}) {
        EXPECT_EQ(eventState(*server, id), "replicated|") << id;
    }
    for (int id : {3, 4}) {
        EXPECT_EQ(eventState(*local, id), "replicated|") << id;
    }
    EXPECT_EQ(count(*local, "select count(*) from ENTRADAS where ENTR_TIPOREF = 21"), 1);
    EXPECT_EQ(count(*local, "select count(*) from SALIDAS where SALI_TIPOREF = 24"), 1);
    EXPECT_EQ(count(*local, "select count(*) from FACTURAS_COMPRA"), 1);
    EXPECT_EQ(count(*local, "select count(*) from DEVOLUCIONES_COMPRAS"), 1);
    EXPECT_EQ(count(*server, "select count(*) from FACTURAS_COMPRA"), 2);
    EXPECT_EQ(count(*server, "select count(*) from DEVOLUCIONES_COMPRAS"), 2);
    EXPECT_EQ(count(*server, "select count(*) from ENTRADAS"), 0);
    EXPECT_EQ(count(*server, "select count(*) from SALIDAS"), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, InventoryRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "WholeDocuments" : "RowByRow";
                         });

}  // namespace
}  // namespace replica
