#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "demo/simulator.h"
#include "engine/catalogue.h"
#include "engine/db/query.h"
#include "engine/sql.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {

std::int64_t scalar(db::Connection& c, const std::string& sql) {
    db::Query q(c);
    q.open(sql);
    return q.asInt(0);
}

// Where simulated rows name another document: a query giving type code, id,
// prefix and number per row (or, with `split`, type, id and one text whose
// last `split` characters are the number), and the types the receiving side
// accepts there (empty: any type of the reference lookup).
struct ReferenceCheck {
    const char* what;
    const char* sql;
    std::vector<int> types;
    int split = 0;
};

const std::vector<int> kCustomer = {31, 33, 41, 42, 45};
const std::vector<int> kSupplier = {21, 24, 51, 52, 55};

const ReferenceCheck kChecks[] = {
    {"voucher",
     "select ENCO_TIPODOC, ENCO_IDDOC, PRCO_PREF, ENCO_NUMERO from COMPROBANTE_ENCABEZADO",
     {}},
    {"customer application",
     "select APCD_TIPOREF, APCD_IDREF, APCD_PREFREF, APCD_NUMREF from APLICACION_CLIENTE_DETALLE",
     kCustomer},
    {"supplier application",
     "select APPD_TIPOREF, APPD_IDREF, APPD_PREFREF, APPD_NUMREF from "
     "APLICACION_PROVEEDOR_DETALLE",
     kSupplier},
    {"receipt line",
     "select RCDE_TIPODOC, RCDE_IDDOC, RCDE_PREFDOC, RCDE_NUMDOC from RECIBOS_CAJA_DETALLE",
     kCustomer},
    {"receipt cross line",
     "select RCCC_TIPODOC, RCCC_IDDOC, RCCC_PREFDOC, RCCC_NUMDOC from RECIBOS_CAJA_CRUCEC",
     kSupplier},
    {"disbursement line",
     "select EGDE_TIPODOC, EGDE_IDDOC, EGDE_PREFDOC, EGDE_NUMDOC from EGRESOS_DETALLE", kSupplier},
    {"disbursement cross line",
     "select EGCC_TIPODOC, EGCC_IDDOC, EGCC_PREFDOC, EGCC_NUMDOC from EGRESOS_CRUCEC", kCustomer},
    {"payroll receivable line",
     "select NCDE_TIPODOC, NCDE_IDDOC, NCDE_PREF, NCDE_NUMERO from NOMINA_CARTERA_DETALLE",
     kCustomer},
    {"sales return invoice",
     "select 31, DEVT_FACTID, DEVT_FACTURA from DEVOLUCIONES_VENTAS",
     {31},
     8},
    {"purchase return invoice",
     "select 21, DVCO_FACTID, DVCO_FACTURA from DEVOLUCIONES_COMPRAS",
     {21},
     6},
    {"customer advance receipt",
     "select 61, a.RECA_ID, r.PREF_PRE, r.RECA_NUMERO from ANTICIPOS_CLIENTE a left join "
     "RECIBOS_CAJA r on r.RECA_ID = a.RECA_ID",
     {61}},
    {"supplier advance disbursement",
     "select 62, a.EGRE_ID, e.PREF_PRE, e.EGRE_NUMERO from ANTICIPOS_PROVEEDOR a left join "
     "EGRESOS e on e.EGRE_ID = a.EGRE_ID",
     {62}},
};

}  // namespace

// What the simulator writes must be what a receiving company can resolve:
// every document a row names is found again by its type, prefix and number
// through the reference lookup, with the id the row holds; no row names a
// deleted document or leaves the reference NULL.
TEST(Simulator, ReferencesNameDocumentsTheRunWrote) {
    test::TempDir dir;
    auto c = test::createCompany(dir.file("c.fdb"));
    for (int type : demo::documentTypes()) {
        for (const std::string& prefix : demo::prefixesFor(type)) {
            c->execute(
                "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
                "REPC_COMPANIA) VALUES (" +
                sqlInt(type) + ", " + Q(prefix) + ", 'S', '001')");
        }
    }
    demo::SimulationOptions o;
    o.seed = 3;
    o.documents = 3 * static_cast<int>(demo::documentTypes().size());
    o.masters = 0;
    o.linesPerDocument = 2;
    o.updates = 3;
    o.annulments = 3;
    o.deletions = 20;
    demo::simulate(*c, o);
    // Then more vouchers than invoices: each invoice gets one, the rest name none.
    demo::SimulationOptions vouchers;
    vouchers.seed = 4;
    vouchers.documents = 12;
    vouchers.masters = 0;
    vouchers.types = {31, 1};
    demo::simulate(*c, vouchers);

    for (const ReferenceCheck& check : kChecks) {
        SCOPED_TRACE(check.what);
        db::Query q(*c);
        q.open(check.sql);
        int resolved = 0;
        for (; !q.eof(); q.next()) {
            ASSERT_FALSE(q.isNull(0) || q.isNull(1));
            const int type = static_cast<int>(q.asInt(0));
            const std::int64_t id = q.asInt(1);
            if (type == 0 || id == 0) {
                continue;  // names no document
            }
            std::string prefix = q.asText(2);
            std::string number = check.split ? std::string() : q.asText(3);
            if (check.split) {
                ASSERT_GT(prefix.size(), static_cast<std::size_t>(check.split)) << prefix;
                number = prefix.substr(prefix.size() - static_cast<std::size_t>(check.split));
                prefix.resize(prefix.size() - static_cast<std::size_t>(check.split));
            }
            if (!check.types.empty()) {
                EXPECT_NE(std::find(check.types.begin(), check.types.end(), type),
                          check.types.end())
                    << type;
            }
            const std::string lookup = referenceSql(type, prefix, number);
            ASSERT_FALSE(lookup.empty()) << type;
            db::Query found(*c);
            found.open(lookup);
            ASSERT_FALSE(found.isEmpty()) << lookup;
            EXPECT_EQ(found.asInt(0), id) << lookup;
            ++resolved;
        }
        EXPECT_GT(resolved, 0);
    }

    // One voucher per key, and its events carry the voucher type.
    EXPECT_EQ(scalar(*c,
                     "select count(*) from (select 1 as n from COMPROBANTE_ENCABEZADO group by "
                     "TICO_COD, PRCO_PREF, ENCO_NUMERO having count(*) > 1)"),
              0);
    EXPECT_GT(scalar(*c, "select count(*) from REPLICA_EVENTOS where RPEV_TIPO = 1"), 0);
    EXPECT_EQ(scalar(*c,
                     "select count(*) from REPLICA_EVENTOS e left join COMPROBANTE_ENCABEZADO v "
                     "on v.ENCO_CONSEC = e.RPEV_IDDOC where e.RPEV_TIPO = 1 and (e.RPEV_CODIGO "
                     "is null or e.RPEV_CODIGO <> v.TICO_COD)"),
              0);

    // Every family reaches the event table (vouchers under borrowed prefixes,
    // payroll documents under none); numbers of 6 digits or more; some copies
    // filed under another prefix.
    EXPECT_EQ(scalar(*c, "select count(distinct RPEV_TIPO) from REPLICA_EVENTOS"),
              static_cast<std::int64_t>(demo::documentTypes().size()));
    db::Query numbers(*c);
    numbers.open("select distinct RPEV_NUMERO from REPLICA_EVENTOS where RPEV_NUMERO <> ''");
    ASSERT_FALSE(numbers.isEmpty());
    for (; !numbers.eof(); numbers.next()) {
        const std::string n = numbers.asText(0);
        EXPECT_GE(n.size(), 6u) << n;
        EXPECT_TRUE(std::all_of(n.begin(), n.end(), [](unsigned char ch) {
            return std::isdigit(ch);
        })) << n;
    }
    EXPECT_GT(scalar(*c, "select count(*) from REPLICA_EVENTOS where RPEV_PREFDEST <> RPEV_PREF"),
              0);
    EXPECT_GT(scalar(*c, "select count(*) from REPLICA_EVENTOS where RPEV_OPER = 'D'"), 0);
}
