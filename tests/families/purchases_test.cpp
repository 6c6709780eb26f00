// Purchase documents replicated as themselves with the purchase invoice mode
// on, and the routing of types 13, 21, 22 and 24 between their two forms.

#include <gtest/gtest.h>

#include "engine/documentcopy.h"
#include "families/purchases.h"
#include "families/settings.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

struct Document {
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* annul;
    const char* detail;
    const char* item;
    const char* returned;  // the line column at position 18 ("" when none)
};

const Document kInvoice = {21,
                           "FACTURAS_COMPRA",
                           "FACO_ID",
                           "FACO_NUMERO",
                           "FACO_ANULADO",
                           "FACTURAS_COMPRAS_DETALLE",
                           "FCDE_ITEM",
                           "FCDE_DEVUELTO"};
const Document kNote = {22,
                        "REMISION_PROVEEDOR",
                        "REPR_ID",
                        "REPR_NUMERO",
                        "REPR_ANULADO",
                        "REMISION_PROVEEDOR_DET",
                        "RPVD_ITEM",
                        "RPVD_DEVUELTO"};
const Document kReturn = {24,
                          "DEVOLUCIONES_COMPRAS",
                          "DVCO_ID",
                          "DVCO_NUMERO",
                          "DVCO_ANULADO",
                          "DEVOLUCIONES_COMPRAS_DET",
                          "DVCD_ITEM",
                          ""};

// A document with `lines` lines; each line says 2 units were returned.
void insertDocument(db::Connection& c, const Document& d, int id, const std::string& pref,
                    const std::string& number, int lines) {
    c.execute(std::string("INSERT INTO ") + d.table + " (" + d.id + ", TIDO_COD, PREF_PRE, " +
              d.number + ", BODE_COD, TERC_NIT, " + d.annul + ", SUCU_ID) VALUES (" + sqlInt(id) +
              ", " + sqlInt(d.type) + ", " + Q(pref) + ", " + Q(number) +
              ", '01', '900123', 'N', 2)");
    for (int i = 1; i <= lines; ++i) {
        const std::string returned = *d.returned ? std::string(", ") + d.returned : "";
        c.execute(std::string("INSERT INTO ") + d.detail + " (" + d.id + ", " + d.item +
                  ", ARTI_COD" + returned + ") VALUES (" + sqlInt(id) + ", " + sqlInt(i) +
                  ", 'ART" + std::to_string(i) + "'" + (*d.returned ? ", 2" : "") + ")");
    }
}

class Purchases : public TwoCompanies {
  protected:
    void SetUp() override { options.setSetting(families::kPurchaseInvoiceMode.name, "FACTURA"); }

    EventState copy(const Document& d, const std::string& oper, int id,
                    const std::string& pref = "PR", const std::string& number = "000003") {
        return run(documentHandler(families::purchaseDocument(d.type, phase)),
                   event(d.type, oper, id, pref, number, "LC"));
    }
};

struct PhaseCase {
    const char* name;
    Document document;
    Phase phase;
};
void PrintTo(const PhaseCase& c, std::ostream* os) {
    *os << c.name;
}

class CopiedAsItself : public Purchases, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(CopiedAsItself, TakesTheGeneratorIdStartsNothingReturnedAndIsReplacedInPlace) {
    const Document& d = GetParam().document;
    phase = GetParam().phase;
    insertDocument(*source, d, 3, "PR", "000003", 3);
    destination->execute(std::string("ALTER SEQUENCE GEN_") + d.table + " RESTART WITH 400");

    EventState s = copy(d, "I", 3);
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(s.destinationId, 401);
    // Every column but the id as in the source; no NUMOK is written.
    const std::string others = std::string("select TIDO_COD, PREF_PRE, ") + d.number +
                               ", BODE_COD, TERC_NIT, " + d.annul + ", SUCU_ID from " + d.table;
    EXPECT_EQ(rows(*destination, others), rows(*source, others));
    EXPECT_EQ(column(*destination, std::string("select ") + d.id + " from " + d.table),
              Texts{"401"});
    const std::string lines = std::string("select ") + d.id + ", " + d.item + ", ARTI_COD" +
                              (*d.returned ? std::string(", ") + d.returned : "") + " from " +
                              d.detail + " order by " + d.item;
    Rows expected;
    for (int i = 1; i <= 3; ++i) {
        expected.push_back({std::string(d.id) + "=401", std::string(d.item) + "=" + sqlInt(i),
                            "ARTI_COD=ART" + std::to_string(i)});
        if (*d.returned) {
            expected.back().push_back(std::string(d.returned) + "=0");
        }
    }
    EXPECT_EQ(rows(*destination, lines), expected);

    source->execute(std::string("update ") + d.table + " set BODE_COD = '09'");
    source->execute(std::string("delete from ") + d.detail + " where " + d.item + " = 1");
    s = copy(d, "U", 3);
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination, std::string("select ") + d.id + ", BODE_COD from " + d.table),
              (Rows{{std::string(d.id) + "=401", "BODE_COD=09"}}));
    expected.erase(expected.begin());
    EXPECT_EQ(rows(*destination, lines), expected);

    s = copy(d, "A", 3);
    EXPECT_EQ(column(*destination, std::string("select ") + d.annul + " from " + d.table),
              Texts{"S"});
    s = copy(d, "D", 3);
    EXPECT_EQ(count(*destination, std::string("select count(*) from ") + d.table), 0);
}

INSTANTIATE_TEST_SUITE_P(Documents, CopiedAsItself,
                         ::testing::Values(PhaseCase{"InvoiceDownload", kInvoice, Phase::Download},
                                           PhaseCase{"InvoiceUpload", kInvoice, Phase::Upload},
                                           PhaseCase{"NoteDownload", kNote, Phase::Download},
                                           PhaseCase{"NoteUpload", kNote, Phase::Upload},
                                           PhaseCase{"ReturnUpload", kReturn, Phase::Upload}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Purchases, InvoiceWithARefusedLineIsTakenBackAnnulledFirstWhenDownloaded) {
    destination->execute(
        "ALTER TABLE FACTURAS_COMPRAS_DETALLE ADD CONSTRAINT CK_SIN_TERCERA CHECK (FCDE_ITEM <> "
        "3)");
    insertDocument(*source, kInvoice, 3, "PR", "000003", 4);
    std::vector<std::string> sent;
    traceDestination(sent);

    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        sent.clear();
        const EventState s = copy(kInvoice, "I", 3);

        EXPECT_TRUE(s.failed);
        EXPECT_NE(lastEventError().find("CK_SIN_TERCERA"), std::string::npos);
        const std::string id = sqlInt(s.destinationId);
        Texts undo = {"dst: delete from facturas_compras_detalle where faco_id = " + id};
        if (p == Phase::Download) {
            undo.push_back("dst: UPDATE FACTURAS_COMPRA SET FACO_ANULADO = 'S' WHERE FACO_ID = " +
                           id);
        }
        undo.push_back("dst: DELETE FROM FACTURAS_COMPRA WHERE FACO_ID = " + id);
        EXPECT_EQ(Texts(sent.end() - static_cast<long>(undo.size()), sent.end()), undo);
        EXPECT_EQ(count(*destination, "select count(*) from FACTURAS_COMPRA"), 0);
        EXPECT_EQ(count(*destination, "select count(*) from FACTURAS_COMPRAS_DETALLE"), 0);
    }
}

// DVCO_FACTID of an uploaded return names the destination's invoice.
struct InvoiceCase {
    const char* name;
    const char* factura;  // nullptr: null
    const char* factid;   // as SQL
    const char* invoicePrefix;
    const char* invoiceNumber;
    const char* expected;
    const char* query;  // the lookup sent, or nullptr when none
};
void PrintTo(const InvoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class ReturnedInvoice : public Purchases, public ::testing::WithParamInterface<InvoiceCase> {};

TEST_P(ReturnedInvoice, IsTranslatedOnInsertAndOnReplace) {
    const InvoiceCase& c = GetParam();
    phase = Phase::Upload;
    insertDocument(*source, kReturn, 3, "PR", "000003", 1);
    source->execute(std::string("update DEVOLUCIONES_COMPRAS set DVCO_FACTURA = ") +
                    (c.factura ? Q(c.factura) : std::string("NULL")) +
                    ", DVCO_FACTID = " + c.factid);
    // Another invoice that a wrong split would find.
    insertDocument(*destination, kInvoice, 600, "FC0", "00123", 0);
    std::vector<std::string> sent;
    traceDestination(sent);

    const auto lookups = [&] {
        Texts out;
        for (const std::string& s : sent) {
            if (s.find("select faco_id") != std::string::npos) {
                out.push_back(s);
            }
        }
        return out;
    };
    const Texts query = c.query ? Texts{std::string("dst: ") + c.query} : Texts{};

    // Not there yet: 0 (or left as it is when no invoice is named).
    EXPECT_FALSE(copy(kReturn, "I", 3).failed) << lastEventError();
    const std::string none = std::string(c.factid) == "9" ? "0" : c.expected;
    EXPECT_EQ(column(*destination, "select DVCO_FACTID from DEVOLUCIONES_COMPRAS"), Texts{none});
    EXPECT_EQ(lookups(), query);

    insertDocument(*destination, kInvoice, 555, c.invoicePrefix, c.invoiceNumber, 0);
    sent.clear();
    EXPECT_FALSE(copy(kReturn, "U", 3).failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select DVCO_FACTID from DEVOLUCIONES_COMPRAS"),
              Texts{c.expected});
    EXPECT_EQ(lookups(), query);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReturnedInvoice,
    ::testing::Values(
        InvoiceCase{"TwoLetterPrefix", "FC000123", "9", "FC", "000123", "555",
                    "select faco_id from facturas_compra where pref_pre = 'FC' AND FACO_NUMERO = "
                    "'000123'"},
        InvoiceCase{"ThreeLetterPrefix", "ABC001234", "9", "ABC", "001234", "555",
                    "select faco_id from facturas_compra where pref_pre = 'ABC' AND FACO_NUMERO "
                    "= '001234'"},
        InvoiceCase{"ShortTextIsAllNumber", "12345", "9", "", "12345", "555",
                    "select faco_id from facturas_compra where pref_pre = '' AND FACO_NUMERO = "
                    "'12345'"},
        InvoiceCase{"NullTextIsAnEmptyNumber", nullptr, "9", "", "", "555",
                    "select faco_id from facturas_compra where pref_pre = '' AND FACO_NUMERO = "
                    "''"},
        InvoiceCase{"QuoteInTheText", "F'000123", "9", "F'", "000123", "555",
                    "select faco_id from facturas_compra where pref_pre = 'F''' AND FACO_NUMERO = "
                    "'000123'"},
        InvoiceCase{"ZeroIsLeftAlone", "FC000123", "0", "FC", "000123", "0", nullptr},
        InvoiceCase{"NullIsLeftAlone", "FC000123", "NULL", "FC", "000123", "<null>", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PurchaseInvoiceText, SplitsOffTheLastSixCharacters) {
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(families::splitInvoiceText("FC000123"), (P{"FC", "000123"}));
    EXPECT_EQ(families::splitInvoiceText("000123"), (P{"", "000123"}));
    EXPECT_EQ(families::splitInvoiceText(""), (P{"", ""}));
    // A number with letters of more than one byte is cut between letters.
    EXPECT_EQ(families::splitInvoiceText("AB00012Ñ"), (P{"AB", "00012Ñ"}));
    EXPECT_EQ(families::splitInvoiceText("Ñ00012Ñ"), (P{"Ñ", "00012Ñ"}));
}

// Which form handles each event: the as-itself table or the movement table.
struct RouteCase {
    const char* name;
    int type;
    Phase phase;
    bool optionOn;  // transfer as entry (13) or purchase invoice mode
    const char* table;
    const char* annul;
    const char* other;  // the table of the other form, left untouched
};
void PrintTo(const RouteCase& c, std::ostream* os) {
    *os << c.name;
}

class Routing : public TwoCompanies, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(Routing, EveryLetterTakesTheSameForm) {
    const RouteCase& c = GetParam();
    phase = c.phase;
    options.setSetting(families::kTransferAsEntry.name, c.type == 13 && c.optionOn ? "SI" : "");
    options.setSetting(families::kPurchaseInvoiceMode.name,
                       c.type != 13 && c.optionOn ? "FACTURA" : "");
    source->execute(
        "INSERT INTO TRASFERENCIAS (TRAN_ID, PREF_PRE, TRAN_NUMERO, BODE_COD, TRAN_BODDES, "
        "TRAN_ANULADO) VALUES (3, 'PR', '000003', '01', '05', 'N')");
    source->execute("INSERT INTO TRASFERENCIAS_DETALLE (TRAN_ID, TRAS_ITEM) VALUES (3, 1)");
    for (const Document& d : {kInvoice, kNote, kReturn}) {
        insertDocument(*source, d, 3, "PR", "000003", 1);
    }
    const auto inTable = [&](const char* table) {
        return count(*destination, std::string("select count(*) from ") + table);
    };

    EventState s = dispatch(event(c.type, "I", 3, "PR", "000003", "LC"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(inTable(c.table), 1);
    EXPECT_EQ(inTable(c.other), 0);

    s = dispatch(event(c.type, "A", 3, "PR", "000003", "LC"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, std::string("select ") + c.annul + " from " + c.table),
              Texts{"S"});

    s = dispatch(event(c.type, "D", 3, "PR", "000003", "LC"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(inTable(c.table), 0);
}

constexpr Phase D = Phase::Download;
constexpr Phase U = Phase::Upload;

INSTANTIATE_TEST_SUITE_P(
    Forms, Routing,
    ::testing::Values(
        RouteCase{"Transfer_Download", 13, D, false, "TRASFERENCIAS", "TRAN_ANULADO", "ENTRADAS"},
        RouteCase{"Transfer_Upload", 13, U, false, "TRASFERENCIAS", "TRAN_ANULADO", "ENTRADAS"},
        RouteCase{"TransferAsEntry_Download", 13, D, true, "ENTRADAS", "ENTR_ANULADO",
                  "TRASFERENCIAS"},
        RouteCase{"TransferAsEntry_Upload", 13, U, true, "ENTRADAS", "ENTR_ANULADO",
                  "TRASFERENCIAS"},
        RouteCase{"InvoiceAsEntry_Download", 21, D, false, "ENTRADAS", "ENTR_ANULADO",
                  "FACTURAS_COMPRA"},
        RouteCase{"InvoiceAsEntry_Upload", 21, U, false, "ENTRADAS", "ENTR_ANULADO",
                  "FACTURAS_COMPRA"},
        RouteCase{"Invoice_Download", 21, D, true, "FACTURAS_COMPRA", "FACO_ANULADO", "ENTRADAS"},
        RouteCase{"Invoice_Upload", 21, U, true, "FACTURAS_COMPRA", "FACO_ANULADO", "ENTRADAS"},
        RouteCase{"NoteAsEntry_Download", 22, D, false, "ENTRADAS", "ENTR_ANULADO",
                  "REMISION_PROVEEDOR"},
        RouteCase{"NoteAsEntry_Upload", 22, U, false, "ENTRADAS", "ENTR_ANULADO",
                  "REMISION_PROVEEDOR"},
        RouteCase{"Note_Download", 22, D, true, "REMISION_PROVEEDOR", "REPR_ANULADO", "ENTRADAS"},
        RouteCase{"Note_Upload", 22, U, true, "REMISION_PROVEEDOR", "REPR_ANULADO", "ENTRADAS"},
        RouteCase{"ReturnAsExit_Download", 24, D, false, "SALIDAS", "SALI_ANULADO",
                  "DEVOLUCIONES_COMPRAS"},
        RouteCase{"ReturnAsExitModeOn_Download", 24, D, true, "SALIDAS", "SALI_ANULADO",
                  "DEVOLUCIONES_COMPRAS"},
        RouteCase{"ReturnAsExit_Upload", 24, U, false, "SALIDAS", "SALI_ANULADO",
                  "DEVOLUCIONES_COMPRAS"},
        RouteCase{"Return_Upload", 24, U, true, "DEVOLUCIONES_COMPRAS", "DVCO_ANULADO", "SALIDAS"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace replica
