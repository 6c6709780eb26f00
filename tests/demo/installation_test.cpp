#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/db/query.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {

// Every row of the tables the simulator writes, as text, dates of registration left out.
std::string dump(db::Connection& c, const std::string& sql) {
    db::Query q(c);
    q.open(sql);
    std::string out;
    for (; !q.eof(); q.next()) {
        for (int i = 0; i < q.columnCount(); ++i) {
            out += q.asText(i) + "|";
        }
        out += "\n";
    }
    return out;
}

}  // namespace

TEST(Installation, BuildsCompaniesWithTheirReplicationSettings) {
    test::TempDir dir;
    demo::InstallationOptions o;
    o.forcedWrites = false;
    demo::buildInstallation(dir.path(), o);
    auto general = test::openDatabase(demo::generalPath(dir.path()));
    db::Query q(*general);
    q.open("select comp_cod from compania order by comp_cod");
    ASSERT_EQ(q.rowCount(), 3);

    auto c1 = test::openDatabase(demo::companyPath(dir.path(), "001"));
    q = db::Query(*c1);
    q.open(
        "select first 1 rpco_servidor, rpco_cod from replica_compania r WHERE rpco_activa = "
        "'S' AND RPCO_ERRO = 'S'");
    ASSERT_FALSE(q.isEmpty());
    EXPECT_EQ(q.asText(0), dir.path());
    EXPECT_EQ(q.asText(1), "002");
    q.open(
        "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
        "conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA "
        "REPLICACION DE ARTICULOS'");
    EXPECT_EQ(q.asText(0), "SYSDBA");
    // One run of 001 meets both purchase invoice modes: its own when it
    // downloads, 002's when it uploads there.
    q.open(
        "select conf_valor from configuracion where conf_modulo = 'COMPRAS' and "
        "conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA DE COMPRA COMO "
        "ENTRADA O COMO FACTURA'");
    EXPECT_EQ(q.asText(0), "ENTRADA");
    // ... and both forms of a sales invoice: an exit when 001 downloads it,
    // an invoice when it uploads.
    q.open(
        "select conf_valor from configuracion where conf_modulo = 'FACTURACION' and "
        "conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA DE VENTA COMO "
        "ENTRADA O COMO FACTURA'");
    EXPECT_EQ(q.asText(0), "ENTRADA");
    q.open("select count(*) from articulo");
    EXPECT_GT(q.asInt(0), 0);
    q.open("select count(*) from replica_eventos");
    EXPECT_EQ(q.asInt(0), 0);  // master data is there, but no change to replicate yet

    auto c2 = test::openDatabase(demo::companyPath(dir.path(), "002"));
    q = db::Query(*c2);
    q.open("select rpco_cod from replica_compania where rpco_erro = 'S'");
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.asText(0), "001");  // the source itself downloads from another company
    q.open(
        "select conf_valor from configuracion where conf_modulo = 'COMPRAS' and "
        "conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA DE COMPRA COMO "
        "ENTRADA O COMO FACTURA'");
    EXPECT_EQ(q.asText(0), "FACTURA");
    q.open(
        "select conf_valor from configuracion where conf_modulo = 'FACTURACION' and "
        "conf_categoria = 'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA DE VENTA COMO "
        "ENTRADA O COMO FACTURA'");
    EXPECT_EQ(q.asText(0), "FACTURA");
    EXPECT_EQ(test::slurp(dir.file("SERVIDORES.cfg")), dir.path() + "\r\n");
}

TEST(Installation, IsqlOpensItWithTheConfiguredCredentials) {
    if (std::system("command -v isql-fb >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "isql-fb is not installed";
    }
    test::TempDir dir;
    demo::InstallationOptions o;
    o.forcedWrites = false;
    demo::buildInstallation(dir.path(), o);
    const std::string sqlFile = dir.file("q.sql");
    {
        std::FILE* f = std::fopen(sqlFile.c_str(), "w");
        std::fputs("select count(*) from compania;\n", f);
        std::fclose(f);
    }
    const std::string out = dir.file("out.txt");
    const std::string cmd = "isql-fb -q -user SYSDBA -password masterkey -i " + sqlFile + " " +
                            demo::generalPath(dir.path()) + " > " + out + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << test::slurp(out);
    EXPECT_NE(test::slurp(out).find("3"), std::string::npos) << test::slurp(out);
}

TEST(Simulator, SameSeedWritesTheSameActivity) {
    test::TempDir dir;
    demo::SimulationOptions o;
    o.seed = 42;
    o.documents = 30;
    o.masters = 10;
    o.updates = 2;
    o.annulments = 2;
    o.deletions = 2;
    o.types = {11, 101};
    std::string events[2];
    std::string entries[2];
    for (int i = 0; i < 2; ++i) {
        auto c = test::createCompany(dir.file("s" + std::to_string(i) + ".fdb"));
        c->execute(
            "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
            "REPC_COMPANIA) VALUES (11, '" +
            demo::prefixFor(11) + "', 'S', '001')");
        c->execute(
            "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
            "REPC_COMPANIA) VALUES (101, '', 'S', '001')");
        const auto r = demo::simulate(*c, o);
        EXPECT_EQ(r.documents, 30);
        EXPECT_GT(r.events, 0);
        events[i] = dump(*c,
                         "select rpev_compania, rpev_tipo, rpev_iddoc, rpev_pref, rpev_numero, "
                         "rpev_codigo, rpev_oper from replica_eventos order by rpev_id");
        entries[i] = dump(*c, "select * from entradas order by entr_id");
    }
    EXPECT_EQ(events[0], events[1]);
    EXPECT_EQ(entries[0], entries[1]);
    EXPECT_NE(events[0].find("|I|"), std::string::npos);
    EXPECT_NE(events[0].find("|U|"), std::string::npos);
    EXPECT_NE(events[0].find("|D|"), std::string::npos);
}
