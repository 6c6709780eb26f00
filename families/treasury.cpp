#include "families/treasury.h"

#include <stdexcept>

#include "engine/db/query.h"
#include "engine/rowcopy.h"
#include "engine/sql.h"
#include "erp/documents.h"

namespace replica::families {

namespace {

using Otherwise = ReferenceColumns::Otherwise;

// Settled documents as the lines name them (positions from 0): type code at
// 2, then id, prefix and number. A line whose code the table does not settle
// runs no lookup and is treated as a document that is not there.
ReferenceColumns settled(const std::vector<int>& codes, Otherwise notFound) {
    return ReferenceColumns{.codes = codes,
                            .type = 2,
                            .id = 3,
                            .prefix = 4,
                            .number = 5,
                            .notFound = notFound,
                            .otherCode = notFound};
}

// The line gets the destination's id of the document it settles.
LineHook translate(ReferenceColumns ref) {
    return [ref = std::move(ref)](LineStep& s) { translateReference(s.ctx, s.line, ref); };
}

// A receipt line that consumes a customer advance (code 45, a positive
// amount at position 6) points the destination's advance at the receipt.
void linkCustomerAdvance(LineStep& s) {
    const db::RecordSet& line = s.line;
    if (line.value(2).asInt() != 45 || line.value(6).asCurrency() <= db::Currency{}) {
        return;
    }
    s.ctx.destination.execute(
        "UPDATE ANTICIPOS_CLIENTE A SET RECA_ID = " + sqlInt(s.ctx.state.destinationId) +
        " WHERE A.PREF_PRE = " + Q(line.value(4).asText()) +
        " AND ANCL_NUMERO = " + Q(line.value(5).asText()));
}

// The supplier advances a disbursement paid point at its destination id;
// each is found by its own prefix and number.
void linkSupplierAdvances(HeaderStep& step) {
    HandlerContext& ctx = step.ctx;
    db::Query paid(ctx.source);
    paid.open("select pref_pre, anpr_numero from anticipos_proveedor where egre_id = " +
              ctx.iddoc());
    for (paid.first(); !paid.eof(); paid.next()) {
        ctx.destination.execute(
            "UPDATE anticipos_proveedor SET EGRE_ID =" + sqlInt(ctx.state.destinationId) +
            " where pref_pre = " + Q(paid.asText(0)) + " and anpr_numero = " + Q(paid.asText(1)));
    }
}

// A bank document is found by its account, its bank prefix and its number:
// head + RPEV_CODIGO as a whole number + prefixPart + Q(RPEV_PREF) +
// numberPart + Q(RPEV_NUMERO).
LookupText byAccountPrefixAndNumber(std::string head, std::string prefixPart,
                                    std::string numberPart) {
    return [head = std::move(head), prefixPart = std::move(prefixPart),
            numberPart = std::move(numberPart)](const HandlerContext& ctx, const db::RowSet*) {
        return head + ctx.codeNumber() + prefixPart + Q(ctx.event.prefix) + numberPart +
               Q(ctx.event.number);
    };
}

// One line table: its clear text, its source and destination selects.
DetailTable lines(const char* clear, const char* source, const char* destination,
                  LineHook beforePost = {}, LineHook afterWrite = {}) {
    return DetailTable{.clear = clear,
                       .source = source,
                       .destination = destination,
                       .beforePost = std::move(beforePost),
                       .afterWrite = std::move(afterWrite)};
}

}  // namespace

const std::vector<DocumentFamily>& treasuryDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        {.type = 61,
         .lookup = byPrefixAndNumber("SELECT * FROM RECIBOS_CAJA WHERE PREF_PRE = ",
                                     " AND RECA_NUMERO = "),
         .source = "select * from RECIBOS_CAJA where reca_id = ",
         .generator = "select * from cambie_id_recicaja",
         .annulColumn = "RECA_ANULADO",
         .details = {lines("delete from recibos_caja_detalle where reca_id = ",
                           "select * from recibos_caja_detalle where reca_id = ",
                           "SELECT * FROM RECIBOS_CAJA_DETALLE WHERE RECA_ID = ",
                           translate(settled(erp::kCustomerDocuments, Otherwise::Zero)),
                           linkCustomerAdvance),
                     lines("delete from recibos_caja_crucec where reca_id = ",
                           "select * from recibos_caja_crucec where reca_id = ",
                           "SELECT * FROM RECIBOS_CAJA_CRUCEC WHERE RECA_ID = ",
                           translate(settled(erp::kSupplierDocuments, Otherwise::Zero))),
                     lines("delete from recibos_caja_pago where reca_id = ",
                           "select * from recibos_caja_pago where reca_id = ",
                           "SELECT * FROM RECIBOS_CAJA_PAGO WHERE RECA_ID = ")},
         .undo = {"DELETE FROM RECIBOS_CAJA WHERE RECA_ID = "}},
        {.type = 62,
         .lookup =
             byPrefixAndNumber("SELECT * FROM EGRESOS WHERE PREF_PRE = ", " AND EGRE_NUMERO = "),
         .source = "select * from egresos where egre_id = ",
         .generator = "select * from cambie_id_egreso",
         .annulColumn = "EGRE_ANULADO",
         // The accounting lines are cleared with the others: a replace would
         // otherwise collide with the lines already there.
         .details = {lines("delete from egresos_detalle where egre_id = ",
                           "select * from egresos_detalle where egre_id = ",
                           "SELECT * FROM EGRESOS_DETALLE WHERE EGRE_ID = ",
                           translate(settled(erp::kSupplierDocuments, Otherwise::Keep))),
                     lines("delete from egresos_crucec where egre_id = ",
                           "select * from egresos_crucec where egre_id = ",
                           "SELECT * FROM EGRESOS_CRUCEC WHERE EGRE_ID = ",
                           translate(ReferenceColumns{.codes = erp::kCustomerDocuments,
                                                      .type = 2,
                                                      .id = "EGCC_IDDOC",
                                                      .prefix = 3,
                                                      .number = 4,
                                                      .notFound = Otherwise::Zero,
                                                      .otherCode = Otherwise::Zero})),
                     lines("delete from egresos_caja where egre_id = ",
                           "select * from egresos_caja where egre_id = ",
                           "SELECT * FROM EGRESOS_CAJA WHERE EGRE_ID = "),
                     lines("delete from egresos_banco where egre_id = ",
                           "select * from egresos_banco where egre_id = ",
                           "SELECT * FROM EGRESOS_BANCO WHERE EGRE_ID = "),
                     lines("delete from egresos_contabilidad where egre_id = ",
                           "select * from egresos_contabilidad where egre_id = ",
                           "SELECT * FROM EGRESOS_CONTABILIDAD WHERE EGRE_ID = ")},
         .undo = {"DELETE FROM EGRESOS WHERE EGRE_ID = "},
         .afterHeader = linkSupplierAdvances},
        {.type = 63,
         .lookup = byPrefixAndNumber("SELECT * FROM CAMBIO_DOCUMENTOS WHERE PREF_PRE = ",
                                     " AND CADO_NUMERO = "),
         .source = "select * from cambio_documentos where cado_id = ",
         .generator = "select * from cambie_id_cambdocu",
         .annulColumn = "CADO_ANULADO",
         .details = {lines("delete from cambiodoc_entradas where cado_id = ",
                           "select * from cambiodoc_entradas where cado_id = ",
                           "SELECT * FROM CAMBIODOC_ENTRADAS WHERE CADO_ID = "),
                     lines("delete from cambiodoc_salidas where cado_id = ",
                           "select * from cambiodoc_salidas where cado_id = ",
                           "SELECT * FROM CAMBIODOC_SALIDAS WHERE CADO_ID = ")},
         .undo = {"DELETE FROM CAMBIO_DOCUMENTOS WHERE CADO_ID = "}},
        {.type = 64,
         .lookup = byPrefixAndNumber("SELECT * FROM CONSIGNA_TARJETAS WHERE PREF_PRE = ",
                                     " AND COTJ_NUMERO = "),
         .source = "select * from consigna_tarjetas where cotj_id = ",
         .generator = "select * from cambie_id_consignatar",
         .annulColumn = "COTJ_ANULADO",
         .details = {lines("delete from consigna_tarjetas_det where cotj_id = ",
                           "select * from consigna_tarjetas_det where cotj_id = ",
                           "SELECT * FROM CONSIGNA_TARJETAS_DET WHERE COTJ_ID = ")},
         .undo = {"DELETE FROM CONSIGNA_TARJETAS WHERE COTJ_ID = "}},
        {.type = 65,
         .lookup = byPrefixAndNumber("SELECT * FROM RECIBO_PROVISIONAL WHERE PREF_PRE = ",
                                     " AND RCPR_NUMERO = "),
         .source = "select * from recibo_provisional where rcpr_id = ",
         .generator = "select * from cambie_id_reciprov",
         .annulColumn = "RCPR_ANULADO",
         .details = {lines("delete from recibo_provisional_detalle where rcpr_id = ",
                           "select * from recibo_provisional_detalle where rcpr_id = ",
                           "SELECT * FROM RECIBO_PROVISIONAL_DETALLE WHERE RCPR_ID = "),
                     lines("delete from recibo_provisional_pago where rcpr_id = ",
                           "select * from recibo_provisional_pago where rcpr_id = ",
                           "SELECT * FROM RECIBO_PROVISIONAL_PAGO WHERE RCPR_ID = ")},
         .undo = {"DELETE FROM RECIBO_PROVISIONAL WHERE RCPR_ID = "}},
        {.type = 66,
         .lookup = byPrefixAndNumber("SELECT * FROM TRASLADOS_CAJA WHERE PREF_PRE = ",
                                     " AND TRCJ_NUMERO = "),
         .source = "select * from traslados_caja where trcj_id = ",
         .generator = "select * from cambie_id_traslacaja",
         .annulColumn = "TRCJ_ANULADO",
         .details = {lines("delete from traslados_caja_det where trcj_id = ",
                           "select * from traslados_caja_det where trcj_id = ",
                           "SELECT * FROM TRASLADOS_CAJA_DET WHERE TRCJ_ID = ")},
         .undo = {"DELETE FROM TRASLADOS_CAJA WHERE TRCJ_ID = "}},
        {.type = 71,
         .lookup = byAccountPrefixAndNumber("SELECT * FROM CONSIGNA WHERE CUBA_COD = ",
                                            " AND PRBA_PREF = ", " AND CONS_NUMERO = "),
         .source = "select * from consigna where cons_id = ",
         .generator = "select * from cambie_id_consigna",
         .annulColumn = "CONS_ANULADO",
         .details = {DetailTable{.clear = "delete from consigna_detalle where cons_id = ",
                                 .undo = "DELETE FROM CONSIGNA_DETALLE WHERE CONS_ID = ",
                                 .source = "select * from consigna_detalle where cons_id = ",
                                 .destination = "SELECT * FROM CONSIGNA_DETALLE WHERE CONS_ID = "}},
         .undo = {"DELETE FROM CONSIGNA WHERE CONS_ID = "},
         .numbers = {EventField::Code}},
        {.type = 72,
         .lookup = byAccountPrefixAndNumber(
             "SELECT * FROM CHEQUES WHERE CUBA_COD = ", " AND PRBA_PREF = ", " AND CHEQ_NUMERO = "),
         .source = "select * from cheques where cheq_id = ",
         .generator = "select * from cambie_id_cheque",
         .annulColumn = "CHEQ_ANULADO",
         .numbers = {EventField::Code}},
        {.type = 73,
         .lookup = byAccountPrefixAndNumber(
             "SELECT * FROM RETIROS WHERE CUBA_COD = ", " AND PRBA_PREF = ", " AND RETI_NUMERO = "),
         .source = "select * from retiros where reti_id = ",
         .generator = "select * from cambie_id_retiro",
         .annulColumn = "RETI_ANULADO",
         .numbers = {EventField::Code}},
        {.type = 74,
         .lookup = byAccountPrefixAndNumber("SELECT * FROM NOTAS_DEBITO WHERE CUBA_COD = ",
                                            " AND PRBA_PREF = ", " AND NDBC_NUMERO = "),
         .source = "select * from NOTAS_DEBITO where ndbc_id = ",
         .generator = "select * from cambie_id_nota_db_banco",
         .annulColumn = "NDBC_ANULADO",
         .numbers = {EventField::Code}},
        {.type = 75,
         .lookup = byAccountPrefixAndNumber("SELECT * FROM NOTAS_CREDITO WHERE CUBA_COD = ",
                                            " AND PRBA_PREF = ", " AND NCBC_NUMERO = "),
         .source = "select * from notas_credito where ncbc_id = ",
         .generator = "select * from cambie_id_nota_cr_banco",
         .annulColumn = "NCBC_ANULADO",
         .numbers = {EventField::Code}},
        {.type = 76,
         .lookup = byAccountPrefixAndNumber("SELECT * FROM TRASLADOS WHERE CUBA_COD = ",
                                            " AND PRBA_PREF = ", " AND TRAS_NUMERO = "),
         .source = "select * from traslados where tras_id = ",
         .generator = "select * from cambie_id_traslado",
         .annulColumn = "TRAS_ANULADO",
         .numbers = {EventField::Code}},
        {.type = 77,
         .lookup = byAccountPrefixAndNumber("SELECT * FROM DEVOLUCION_CHEQUES WHERE CUBA_COD = ",
                                            " AND PRBA_PREF = ", " AND DVCH_NUMDOC = "),
         .source = "select * from devolucion_cheques where dvch_id = ",
         .generator = "select * from cambie_id_dev_cheques",
         .annulColumn = "DVCH_ANULADO",
         .numbers = {EventField::Code}},
    };
    return kRows;
}

const DocumentFamily& treasuryDocument(int type) {
    for (const DocumentFamily& d : treasuryDocuments()) {
        if (d.type == type) {
            return d;
        }
    }
    throw std::out_of_range("no treasury document of type " + std::to_string(type));
}

}  // namespace replica::families
