// Third parties, accounting setup and payroll records as the ERP simulator
// writes them (the employee in an overtime event's RPEV_CODIGO, the prefix in
// RPEV_PREF, interfaces with their account rows, receivable lines collecting
// notes and advances written with them), replicated by one run of the event
// loop.

#include <gtest/gtest.h>

#include "demo/simulator.h"
#include "engine/eventloop.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

// Row by row (the default) and with whole documents.
class MastersRun : public TwoCompanies, public ::testing::WithParamInterface<bool> {};

TEST_P(MastersRun, SimulatedActivityLeavesTheDestinationEqualToTheSource) {
    const std::vector<int> masters = {96,  100, 102, 103, 104, 105, 106, 111, 112,
                                      113, 114, 115, 116, 117, 142, 152, 192};
    const std::vector<int> documents = {41, 45, 94, 193};
    for (const std::vector<int>* types : {&masters, &documents}) {
        for (int type : *types) {
            source->execute(
                "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
                "REPC_COMPANIA) VALUES (" +
                sqlInt(type) + ", " + Q(demo::prefixFor(type)) + ", 'S', '001')");
        }
    }
    demo::SimulationOptions o;
    o.seed = 5;
    o.documents = 0;
    o.masters = 2 * static_cast<int>(masters.size());
    o.masterUpdates = static_cast<int>(masters.size());
    o.masterDeletions = 1;  // the second concept
    o.types = masters;
    int events = demo::simulate(*source, o).events;
    o.documents = 8;
    o.masters = 0;
    o.updates = 4;
    o.types = documents;
    events += demo::simulate(*source, o).events;

    options.atomicDocuments = GetParam();
    const Catalogue catalogue = families::catalogue();
    EventLoop loop(op, logs, errors, catalogue);
    const PhaseSetup setup{Phase::Download, source.get(), destination.get(), &options, {}, ""};
    loop.select(setup, downloadEventsSql("1000", "001", false, false));
    LoopCounts counts;
    loop.handleAll(setup, counts);

    EXPECT_EQ(counts.completed, events) << op.lastError;
    EXPECT_EQ(count(*destination, "select count(*) from CONCEPTOS_NOMINA"), 1);
    for (const char* sql : {
             "select * from CONCEPTOS_NOMINA order by 1",
             "select * from CUENTAS order by 1",
             "select * from TERCEROS order by 1",
             "select * from CLIENTES order by 1",
             "select * from PROVEEDORES order by 1",
             "select * from COBRADORES order by 1",
             "select * from VENDEDORES order by 1",
             "select * from INTERFAZ_BANCOS order by 1",
             "select * from INTERFAZ_BANCOS_CTAS order by 1, 2",
             "select * from INTERFAZ_VENTAS order by 1",
             "select * from INTERFAZ_VENTAS_CTAS order by 1, 2",
             "select TIDO_COD, PREF_PRE, PREF_ACTUAL, PREF_AUTO from PREFIJOS order by 1, 2",
             "select * from CLIENTE_SUCURSALES where CLCU_COD <> '01' order by 1, 2",
             "select * from NOMINA_HORASEXT order by 1",
             "select * from NOMINA_CARTERA order by 1",
             "select * from NOMINA_CARTERA_DETALLE order by 1, 2",
             "select TERC_NIT, TNOV_COD, NONO_FECHA, NONO_VALOR from NOMINA_NOVEDADES order by 1, "
             "2, 3",
         }) {
        EXPECT_EQ(rows(*destination, sql), rows(*source, sql)) << sql;
    }
    // The receivable lines name documents of the run, found again by the
    // destination.
    EXPECT_GT(
        count(*destination, "select count(*) from NOMINA_CARTERA_DETALLE where NCDE_IDDOC <> 0"),
        0);
    EXPECT_GT(count(*destination, "select count(*) from INTERFAZ_BANCOS_CTAS"), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, MastersRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "WholeDocuments" : "RowByRow";
                         });

}  // namespace
}  // namespace replica
