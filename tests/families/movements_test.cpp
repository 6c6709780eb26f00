// The mapped copy, driven through its rows: transfers, purchase invoices,
// delivery notes and purchase returns arriving as inventory movements,
// between two real company databases.

#include <gtest/gtest.h>

#include "engine/documentcopy.h"
#include "families/movements.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

class Movements : public TwoCompanies {
  protected:
    Handler invoices = documentHandler(families::movementDocument(21));
    Handler transfers = documentHandler(families::movementDocument(13));
    Handler notes = documentHandler(families::movementDocument(22));
    Handler returns = documentHandler(families::movementDocument(24));

    // A purchase invoice with `lines` lines; line i has quantity i, unit
    // price 12.3456 and 1 returned.
    static void insertInvoice(db::Connection& c, int id, const std::string& pref,
                              const std::string& number, int lines,
                              const std::string& conc = "Compra de café") {
        c.execute(
            "INSERT INTO FACTURAS_COMPRA (FACO_ID, TIDO_COD, PREF_PRE, FACO_NUMERO, FACO_FECHA, "
            "FACO_VENCE, BODE_COD, TERC_NIT, FACO_FACTPROV, FACO_CONC, FACO_IMPTOS, "
            "FACO_SUBTOTAL, FACO_TOTAL, SUCU_ID, FACO_ANULADO, FACO_TRANSMIT, FACO_OBS, "
            "FACO_USUARIO, FACO_FECREG) VALUES (" +
            sqlInt(id) + ", 21, " + Q(pref) + ", " + Q(number) +
            ", '2024-05-06', '2024-06-06', '03', '900123', 'P-77', " + Q(conc) +
            ", 'S', 1000.50, 1190.60, 2, 'N', 'S', NULL, 'ana', '2024-05-06')");
        for (int i = 1; i <= lines; ++i) {
            c.execute(
                "INSERT INTO FACTURAS_COMPRAS_DETALLE (FACO_ID, FCDE_ITEM, ARTI_COD, BODE_COD, "
                "FCDE_CANT, FCDE_UNIDAD, FCDE_LOTE, FCDE_FACTOR, FCDE_DESC, FCDE_OBS, "
                "FCDE_IVAPORC, FCDE_IVAMONTO, FCDE_CONSUMO, FCDE_CODBAR, FCDE_ANULADO, "
                "FCDE_PRUNIT, FCDE_TOTAL, FCDE_DTOPORC, FCDE_DEVUELTO, FCDE_DTOMONTO, "
                "FCDE_VENCELOTE, FCDE_ORDCITEM) VALUES (" +
                sqlInt(id) + ", " + sqlInt(i) + ", 'ART" + std::to_string(i) + "', '04', " +
                sqlInt(i) +
                ", 'UND', 'L1', 1, 'Tornillo', 'nota', 19, 2.35, 0, '770', 'N', 12.3456, "
                "37.04, 5, 1, 1.85, '2025-01-01', 9)");
        }
    }

    // A transfer from warehouse 01 to `to`, with `lines` lines.
    static void insertTransfer(db::Connection& c, int id, const std::string& pref,
                               const std::string& number, const std::string& to, int lines) {
        c.execute(
            "INSERT INTO TRASFERENCIAS (TRAN_ID, TIDO_COD, PREF_PRE, TRAN_NUMERO, TRAN_FECHA, "
            "BODE_COD, TRAN_BODDES, TERC_NIT, TRAN_CONC, TRAN_IMPTOS, TRAN_ANULADO, "
            "TRAN_TRANSMIT, TRAN_OBS, TRAN_USUARIO) VALUES (" +
            sqlInt(id) + ", 13, " + Q(pref) + ", " + Q(number) + ", '2024-07-01', '01', " + Q(to) +
            ", '800100', 'Reposición', 'N', 'N', 'S', 'urgente', NULL)");
        for (int i = 1; i <= lines; ++i) {
            c.execute(
                "INSERT INTO TRASFERENCIAS_DETALLE (TRAN_ID, TRAS_ITEM, ARTI_COD, TRAS_CANT, "
                "TRAS_COSTO, TRAS_TOTAL) VALUES (" +
                sqlInt(id) + ", " + sqlInt(i) + ", 'ART" + std::to_string(i) + "', 2, 7.25, " +
                "14.5)");
        }
    }

    static void insertReturn(db::Connection& c, int id, const std::string& pref,
                             const std::string& number, int lines) {
        c.execute(
            "INSERT INTO DEVOLUCIONES_COMPRAS (DVCO_ID, TIDO_COD, PREF_PRE, DVCO_NUMERO, "
            "DVCO_FECHA, BODE_COD, TERC_NIT, DVCO_FACTURA, DVCO_FACTID, DVCO_CONC, DVCO_IMPTOS, "
            "DVCO_ANULADO, DVCO_TRANSMIT, DVCO_OBS, DVCO_USUARIO) VALUES (" +
            sqlInt(id) + ", 24, " + Q(pref) + ", " + Q(number) +
            ", '2024-08-02', '02', '900123', 'FA000045', 45, 'Averiado', 'S', 'N', 'N', "
            "'caja rota', 'luis')");
        for (int i = 1; i <= lines; ++i) {
            c.execute(
                "INSERT INTO DEVOLUCIONES_COMPRAS_DET (DVCO_ID, DVCD_ITEM, ARTI_COD, BODE_COD, "
                "DVCD_CANT, DVCD_PRUNIT, DVCD_DTOPORC, DVCD_DTOMONTO) VALUES (" +
                sqlInt(id) + ", " + sqlInt(i) + ", 'ART" + std::to_string(i) +
                "', '02', 1, 3.5, 10, 0.35)");
        }
    }
};

TEST_F(Movements, DownloadedPurchaseInvoiceBecomesAnEntryFoundAgainByItsOrigin) {
    insertInvoice(*source, 45, "FA", "000045", 2);
    destination->execute("ALTER SEQUENCE GEN_ENTRADAS RESTART WITH 700");

    EventState s = run(invoices, event(21, "I", 45, "FA", "000045", "LC"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(s.destinationId, 701);
    // Only the mapped columns are written; every other column stays null.
    const Rows header = {{"ENTR_ID=701",
                          "TIDO_COD=11",
                          "PREF_PRE=LC",
                          "ENTR_NUMERO=000045",
                          "ENTR_FECHA=2024-05-06",
                          "BODE_COD=03",
                          "TERC_NIT=900123",
                          "ENTR_NOMTERC=900123",
                          "ENTR_CONC=FCFA000045",
                          "ENTR_REFER=FA000045",
                          "ENTR_TIPOREF=21",
                          "ENTR_IDREF=45",
                          "ENTR_IMPTOS=S",
                          "ENTR_SUBTOTAL=<null>",
                          "ENTR_IVA=<null>",
                          "ENTR_TOTAL=<null>",
                          "ENTR_TASACAMBIO=<null>",
                          "ENTR_ORDEN=",
                          "ENTR_ORDENID=0",
                          "SUCU_ID=<null>",
                          "ENTR_ANULADO=N",
                          "ENTR_TRANSMIT=S",
                          "ENTR_OBS=",
                          "ENTR_USUARIO=ana",
                          "ENTR_FECREG=<null>",
                          "ENTR_HORAREG=<null>",
                          "NUMOK=N"}};
    EXPECT_EQ(rows(*destination, "select * from ENTRADAS"), header);
    // The unit price becomes the cost; the returned quantity, the lot's
    // expiry and the order item are not carried.
    EXPECT_EQ(rows(*destination, "select * from ENTRADAS_DETALLE where ENDE_ITEM = 2"),
              (Rows{{"ENTR_ID=701",        "ENDE_ITEM=2",           "ARTI_COD=ART2",
                     "BODE_COD=04",        "ENDE_CANT=2",           "ENDE_UNIDAD=UND",
                     "ENDE_LOTE=L1",       "ENDE_FACTOR=1",         "ENDE_DESC=Tornillo",
                     "ENDE_OBS=nota",      "ENDE_IVAPORC=19",       "ENDE_IVAMONTO=2.35",
                     "ENDE_CONSUMO=0",     "ENDE_CODBAR=770",       "ENDE_ANULADO=N",
                     "ENDE_COSTO=12.3456", "ENDE_TOTAL=37.04",      "ENDE_DTOPORC=5",
                     "ENDE_DTOMONTO=1.85", "ENDE_VENCELOTE=<null>", "ENDE_COSTOPROM=<null>"}}));

    // A replay finds the entry by type, origin id and prefix, even after its
    // number was changed by hand; it keeps the id, rewrites the lines once,
    // takes the invoice's own concept and marks NUMOK again.
    destination->execute("update ENTRADAS set ENTR_NUMERO = 'X1', NUMOK = 'S'");
    source->execute("update FACTURAS_COMPRA set FACO_CONC = 'Compra corregida'");
    source->execute("delete from FACTURAS_COMPRAS_DETALLE where FCDE_ITEM = 1");
    s = run(invoices, event(21, "U", 45, "FA", "000045", "LC"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(
        rows(*destination, "select ENTR_ID, ENTR_NUMERO, ENTR_CONC, NUMOK from ENTRADAS"),
        (Rows{{"ENTR_ID=701", "ENTR_NUMERO=000045", "ENTR_CONC=Compra corregida", "NUMOK=N"}}));
    EXPECT_EQ(column(*destination, "select ENTR_ID || '/' || ENDE_ITEM from ENTRADAS_DETALLE"),
              Texts{"701/2"});

    // The same invoice under another receiving prefix is another entry.
    s = run(invoices, event(21, "I", 45, "FA", "000045", "LD"));
    EXPECT_EQ(column(*destination, "select PREF_PRE from ENTRADAS order by ENTR_ID"),
              (Texts{"LC", "LD"}));
}

// The invoice's concept depends on the phase and on whether the entry is new.
struct ConceptCase {
    const char* name;
    Phase phase;
    bool replay;
    const char* conc;
};
void PrintTo(const ConceptCase& c, std::ostream* os) {
    *os << c.name;
}

class InvoiceConcept : public Movements, public ::testing::WithParamInterface<ConceptCase> {};

TEST_P(InvoiceConcept, FollowsPhaseAndNewOrExisting) {
    const ConceptCase& c = GetParam();
    phase = c.phase;
    insertInvoice(*source, 45, "FA", "000045", 1, "Compra de café");
    // The event names the invoice as the issuing company knows it.
    run(invoices, event(21, "I", 45, "EV", "000099", "LC"));
    if (c.replay) {
        run(invoices, event(21, "U", 45, "EV", "000099", "LC"));
    }
    EXPECT_EQ(column(*destination, "select ENTR_CONC from ENTRADAS"), Texts{c.conc});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvoiceConcept,
    ::testing::Values(ConceptCase{"DownloadNew", Phase::Download, false, "FCFA000045"},
                      ConceptCase{"DownloadReplay", Phase::Download, true, "Compra de café"},
                      ConceptCase{"UploadNew", Phase::Upload, false, "FC EV000099"},
                      ConceptCase{"UploadReplay", Phase::Upload, true, "FCFA000045"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Movements, TransferEntersItsDestinationWarehouseUnderThePrefixOfEachPhase) {
    insertTransfer(*source, 3, "TR", "0009", "05", 2);

    EventState s = run(transfers, event(13, "I", 3, "TR", "0009", "EE"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination,
                   "select TIDO_COD, PREF_PRE, BODE_COD, ENTR_NUMERO, ENTR_CONC, ENTR_REFER, "
                   "ENTR_TIPOREF, ENTR_IDREF, ENTR_NOMTERC, ENTR_OBS, ENTR_USUARIO from ENTRADAS"),
              (Rows{{"TIDO_COD=11", "PREF_PRE=EE", "BODE_COD=05", "ENTR_NUMERO=0009",
                     "ENTR_CONC=Reposición", "ENTR_REFER=TR0009", "ENTR_TIPOREF=13", "ENTR_IDREF=3",
                     "ENTR_NOMTERC=800100", "ENTR_OBS=urgente", "ENTR_USUARIO="}}));
    EXPECT_EQ(rows(*destination,
                   "select BODE_COD, ENDE_COSTO, ENDE_DTOPORC, ENDE_DTOMONTO from "
                   "ENTRADAS_DETALLE order by ENDE_ITEM"),
              (Rows(2, {"BODE_COD=05", "ENDE_COSTO=7.25", "ENDE_DTOPORC=0", "ENDE_DTOMONTO=0"})));

    // Uploaded, the entry keeps the transfer's own prefix.
    auto third = test::createCompany(dir.file("other.fdb"));
    std::swap(destination, third);
    phase = Phase::Upload;
    s = run(transfers, event(13, "I", 3, "TR", "0009", "EE"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select PREF_PRE from ENTRADAS"), Texts{"TR"});
    std::swap(destination, third);
}

TEST_F(Movements, UploadedTransferIsFoundByNumberWhenCopiedAndByReferenceWhenAnnulled) {
    phase = Phase::Upload;
    insertTransfer(*source, 3, "TR", "0009", "05", 1);
    // Any entry with the transfer's prefix and number is taken for its entry.
    destination->execute(
        "INSERT INTO ENTRADAS (ENTR_ID, PREF_PRE, ENTR_NUMERO, ENTR_CONC) VALUES (60, 'TR', "
        "'0009', 'Entrada a mano')");
    destination->execute(
        "INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM, ARTI_COD) VALUES (60, 7, 'VIEJO')");

    EventState s = run(transfers, event(13, "I", 3, "TR", "0009", "EE"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination, "select ENTR_ID, ENTR_CONC, ENTR_REFER from ENTRADAS"),
              (Rows{{"ENTR_ID=60", "ENTR_CONC=Reposición", "ENTR_REFER=TR0009"}}));
    EXPECT_EQ(column(*destination, "select ARTI_COD from ENTRADAS_DETALLE"), Texts{"ART1"});

    // Renumbered by hand, it is still found for "A" and "D" by its reference.
    destination->execute("update ENTRADAS set ENTR_NUMERO = '7777'");
    s = run(transfers, event(13, "A", 3, "TR", "0009", "EE"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select ENTR_ANULADO from ENTRADAS"), Texts{"S"});
    s = run(transfers, event(13, "D", 3, "TR", "0009", "EE"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
}

TEST_F(Movements, DeliveryNoteBecomesOneEntryLinePerNoteLine) {
    source->execute(
        "INSERT INTO REMISION_PROVEEDOR (REPR_ID, PREF_PRE, REPR_NUMERO, BODE_COD, TERC_NIT, "
        "REPR_CONC, REPR_OBS) VALUES (8, 'RP', '000008', '02', '900123', 'Remisión', NULL)");
    for (int i = 1; i <= 3; ++i) {
        source->execute(
            "INSERT INTO REMISION_PROVEEDOR_DET (REPR_ID, RPVD_ITEM, ARTI_COD, BODE_COD, "
            "RPVD_CANT, RPVD_PRUNIT, RPVD_DTOPORC) VALUES (8, " +
            sqlInt(i) + ", 'ART" + std::to_string(i) + "', '02', 4, 2.5, 3)");
    }

    const EventState s = run(notes, event(22, "I", 8, "RP", "000008", "LC"));

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination,
                   "select PREF_PRE, ENTR_CONC, ENTR_REFER, ENTR_TIPOREF, ENTR_IDREF, ENTR_OBS "
                   "from ENTRADAS"),
              (Rows{{"PREF_PRE=LC", "ENTR_CONC=Remisión", "ENTR_REFER=RP000008", "ENTR_TIPOREF=22",
                     "ENTR_IDREF=8", "ENTR_OBS="}}));
    EXPECT_EQ(column(*destination,
                     "select ARTI_COD || ' ' || ENDE_COSTO || ' ' || ENDE_DTOPORC from "
                     "ENTRADAS_DETALLE order by ENDE_ITEM"),
              (Texts{"ART1 2.5000 3.00", "ART2 2.5000 3.00", "ART3 2.5000 3.00"}));
}

TEST_F(Movements, PurchaseReturnBecomesAnExitWithoutDiscountsOrReservation) {
    insertReturn(*source, 12, "DV", "000012", 2);

    const EventState s = run(returns, event(24, "I", 12, "DV", "000012", "LC"));

    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination,
                   "select TIDO_COD, PREF_PRE, BODE_COD, SALI_NUMERO, SALI_CONC, SALI_REFER, "
                   "SALI_TIPOREF, SALI_IDREF, SALI_IMPTOS, SALI_RESERVA, SALI_RESEID, SALI_OBS, "
                   "SALI_USUARIO, NUMOK from SALIDAS"),
              (Rows{{"TIDO_COD=12", "PREF_PRE=LC", "BODE_COD=02", "SALI_NUMERO=000012",
                     "SALI_CONC=DC DV000012", "SALI_REFER=DV000012", "SALI_TIPOREF=24",
                     "SALI_IDREF=12", "SALI_IMPTOS=S", "SALI_RESERVA=", "SALI_RESEID=0",
                     "SALI_OBS=caja rota", "SALI_USUARIO=luis", "NUMOK=N"}}));
    EXPECT_EQ(
        rows(*destination, "select SADE_COSTO, SADE_DTOPORC, SADE_DTOMONTO from SALIDAS_DETALLE"),
        (Rows(2, {"SADE_COSTO=3.5", "SADE_DTOPORC=<null>", "SADE_DTOMONTO=<null>"})));
}

TEST_F(Movements, AnnulAndDeleteActOnTheMovementFoundByItsOrigin) {
    insertInvoice(*source, 45, "FA", "000045", 2);
    insertInvoice(*destination, 45, "FA", "000045", 0);
    run(invoices, event(21, "I", 45, "FA", "000045", "LC"));
    run(invoices, event(21, "I", 45, "FA", "000045", "LD"));

    EventState s = run(invoices, event(21, "A", 45, "FA", "000045", "LC"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select PREF_PRE || ENTR_ANULADO from ENTRADAS order by 1"),
              (Texts{"LCS", "LDN"}));
    // The purchase invoice of the same prefix and number is not touched.
    EXPECT_EQ(column(*destination, "select FACO_ANULADO from FACTURAS_COMPRA"), Texts{"N"});

    s = run(invoices, event(21, "D", 45, "FA", "000045", "LC"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select PREF_PRE from ENTRADAS"), Texts{"LD"});
    // Only the header: its lines are left to the database.
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 4);

    // Absent movements are not errors.
    EXPECT_FALSE(run(invoices, event(21, "A", 45, "FA", "000045", "ZZ")).failed);
    EXPECT_FALSE(run(invoices, event(21, "D", 45, "FA", "000045", "LC")).failed);
}

TEST_F(Movements, RefusedLineTakesBackTheLinesThenTheHeader) {
    destination->execute(
        "ALTER TABLE ENTRADAS_DETALLE ADD CONSTRAINT CK_SIN_TERCERA CHECK (ENDE_ITEM <> 3)");
    insertInvoice(*source, 45, "FA", "000045", 4);
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = run(invoices, event(21, "I", 45, "FA", "000045", "LC"));
    db::Connection::setTraceHook({});

    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_TERCERA"), std::string::npos) << lastEventError();
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 0);
    const std::string id = std::to_string(s.destinationId);
    EXPECT_EQ(sent, (Texts{"src: select * from facturas_compra where faco_id = 45",
                           "dst: SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 21 AND ENTR_IDREF = "
                           "45 AND PREF_PRE = 'LC'",
                           "dst: select * from cambie_id_entrada",
                           "src: select * from facturas_compras_detalle where faco_id = 45",
                           "dst: SELECT * FROM ENTRADAS_DETALLE WHERE ENTR_ID = " + id,
                           "dst: delete from entradas_detalle where entr_id = " + id,
                           "dst: DELETE FROM ENTRADAS WHERE ENTR_ID = " + id}));
}

TEST_F(Movements, RefusedHeaderWritesNoLines) {
    destination->execute(
        "ALTER TABLE SALIDAS ADD CONSTRAINT CK_SIN_BODEGA_02 CHECK (BODE_COD <> '02')");
    insertReturn(*source, 12, "DV", "000012", 2);

    const EventState s = run(returns, event(24, "I", 12, "DV", "000012", "LC"));

    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_BODEGA_02"), std::string::npos);
    EXPECT_EQ(count(*destination, "select count(*) from SALIDAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from SALIDAS_DETALLE"), 0);
}

// The copy cannot even start: the event fails alone, with the reason, and
// nothing is written.
TEST_F(Movements, GeneratorWithoutRowFailsTheEventBeforeAnythingIsWritten) {
    destination->execute(
        "CREATE OR ALTER VIEW CAMBIE_ID_ENTRADA (ID) AS SELECT 0 FROM RDB$DATABASE WHERE 1 = 0");
    insertInvoice(*source, 45, "FA", "000045", 2);

    EXPECT_TRUE(run(invoices, event(21, "I", 45, "FA", "000045", "LC")).failed);
    EXPECT_EQ(lastEventError(), "Field 'ENTR_ID' must have a value");
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 0);
}

TEST_F(Movements, GoneSourceOrUnusableIddocWritesNothing) {
    std::vector<std::string> sent;
    traceDestination(sent);
    EventState s = run(invoices, event(21, "I", 45, "FA", "000045", "LC"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);

    sent.clear();
    for (const char* letter : {"I", "A", "D"}) {
        s = run(returns, event(24, letter, std::nullopt, "DV", "000012", "LC"));
        EXPECT_TRUE(s.failed) << letter;
        EXPECT_EQ(lastEventError(), "RPEV_IDDOC vacío o no numérico: ''");
    }
    EXPECT_EQ(sent, Texts{});
}

// The texts each member sends to find its movement, per phase and letter.
struct LookupCase {
    const char* name;
    int type;
    Phase phase;
    const char* letter;
    const char* sql;
};
void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class MovementLookup : public Movements, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(MovementLookup, IsSpelledAsTheSystemSendsIt) {
    const LookupCase& c = GetParam();
    phase = c.phase;
    insertTransfer(*source, 3, "T'R", "0009", "05", 0);
    insertInvoice(*source, 3, "FA", "0009", 0);
    source->execute("INSERT INTO REMISION_PROVEEDOR (REPR_ID) VALUES (3)");
    insertReturn(*source, 3, "DV", "0009", 0);
    std::vector<std::string> sent;
    traceDestination(sent);

    run(documentHandler(families::movementDocument(c.type)),
        event(c.type, c.letter, 3, "T'R", "0009", "L'C"));

    ASSERT_FALSE(sent.empty());
    const std::string first = sent[0].rfind("src: ", 0) == 0 ? sent.at(1) : sent[0];
    EXPECT_EQ(first, std::string("dst: ") + c.sql);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, MovementLookup,
    ::testing::Values(
        LookupCase{"TransferDownloadCopy", 13, Phase::Download, "I",
                   "SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_IDREF = 3 AND "
                   "PREF_PRE = 'L''C'"},
        LookupCase{"TransferDownloadAnnul", 13, Phase::Download, "A",
                   "SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_IDREF = 3 AND "
                   "PREF_PRE = 'L''C'"},
        LookupCase{"TransferUploadCopy", 13, Phase::Upload, "I",
                   "SELECT * FROM ENTRADAS WHERE PREF_PRE = 'T''R' AND ENTR_NUMERO = '0009'"},
        LookupCase{"TransferUploadDelete", 13, Phase::Upload, "D",
                   "SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_REFER = 'T''R0009'"},
        LookupCase{"InvoiceUploadCopy", 21, Phase::Upload, "U",
                   "SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 21 AND ENTR_IDREF = 3 AND "
                   "PREF_PRE = 'L''C'"},
        LookupCase{"NoteDownloadDelete", 22, Phase::Download, "D",
                   "SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 22 AND ENTR_IDREF = 3 AND "
                   "PREF_PRE = 'L''C'"},
        LookupCase{"ReturnUploadAnnul", 24, Phase::Upload, "A",
                   "SELECT * FROM SALIDAS WHERE SALI_TIPOREF = 24 AND SALI_IDREF = 3 AND "
                   "PREF_PRE = 'L''C'"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace replica
