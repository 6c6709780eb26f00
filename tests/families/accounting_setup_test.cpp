// Accounting setup shared by every company: ledger accounts, document
// prefixes and the seven accounting interfaces, between two real company
// databases and through the agent's catalogue.

#include <gtest/gtest.h>

#include "families/accounting.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;

class AccountingSetup : public TwoCompanies {};

// The 14 shared columns as a select list.
std::string prefixColumnList() {
    std::string list;
    for (const NamedColumn& c : families::prefixColumns()) {
        list += (list.empty() ? "" : ", ") + std::string(c.name);
    }
    return list;
}

TEST_F(AccountingSetup, PrefixWritesItsFourteenColumnsAndLeavesTheCompanysOwn) {
    source->execute(
        "INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_ACTUAL, PREF_AUTO, PREF_IVAINC, PREF_PROY, "
        "PREF_CENTRO, PREF_ACTIVO, PREF_USUARIO, TICO_COD, SUCU_ID, PREF_SUBC, PREF_DEC1818, "
        "PREF_FLETE, PREF_NOMBRE, PREF_INICIAL, PREF_FINAL, PREF_RESOLUCION) VALUES (31, 'F''A', "
        "120, 'S', 'N', 'P1', 'C1', 'S', 'ana', 'CT31', 2, 'N', 'S', NULL, 'fuente', 100, 900, "
        "'R-1')");
    for (int type : {31, 32}) {
        destination->execute(
            "INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_ACTUAL, PREF_FLETE, PREF_NOMBRE, "
            "PREF_INICIAL, PREF_FINAL, PREF_RESOLUCION, PREF_FECRES) VALUES (" +
            sqlInt(type) + ", 'F''A', 7, 'S', 'propio', 5000, 6000, 'R-9', '2025-06-01')");
    }
    const std::string shared =
        "select " + prefixColumnList() + " from PREFIJOS where TIDO_COD = 31 and PREF_PRE = 'F''A'";
    const std::string own =
        "select PREF_NOMBRE, PREF_INICIAL, PREF_FINAL, PREF_RESOLUCION, PREF_FECRES from PREFIJOS "
        "where PREF_PRE = 'F''A' order by TIDO_COD";
    const Rows untouched = rows(*destination, "select * from PREFIJOS where TIDO_COD = 32");

    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        const EventState s = dispatch(event(142, "U", 31, "F'A", ""));

        ASSERT_FALSE(s.failed) << lastEventError();
        // PREF_ACTUAL included; a null in the source stays null.
        EXPECT_EQ(rows(*destination, shared), rows(*source, shared));
        EXPECT_EQ(rows(*destination, own),
                  (Rows{{"PREF_NOMBRE=propio", "PREF_INICIAL=5000", "PREF_FINAL=6000",
                         "PREF_RESOLUCION=R-9", "PREF_FECRES=2025-06-01"},
                        {"PREF_NOMBRE=propio", "PREF_INICIAL=5000", "PREF_FINAL=6000",
                         "PREF_RESOLUCION=R-9", "PREF_FECRES=2025-06-01"}}));
        EXPECT_EQ(rows(*destination, "select * from PREFIJOS where TIDO_COD = 32"), untouched);
    }

    // A new prefix: the 14 columns, the company's own ones from their
    // defaults.
    destination->execute("DELETE FROM PREFIJOS WHERE TIDO_COD = 31");
    ASSERT_FALSE(dispatch(event(142, "I", 31, "F'A", "")).failed);
    EXPECT_EQ(rows(*destination, shared), rows(*source, shared));
    EXPECT_EQ(
        rows(*destination,
             "select PREF_NOMBRE, PREF_INICIAL, PREF_FINAL from PREFIJOS where TIDO_COD = 31"),
        (Rows{{"PREF_NOMBRE=<null>", "PREF_INICIAL=1", "PREF_FINAL=99999999"}}));
}

// The seven interfaces, each with the four texts its events send.
struct Interface {
    int type;
    const char* header;
    const char* id;
    const char* accounts;
    const char* item;
    const char* texts[4];
};

const Interface kInterfaces[] = {
    {111,
     "INTERFAZ_BANCOS",
     "INBA_ID",
     "INTERFAZ_BANCOS_CTAS",
     "INBC_ITEM",
     {"select * from interfaz_bancos where inba_id = ",
      "SELECT * FROM INTERFAZ_BANCOS WHERE INBA_ID = ",
      "select * from interfaz_bancos_ctas where inba_id = ",
      "SELECT * FROM INTERFAZ_BANCOS_CTAS WHERE INBA_ID = 7 AND INBC_ITEM = "}},
    {112,
     "INTERFAZ_CAJA",
     "INCJ_ID",
     "INTERFAZ_CAJA_CTAS",
     "INJC_ITEM",
     {"select * from interfaz_caja where incj_id = ",
      "SELECT * FROM INTERFAZ_CAJA WHERE INCJ_ID = ",
      "select * from interfaz_caja_ctas where incj_id = ",
      "SELECT * FROM INTERFAZ_CAJA_CTAS WHERE INCJ_ID = 7 AND INJC_ITEM = "}},
    {113,
     "INTERFAZ_CARTERA",
     "INCA_ID",
     "INTERFAZ_CARTERA_CTAS",
     "INCD_ITEM",
     {"select * from interfaz_cartera where inca_id = ",
      "SELECT * FROM INTERFAZ_CARTERA WHERE INCA_ID = ",
      "select * from interfaz_cartera_ctas where inca_id = ",
      "SELECT * FROM INTERFAZ_CARTERA_CTAS WHERE INCA_ID = 7 AND INCD_ITEM = "}},
    {114,
     "INTERFAZ_COMPRAS",
     "INCO_ID",
     "INTERFAZ_COMPRAS_CTAS",
     "INCC_ITEM",
     {"select * from interfaz_compras where inco_id = ",
      "SELECT * FROM INTERFAZ_COMPRAS WHERE INCO_ID = ",
      "select * from interfaz_compras_ctas where inco_id = ",
      "SELECT * FROM INTERFAZ_COMPRAS_CTAS WHERE INCO_ID = 7 AND INCC_ITEM = "}},
    {115,
     "INTERFAZ_CXPAGAR",
     "INCP_ID",
     "INTERFAZ_CXPAGAR_CTAS",
     "INPC_ITEM",
     {"select * from interfaz_cxpagar where incp_id = ",
      "SELECT * FROM INTERFAZ_CXPAGAR WHERE INCP_ID = ",
      "select * from interfaz_cxpagar_ctas where incp_id = ",
      "SELECT * FROM INTERFAZ_CXPAGAR_CTAS WHERE INCP_ID = 7 AND INPC_ITEM = "}},
    {116,
     "INTERFAZ_INVENTARIO",
     "ININ_ID",
     "INTERFAZ_INVENTARIO_CTAS",
     "INIC_ITEM",
     {"select * from interfaz_inventario where inin_id = ",
      "SELECT * FROM INTERFAZ_INVENTARIO WHERE ININ_ID = ",
      "select * from interfaz_inventario_ctas where inin_id = ",
      "SELECT * FROM INTERFAZ_INVENTARIO_CTAS WHERE ININ_ID = 7 AND INIC_ITEM = "}},
    {117,
     "INTERFAZ_VENTAS",
     "INVE_ID",
     "INTERFAZ_VENTAS_CTAS",
     "INVC_ITEM",
     {"select * from interfaz_ventas where inve_id = ",
      "SELECT * FROM INTERFAZ_VENTAS WHERE INVE_ID = ",
      "select * from interfaz_ventas_ctas where inve_id = ",
      "SELECT * FROM INTERFAZ_VENTAS_CTAS WHERE INVE_ID = 7 AND INVC_ITEM = "}},
};

class Interfaces : public TwoCompanies, public ::testing::WithParamInterface<Interface> {
  protected:
    void insertAccount(db::Connection& c, int item, const std::string& account) {
        const Interface& k = GetParam();
        c.execute(std::string("INSERT INTO ") + k.accounts + " (" + k.id + ", " + k.item +
                  ", CUEN_COD) VALUES (7, " + sqlInt(item) + ", " + Q(account) + ")");
    }
    std::vector<std::string> destinationAccounts() {
        const Interface& k = GetParam();
        return column(*destination, std::string("select ") + k.id + " || '/' || " + k.item +
                                        " || '=' || CUEN_COD from " + k.accounts + " order by 1");
    }
};

TEST_P(Interfaces, NewInterfaceKeepsTheSourceIdAndAnExtraDestinationAccountStays) {
    const Interface& k = GetParam();
    const std::string name = std::string(k.id).substr(0, 4) + "_NOMBRE";
    source->execute(std::string("INSERT INTO ") + k.header + " (" + k.id + ", " + name +
                    ") VALUES (7, 'fuente')");
    insertAccount(*source, 1, "1105");
    insertAccount(*source, 2, "2408");
    std::vector<std::string> sent;
    traceDestination(sent);

    EventState s = dispatch(event(k.type, "I", 7, "", ""));
    db::Connection::setTraceHook({});

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination,
                     std::string("select ") + k.id + " || '=' || " + name + " from " + k.header),
              std::vector<std::string>{"7=fuente"});
    EXPECT_EQ(destinationAccounts(), (std::vector<std::string>{"7/1=1105", "7/2=2408"}));
    EXPECT_EQ(sent, (std::vector<std::string>{
                        std::string("src: ") + k.texts[0] + "7",
                        std::string("dst: ") + k.texts[1] + "7",
                        std::string("src: ") + k.texts[2] + "7",
                        std::string("dst: ") + k.texts[3] + "1",
                        std::string("dst: ") + k.texts[3] + "2",
                    }));

    // Both have it; the destination has one account row more, which stays.
    source->execute(std::string("UPDATE ") + k.header + " SET " + name + " = 'cambiado'");
    source->execute(std::string("UPDATE ") + k.accounts + " SET CUEN_COD = '1110' WHERE " + k.item +
                    " = 2");
    insertAccount(*destination, 3, "5195");
    phase = Phase::Upload;
    s = dispatch(event(k.type, "U", 7, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, std::string("select ") + name + " from " + k.header),
              std::vector<std::string>{"cambiado"});
    EXPECT_EQ(destinationAccounts(),
              (std::vector<std::string>{"7/1=1105", "7/2=1110", "7/3=5195"}));
}

INSTANTIATE_TEST_SUITE_P(SevenKinds, Interfaces, ::testing::ValuesIn(kInterfaces),
                         [](const auto& info) { return std::to_string(info.param.type); });

}  // namespace
}  // namespace replica
