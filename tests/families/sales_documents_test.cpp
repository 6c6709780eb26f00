// Sales delivery notes, orders and quotations as plain copies, and sales
// returns with their translated references, between two real company
// databases.

#include <gtest/gtest.h>

#include "engine/documentcopy.h"
#include "families/sales.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

Texts startingWith(const Texts& sent, const std::vector<std::string>& heads) {
    Texts out;
    for (const std::string& s : sent) {
        for (const std::string& head : heads) {
            if (s.rfind(head, 0) == 0) {
                out.push_back(s);
            }
        }
    }
    return out;
}

struct Plain {
    const char* name;
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* annul;
    const char* detail;
    const char* item;
    const char* sequence;
    const char* clear;  // the line delete, as sent
};
void PrintTo(const Plain& c, std::ostream* os) {
    *os << c.name;
}

class PlainSalesDocument : public TwoCompanies, public ::testing::WithParamInterface<Plain> {
  protected:
    EventState copy(const std::string& oper) {
        const Plain& d = GetParam();
        return run(documentHandler(families::salesDocument(d.type)),
                   event(d.type, oper, 3, "VE", "000003", "LC"));
    }
};

TEST_P(PlainSalesDocument, IsCopiedReplacedAnnulledDeletedAndUndoneByItsHeader) {
    const Plain& d = GetParam();
    const std::string table = d.table;
    const std::string detail = d.detail;
    source->execute("INSERT INTO " + table + " (" + d.id + ", PREF_PRE, " + d.number +
                    ", TERC_NIT, BODE_COD) VALUES (3, 'VE', '000003', '900123', '01')");
    for (int i = 1; i <= 3; ++i) {
        source->execute("INSERT INTO " + detail + " (" + d.id + ", " + d.item +
                        ", ARTI_COD) VALUES (3, " + sqlInt(i) + ", 'ART" + sqlInt(i) + "')");
    }
    destination->execute(std::string("ALTER SEQUENCE ") + d.sequence + " RESTART WITH 400");
    const std::string header = "select " + std::string(d.id) + ", PREF_PRE, " + d.number +
                               ", TERC_NIT, BODE_COD from " + table;
    const std::string lines =
        "select " + std::string(d.id) + " || '/' || " + d.item + " from " + detail;
    std::vector<std::string> sent;
    traceDestination(sent);

    EventState s = copy("I");
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(s.destinationId, 401);
    EXPECT_EQ(column(*destination, lines), (Texts{"401/1", "401/2", "401/3"}));

    source->execute("update " + table + " set BODE_COD = '09'");
    source->execute("delete from " + detail + " where " + d.item + " = 1");
    s = copy("U");
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination, header),
              (Rows{{std::string(d.id) + "=401", "PREF_PRE=VE", std::string(d.number) + "=000003",
                     "TERC_NIT=900123", "BODE_COD=09"}}));
    EXPECT_EQ(column(*destination, lines), (Texts{"401/2", "401/3"}));

    EXPECT_FALSE(copy("A").failed);
    EXPECT_EQ(column(*destination, std::string("select ") + d.annul + " from " + table),
              Texts{"S"});
    EXPECT_FALSE(copy("D").failed);
    EXPECT_EQ(count(*destination, "select count(*) from " + table), 0);

    // A refused line leaves no header behind; no points for these.
    destination->execute("delete from " + detail);
    destination->execute("ALTER TABLE " + detail + " ADD CONSTRAINT CK_SIN_TERCERA CHECK (" +
                         d.item + " <> 3)");
    sent.clear();
    s = copy("I");
    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_TERCERA"), std::string::npos);
    const std::string id = sqlInt(s.destinationId);
    EXPECT_EQ(Texts(sent.end() - 2, sent.end()),
              (Texts{std::string("dst: ") + d.clear + id,
                     "dst: DELETE FROM " + table + " WHERE " + d.id + " = " + id}));
    EXPECT_EQ(count(*destination, "select count(*) from " + table), 0);
    EXPECT_EQ(count(*destination, "select count(*) from " + detail), 0);
    EXPECT_TRUE(startingWith(sent, {"dst: execute procedure"}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Types, PlainSalesDocument,
    ::testing::Values(Plain{"DeliveryNote", 32, "REMISIONES_VENTA", "REVT_ID", "REVT_NUMERO",
                            "REVT_ANULADO", "REMISIONES_VENTA_DETALLE", "RVDE_ITEM",
                            "GEN_REMISIONES_VENTA",
                            "delete from remisiones_venta_detalle where revt_id = "},
                      Plain{"Order", 34, "PEDIDOS", "PEDI_ID", "PEDI_NUMERO", "PEDI_ANULADO",
                            "PEDIDOS_DETALLE", "PEDE_ITEM", "GEN_PEDIDOS",
                            "delete from pedidos_detalle where pedi_id = "},
                      Plain{"Quotation", 35, "COTIZACIONES", "COTI_ID", "COTI_NUMERO",
                            "COTI_ANULADO", "COTIZACIONES_DETALLE", "COTD_ITEM", "GEN_COTIZACIONES",
                            "delete from cotizaciones_detalle where coti_id = "}),
    [](const auto& info) { return std::string(info.param.name); });

class SalesReturns : public TwoCompanies {
  protected:
    Handler returns = documentHandler(families::salesDocument(33));

    void SetUp() override {
        destination->execute("ALTER SEQUENCE GEN_DEVOLUCIONES_VENTAS RESTART WITH 400");
    }

    // A return of `lines` lines naming invoice and disbursement (SQL values).
    void insertReturn(const std::string& factura, const std::string& factid,
                      const std::string& idegre, int lines = 2) {
        source->execute(
            "INSERT INTO DEVOLUCIONES_VENTAS (DEVT_ID, PREF_PRE, DEVT_NUMERO, TERC_NIT, "
            "DEVT_FACTID, DEVT_FACTURA, DEVT_IDEGRE, DEVT_TOTAL, DEVT_IMPLICA, DEVT_ANULADO, "
            "DEVT_CONTABILIZADO) VALUES (3, 'DV', '000003', '900123', " +
            factid + ", " + factura + ", " + idegre + ", 4200, 'N', 'N', 'N')");
        for (int i = 1; i <= lines; ++i) {
            source->execute(
                "INSERT INTO DEVOLUCIONES_VENTAS_DETALLE (DEVT_ID, DVDE_ITEM, ARTI_COD) VALUES "
                "(3, " +
                sqlInt(i) + ", 'ART" + sqlInt(i) + "')");
        }
    }

    EventState copy(const std::string& oper) {
        return run(returns, event(33, oper, 3, "DV", "000003", "LC"));
    }

    std::string returnColumn(const std::string& name) {
        return column(*destination, "select " + name + " from DEVOLUCIONES_VENTAS").at(0);
    }
};

// DEVT_FACTID names the destination's invoice, found by the prefix and the
// last 8 characters of DEVT_FACTURA.
struct InvoiceCase {
    const char* name;
    const char* factura;  // SQL
    const char* factid;   // SQL
    const char* prefix;   // of the destination's invoice
    const char* number;
    const char* expected;  // once that invoice is there
    const char* query;     // the lookup sent, or nullptr when none
};
void PrintTo(const InvoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class ReturnedSalesInvoice : public SalesReturns,
                             public ::testing::WithParamInterface<InvoiceCase> {};

TEST_P(ReturnedSalesInvoice, IsFoundAgainOnInsertAndOnReplace) {
    const InvoiceCase& c = GetParam();
    insertReturn(c.factura, c.factid, "0");
    // An invoice that a split by bytes, or by the wrong length, would find.
    destination->execute(
        "INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO) VALUES (600, 'AB0', '000004Ñ')");
    std::vector<std::string> sent;
    traceDestination(sent);
    const Texts query = c.query ? Texts{std::string("dst: ") + c.query} : Texts{};
    const bool names = std::string(c.factid) != "0" && std::string(c.factid) != "NULL";

    ASSERT_FALSE(copy("I").failed) << lastEventError();
    EXPECT_EQ(returnColumn("DEVT_FACTID"), names ? "0" : c.expected);
    EXPECT_EQ(startingWith(sent, {"dst: select fact_id"}), query);

    destination->execute("INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO) VALUES (555, " +
                         Q(c.prefix) + ", " + Q(c.number) + ")");
    sent.clear();
    ASSERT_FALSE(copy("U").failed) << lastEventError();
    EXPECT_EQ(returnColumn("DEVT_FACTID"), c.expected);
    EXPECT_EQ(startingWith(sent, {"dst: select fact_id"}), query);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReturnedSalesInvoice,
    ::testing::Values(
        InvoiceCase{"FourLetterPrefix", "'FA3100000045'", "9", "FA31", "00000045", "555",
                    "select fact_id from facturas where pref_pre = 'FA31' AND FACT_NUMERO = "
                    "'00000045'"},
        InvoiceCase{"AccentedNumber", "'AB0000004Ñ'", "9", "AB", "0000004Ñ", "555",
                    "select fact_id from facturas where pref_pre = 'AB' AND FACT_NUMERO = "
                    "'0000004Ñ'"},
        InvoiceCase{"ShortTextIsAllNumber", "'4567'", "9", "", "4567", "555",
                    "select fact_id from facturas where pref_pre = '' AND FACT_NUMERO = '4567'"},
        InvoiceCase{"ZeroIsLeftAlone", "'FA3100000045'", "0", "FA31", "00000045", "0", nullptr},
        InvoiceCase{"NullIsLeftAlone", "'FA3100000045'", "NULL", "FA31", "00000045", "<null>",
                    nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// DEVT_IDEGRE names the destination's disbursement with the prefix and number
// the source's has, on a new return and on a replaced one.
struct RefundCase {
    const char* name;
    const char* idegre;  // SQL
    const char* expected;
    Texts queries;
};
void PrintTo(const RefundCase& c, std::ostream* os) {
    *os << c.name;
}

class RefundingDisbursement : public SalesReturns,
                              public ::testing::WithParamInterface<RefundCase> {};

TEST_P(RefundingDisbursement, IsFoundAgainOnInsertAndOnReplace) {
    const RefundCase& c = GetParam();
    insertReturn("'FA3100000045'", "0", c.idegre);
    source->execute(
        "INSERT INTO EGRESOS (EGRE_ID, PREF_PRE, EGRE_NUMERO) VALUES (31, 'EG62', '00000031')");
    std::vector<std::string> sent;
    traceDestination(sent);
    const Texts heads = {"src: SELECT PREF_PRE", "dst: select egre_id"};

    ASSERT_FALSE(copy("I").failed) << lastEventError();
    EXPECT_EQ(returnColumn("DEVT_IDEGRE"),
              std::string(c.expected) == "777" ? "0" : std::string(c.expected));
    EXPECT_EQ(startingWith(sent, heads), c.queries);

    destination->execute(
        "INSERT INTO EGRESOS (EGRE_ID, PREF_PRE, EGRE_NUMERO) VALUES (777, 'EG62', '00000031')");
    sent.clear();
    ASSERT_FALSE(copy("U").failed) << lastEventError();
    EXPECT_EQ(returnColumn("DEVT_IDEGRE"), c.expected);
    EXPECT_EQ(startingWith(sent, heads), c.queries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefundingDisbursement,
    ::testing::Values(
        RefundCase{"Found",
                   "31",
                   "777",
                   {"src: SELECT PREF_PRE, EGRE_NUMERO FROM EGRESOS WHERE EGRE_ID = 31",
                    "dst: select egre_id from egresos where pref_pre = 'EG62' and egre_numero = "
                    "'00000031'"}},
        RefundCase{"NotInTheSource",
                   "32",
                   "0",
                   {"src: SELECT PREF_PRE, EGRE_NUMERO FROM EGRESOS WHERE EGRE_ID = 32"}},
        RefundCase{"ZeroIsLeftAlone", "0", "0", {}},
        RefundCase{"NullIsLeftAlone", "NULL", "<null>", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SalesReturns, ReplaceKeepsTheIdAndTheDestinationsAccountingStateAndEarnsPoints) {
    insertReturn("''", "0", "0");
    std::vector<std::string> sent;
    traceDestination(sent);

    ASSERT_FALSE(copy("I").failed) << lastEventError();
    EXPECT_EQ(returnColumn("DEVT_ID || DEVT_IMPLICA || DEVT_CONTABILIZADO"), "401SN");

    // Accounted here, changed there: the replace keeps the destination's
    // accounting state and id and takes everything else.
    destination->execute("update DEVOLUCIONES_VENTAS set DEVT_CONTABILIZADO = 'S'");
    source->execute("update DEVOLUCIONES_VENTAS set DEVT_TOTAL = 5300, DEVT_CONTABILIZADO = 'X'");
    source->execute("delete from DEVOLUCIONES_VENTAS_DETALLE where DVDE_ITEM = 1");
    ASSERT_FALSE(copy("U").failed) << lastEventError();
    EXPECT_EQ(rows(*destination,
                   "select DEVT_ID, DEVT_TOTAL, DEVT_IMPLICA, DEVT_CONTABILIZADO from "
                   "DEVOLUCIONES_VENTAS"),
              (Rows{{"DEVT_ID=401", "DEVT_TOTAL=5300", "DEVT_IMPLICA=S", "DEVT_CONTABILIZADO=S"}}));
    EXPECT_EQ(
        column(*destination, "select DEVT_ID || '/' || DVDE_ITEM from DEVOLUCIONES_VENTAS_DETALLE"),
        Texts{"401/2"});
    // Lines are deleted once the header is written, on insert and replace.
    EXPECT_EQ(startingWith(
                  sent, {"dst: delete from devoluciones_ventas_detalle", "dst: execute procedure"}),
              (Texts{"dst: delete from devoluciones_ventas_detalle where devt_id = 401",
                     "dst: execute procedure ACUMULA_PUNTOS_CLIENTE(33,401,NULL,NULL)",
                     "dst: delete from devoluciones_ventas_detalle where devt_id = 401",
                     "dst: execute procedure ACUMULA_PUNTOS_CLIENTE(33,401,NULL,NULL)"}));
    EXPECT_EQ(column(*destination,
                     "select PTCL_TIPODOC || '/' || PTCL_IDDOC || '/' || PTCL_PUNTOS from "
                     "PUNTOS_CLIENTE"),
              Texts{"33/401/-5.00"});
}

class RefusedReturnLine : public SalesReturns, public ::testing::WithParamInterface<Phase> {};

TEST_P(RefusedReturnLine, TellsTheOperatorThenAnnulsAndDeletesTheReturn) {
    phase = GetParam();
    destination->execute(
        "ALTER TABLE DEVOLUCIONES_VENTAS_DETALLE ADD CONSTRAINT CK_SIN_SEGUNDA CHECK (DVDE_ITEM "
        "<> 2)");
    insertReturn("''", "0", "0", 3);
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = copy("I");

    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_SEGUNDA"), std::string::npos);
    EXPECT_EQ(op.lastError, phase == Phase::Upload
                                ? "Error grabandeo detalles, anulando el encabezado. ID: 401"
                                : "Error grabandeo detalles, anulando el encabezado ID: 401");
    const Texts undo = {
        "dst: delete from devoluciones_ventas_detalle where devt_id = 401",
        "dst: UPDATE DEVOLUCIONES_VENTAS SET DEVT_ANULADO = 'S' WHERE DEVT_ID = 401",
        "dst: DELETE FROM DEVOLUCIONES_VENTAS WHERE DEVT_ID = 401"};
    EXPECT_EQ(Texts(sent.end() - 3, sent.end()), undo);
    EXPECT_TRUE(startingWith(sent, {"dst: execute procedure"}).empty());
    EXPECT_EQ(count(*destination, "select count(*) from DEVOLUCIONES_VENTAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from DEVOLUCIONES_VENTAS_DETALLE"), 0);
}

INSTANTIATE_TEST_SUITE_P(Phases, RefusedReturnLine,
                         ::testing::Values(Phase::Download, Phase::Upload), [](const auto& info) {
                             return std::string(info.param == Phase::Upload ? "Upload"
                                                                            : "Download");
                         });

}  // namespace
}  // namespace replica
