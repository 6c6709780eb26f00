// Sales invoices between two real company databases: copied as invoices
// (lines, returned quantities, payment lines, the line count check, the undo
// and the points call) or, downloaded without the sales invoice mode, as
// inventory exits.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <locale>

#include "families/sales.h"
#include "families/settings.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

struct Line {
    const char* item;
    const char* quantity;
    const char* unit;
    const char* factor = "1";
};

// An invoice with its lines (each claiming 7 returned at position 18) and
// `payments` cash-payment lines; nit is SQL (a quoted text or NULL).
void insertInvoice(db::Connection& c, int id, const std::string& number,
                   const std::vector<Line>& lines, int payments,
                   const std::string& nit = "'900123'") {
    c.execute(
        "INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO, FACT_FECHA, TERC_NIT, "
        "FACT_NOMCLIENTE, BODE_COD, FACT_IVAINC, FACT_TOTAL, FACT_ANULADO, FACT_TRANSMIT, "
        "FACT_OBS, FACT_USUARIO) VALUES (" +
        sqlInt(id) + ", 'FV', " + Q(number) + ", '2024-03-04', " + nit +
        ", 'Tienda La Ñapa', '02', 'S', 12500.75, 'N', 'S', NULL, 'eva')");
    int item = 0;
    for (const Line& l : lines) {
        ++item;
        c.execute(
            "INSERT INTO FACTURAS_DETALLE (FACT_ID, FADE_ITEM, ARTI_COD, BODE_COD, FADE_CANT, "
            "FADE_UNIDAD, FADE_FACTOR, FADE_LOTE, FADE_PRUNIT, FADE_DESC, FADE_IVAPORC, "
            "FADE_IVAMONTO, FADE_CONSUMO, FADE_CODBAR, FADE_OBS, FADE_ANULADO, FADE_TOTAL, "
            "FADE_DEVUELTO) VALUES (" +
            sqlInt(id) + ", " + sqlInt(item) + ", " + Q(l.item) + ", '02', " + l.quantity + ", " +
            Q(l.unit) + ", " + l.factor +
            ", 'L9', 1500.5, 'Café', 19, 285.1, 0, '7701', 'ok', 'N', 3001, 7)");
    }
    for (int i = 1; i <= payments; ++i) {
        c.execute("INSERT INTO FACTURAS_CONTADO_PAGO (FCNT_ID, FCNT_ITEM, FOPA_COD, FCNT_VALOR) " +
                  std::string("VALUES (") + sqlInt(id) + ", " + sqlInt(i) + ", 'EF', 1000)");
    }
}

const std::vector<Line> kThreeLines = {
    {"A001", "2", "UND"}, {"B010", "1", "UND"}, {"C100", "4", "CJA"}};

// Events go through the catalogue, as a run routes them: downloaded under the
// sales invoice mode unless a test says otherwise.
class SalesInvoices : public TwoCompanies {
  protected:
    void SetUp() override {
        options.setSetting(families::kSalesInvoiceMode.name, "FACTURA");
        destination->execute("ALTER SEQUENCE GEN_FACTURAS RESTART WITH 500");
    }

    EventState copy(const std::string& oper = "I", int id = 7,
                    const std::string& number = "00000007") {
        return dispatch(event(31, oper, id, "FV", number, "SA"));
    }

    void paymentSetting(db::Connection& c, const std::string& value) {
        c.execute(
            "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
            "VALUES ('FACTURACION', 'FACTURAS', 'ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO', " +
            Q(value) + ")");
    }

    static Texts withPrefix(const Texts& sent, const std::string& head) {
        Texts out;
        for (const std::string& s : sent) {
            if (s.rfind(head, 0) == 0) {
                out.push_back(s);
            }
        }
        return out;
    }
};

TEST_F(SalesInvoices, NewInvoiceTakesTheGeneratorIdEverywhereAndEarnsPointsOnce) {
    insertInvoice(*source, 7, "00000007", kThreeLines, 2);
    std::vector<std::string> sent;
    traceDestination(sent);

    EventState s = copy();
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(s.destinationId, 501);
    const std::string header =
        "select PREF_PRE, FACT_NUMERO, FACT_FECHA, TERC_NIT, "
        "FACT_NOMCLIENTE, FACT_TOTAL, FACT_OBS, NUMOK from FACTURAS";
    EXPECT_EQ(rows(*destination, header), rows(*source, header));
    EXPECT_EQ(column(*destination, "select FACT_ID from FACTURAS"), Texts{"501"});
    // Nothing returned on any copied line.
    EXPECT_EQ(column(*destination,
                     "select FACT_ID || '/' || FADE_ITEM || '/' || ARTI_COD || '/' || "
                     "FADE_DEVUELTO from FACTURAS_DETALLE order by FADE_ITEM"),
              (Texts{"501/1/A001/0.0000", "501/2/B010/0.0000", "501/3/C100/0.0000"}));
    EXPECT_EQ(column(*destination, "select FCNT_ID || '/' || FCNT_ITEM from FACTURAS_CONTADO_PAGO"),
              (Texts{"501/1", "501/2"}));
    EXPECT_EQ(rows(*destination,
                   "select PTCL_TIPODOC, PTCL_PREF, PTCL_NUMERO, PTCL_IDDOC, TERC_NIT, PTCL_PUNTOS "
                   "from PUNTOS_CLIENTE"),
              (Rows{{"PTCL_TIPODOC=31", "PTCL_PREF=FV", "PTCL_NUMERO=00000007", "PTCL_IDDOC=501",
                     "TERC_NIT=900123", "PTCL_PUNTOS=12"}}));

    // The replay replaces the invoice in place: same id, lines and payments
    // once, still one points record.
    source->execute("delete from FACTURAS_DETALLE where FADE_ITEM = 3");
    s = copy("U");
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select FACT_ID from FACTURAS"), Texts{"501"});
    EXPECT_EQ(count(*destination, "select count(*) from FACTURAS_DETALLE where FACT_ID = 501"), 2);
    EXPECT_EQ(count(*destination, "select count(*) from FACTURAS_CONTADO_PAGO"), 2);
    EXPECT_EQ(count(*destination, "select count(*) from PUNTOS_CLIENTE"), 1);
    EXPECT_EQ(withPrefix(sent, "dst: execute procedure"),
              Texts(2, "dst: execute procedure ACUMULA_PUNTOS_CLIENTE(31,501,'900123',NULL)"));
}

// The customer of the points call: the header's when downloaded, a missing
// one as NULL (not an empty text), never when uploaded. An upload is an
// invoice whatever the local mode says.
struct PointsCase {
    const char* name;
    Phase phase;
    const char* nit;  // SQL
    const char* call;
};
void PrintTo(const PointsCase& c, std::ostream* os) {
    *os << c.name;
}

class PointsCall : public SalesInvoices, public ::testing::WithParamInterface<PointsCase> {};

TEST_P(PointsCall, NamesTheCustomerOnlyWhenDownloaded) {
    phase = GetParam().phase;
    options.setSetting(families::kSalesInvoiceMode.name, phase == Phase::Download ? "FACTURA" : "");
    insertInvoice(*source, 7, "00000007", {{"A001", "1", "UND"}}, 0, GetParam().nit);
    paymentSetting(*destination, "NO");
    std::vector<std::string> sent;
    traceDestination(sent);
    ASSERT_FALSE(copy().failed) << lastEventError();
    EXPECT_EQ(withPrefix(sent, "dst: execute procedure"),
              Texts{std::string("dst: ") + GetParam().call});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointsCall,
    ::testing::Values(PointsCase{"Download", Phase::Download, "'900123'",
                                 "execute procedure ACUMULA_PUNTOS_CLIENTE(31,501,'900123',NULL)"},
                      PointsCase{"DownloadWithoutCustomer", Phase::Download, "NULL",
                                 "execute procedure ACUMULA_PUNTOS_CLIENTE(31,501,NULL,NULL)"},
                      PointsCase{"Upload", Phase::Upload, "'900123'",
                                 "execute procedure ACUMULA_PUNTOS_CLIENTE(31,501,NULL,NULL)"}),
    [](const auto& info) { return std::string(info.param.name); });

// The process runs under a locale whose decimal separator is a comma for as
// long as this lives; active() is false when the machine can offer none.
class CommaLocale {
  public:
    explicit CommaLocale(const std::string& dir) : m_previous(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"es_CO.UTF-8", "es_ES.UTF-8", "de_DE.UTF-8"}) {
            if (use(name)) {
                return;
            }
        }
        // None installed: compile one from the system's locale sources.
        const std::string compile =
            "localedef -i es_CO -f UTF-8 '" + dir + "/es_CO.UTF-8' >/dev/null 2>&1";
        if (std::system(compile.c_str()) == 0) {
            ::setenv("LOCPATH", dir.c_str(), 1);
            m_locpath = true;
            use("es_CO.UTF-8");
        }
    }
    ~CommaLocale() {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, m_previous.c_str());
        if (m_locpath) {
            ::unsetenv("LOCPATH");
        }
    }
    bool active() const { return m_active; }

  private:
    bool use(const char* name) {
        try {
            std::locale::global(std::locale(name));  // also the C library's locale
        } catch (const std::runtime_error&) {
            return false;
        }
        m_active = *std::localeconv()->decimal_point == ',';
        return m_active;
    }

    std::string m_previous;
    bool m_locpath = false;
    bool m_active = false;
};

class ReturnedQuantity : public SalesInvoices, public ::testing::WithParamInterface<bool> {};

TEST_P(ReturnedQuantity, ANegativeLineMarksOnlyTheEarlierPositiveLinesOfItsItemQuantityAndUnit) {
    std::optional<CommaLocale> comma;
    if (GetParam()) {
        comma.emplace(dir.path());
        if (!comma->active()) {
            GTEST_SKIP() << "no locale with a comma decimal separator on this machine";
        }
    }
    insertInvoice(*source, 7, "00000007",
                  {{"A001", "2.5", "UND", "2"},
                   {"A001", "2.5", "CJA"},
                   {"A001", "3", "UND"},
                   {"A001", "-2.5", "UND", "2"},
                   {"A001", "2.5", "UND", "2"}},
                  0);
    // Here the negative line comes first: there is nothing to mark yet.
    insertInvoice(*source, 8, "00000008", {{"A001", "-1.5", "UND"}, {"A001", "1.5", "UND"}}, 0);
    std::vector<std::string> sent;
    traceDestination(sent);

    ASSERT_FALSE(copy().failed) << lastEventError();
    ASSERT_FALSE(copy("I", 8, "00000008").failed) << lastEventError();

    EXPECT_EQ(withPrefix(sent, "dst: update facturas_detalle"),
              (Texts{"dst: update facturas_detalle set fade_devuelto = fade_cant*fade_factor "
                     "where fact_id = 501 and arti_cod = 'A001' and fade_cant = 2.5 and "
                     "fade_unidad = 'UND'",
                     "dst: update facturas_detalle set fade_devuelto = fade_cant*fade_factor "
                     "where fact_id = 502 and arti_cod = 'A001' and fade_cant = 1.5 and "
                     "fade_unidad = 'UND'"}));
    // The matching line before the negative one is marked; the other unit,
    // the other quantity and the negative line itself are not, nor the
    // positive line written after it.
    EXPECT_EQ(column(*destination,
                     "select FACT_ID || '/' || FADE_ITEM || ':' || FADE_DEVUELTO from "
                     "FACTURAS_DETALLE order by FACT_ID, FADE_ITEM"),
              (Texts{"501/1:5.0000", "501/2:0.0000", "501/3:0.0000", "501/4:0.0000", "501/5:0.0000",
                     "502/1:0.0000", "502/2:0.0000"}));
}

INSTANTIATE_TEST_SUITE_P(Locales, ReturnedQuantity, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "CommaDecimal" : "Classic");
                         });

// A refused line or payment line takes the whole invoice back with the same
// statements in both phases: its lines and payment lines first, then the
// invoice is annulled and deleted; no points are earned.
struct RefusalCase {
    const char* name;
    Phase phase;
    const char* constraint;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedInvoice : public SalesInvoices, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedInvoice, IsUndoneLinesFirstThenAnnulledAndDeleted) {
    const RefusalCase& c = GetParam();
    phase = c.phase;
    paymentSetting(*destination, "SI");
    destination->execute(c.constraint);
    insertInvoice(*source, 7, "00000007", kThreeLines, 3);
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = copy();

    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("CK_SIN_SEGUNDA"), std::string::npos) << lastEventError();
    const Texts undo = {"dst: DELETE FROM FACTURAS_DETALLE WHERE FACT_ID = 501",
                        "dst: delete from facturas_contado_pago where fcnt_id = 501",
                        "dst: UPDATE FACTURAS SET FACT_ANULADO = 'S' WHERE FACT_ID = 501",
                        "dst: DELETE FROM FACTURAS WHERE FACT_ID = 501"};
    ASSERT_GE(sent.size(), undo.size());
    EXPECT_EQ(Texts(sent.end() - static_cast<long>(undo.size()), sent.end()), undo);
    EXPECT_TRUE(withPrefix(sent, "dst: execute procedure").empty());
    for (const char* table :
         {"FACTURAS", "FACTURAS_DETALLE", "FACTURAS_CONTADO_PAGO", "PUNTOS_CLIENTE"}) {
        EXPECT_EQ(count(*destination, std::string("select count(*) from ") + table), 0) << table;
    }
}

constexpr const char* kRefusedLine =
    "ALTER TABLE FACTURAS_DETALLE ADD CONSTRAINT CK_SIN_SEGUNDA CHECK (FADE_ITEM <> 2)";
constexpr const char* kRefusedPayment =
    "ALTER TABLE FACTURAS_CONTADO_PAGO ADD CONSTRAINT CK_SIN_SEGUNDA CHECK (FCNT_ITEM <> 2)";

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedInvoice,
    ::testing::Values(RefusalCase{"LineDownload", Phase::Download, kRefusedLine},
                      RefusalCase{"LineUpload", Phase::Upload, kRefusedLine},
                      RefusalCase{"PaymentDownload", Phase::Download, kRefusedPayment},
                      RefusalCase{"PaymentUpload", Phase::Upload, kRefusedPayment}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SalesInvoices, ALineLostWithoutARefusalFailsTheInvoiceWithBothCounts) {
    // The destination accepts the second line and then drops it.
    destination->execute(
        "CREATE TRIGGER TR_PIERDE_SEGUNDA FOR FACTURAS_DETALLE AFTER INSERT AS BEGIN "
        "IF (NEW.FADE_ITEM = 2) THEN DELETE FROM FACTURAS_DETALLE WHERE FACT_ID = NEW.FACT_ID "
        "AND FADE_ITEM = 2; END");
    insertInvoice(*source, 7, "00000007", kThreeLines, 1);

    const EventState s = copy();

    EXPECT_TRUE(s.failed);
    EXPECT_EQ(lastEventError(),
              "Detalle de la factura incompleto: se esperaban 3 líneas y se "
              "encontraron 2");
    EXPECT_EQ(op.lastError, "Ultimo error: " + lastEventError());
    EXPECT_EQ(count(*destination, "select count(*) from FACTURAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from PUNTOS_CLIENTE"), 0);
}

// Payment lines: always downloaded; uploaded only when the destination says
// exactly "SI" (an absent setting is shown to the operator).
struct PaymentCase {
    const char* name;
    Phase phase;
    const char* setting;  // nullptr: absent
    int payments;
    bool dialog;
};
void PrintTo(const PaymentCase& c, std::ostream* os) {
    *os << c.name;
}

class PaymentLines : public SalesInvoices, public ::testing::WithParamInterface<PaymentCase> {};

TEST_P(PaymentLines, FollowTheDestinationsSettingWhenUploaded) {
    const PaymentCase& c = GetParam();
    phase = c.phase;
    if (c.setting) {
        // Where the lookup reads in this phase, and the other database says
        // the opposite.
        paymentSetting(phase == Phase::Upload ? *destination : *source, c.setting);
        paymentSetting(phase == Phase::Upload ? *source : *destination,
                       std::string(c.setting) == "SI" ? "NO" : "SI");
    }
    insertInvoice(*source, 7, "00000007", kThreeLines, 2);

    ASSERT_FALSE(copy().failed) << lastEventError();
    EXPECT_EQ(count(*destination, "select count(*) from FACTURAS_DETALLE"), 3);
    EXPECT_EQ(count(*destination, "select count(*) from FACTURAS_CONTADO_PAGO"), c.payments);
    EXPECT_EQ(op.errorMessages,
              c.dialog ? Texts{"No se encontró la configuración ENVIAR DETALLE DE FORMAS DE PAGO "
                               "DE CONTADO"}
                       : Texts{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaymentLines,
    ::testing::Values(PaymentCase{"UploadSI", Phase::Upload, "SI", 2, false},
                      PaymentCase{"UploadNO", Phase::Upload, "NO", 0, false},
                      PaymentCase{"UploadLowerCase", Phase::Upload, "si", 0, false},
                      PaymentCase{"UploadAbsent", Phase::Upload, nullptr, 0, true},
                      PaymentCase{"DownloadAbsent", Phase::Download, nullptr, 2, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SalesInvoices, DownloadedWithoutTheModeAnInvoiceIsAnExitFoundByItsOrigin) {
    options.setSetting(families::kSalesInvoiceMode.name, "");
    insertInvoice(*source, 7, "00000007", {{"A001", "2.5", "UND", "2"}, {"B010", "-1", "CJA"}}, 2);
    destination->execute("ALTER SEQUENCE GEN_SALIDAS RESTART WITH 300");
    std::vector<std::string> sent;
    traceDestination(sent);
    const auto exit = [&](const std::string& oper) {
        return dispatch(event(31, oper, 7, "EV", "00000099", "SA"));
    };

    ASSERT_FALSE(exit("I").failed) << lastEventError();
    EXPECT_EQ(rows(*destination,
                   "select SALI_ID, TIDO_COD, PREF_PRE, BODE_COD, SALI_NUMERO, SALI_FECHA, "
                   "SALI_CONC, SALI_REFER, SALI_TIPOREF, SALI_IDREF, SALI_IMPTOS, SALI_NOMTERC, "
                   "SALI_ANULADO, SALI_TRANSMIT, SALI_OBS, TERC_NIT, SALI_USUARIO, NUMOK, "
                   "SALI_RESERVA, SUCU_ID from SALIDAS"),
              (Rows{{"SALI_ID=301",
                     "TIDO_COD=12",
                     "PREF_PRE=SA",
                     "BODE_COD=02",
                     "SALI_NUMERO=00000007",
                     "SALI_FECHA=2024-03-04",
                     "SALI_CONC=FVFV00000007",
                     "SALI_REFER=EV00000099",
                     "SALI_TIPOREF=31",
                     "SALI_IDREF=7",
                     "SALI_IMPTOS=S",
                     "SALI_NOMTERC=Tienda La Ñapa",
                     "SALI_ANULADO=N",
                     "SALI_TRANSMIT=S",
                     "SALI_OBS=",
                     "TERC_NIT=900123",
                     "SALI_USUARIO=eva",
                     "NUMOK=N",
                     "SALI_RESERVA=<null>",
                     "SUCU_ID=<null>"}}));
    // The sale price becomes the cost; the returned quantity is not carried.
    EXPECT_EQ(
        rows(*destination,
             "select SALI_ID, SADE_ITEM, ARTI_COD, BODE_COD, SADE_CANT, SADE_UNIDAD, "
             "SADE_LOTE, SADE_FACTOR, SADE_DESC, SADE_OBS, SADE_IVAPORC, SADE_IVAMONTO, "
             "SADE_CONSUMO, SADE_CODBAR, SADE_ANULADO, SADE_COSTO, SADE_TOTAL from "
             "SALIDAS_DETALLE where SADE_ITEM = 1"),
        (Rows{{"SALI_ID=301", "SADE_ITEM=1", "ARTI_COD=A001", "BODE_COD=02", "SADE_CANT=2.5",
               "SADE_UNIDAD=UND", "SADE_LOTE=L9", "SADE_FACTOR=2", "SADE_DESC=Café", "SADE_OBS=ok",
               "SADE_IVAPORC=19", "SADE_IVAMONTO=285.1", "SADE_CONSUMO=0", "SADE_CODBAR=7701",
               "SADE_ANULADO=N", "SADE_COSTO=1500.5", "SADE_TOTAL=3001"}}));

    // A replay, after the exit was renumbered by hand, finds it by its origin
    // and replaces its lines; "A" and "D" find it the same way.
    destination->execute("update SALIDAS set SALI_NUMERO = 'X1'");
    source->execute("delete from FACTURAS_DETALLE where FADE_ITEM = 1");
    ASSERT_FALSE(exit("U").failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select SALI_ID || '/' || SALI_NUMERO from SALIDAS"),
              Texts{"301/00000007"});
    EXPECT_EQ(column(*destination, "select SALI_ID || '/' || SADE_ITEM from SALIDAS_DETALLE"),
              Texts{"301/2"});
    destination->execute("update SALIDAS set SALI_NUMERO = 'X2'");
    EXPECT_FALSE(exit("A").failed);
    EXPECT_EQ(column(*destination, "select SALI_ANULADO from SALIDAS"), Texts{"S"});
    EXPECT_FALSE(exit("D").failed);
    EXPECT_EQ(count(*destination, "select count(*) from SALIDAS"), 0);

    // Never an invoice, never points.
    EXPECT_EQ(count(*destination, "select count(*) from FACTURAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from PUNTOS_CLIENTE"), 0);
    EXPECT_TRUE(withPrefix(sent, "dst: execute procedure").empty());
}

}  // namespace
}  // namespace replica
