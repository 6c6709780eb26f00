// Customer and supplier notes, payment applications and advances between two
// real company databases, routed through the agent's catalogue.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "families/accounts.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;

struct Note {
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* annul;
    const char* sequence;  // behind the family's id view
};

const Note kNotes[] = {
    {41, "NOTAS_DEBITO_CLIENTES", "NDCL_ID", "NDCL_NUMERO", "NDCL_ANULADO",
     "GEN_NOTAS_DEBITO_CLIENTES"},
    {42, "NOTAS_CREDITO_CLIENTES", "NCCL_ID", "NCCL_NUMERO", "NCCL_ANULADO",
     "GEN_NOTAS_DEBITO_CLIENTES"},
    {51, "NOTAS_DEBITO_PROVEEDOR", "NDPR_ID", "NDPR_NUMERO", "NDPR_ANULADO",
     "GEN_NOTAS_DEBITO_PROVEEDOR"},
    {52, "NOTAS_CREDITO_PROVEEDOR", "NCPR_ID", "NCPR_NUMERO", "NCPR_ANULADO",
     "GEN_NOTAS_CREDITO_PROVEEDOR"},
};

void insertNote(db::Connection& c, const Note& n, int id, const std::string& number) {
    c.execute(std::string("INSERT INTO ") + n.table + " (" + n.id + ", TIDO_COD, PREF_PRE, " +
              n.number + ", TERC_NIT, " + n.annul + ") VALUES (" + sqlInt(id) + ", " +
              sqlInt(n.type) + ", 'NT', " + Q(number) + ", '900', 'N')");
}

class NoteFamily : public TwoCompanies, public ::testing::WithParamInterface<Note> {
  protected:
    std::string header() const {
        const Note& n = GetParam();
        return std::string("select ") + n.id + ", PREF_PRE, " + n.number + ", TERC_NIT, " +
               n.annul + " from " + n.table;
    }
};

TEST_P(NoteFamily, CopiesReplacesAnnulsAndDeletesInEitherPhase) {
    const Note& n = GetParam();
    insertNote(*source, n, 77, "00000042");

    EventState s = dispatch(event(n.type, "I", 77, "NT", "00000042"));
    ASSERT_FALSE(s.failed) << lastEventError();
    const std::string id =
        column(*destination, std::string("select gen_id(") + n.sequence + ", 0) from rdb$database")
            .at(0);
    EXPECT_NE(id, "77");
    const auto expected = [&](const char* nit, const char* annulled) {
        return Rows{{std::string(n.id) + "=" + id, "PREF_PRE=NT",
                     std::string(n.number) + "=00000042", std::string("TERC_NIT=") + nit,
                     std::string(n.annul) + "=" + annulled}};
    };
    EXPECT_EQ(rows(*destination, header()), expected("900", "N"));

    // Replayed by the other phase: the destination's id stays, every other
    // column comes from the source again.
    phase = Phase::Upload;
    source->execute(std::string("update ") + n.table + " set TERC_NIT = '800'");
    s = dispatch(event(n.type, "U", 77, "NT", "00000042"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(rows(*destination, header()), expected("800", "N"));

    EXPECT_FALSE(dispatch(event(n.type, "A", 77, "NT", "00000042")).failed);
    EXPECT_EQ(rows(*destination, header()), expected("800", "S"));

    EXPECT_FALSE(dispatch(event(n.type, "D", 77, "NT", "00000042")).failed);
    EXPECT_EQ(count(*destination, std::string("select count(*) from ") + n.table), 0);
}

INSTANTIATE_TEST_SUITE_P(Notes, NoteFamily, ::testing::ValuesIn(kNotes),
                         [](const auto& info) { return std::to_string(info.param.type); });

class CustomerNotes : public TwoCompanies {};

TEST_F(CustomerNotes, CreditAndDebitNotesShareOneIdSequence) {
    insertNote(*source, kNotes[1], 5, "00000001");
    insertNote(*source, kNotes[0], 6, "00000001");

    ASSERT_FALSE(dispatch(event(42, "I", 5, "NT", "00000001")).failed) << lastEventError();
    ASSERT_FALSE(dispatch(event(41, "I", 6, "NT", "00000001")).failed) << lastEventError();

    const std::int64_t credit = count(*destination, "select NCCL_ID from NOTAS_CREDITO_CLIENTES");
    EXPECT_EQ(count(*destination, "select NDCL_ID from NOTAS_DEBITO_CLIENTES"), credit + 1);
    EXPECT_EQ(count(*destination, "select gen_id(GEN_NOTAS_DEBITO_CLIENTES, 0) from rdb$database"),
              credit + 1);
}

// A payment application's lines name the documents they settle; the ones of
// the listed types are found again in the destination.
struct Application {
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* detail;
    const char* prefix;           // of the line columns
    int translated;               // a listed type
    int notListed;                // a type of the other side
    const char* settledDocument;  // its INSERT into the destination, id 555, FV 000777
    const char* lookup;           // the reference lookup of the listed type, for FV
};

const Application kApplications[] = {
    {43, "APLICACION_CLIENTE", "APCL_ID", "APCL_NUMERO", "APLICACION_CLIENTE_DETALLE", "APCD", 31,
     34, "INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO) VALUES (555, 'FV', '000777')",
     "select fact_id from facturas where pref_pre = 'FV' and fact_numero = '"},
    {53, "APLICACION_PROVEDOR", "APPR_ID", "APPR_NUMERO", "APLICACION_PROVEEDOR_DETALLE", "APPD",
     24, 31,
     "INSERT INTO DEVOLUCIONES_COMPRAS (DVCO_ID, PREF_PRE, DVCO_NUMERO) VALUES (555, 'FV', "
     "'000777')",
     "select dvco_id from devoluciones_compras where pref_pre = 'FV' and dvco_numero = '"},
};

class ApplicationFamily : public TwoCompanies, public ::testing::WithParamInterface<Application> {
  protected:
    // Lines 1 to 4: a listed type found in the destination, a listed type
    // absent from it, a type that is not listed, no type at all; the
    // settled ids in the source are 11 to 14.
    void insertApplication() {
        const Application& a = GetParam();
        source->execute(std::string("INSERT INTO ") + a.table + " (" + a.id + ", TIDO_COD, " +
                        "PREF_PRE, " + a.number + ") VALUES (8, " + sqlInt(a.type) +
                        ", 'AP', '00000003')");
        const std::string types[] = {sqlInt(a.translated), sqlInt(a.translated),
                                     sqlInt(a.notListed), "NULL"};
        const char* numbers[] = {"000777", "000778", "000777", "000777"};
        for (int i = 0; i < 4; ++i) {
            source->execute(std::string("INSERT INTO ") + a.detail + " (" + a.id + ", " + a.prefix +
                            "_ITEM, " + a.prefix + "_TIPOREF, " + a.prefix + "_IDREF, " + a.prefix +
                            "_PREFREF, " + a.prefix + "_NUMREF) VALUES (8, " + sqlInt(i + 1) +
                            ", " + types[i] + ", " + sqlInt(11 + i) + ", 'FV', " + Q(numbers[i]) +
                            ")");
        }
        destination->execute(a.settledDocument);
    }
    std::vector<std::string> settledIds() {
        const Application& a = GetParam();
        return column(*destination, std::string("select ") + a.prefix + "_IDREF from " + a.detail +
                                        " order by " + a.prefix + "_ITEM");
    }
};

TEST_P(ApplicationFamily, LinesOfListedTypesArriveWithTheDestinationIds) {
    const Application& a = GetParam();
    insertApplication();
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = dispatch(event(a.type, "I", 8, "AP", "00000003"));
    db::Connection::setTraceHook({});

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(settledIds(), (std::vector<std::string>{"555", "12", "13", "14"}));
    std::vector<std::string> lookups;
    std::copy_if(sent.begin(), sent.end(), std::back_inserter(lookups),
                 [](const std::string& sql) { return sql.find("_id from ") != std::string::npos; });
    EXPECT_EQ(lookups, (std::vector<std::string>{std::string("dst: ") + a.lookup + "000777'",
                                                 std::string("dst: ") + a.lookup + "000778'"}));
}

TEST_P(ApplicationFamily, RefusedLineTakesBackTheHeaderAndItsLines) {
    const Application& a = GetParam();
    destination->execute(std::string("ALTER TABLE ") + a.detail +
                         " ADD CONSTRAINT CK_SIN_TERCERA CHECK (" + a.prefix + "_ITEM <> 3)");
    insertApplication();

    const EventState s = dispatch(event(a.type, "I", 8, "AP", "00000003"));

    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_TERCERA"), std::string::npos) << lastEventError();
    EXPECT_EQ(count(*destination, std::string("select count(*) from ") + a.table), 0);
    EXPECT_EQ(count(*destination, std::string("select count(*) from ") + a.detail), 0);
}

INSTANTIATE_TEST_SUITE_P(Applications, ApplicationFamily, ::testing::ValuesIn(kApplications),
                         [](const auto& info) { return std::to_string(info.param.type); });

// A customer advance points at the cash receipt that consumed it; the link
// is found again by the receipt's prefix and number.
struct ReceiptCase {
    const char* name;
    std::optional<int> link;            // the source advance's receipt id
    bool inSource;                      // receipt 10, RC 0001, in the source
    bool inDestination;                 // receipt 70, RC 0001, in the destination
    std::optional<int> destinationOwn;  // a replace: the destination's own link
    const char* expected;
};

const ReceiptCase kReceiptCases[] = {
    {"NewFoundInBoth", 10, true, true, std::nullopt, "70"},
    {"NewOnlyInSource", 10, true, false, std::nullopt, "0"},
    {"NewDangling", 99, false, true, std::nullopt, "99"},
    {"NewWithoutReceipt", std::nullopt, true, true, std::nullopt, "<null>"},
    {"ReplaceFoundInBoth", 10, true, true, 555, "70"},
    {"ReplaceOnlyInSource", 10, true, false, 555, "555"},
    {"ReplaceDangling", 99, false, true, 555, "555"},
    {"ReplaceWithoutReceipt", std::nullopt, true, true, 555, "555"},
};

class CustomerAdvance : public TwoCompanies, public ::testing::WithParamInterface<ReceiptCase> {
  protected:
    static void insertAdvance(db::Connection& c, int id, const std::string& conc,
                              std::optional<int> receipt) {
        c.execute(
            "INSERT INTO ANTICIPOS_CLIENTE (ANCL_ID, TIDO_COD, PREF_PRE, ANCL_NUMERO, ANCL_CONC, "
            "ANCL_VALOR, RECA_ID) VALUES (" +
            sqlInt(id) + ", 45, 'AN', '00000009', " + Q(conc) + ", 250, " +
            (receipt ? sqlInt(*receipt) : "NULL") + ")");
    }
    static void insertReceipt(db::Connection& c, int id) {
        c.execute("INSERT INTO RECIBOS_CAJA (RECA_ID, PREF_PRE, RECA_NUMERO) VALUES (" +
                  sqlInt(id) + ", 'RC', '0001')");
    }
};

TEST_P(CustomerAdvance, PointsAtTheDestinationsReceiptOrKeepsItsOwnLink) {
    const ReceiptCase& c = GetParam();
    insertAdvance(*source, 5, "Anticipo", c.link);
    if (c.inSource) {
        insertReceipt(*source, 10);
    }
    if (c.inDestination) {
        insertReceipt(*destination, 70);
    }
    if (c.destinationOwn) {
        insertAdvance(*destination, 300, "Viejo", c.destinationOwn);
    }
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = dispatch(event(45, "I", 5, "AN", "00000009"));
    db::Connection::setTraceHook({});

    ASSERT_FALSE(s.failed) << lastEventError();
    const Rows advance =
        rows(*destination, "select ANCL_ID, ANCL_CONC, RECA_ID from ANTICIPOS_CLIENTE");
    ASSERT_EQ(advance.size(), 1u);
    if (c.destinationOwn) {
        EXPECT_EQ(advance[0][0], "ANCL_ID=300");
    }
    EXPECT_EQ(advance[0][1], "ANCL_CONC=Anticipo");
    EXPECT_EQ(advance[0][2], std::string("RECA_ID=") + c.expected);
    if (!c.link) {
        // No receipt named: no query with nothing after "reca_id = ".
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                [](const std::string& sql) {
                                    return sql.find("recibos_caja") != std::string::npos;
                                }),
                  0);
    }
}

INSTANTIATE_TEST_SUITE_P(Receipts, CustomerAdvance, ::testing::ValuesIn(kReceiptCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A supplier advance's disbursement id belongs to the database that paid it.
struct DisbursementCase {
    const char* name;
    std::optional<int> destinationOwn;  // a replace: the destination's own link
    bool generatorGivesNoRow;
    const char* expected;
};

const DisbursementCase kDisbursementCases[] = {
    {"NewStartsUnpaid", std::nullopt, false, "0"},
    {"NewUnderTheSourceIdStartsUnpaid", std::nullopt, true, "0"},
    {"ReplaceKeepsTheDestinationsLink", 77, false, "77"},
};

class SupplierAdvance : public TwoCompanies,
                        public ::testing::WithParamInterface<DisbursementCase> {
  protected:
    static void insertAdvance(db::Connection& c, int id, const std::string& conc, int paidBy) {
        c.execute(
            "INSERT INTO ANTICIPOS_PROVEEDOR (ANPR_ID, TIDO_COD, PREF_PRE, ANPR_NUMERO, "
            "ANPR_CONC, EGRE_ID) VALUES (" +
            sqlInt(id) + ", 55, 'AP', '00000004', " + Q(conc) + ", " + sqlInt(paidBy) + ")");
    }
};

TEST_P(SupplierAdvance, NeverTakesTheSourcesDisbursement) {
    const DisbursementCase& c = GetParam();
    insertAdvance(*source, 6, "Anticipo", 44);
    if (c.destinationOwn) {
        insertAdvance(*destination, 300, "Viejo", *c.destinationOwn);
    }
    if (c.generatorGivesNoRow) {
        destination->execute(
            "CREATE OR ALTER VIEW CAMBIE_ID_ANTIPROV (ID) AS SELECT 0 FROM RDB$DATABASE WHERE 1 = "
            "0");
    }
    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        const EventState s = dispatch(event(55, "I", 6, "AP", "00000004"));

        ASSERT_FALSE(s.failed) << lastEventError();
        const Rows advance =
            rows(*destination, "select ANPR_ID, ANPR_CONC, EGRE_ID from ANTICIPOS_PROVEEDOR");
        ASSERT_EQ(advance.size(), 1u);
        if (c.destinationOwn) {
            EXPECT_EQ(advance[0][0], "ANPR_ID=300");
        } else if (c.generatorGivesNoRow) {
            EXPECT_EQ(advance[0][0], "ANPR_ID=6");
        }
        EXPECT_EQ(advance[0][1], "ANPR_CONC=Anticipo");
        // A replayed new advance keeps the 0 it arrived with.
        EXPECT_EQ(advance[0][2], std::string("EGRE_ID=") + c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Disbursements, SupplierAdvance, ::testing::ValuesIn(kDisbursementCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace replica
