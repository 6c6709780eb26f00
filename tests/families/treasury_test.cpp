// Cash and bank documents, each between two real company databases.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/catalogue.h"
#include "families/treasury.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;

// The reference lookups sent to the destination (not the document's own
// selects, which all read "select * ").
std::vector<std::string> lookups(const std::vector<std::string>& sent) {
    std::vector<std::string> out;
    for (const std::string& s : sent) {
        if (s.rfind("dst: select ", 0) == 0 && s.rfind("dst: select * ", 0) != 0) {
            out.push_back(s.substr(5));
        }
    }
    return out;
}

class Cash : public TwoCompanies {
  protected:
    void SetUp() override {
        // Destination ids far from the source's, so a copied id shows.
        destination->execute("SET GENERATOR GEN_RECIBOS_CAJA TO 499");
        destination->execute("SET GENERATOR GEN_EGRESOS TO 499");
    }

    Handler handler(int type) { return documentHandler(families::treasuryDocument(type)); }

    // A receipt (61) or a disbursement (62) with id 7.
    static void header(db::Connection& c, int type) {
        c.execute(type == 61 ? "INSERT INTO RECIBOS_CAJA (RECA_ID, PREF_PRE, RECA_NUMERO, "
                               "RECA_VALOR, RECA_ANULADO) VALUES (7, 'RC', '00000010', 150, 'N')"
                             : "INSERT INTO EGRESOS (EGRE_ID, PREF_PRE, EGRE_NUMERO, EGRE_VALOR, "
                               "EGRE_ANULADO) VALUES (7, 'EG', '00000010', 150, 'N')");
    }
    EventState copy(int type, const std::string& oper = "I") {
        return run(handler(type), event(type, oper, 7, type == 61 ? "RC" : "EG", "00000010"));
    }
    static void insert(db::Connection& c, const std::string& table, const std::string& columns,
                       const std::string& values) {
        c.execute("INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")");
    }
};

// A line that settles another document: its table's columns (header id,
// item, type code, id, prefix, number, amount, by name) and the column that
// keeps the settled document's id.
struct Settling {
    int type;
    const char* table;
    const char* columns;
    const char* idColumn;
};
const Settling kReceiptPaid{
    61, "RECIBOS_CAJA_DETALLE",
    "RECA_ID, RCDE_ITEM, RCDE_TIPODOC, RCDE_IDDOC, RCDE_PREFDOC, RCDE_NUMDOC, RCDE_VALOR",
    "RCDE_IDDOC"};
const Settling kReceiptCrossed{
    61, "RECIBOS_CAJA_CRUCEC",
    "RECA_ID, RCCC_ITEM, RCCC_TIPODOC, RCCC_IDDOC, RCCC_PREFDOC, RCCC_NUMDOC, RCCC_VALOR",
    "RCCC_IDDOC"};
const Settling kDisbursementPaid{
    62, "EGRESOS_DETALLE",
    "EGRE_ID, EGDE_ITEM, EGDE_TIPODOC, EGDE_IDDOC, EGDE_PREFDOC, EGDE_NUMDOC, EGDE_VALOR",
    "EGDE_IDDOC"};
const Settling kDisbursementCrossed{
    62, "EGRESOS_CRUCEC",
    "EGRE_ID, EGCC_ITEM, EGCC_TIPODOC, EGCC_IDDOC, EGCC_PREFDOC, EGCC_NUMDOC, EGCC_VALOR",
    "EGCC_IDDOC"};

// In the destination: the sales invoice FV 000777 has id 55, the purchase
// invoice FC 000777 id 66; no document has number 000778. Every source line
// holds the source's id 9.
struct Translation {
    const char* name;
    Settling line;
    int code;
    const char* pref;
    const char* number;
    const char* expectedId;
    bool queried;  // the table settles the code: one lookup is sent
};

const char* const kSales = "select fact_id from facturas where pref_pre = 'FV' and fact_numero = ";
const char* const kPurchases =
    "select faco_id from facturas_compra where pref_pre = 'FC' and faco_numero = ";

const Translation kTranslations[] = {
    {"ReceiptPaysInvoice", kReceiptPaid, 31, "FV", "000777", "55", true},
    {"ReceiptPaysAbsentInvoice", kReceiptPaid, 31, "FV", "000778", "0", true},
    {"ReceiptPaysSupplierCode", kReceiptPaid, 21, "FC", "000777", "0", false},
    {"ReceiptCrossesPurchaseInvoice", kReceiptCrossed, 21, "FC", "000777", "66", true},
    {"ReceiptCrossesAbsentPurchaseInvoice", kReceiptCrossed, 21, "FC", "000778", "0", true},
    {"ReceiptCrossesCustomerCode", kReceiptCrossed, 31, "FV", "000777", "0", false},
    {"DisbursementPaysPurchaseInvoice", kDisbursementPaid, 21, "FC", "000777", "66", true},
    {"DisbursementPaysAbsentPurchaseInvoice", kDisbursementPaid, 21, "FC", "000778", "9", true},
    {"DisbursementPaysCustomerCode", kDisbursementPaid, 31, "FV", "000777", "9", false},
    {"DisbursementCrossesInvoice", kDisbursementCrossed, 31, "FV", "000777", "55", true},
    {"DisbursementCrossesAbsentInvoice", kDisbursementCrossed, 31, "FV", "000778", "0", true},
    {"DisbursementCrossesSupplierCode", kDisbursementCrossed, 21, "FC", "000777", "0", false},
};

class CashTranslation : public Cash, public ::testing::WithParamInterface<Translation> {};

TEST_P(CashTranslation, LineGetsTheDestinationsIdOrItsTablesRule) {
    const Translation& c = GetParam();
    destination->execute(
        "INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO) VALUES (55, 'FV', '000777')");
    destination->execute(
        "INSERT INTO FACTURAS_COMPRA (FACO_ID, PREF_PRE, FACO_NUMERO) VALUES (66, 'FC', "
        "'000777')");
    header(*source, c.line.type);
    insert(*source, c.line.table, c.line.columns,
           "7, 1, " + sqlInt(c.code) + ", 9, " + Q(c.pref) + ", " + Q(c.number) + ", 100");
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = copy(c.line.type);
    db::Connection::setTraceHook({});

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(
        column(*destination, std::string("select ") + c.line.idColumn + " from " + c.line.table),
        std::vector<std::string>{c.expectedId});
    if (c.queried) {
        EXPECT_EQ(lookups(sent),
                  std::vector<std::string>{std::string(c.code == 31 ? kSales : kPurchases) +
                                           Q(c.number)});
    } else {
        EXPECT_EQ(lookups(sent), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, CashTranslation, ::testing::ValuesIn(kTranslations),
                         [](const auto& info) { return std::string(info.param.name); });

// A receipt line of an advance (45) or an invoice (31) with an amount.
struct AdvanceCase {
    const char* name;
    int code;
    const char* amount;
    bool linked;
};
const AdvanceCase kAdvanceCases[] = {
    {"AdvanceWithAmount", 45, "1000", true},
    {"AdvanceWithZero", 45, "0", false},
    {"AdvanceWithNegative", 45, "-5", false},
    {"InvoiceWithAmount", 31, "1000", false},
};

class ReceiptAdvance : public Cash, public ::testing::WithParamInterface<AdvanceCase> {};

TEST_P(ReceiptAdvance, PositiveAdvanceLinePointsTheAdvanceAtTheReceipt) {
    const AdvanceCase& c = GetParam();
    insert(*destination, "ANTICIPOS_CLIENTE", "ANCL_ID, PREF_PRE, ANCL_NUMERO", "5, 'AC', '0005'");
    insert(*destination, "ANTICIPOS_CLIENTE", "ANCL_ID, PREF_PRE, ANCL_NUMERO", "6, 'AC', '0006'");
    header(*source, 61);
    insert(*source, "RECIBOS_CAJA_DETALLE", kReceiptPaid.columns,
           "7, 1, " + sqlInt(c.code) + ", 9, 'AC', '0005', " + c.amount);

    const EventState s = copy(61);

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select RECA_ID from ANTICIPOS_CLIENTE order by ANCL_NUMERO"),
              (std::vector<std::string>{c.linked ? "500" : "<null>", "<null>"}));
}

INSTANTIATE_TEST_SUITE_P(Lines, ReceiptAdvance, ::testing::ValuesIn(kAdvanceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cash, DisbursementLinksEveryAdvanceItPaidToItsDestinationId) {
    header(*source, 62);
    const char* const kAdvances[][3] = {{"1", "0001", "7"}, {"2", "0002", "7"}, {"3", "0003", "8"}};
    for (const auto& a : kAdvances) {
        insert(*source, "ANTICIPOS_PROVEEDOR", "ANPR_ID, PREF_PRE, ANPR_NUMERO, EGRE_ID",
               std::string(a[0]) + ", 'AP', '" + a[1] + "', " + a[2]);
        insert(*destination, "ANTICIPOS_PROVEEDOR", "ANPR_ID, PREF_PRE, ANPR_NUMERO",
               std::string("1") + a[0] + ", 'AP', '" + a[1] + "'");
    }
    insert(*destination, "ANTICIPOS_PROVEEDOR", "ANPR_ID, PREF_PRE, ANPR_NUMERO",
           "14, 'AX', '0001'");
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = copy(62);
    db::Connection::setTraceHook({});

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select EGRE_ID from ANTICIPOS_PROVEEDOR order by ANPR_ID"),
              (std::vector<std::string>{"500", "500", "<null>", "<null>"}));
    EXPECT_NE(std::find(sent.begin(), sent.end(),
                        "dst: UPDATE anticipos_proveedor SET EGRE_ID =500 where pref_pre = 'AP' "
                        "and anpr_numero = '0001'"),
              sent.end());
}

TEST_F(Cash, RefusedSecondCrossLineStopsTheLaterTablesAndUndoesInOrder) {
    destination->execute(
        "ALTER TABLE RECIBOS_CAJA_CRUCEC ADD CONSTRAINT CK_SIN_SEGUNDO CHECK (RCCC_ITEM <> 2)");
    header(*source, 61);
    for (int i = 1; i <= 3; ++i) {
        insert(*source, "RECIBOS_CAJA_DETALLE", "RECA_ID, RCDE_ITEM", "7, " + sqlInt(i));
        insert(*source, "RECIBOS_CAJA_CRUCEC", "RECA_ID, RCCC_ITEM", "7, " + sqlInt(i));
        insert(*source, "RECIBOS_CAJA_PAGO", "RECA_ID, RCPA_ITEM", "7, " + sqlInt(i));
    }
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = copy(61);
    db::Connection::setTraceHook({});

    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_SEGUNDO"), std::string::npos) << lastEventError();
    for (const char* t :
         {"RECIBOS_CAJA", "RECIBOS_CAJA_DETALLE", "RECIBOS_CAJA_CRUCEC", "RECIBOS_CAJA_PAGO"}) {
        EXPECT_EQ(count(*destination, std::string("select count(*) from ") + t), 0) << t;
    }
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 4, sent.end()),
              (std::vector<std::string>{
                  "dst: delete from recibos_caja_detalle where reca_id = 500",
                  "dst: delete from recibos_caja_crucec where reca_id = 500",
                  "dst: delete from recibos_caja_pago where reca_id = 500",
                  "dst: DELETE FROM RECIBOS_CAJA WHERE RECA_ID = 500",
              }));
    for (const std::string& sql : sent) {
        EXPECT_EQ(sql.find("select * from recibos_caja_pago"), std::string::npos) << sql;
    }
}

TEST_F(Cash, DisbursementWithAccountingLinesReplaysCleanly) {
    header(*source, 62);
    for (int i = 1; i <= 2; ++i) {
        insert(*source, "EGRESOS_CONTABILIDAD", "EGRE_ID, EGCO_ITEM, CUEN_COD, EGCO_DEBITO",
               "7, " + sqlInt(i) + ", '5105', 10");
    }
    insert(*source, "EGRESOS_CAJA", "EGRE_ID, EGCJ_ITEM, EGCJ_VALOR", "7, 1, 10");
    insert(*source, "EGRESOS_BANCO", "EGRE_ID, EGBA_ITEM, EGBA_VALOR", "7, 1, 10");

    ASSERT_FALSE(copy(62).failed) << lastEventError();
    source->execute("delete from EGRESOS_CONTABILIDAD where EGCO_ITEM = 1");
    const EventState s = copy(62, "U");

    EXPECT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination, "select EGRE_ID, EGCO_ITEM from EGRESOS_CONTABILIDAD"),
              (Rows{{"EGRE_ID=500", "EGCO_ITEM=2"}}));
    EXPECT_EQ(column(*destination, "select EGRE_ID from EGRESOS_CAJA"),
              std::vector<std::string>{"500"});
    EXPECT_EQ(column(*destination, "select EGRE_ID from EGRESOS_BANCO"),
              std::vector<std::string>{"500"});
}

// The cash documents whose lines are copied as they are.
struct PlainCash {
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* annul;
    struct Lines {
        const char* table;
        const char* item;
        const char* amount;
    };
    std::vector<Lines> lines;
};

const PlainCash kPlainCash[] = {
    {63,
     "CAMBIO_DOCUMENTOS",
     "CADO_ID",
     "CADO_NUMERO",
     "CADO_ANULADO",
     {{"CAMBIODOC_ENTRADAS", "CDEN_ITEM", "CDEN_VALOR"},
      {"CAMBIODOC_SALIDAS", "CDSA_ITEM", "CDSA_VALOR"}}},
    {64,
     "CONSIGNA_TARJETAS",
     "COTJ_ID",
     "COTJ_NUMERO",
     "COTJ_ANULADO",
     {{"CONSIGNA_TARJETAS_DET", "CTDE_ITEM", "CTDE_VALOR"}}},
    {65,
     "RECIBO_PROVISIONAL",
     "RCPR_ID",
     "RCPR_NUMERO",
     "RCPR_ANULADO",
     {{"RECIBO_PROVISIONAL_DETALLE", "RPDE_ITEM", "RPDE_VALOR"},
      {"RECIBO_PROVISIONAL_PAGO", "RPPA_ITEM", "RPPA_VALOR"}}},
    {66,
     "TRASLADOS_CAJA",
     "TRCJ_ID",
     "TRCJ_NUMERO",
     "TRCJ_ANULADO",
     {{"TRASLADOS_CAJA_DET", "TCDE_ITEM", "TCDE_VALOR"}}},
};

class PlainCashDocument : public TwoCompanies, public ::testing::WithParamInterface<PlainCash> {};

TEST_P(PlainCashDocument, CopiesEveryLineTableUnderTheNewIdInBothPhases) {
    const PlainCash& f = GetParam();
    const std::string t = f.table;
    source->execute("INSERT INTO " + t + " (" + f.id + ", PREF_PRE, " + f.number + ", " + f.annul +
                    ") VALUES (7, 'PX', '00000042', 'N')");
    for (const auto& [table, item, amount] : f.lines) {
        for (int i = 1; i <= 2; ++i) {
            source->execute(std::string("INSERT INTO ") + table + " (" + f.id + ", " + item + ", " +
                            amount + ") VALUES (7, " + sqlInt(i) + ", " + sqlInt(i) + ".25)");
        }
    }
    // The line rows with their first column left out.
    const auto lines = [&](db::Connection& c, const std::string& table, const char* item) {
        Rows r = rows(c, "select * from " + table + " order by " + item);
        for (auto& row : r) {
            row.erase(row.begin());
        }
        return r;
    };

    EventState s = dispatch(event(f.type, "I", 7, "PX", "00000042"));
    ASSERT_FALSE(s.failed) << lastEventError();
    const std::string id = column(*destination, "select " + std::string(f.id) + " from " + t).at(0);
    EXPECT_NE(id, "7");
    phase = Phase::Upload;
    s = dispatch(event(f.type, "U", 7, "PX", "00000042"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select " + std::string(f.id) + " from " + t),
              std::vector<std::string>{id});
    for (const auto& [table, item, amount] : f.lines) {
        EXPECT_EQ(column(*destination, std::string("select ") + f.id + " from " + table),
                  std::vector<std::string>(2, id))
            << table;
        EXPECT_EQ(lines(*destination, table, item), lines(*source, table, item)) << table;
    }

    dispatch(event(f.type, "A", 7, "PX", "00000042"));
    EXPECT_EQ(column(*destination, "select " + std::string(f.annul) + " from " + t),
              std::vector<std::string>{"S"});
    dispatch(event(f.type, "D", 7, "PX", "00000042"));
    EXPECT_EQ(count(*destination, "select count(*) from " + t), 0);
}

INSTANTIATE_TEST_SUITE_P(Documents, PlainCashDocument, ::testing::ValuesIn(kPlainCash),
                         [](const auto& info) { return std::to_string(info.param.type); });

// Bank documents: the same bank prefix and number exist on accounts 11 and
// 12; the events name account 11.
struct BankDocument {
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* annul;
};

const BankDocument kBankHeaders[] = {
    {72, "CHEQUES", "CHEQ_ID", "CHEQ_NUMERO", "CHEQ_ANULADO"},
    {73, "RETIROS", "RETI_ID", "RETI_NUMERO", "RETI_ANULADO"},
    {74, "NOTAS_DEBITO", "NDBC_ID", "NDBC_NUMERO", "NDBC_ANULADO"},
    {75, "NOTAS_CREDITO", "NCBC_ID", "NCBC_NUMERO", "NCBC_ANULADO"},
    {76, "TRASLADOS", "TRAS_ID", "TRAS_NUMERO", "TRAS_ANULADO"},
    {77, "DEVOLUCION_CHEQUES", "DVCH_ID", "DVCH_NUMDOC", "DVCH_ANULADO"},
};

class Bank : public TwoCompanies {
  protected:
    static void document(db::Connection& c, const BankDocument& d, int id, int account,
                         const std::string& obs = "") {
        c.execute(std::string("INSERT INTO ") + d.table + " (" + d.id + ", CUBA_COD, PRBA_PREF, " +
                  d.number + ", " + d.annul + ", " + std::string(d.id).substr(0, 4) +
                  "_OBS) VALUES (" + sqlInt(id) + ", " + sqlInt(account) + ", 'BA', '00000042', " +
                  "'N', " + Q(obs) + ")");
    }
    EventState send(int type, const std::string& oper, const std::string& account = "11") {
        return dispatch(event(type, oper, 7, "BA", "00000042", "", account));
    }
    Rows stored(const BankDocument& d) {
        return rows(*destination, std::string("select ") + d.id + ", CUBA_COD, " + d.annul + ", " +
                                      std::string(d.id).substr(0, 4) + "_OBS from " + d.table +
                                      " order by CUBA_COD");
    }
};

class BankHeader : public Bank, public ::testing::WithParamInterface<BankDocument> {};

TEST_P(BankHeader, EveryLetterTouchesOnlyTheDocumentOfTheEventsAccount) {
    const BankDocument& d = GetParam();
    const std::string obs = std::string(d.id).substr(0, 4) + "_OBS=";
    const std::string id = std::string(d.id) + "=";
    const std::string annul = std::string(d.annul) + "=";
    document(*source, d, 7, 11, "primera");
    document(*destination, d, 900, 12, "otra cuenta");

    ASSERT_FALSE(send(d.type, "I").failed) << lastEventError();
    const Rows first = stored(d);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_NE(first[0][0], id + "7");
    EXPECT_EQ(first[1], (std::vector<std::string>{id + "900", "CUBA_COD=12", annul + "N",
                                                  obs + "otra cuenta"}));

    source->execute(std::string("update ") + d.table + " set " + std::string(d.id).substr(0, 4) +
                    "_OBS = 'segunda'");
    ASSERT_FALSE(send(d.type, "U").failed) << lastEventError();
    EXPECT_EQ(stored(d),
              (Rows{{first[0][0], "CUBA_COD=11", annul + "N", obs + "segunda"}, first[1]}));

    send(d.type, "A");
    EXPECT_EQ(stored(d),
              (Rows{{first[0][0], "CUBA_COD=11", annul + "S", obs + "segunda"}, first[1]}));
    send(d.type, "D");
    EXPECT_EQ(stored(d), (Rows{first[1]}));
}

INSTANTIATE_TEST_SUITE_P(Documents, BankHeader, ::testing::ValuesIn(kBankHeaders),
                         [](const auto& info) { return std::to_string(info.param.type); });

const BankDocument kDeposit{71, "CONSIGNA", "CONS_ID", "CONS_NUMERO", "CONS_ANULADO"};

TEST_F(Bank, AccountCodeThatIsNoWholeNumberLeavesThatEventPendingAndSendsNothing) {
    document(*source, kDeposit, 7, 11);
    source->execute("INSERT INTO CONSIGNA_DETALLE (CONS_ID, CNDE_ITEM) VALUES (7, 1)");
    std::vector<std::string> sent;
    traceDestination(sent);
    for (const char* account : {"", "abc", "11 OR 1=1"}) {
        for (const char* letter : {"I", "A", "D"}) {
            EXPECT_TRUE(send(71, letter, account).failed) << letter << account;
            EXPECT_EQ(lastEventError(),
                      std::string("RPEV_CODIGO vacío o no numérico: '") + account + "'");
        }
    }
    EXPECT_EQ(sent, std::vector<std::string>{});

    // The next event of the run is handled as usual.
    EXPECT_FALSE(send(71, "I", " 11 ").failed) << lastEventError();
    db::Connection::setTraceHook({});
    EXPECT_NE(std::find(sent.begin(), sent.end(),
                        "dst: SELECT * FROM CONSIGNA WHERE CUBA_COD = 11 AND PRBA_PREF = 'BA' "
                        "AND CONS_NUMERO = '00000042'"),
              sent.end());
    EXPECT_EQ(count(*destination, "select count(*) from CONSIGNA_DETALLE"), 1);
}

TEST_F(Bank, DepositLinesTakeTheNewIdAndAReplayReplacesThem) {
    destination->execute("SET GENERATOR GEN_CONSIGNA TO 299");
    document(*source, kDeposit, 7, 11);
    for (int i = 1; i <= 2; ++i) {
        source->execute("INSERT INTO CONSIGNA_DETALLE (CONS_ID, CNDE_ITEM) VALUES (7, " +
                        sqlInt(i) + ")");
    }
    ASSERT_FALSE(send(71, "I").failed) << lastEventError();
    source->execute("delete from CONSIGNA_DETALLE where CNDE_ITEM = 1");
    ASSERT_FALSE(send(71, "U").failed) << lastEventError();

    EXPECT_EQ(column(*destination, "select CONS_ID from CONSIGNA"),
              std::vector<std::string>{"300"});
    EXPECT_EQ(rows(*destination, "select CONS_ID, CNDE_ITEM from CONSIGNA_DETALLE"),
              (Rows{{"CONS_ID=300", "CNDE_ITEM=2"}}));
}

TEST_F(Bank, DepositWhoseSecondLineIsRefusedLeavesNothingBehind) {
    destination->execute(
        "ALTER TABLE CONSIGNA_DETALLE ADD CONSTRAINT CK_SIN_SEGUNDA CHECK (CNDE_ITEM <> 2)");
    document(*source, kDeposit, 7, 11);
    for (int i = 1; i <= 3; ++i) {
        source->execute("INSERT INTO CONSIGNA_DETALLE (CONS_ID, CNDE_ITEM) VALUES (7, " +
                        sqlInt(i) + ")");
    }
    // The same slip on another account, with its line, stays as it is.
    document(*destination, kDeposit, 900, 12);
    destination->execute("INSERT INTO CONSIGNA_DETALLE (CONS_ID, CNDE_ITEM) VALUES (900, 1)");
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = send(71, "I");
    db::Connection::setTraceHook({});

    EXPECT_TRUE(s.failed);
    const std::string id = std::to_string(s.destinationId);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
              (std::vector<std::string>{"dst: DELETE FROM CONSIGNA_DETALLE WHERE CONS_ID = " + id,
                                        "dst: DELETE FROM CONSIGNA WHERE CONS_ID = " + id}));
    EXPECT_NE(lastEventError().find("CK_SIN_SEGUNDA"), std::string::npos) << lastEventError();
    EXPECT_EQ(column(*destination, "select CONS_ID from CONSIGNA"),
              std::vector<std::string>{"900"});
    EXPECT_EQ(column(*destination, "select CONS_ID from CONSIGNA_DETALLE"),
              std::vector<std::string>{"900"});
}

}  // namespace
}  // namespace replica
