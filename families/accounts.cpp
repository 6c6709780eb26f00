#include "families/accounts.h"
#include "families/settings.h"

#include <chrono>
#include <stdexcept>

#include "engine/errorcapture.h"
#include "engine/sql.h"
#include "erp/documents.h"

namespace replica::families {

namespace {

using Otherwise = ReferenceColumns::Otherwise;

// Voucher header positions: the three keys, the date the lock date is
// compared with, and the document the voucher was generated from (type code
// and id; its prefix and number are the voucher's own).
constexpr int kVoucherType = 1;
constexpr int kVoucherPrefix = 2;
constexpr int kVoucherNumber = 3;
constexpr int kVoucherDate = 4;
constexpr int kGeneratingType = 7;
constexpr int kGeneratingId = 8;

// The receipt a customer advance points to, and the disbursement that paid a
// supplier advance: both ids of the database the advance is written in.
constexpr int kReceiptLink = 23;
constexpr int kDisbursementLink = 22;

struct VoucherKeys {
    std::string type;
    std::string prefix;
    std::string number;
};

// A delete letter names the voucher by the event; a copy by the source
// header, whatever the event says.
VoucherKeys keysOf(const HandlerContext& ctx, const db::RowSet* source) {
    if (!source) {
        return {ctx.event.code, ctx.event.prefix, ctx.event.number};
    }
    return {source->value(kVoucherType).asText(), source->value(kVoucherPrefix).asText(),
            source->value(kVoucherNumber).asText()};
}

std::string keyCondition(const VoucherKeys& k) {
    return "TICO_COD = " + Q(k.type) + " AND PRCO_PREF = " + Q(k.prefix) +
           " AND ENCO_NUMERO = " + Q(k.number);
}

std::string voucherLookup(const HandlerContext& ctx, const db::RowSet* source) {
    return "SELECT * FROM COMPROBANTE_ENCABEZADO WHERE " + keyCondition(keysOf(ctx, source));
}

// The statements that take a voucher out of the destination: its lines by
// the id found, its international books lines only in the download phase
// (the upload phase never touches them), then the header by its keys.
struct VoucherRemoval {
    const char* lines;
    const char* niifLines;
    const char* header;
};
constexpr VoucherRemoval kDeleteEvent = {
    "DELETE FROM COMPROBANTE_DETALLE WHERE ENCO_CONSEC = ",
    "DELETE FROM COMPROBANTE_DETALLE_NIIF WHERE ENCO_CONSEC = ",
    "DELETE FROM COMPROBANTE_ENCABEZADO WHERE ",
};
constexpr VoucherRemoval kBeforeCopy = {
    "delete FROM COMPROBANTE_DETALLE WHERE ENCO_CONSEC = ",
    "delete FROM COMPROBANTE_DETALLE_NIIF WHERE ENCO_CONSEC = ",
    "delete FROM COMPROBANTE_ENCABEZADO WHERE ",
};

void removeVoucher(HandlerContext& ctx, const VoucherKeys& keys, const VoucherRemoval& sql) {
    db::Query found(ctx.destination);
    found.open("SELECT ENCO_CONSEC FROM COMPROBANTE_ENCABEZADO WHERE " + keyCondition(keys));
    if (found.isEmpty()) {
        return;
    }
    const std::string id = sqlInt(found.asInt(0));
    ctx.destination.execute(sql.lines + id);
    if (ctx.phase == Phase::Download) {
        ctx.destination.execute(sql.niifLines + id);
    }
    ctx.destination.execute(sql.header + keyCondition(keys));
}

void deleteVoucher(HandlerContext& ctx) {
    removeVoucher(ctx, keysOf(ctx, nullptr), kDeleteEvent);
}

// A voucher is never replaced in place: the old copy goes with its lines and
// the voucher is inserted again under a fresh id.
void removePreviousCopy(HeaderStep& step) {
    removeVoucher(step.ctx, keysOf(step.ctx, &step.source), kBeforeCopy);
}

// Still there after its delete (a rule of the destination put it back):
// writing now would leave two copies, and saying nothing would mark the
// event replicated with the destination unchanged.
bool previousCopyRemains(HeaderStep& step) {
    const VoucherKeys k = keysOf(step.ctx, &step.source);
    const std::string message = "No se pudo eliminar la copia anterior del comprobante " + k.type +
                                " " + k.prefix + " " + k.number;
    step.ctx.errors.record(message, message);
    step.ctx.state.failed = true;
    return true;
}

std::optional<db::Date> dateOf(const db::Value& v) {
    if (const db::Date* d = v.date()) {
        return *d;
    }
    if (const db::Timestamp* t = v.timestamp()) {
        return t->date;
    }
    if (const std::string* text = v.text()) {
        return lockDate(*text);
    }
    return std::nullopt;
}

// Upload only: the destination's books are closed before its lock date. A
// lock date that reads as no date, or a voucher without a date, holds
// nothing back.
bool closedByLockDate(HeaderStep& step) {
    if (step.ctx.phase != Phase::Upload) {
        return false;
    }
    const std::optional<db::Date> lock = lockDate(lockDateText(step.ctx.options));
    const std::optional<db::Date> date = dateOf(step.source.value(kVoucherDate));
    return lock && date && *date < *lock;
}

// The generating document's id in the destination, found by its type code
// and the voucher's prefix and number; 0 when the type has no lookup, is
// null, or the document is not there. Before the generator, as the new row
// is still the source's copy.
void translateGeneratingDocument(HeaderStep& step) {
    translateReference(step.ctx, step.header,
                       ReferenceColumns{.type = kGeneratingType,
                                        .id = kGeneratingId,
                                        .prefix = kVoucherPrefix,
                                        .number = kVoucherNumber,
                                        .notFound = Otherwise::Zero,
                                        .otherCode = Otherwise::Zero});
}

// An application line names the document it settles by type code, id,
// prefix and number; a document missing from the destination (or of a type
// not listed, or of no type) keeps the source's id.
ReferenceColumns settledDocument(const std::vector<int>& codes) {
    return ReferenceColumns{.codes = codes,
                            .type = 2,
                            .id = 3,
                            .prefix = 4,
                            .number = 5,
                            .notFound = Otherwise::Keep,
                            .otherCode = Otherwise::Keep};
}

void settledCustomerDocument(LineStep& line) {
    translateReference(line.ctx, line.line, settledDocument(erp::kCustomerDocuments));
}

void settledSupplierDocument(LineStep& line) {
    translateReference(line.ctx, line.line, settledDocument(erp::kSupplierDocuments));
}

// The receipt is found in the destination by the prefix and number it has in
// the source. A replace keeps the destination's own link unless the receipt
// is found there (the cash receipts set it once they consume the advance); a
// new advance whose receipt has not arrived gets 0.
void linkReceipt(HeaderStep& step) {
    const db::Value& receipt = step.source.value(kReceiptLink);
    const std::optional<std::string> id =
        receipt.isNull() ? std::nullopt : wholeNumberText(receipt.asText());
    if (!id) {
        return;
    }
    db::Query inSource(step.ctx.source);
    inSource.open("select pref_pre, reca_numero from recibos_caja where reca_id = " + *id);
    if (inSource.isEmpty()) {
        return;
    }
    db::Query inDestination(step.ctx.destination);
    inDestination.open("select reca_id from recibos_caja where pref_pre = " +
                       Q(inSource.asText(0)) + " and reca_numero = " + Q(inSource.asText(1)));
    if (!inDestination.isEmpty()) {
        step.header.set(kReceiptLink, inDestination.value(0));
    } else if (step.isNew) {
        step.header.set(kReceiptLink, db::Value(0));
    }
}

// A disbursement id of the other database means nothing here: a new advance
// starts unpaid, a replace keeps the destination's link.
void clearDisbursement(HeaderStep& step) {
    if (step.isNew) {
        step.header.set(kDisbursementLink, db::Value(0));
    }
}

}  // namespace

const std::vector<DocumentFamily>& accountDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        {.type = 1,
         .lookup = LookupText(voucherLookup),
         .source = "select * from comprobante_encabezado where enco_consec = ",
         .generator = "select * from cambie_id_comproba",
         // Exchange rates and the like keep every digit the header holds.
         .header = RowFill::byPosition(ColumnMode::Variant),
         .details = {{.clear = kBeforeCopy.lines,
                      .source = "select * from comprobante_detalle where enco_consec = ",
                      .destination = "SELECT * FROM COMPROBANTE_DETALLE WHERE ENCO_CONSEC = "},
                     {.clear = kBeforeCopy.niifLines,
                      .source = "select * from comprobante_detalle_niif where enco_consec = ",
                      .destination = "SELECT * FROM COMPROBANTE_DETALLE_NIIF WHERE ENCO_CONSEC = ",
                      .copied = kDownloadOnly}},
         .undo = {"delete FROM COMPROBANTE_ENCABEZADO WHERE ENCO_CONSEC = "},
         .deleteDocument = deleteVoucher,
         .holdBack = closedByLockDate,
         .beforeLookup = removePreviousCopy,
         .leaveExisting = previousCopyRemains,
         .afterCopy = translateGeneratingDocument},
        {.type = 41,
         .lookup = byPrefixAndNumber("SELECT * FROM NOTAS_DEBITO_CLIENTES WHERE PREF_PRE = ",
                                     " AND NDCL_NUMERO = "),
         .source = "select * from notas_debito_clientes where ndcl_id = ",
         .generator = "select * from cambie_id_notadbclie",
         .annulColumn = "NDCL_ANULADO"},
        // Customer credit notes share the debit notes' id sequence.
        {.type = 42,
         .lookup = byPrefixAndNumber("SELECT * FROM NOTAS_CREDITO_CLIENTES WHERE PREF_PRE = ",
                                     " AND NCCL_NUMERO = "),
         .source = "select * from notas_credito_clientes where nccl_id = ",
         .generator = "select * from cambie_id_notadbclie",
         .annulColumn = "NCCL_ANULADO"},
        {.type = 43,
         .lookup = byPrefixAndNumber("SELECT * FROM APLICACION_CLIENTE WHERE PREF_PRE = ",
                                     " AND APCL_NUMERO = "),
         .source = "select * from aplicacion_cliente where apcl_id = ",
         .generator = "select * from cambie_id_apliclie",
         .annulColumn = "APCL_ANULADO",
         .details = {{.clear = "delete from aplicacion_cliente_detalle where apcl_id = ",
                      .source = "select * from aplicacion_cliente_detalle where apcl_id = ",
                      .destination = "SELECT * FROM APLICACION_CLIENTE_DETALLE WHERE APCL_ID = ",
                      .beforePost = settledCustomerDocument}},
         .undo = {"DELETE FROM APLICACION_CLIENTE WHERE APCL_ID = "}},
        {.type = 45,
         .lookup = byPrefixAndNumber("SELECT * FROM ANTICIPOS_CLIENTE WHERE PREF_PRE = ",
                                     " AND ANCL_NUMERO = "),
         .source = "select * from anticipos_cliente where ancl_id = ",
         .generator = "select * from cambie_id_anticlie",
         .annulColumn = "ANCL_ANULADO",
         .header = RowFill::byPosition(ColumnMode::FourDecimals, {kReceiptLink}),
         .beforePost = linkReceipt},
        {.type = 51,
         .lookup = byPrefixAndNumber("SELECT * FROM NOTAS_DEBITO_PROVEEDOR WHERE PREF_PRE = ",
                                     " AND NDPR_NUMERO = "),
         .source = "select * from notas_debito_proveedor where ndpr_id = ",
         .generator = "select * from cambie_id_notadbprov",
         .annulColumn = "NDPR_ANULADO"},
        {.type = 52,
         .lookup = byPrefixAndNumber("SELECT * FROM NOTAS_CREDITO_PROVEEDOR WHERE PREF_PRE = ",
                                     " AND NCPR_NUMERO = "),
         .source = "select * from notas_credito_proveedor where ncpr_id = ",
         .generator = "select * from cambie_id_notacrprov",
         .annulColumn = "NCPR_ANULADO"},
        // The supplier application's header is spelled APLICACION_PROVEDOR.
        {.type = 53,
         .lookup = byPrefixAndNumber("SELECT * FROM APLICACION_PROVEDOR WHERE PREF_PRE = ",
                                     " AND APPR_NUMERO = "),
         .source = "select * from aplicacion_provedor where appr_id = ",
         .generator = "select * from cambie_id_apliprov",
         .annulColumn = "APPR_ANULADO",
         .details = {{.clear = "delete from aplicacion_proveedor_detalle where appr_id = ",
                      .source = "select * from aplicacion_proveedor_detalle where appr_id = ",
                      .destination = "SELECT * FROM APLICACION_PROVEEDOR_DETALLE WHERE APPR_ID = ",
                      .beforePost = settledSupplierDocument}},
         .undo = {"DELETE FROM APLICACION_PROVEDOR WHERE APPR_ID = "}},
        {.type = 55,
         .lookup = byPrefixAndNumber("SELECT * FROM ANTICIPOS_PROVEEDOR WHERE PREF_PRE = ",
                                     " AND ANPR_NUMERO = "),
         .source = "select * from anticipos_proveedor where anpr_id = ",
         .generator = "select * from cambie_id_antiprov",
         .annulColumn = "ANPR_ANULADO",
         .header = RowFill::byPosition(ColumnMode::FourDecimals, {kDisbursementLink}),
         .beforePost = clearDisbursement},
    };
    return kRows;
}

const DocumentFamily& accountDocument(int type) {
    for (const DocumentFamily& d : accountDocuments()) {
        if (d.type == type) {
            return d;
        }
    }
    throw std::out_of_range("no account document of type " + std::to_string(type));
}

}  // namespace replica::families
