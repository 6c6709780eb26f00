#include "families/sales.h"
#include "families/settings.h"

#include <stdexcept>

#include "engine/db/query.h"
#include "engine/errorcapture.h"
#include "engine/sql.h"
#include "families/purchases.h"

namespace replica::families {

namespace {

constexpr EventField Pref = EventField::Pref;
constexpr EventField Number = EventField::Number;
constexpr EventField PrefDest = EventField::PrefDest;
constexpr EventField IdDoc = EventField::IdDoc;

std::int64_t countOf(db::Connection& c, const std::string& sql) {
    db::Query q(c);
    q.open(sql);
    return q.asInt(0);
}

// A nullable integer column as it goes into SQL: its digits, or NULL (which
// compares equal to nothing).
std::string integerOrNull(const db::Value& v) {
    return v.isNull() ? std::string("NULL") : sqlInt(v.asInt());
}

// --- Sales invoices ---------------------------------------------------------

// The returned quantity (position 18) of a copied line starts at 0: what was
// returned is recorded again by the negative lines of the same invoice.
void nothingReturned(LineStep& step) {
    step.line.set(18, db::Value(0));
}

// A negative line takes goods back on the same invoice: every positive line
// of the same item, quantity and unit is marked fully returned. The
// quantity is written with "." whatever the machine's locale, so the
// statement reads the same everywhere.
void markReturnedLines(LineStep& step) {
    const db::Currency quantity = step.line.value("FADE_CANT").asCurrency();
    if (quantity >= db::Currency{}) {
        return;
    }
    step.thenRun(
        "update facturas_detalle set fade_devuelto = fade_cant*fade_factor where fact_id = " +
        sqlInt(step.ctx.state.destinationId) +
        " and arti_cod = " + Q(step.line.asText("ARTI_COD")) +
        " and fade_cant = " + sqlDecimal(db::Currency::fromRaw(-quantity.raw())) +
        " and fade_unidad = " + Q(step.line.asText("FADE_UNIDAD")));
}

// Cash-payment lines always come down; they go up only when the receiving
// company asks for them (read on its own database, once per run).
bool paymentsWanted(HeaderStep& step) {
    return step.ctx.phase != Phase::Upload ||
           step.ctx.configuracion("FACTURACION", "FACTURAS",
                                  "ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO") == "SI";
}

// An invoice whose destination holds fewer lines than its source is not
// complete: it fails and is taken back. When no refused row already told
// why, the event says which counts differed.
void checkLineCount(HeaderStep& step) {
    HandlerContext& ctx = step.ctx;
    const std::int64_t found =
        countOf(ctx.destination, "SELECT COUNT(FADE_ITEM) FROM FACTURAS_DETALLE WHERE FACT_ID = " +
                                     sqlInt(ctx.state.destinationId));
    const std::int64_t expected = countOf(
        ctx.source, "SELECT COUNT(FADE_ITEM) FROM FACTURAS_DETALLE WHERE FACT_ID = " + ctx.iddoc());
    if (found >= expected) {
        return;
    }
    if (!ctx.state.failed) {
        const std::string message = incompleteInvoiceMessage(expected, found);
        ctx.errors.record(message, message);
    }
    ctx.state.failed = true;
}

// Downloaded, the points go to the customer of the header just written (no
// customer: NULL, and the procedure takes the invoice's own); uploaded, the
// procedure always takes the invoice's.
void accrueInvoicePoints(HeaderStep& step) {
    std::string customer = "NULL";
    if (step.ctx.phase == Phase::Download && !step.header.value("TERC_NIT").isNull()) {
        customer = Q(step.header.asText("TERC_NIT"));
    }
    step.ctx.destination.execute("execute procedure ACUMULA_PUNTOS_CLIENTE(31," +
                                 sqlInt(step.ctx.state.destinationId) + "," + customer + ",NULL)");
}

// --- Sales returns ----------------------------------------------------------

constexpr const char* kReturnLinesDelete =
    "delete from devoluciones_ventas_detalle where devt_id = ";

// A column of the return being written names a document when it holds a
// value other than 0.
bool namesDocument(const db::RecordSet& header, int column) {
    const db::Value& v = header.editValue(column);
    return !v.isNull() && v.asInt() != 0;
}

// The ids a return copies from the other database would point at unrelated
// documents here: the returned invoice is found again by the prefix and
// number in DEVT_FACTURA, the refunding disbursement by the prefix and
// number it has in the source; either becomes 0 when the destination does
// not hold it. Both are translated on a new return and on a replaced one
// alike, so a replace never leaves a foreign id behind. Every copy gets
// DEVT_IMPLICA "S".
void returnReferences(HeaderStep& step) {
    HandlerContext& ctx = step.ctx;
    db::RecordSet& header = step.header;

    const int invoice = header.requireIndex("DEVT_FACTID");
    if (namesDocument(header, invoice)) {
        const auto [prefix, number] =
            splitInvoiceText(header.editValue(header.requireIndex("DEVT_FACTURA")).asText(), 8);
        db::Query found(ctx.destination);
        found.open("select fact_id from facturas where pref_pre = " + Q(prefix) +
                   " AND FACT_NUMERO = " + Q(number));
        header.set(invoice, found.isEmpty() ? db::Value(0) : found.value(0));
    }

    const int disbursement = header.requireIndex("DEVT_IDEGRE");
    if (namesDocument(header, disbursement)) {
        db::Query paid(ctx.source);
        paid.open("SELECT PREF_PRE, EGRE_NUMERO FROM EGRESOS WHERE EGRE_ID = " +
                  sqlInt(header.editValue(disbursement).asInt()));
        db::Value id(0);
        if (!paid.isEmpty()) {
            db::Query found(ctx.destination);
            found.open("select egre_id from egresos where pref_pre = " + Q(paid.asText(0)) +
                       " and egre_numero = " + Q(paid.asText(1)));
            if (!found.isEmpty()) {
                id = found.value(0);
            }
        }
        header.set(disbursement, id);
    }

    header.set("DEVT_IMPLICA", db::Value("S"));
}

// The destination's lines of the return go before the source's are copied,
// after an insert as well as after a replace (a replace clears nothing before
// its header is written).
void deleteReturnLines(HeaderStep& step) {
    step.ctx.destination.execute(kReturnLinesDelete + sqlInt(step.ctx.state.destinationId));
}

void announceReturnUndo(HeaderStep& step) {
    const std::string id = sqlInt(step.ctx.state.destinationId);
    step.ctx.setLastError(step.ctx.phase == Phase::Upload
                              ? "Error grabandeo detalles, anulando el encabezado. ID: " + id
                              : "Error grabandeo detalles, anulando el encabezado ID: " + id);
}

void accrueReturnPoints(HeaderStep& step) {
    step.ctx.destination.execute("execute procedure ACUMULA_PUNTOS_CLIENTE(33," +
                                 sqlInt(step.ctx.state.destinationId) + ",NULL,NULL)");
}

// --- Loyalty points ---------------------------------------------------------

// An uploaded redemption never overwrites the destination's own; a
// downloaded one replaces it in place.
bool uploadedRedemptionExists(HeaderStep& step) {
    return step.ctx.phase == Phase::Upload;
}

// A points record is known across companies by document type, prefix and
// number. The type of the delete letter comes from RPEV_CODIGO, which must
// be a whole number: otherwise the event stays pending and nothing is sent.
void deletePointsRecord(HandlerContext& ctx) {
    const std::string type = ctx.codeNumber();
    db::Query found(ctx.destination);
    found.open("SELECT PTCL_ID FROM PUNTOS_CLIENTE WHERE PTCL_TIPODOC = " + type +
               " AND PTCL_PREF = " + Q(ctx.event.prefix) +
               " AND PTCL_NUMERO = " + Q(ctx.event.number));
    if (found.isEmpty()) {
        return;
    }
    ctx.destination.execute("DELETE FROM PUNTOS_CLIENTE WHERE PTCL_ID = " + sqlInt(found.asInt(0)));
}

std::string pointsRecordLookup(const HandlerContext&, const db::RowSet* source) {
    return "SELECT * FROM PUNTOS_CLIENTE WHERE PTCL_TIPODOC = " +
           integerOrNull(source->value("PTCL_TIPODOC")) +
           " AND PTCL_PREF = " + Q(source->asText("PTCL_PREF")) +
           " AND PTCL_NUMERO = " + Q(source->asText("PTCL_NUMERO"));
}

// The document's record is already there (its own copy made it, or an
// earlier event): nothing is written and the event completes with a note.
bool recordAlreadyThere(HeaderStep& step) {
    step.ctx.state.completionNote = "Registro ya encontrado.";
    return true;
}

// The record's document id is the destination's, as its customer ledger
// knows the document; a document the ledger does not hold leaves it null.
void ledgerDocumentId(HeaderStep& step) {
    const db::RowSet& source = step.source;
    db::Query ledger(step.ctx.destination);
    ledger.open("SELECT MVCL_IDREF FROM MOVIMIENTO_CLIENTES WHERE MVCL_TIPOREF = " +
                integerOrNull(source.value("PTCL_TIPODOC")) +
                " AND MVCL_PREFREF = " + Q(source.asText("PTCL_PREF")) +
                " AND MVCL_NUMREF = " + Q(source.asText("PTCL_NUMERO")));
    step.header.set("PTCL_IDDOC", ledger.isEmpty() ? db::Value() : ledger.value(0));
}

// --- Rows -------------------------------------------------------------------

// The one line table of a delivery note, order or quotation.
DetailTable lines(const char* clear, const char* source, const char* destination) {
    return DetailTable{.clear = clear, .source = source, .destination = destination};
}

}  // namespace

bool salesAsInvoice(Phase phase, const RunOptions& options) {
    return phase == Phase::Upload || salesInvoiceMode(options);
}

bool salesAsExit(Phase phase, const RunOptions& options) {
    return phase == Phase::Download && !salesInvoiceMode(options);
}

std::string incompleteInvoiceMessage(std::int64_t expected, std::int64_t found) {
    return "Detalle de la factura incompleto: se esperaban " + sqlInt(expected) +
           " líneas y se encontraron " + sqlInt(found);
}

const std::vector<DocumentFamily>& salesDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        // An undo, in either phase, deletes the lines and the payment lines,
        // then annuls the invoice before it deletes it.
        {.type = 31,
         .when = salesAsInvoice,
         .lookup =
             byPrefixAndNumber("SELECT * FROM FACTURAS WHERE PREF_PRE = ", " AND FACT_NUMERO = "),
         .source = "select * from facturas where fact_id = ",
         .generator = "select * from cambie_id_factura",
         .annulColumn = "FACT_ANULADO",
         .details = {{.clear = "delete from facturas_detalle where fact_id = ",
                      .undo = "DELETE FROM FACTURAS_DETALLE WHERE FACT_ID = ",
                      .source = "select * from facturas_detalle where fact_id = ",
                      .destination = "SELECT * FROM FACTURAS_DETALLE WHERE FACT_ID = ",
                      .beforePost = nothingReturned,
                      .afterWrite = markReturnedLines},
                     {.clear = "delete from facturas_contado_pago where fcnt_id = ",
                      .source = "select * from facturas_contado_pago where fcnt_id = ",
                      .destination = "SELECT * FROM FACTURAS_CONTADO_PAGO WHERE FCNT_ID = ",
                      .copyWhen = paymentsWanted}},
         .undo = {"UPDATE FACTURAS SET FACT_ANULADO = 'S' WHERE FACT_ID = ",
                  "DELETE FROM FACTURAS WHERE FACT_ID = "},
         .afterDetails = checkLineCount,
         .afterSuccess = accrueInvoicePoints},
        {.type = 32,
         .lookup = byPrefixAndNumber("SELECT * FROM REMISIONES_VENTA WHERE PREF_PRE = ",
                                     " AND REVT_NUMERO = "),
         .source = "select * from remisiones_venta where revt_id = ",
         .generator = "select * from cambie_id_remiclie",
         .annulColumn = "REVT_ANULADO",
         .details = {lines("delete from remisiones_venta_detalle where revt_id = ",
                           "select * from remisiones_venta_detalle where revt_id = ",
                           "SELECT * FROM REMISIONES_VENTA_DETALLE WHERE REVT_ID = ")},
         .undo = {"DELETE FROM REMISIONES_VENTA WHERE REVT_ID = "}},
        // Position 29 is the destination's own accounting state of the
        // return. Its lines are deleted once the header is written rather
        // than cleared before a replace.
        {.type = 33,
         .lookup = byPrefixAndNumber("SELECT * FROM DEVOLUCIONES_VENTAS WHERE PREF_PRE = ",
                                     " AND DEVT_NUMERO = "),
         .source = "select * from devoluciones_ventas where devt_id = ",
         .generator = "select * from cambie_id_devolclie",
         .annulColumn = "DEVT_ANULADO",
         .header = RowFill::byPosition(ColumnMode::FourDecimals, {29}),
         .details = {{.undo = kReturnLinesDelete,
                      .source = "select * from devoluciones_ventas_detalle where devt_id = ",
                      .destination = "SELECT * FROM DEVOLUCIONES_VENTAS_DETALLE WHERE DEVT_ID = "}},
         .undo = {"UPDATE DEVOLUCIONES_VENTAS SET DEVT_ANULADO = 'S' WHERE DEVT_ID = ",
                  "DELETE FROM DEVOLUCIONES_VENTAS WHERE DEVT_ID = "},
         .beforePost = returnReferences,
         .afterHeader = deleteReturnLines,
         .beforeUndo = announceReturnUndo,
         .afterSuccess = accrueReturnPoints},
        {.type = 34,
         .lookup =
             byPrefixAndNumber("SELECT * FROM PEDIDOS WHERE PREF_PRE = ", " AND PEDI_NUMERO = "),
         .source = "select * from pedidos where pedi_id = ",
         .generator = "select * from cambie_id_pedido",
         .annulColumn = "PEDI_ANULADO",
         .details = {lines("delete from pedidos_detalle where pedi_id = ",
                           "select * from pedidos_detalle where pedi_id = ",
                           "SELECT * FROM PEDIDOS_DETALLE WHERE PEDI_ID = ")},
         .undo = {"DELETE FROM PEDIDOS WHERE PEDI_ID = "}},
        {.type = 35,
         .lookup = byPrefixAndNumber("SELECT * FROM COTIZACIONES WHERE PREF_PRE = ",
                                     " AND COTI_NUMERO = "),
         .source = "select * from cotizaciones where coti_id = ",
         .generator = "select * from cambie_id_cotizaci",
         .annulColumn = "COTI_ANULADO",
         .details = {lines("delete from cotizaciones_detalle where coti_id = ",
                           "select * from cotizaciones_detalle where coti_id = ",
                           "SELECT * FROM COTIZACIONES_DETALLE WHERE COTI_ID = ")},
         .undo = {"DELETE FROM COTIZACIONES WHERE COTI_ID = "}},
        {.type = 81,
         .lookup = byPrefixAndNumber("SELECT * FROM PUNTOS_REDENCION WHERE PREF_PRE = ",
                                     " AND PTRE_NUMERO = "),
         .source = "select * from PUNTOS_REDENCION where PTRE_ID = ",
         .generator = "select * from cambie_id_rediptos",
         .annulColumn = "PTRE_ANULADO",
         .leaveExisting = uploadedRedemptionExists},
        // No generator: a copied record keeps its id. No annul: every letter
        // but the delete copies.
        {.type = 235,
         .lookup = LookupText(pointsRecordLookup),
         .source = "select * from PUNTOS_CLIENTE where PTCL_ID = ",
         .deleteDocument = deletePointsRecord,
         .leaveExisting = recordAlreadyThere,
         .beforePost = ledgerDocumentId},
    };
    return kRows;
}

const DocumentFamily& salesDocument(int type) {
    for (const DocumentFamily& d : salesDocuments()) {
        if (d.type == type) {
            return d;
        }
    }
    throw std::out_of_range("no sales document of type " + std::to_string(type));
}

const DocumentFamily& salesInvoiceExit() {
    // Filed under the receiving company's prefix and found by its origin;
    // the sale price becomes the exit's cost.
    static const DocumentFamily kRow = {
        .type = 31,
        .when = salesAsExit,
        .lookup = byOrigin("SELECT * FROM SALIDAS WHERE SALI_TIPOREF = 31 AND SALI_IDREF = ",
                           " AND PREF_PRE = "),
        .source = "select * from facturas where fact_id = ",
        .generator = "select * from cambie_id_salida",
        .annulColumn = "SALI_ANULADO",
        .header =
            RowFill::mapped({{"TIDO_COD", lit(12)},
                             {"PREF_PRE", ev(PrefDest)},
                             {"BODE_COD", col("BODE_COD")},
                             {"SALI_NUMERO", col("FACT_NUMERO")},
                             {"SALI_FECHA", col("FACT_FECHA")},
                             {"SALI_CONC", join({lit("FV"), col("PREF_PRE"), col("FACT_NUMERO")})},
                             {"SALI_REFER", join({ev(Pref), ev(Number)})},
                             {"SALI_TIPOREF", lit(31)},
                             {"SALI_IDREF", ev(IdDoc)},
                             {"SALI_IMPTOS", col("FACT_IVAINC")},
                             {"SALI_NOMTERC", col("FACT_NOMCLIENTE")},
                             {"SALI_ANULADO", col("FACT_ANULADO")},
                             {"SALI_TRANSMIT", col("FACT_TRANSMIT")},
                             {"SALI_OBS", text("FACT_OBS")},
                             {"TERC_NIT", col("TERC_NIT")},
                             {"SALI_USUARIO", text("FACT_USUARIO")},
                             {"NUMOK", lit("N")}}),
        .details = {{.clear = "delete from salidas_detalle where sali_id = ",
                     .source = "select * from facturas_detalle where fact_id = ",
                     .destination = "SELECT * FROM SALIDAS_DETALLE WHERE SALI_ID = ",
                     .fill = RowFill::mapped({{"SADE_ITEM", col("FADE_ITEM")},
                                              {"ARTI_COD", col("ARTI_COD")},
                                              {"BODE_COD", col("BODE_COD")},
                                              {"SADE_CANT", col("FADE_CANT")},
                                              {"SADE_UNIDAD", col("FADE_UNIDAD")},
                                              {"SADE_LOTE", col("FADE_LOTE")},
                                              {"SADE_FACTOR", col("FADE_FACTOR")},
                                              {"SADE_DESC", col("FADE_DESC")},
                                              {"SADE_OBS", col("FADE_OBS")},
                                              {"SADE_IVAPORC", col("FADE_IVAPORC")},
                                              {"SADE_IVAMONTO", col("FADE_IVAMONTO")},
                                              {"SADE_CONSUMO", col("FADE_CONSUMO")},
                                              {"SADE_CODBAR", col("FADE_CODBAR")},
                                              {"SADE_ANULADO", col("FADE_ANULADO")},
                                              {"SADE_COSTO", col("FADE_PRUNIT")},
                                              {"SADE_TOTAL", col("FADE_TOTAL")}})}},
        .undo = {"DELETE FROM SALIDAS WHERE SALI_ID = "}};
    return kRow;
}

}  // namespace replica::families
