#include "families/purchases.h"
#include "families/settings.h"

#include <stdexcept>

#include "engine/db/query.h"
#include "engine/sql.h"

namespace replica::families {

namespace {

// The returned quantity of a line received from another company starts at 0.
void nothingReturned(LineStep& step) {
    step.line.set(18, db::Value(0));
}

// The delivery note writes it by position when downloaded and by name when
// uploaded: the same column.
void deliveryNothingReturned(LineStep& step) {
    if (step.ctx.phase == Phase::Upload) {
        step.line.set("RPVD_DEVUELTO", db::Value(0));
    } else {
        step.line.set(18, db::Value(0));
    }
}

// A return names its invoice by prefix and number; the id it copied from the
// other database would point at an unrelated invoice here, so it is looked
// up again, on a new return and on a replaced one alike. A return that
// names no invoice (0, or null) is left as it is.
void translateReturnedInvoice(HeaderStep& step) {
    db::RecordSet& header = step.header;
    const int idColumn = header.requireIndex("DVCO_FACTID");
    if (header.editValue(idColumn).asInt() == 0) {
        return;
    }
    const auto [prefix, number] =
        splitInvoiceText(header.editValue(header.requireIndex("DVCO_FACTURA")).asText());
    db::Query found(step.ctx.destination);
    found.open("select faco_id from facturas_compra where pref_pre = " + Q(prefix) +
               " AND FACO_NUMERO = " + Q(number));
    header.set(idColumn, found.isEmpty() ? db::Value(0) : found.value(0));
}

DocumentFamily invoice(Condition when, std::vector<std::string> undo) {
    return {.type = 21,
            .when = when,
            .lookup = byPrefixAndNumber("SELECT * FROM FACTURAS_COMPRA WHERE PREF_PRE = ",
                                        " AND FACO_NUMERO = "),
            .source = "select * from facturas_compra where faco_id = ",
            .generator = "select * from cambie_id_compras",
            .annulColumn = "FACO_ANULADO",
            .details = {{.clear = "delete from facturas_compras_detalle where faco_id = ",
                         .source = "select * from facturas_compras_detalle where faco_id = ",
                         .destination = "SELECT * FROM FACTURAS_COMPRAS_DETALLE WHERE FACO_ID = ",
                         .beforePost = nothingReturned}},
            .undo = std::move(undo)};
}

}  // namespace

bool invoiceInDownload(Phase phase, const RunOptions& options) {
    return purchaseInvoiceMode(options) && phase == Phase::Download;
}

bool invoiceInUpload(Phase phase, const RunOptions& options) {
    return purchaseInvoiceMode(options) && phase == Phase::Upload;
}

bool purchaseAsDocument(Phase, const RunOptions& options) {
    return purchaseInvoiceMode(options);
}

bool returnAsDocument(Phase phase, const RunOptions& options) {
    return purchaseInvoiceMode(options) && phase == Phase::Upload;
}

std::pair<std::string, std::string> splitInvoiceText(const std::string& invoice,
                                                     std::size_t numberLength) {
    // Counted in characters: a prefix may hold letters of more than one byte.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < invoice.size(); ++i) {
        if ((static_cast<unsigned char>(invoice[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    if (starts.size() <= numberLength) {
        return {std::string(), invoice};
    }
    const std::size_t cut = starts[starts.size() - numberLength];
    return {invoice.substr(0, cut), invoice.substr(cut)};
}

const std::vector<DocumentFamily>& purchaseDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        invoice(invoiceInDownload,
                {"UPDATE FACTURAS_COMPRA SET FACO_ANULADO = 'S' WHERE FACO_ID = ",
                 "DELETE FROM FACTURAS_COMPRA WHERE FACO_ID = "}),
        invoice(invoiceInUpload, {"DELETE FROM FACTURAS_COMPRA WHERE FACO_ID = "}),
        {.type = 22,
         .when = purchaseAsDocument,
         .lookup = byPrefixAndNumber("SELECT * FROM REMISION_PROVEEDOR WHERE PREF_PRE = ",
                                     " AND REPR_NUMERO = "),
         .source = "select * from remision_proveedor where repr_id = ",
         .generator = "select * from cambie_id_remiprov",
         .annulColumn = "REPR_ANULADO",
         .details = {{.clear = "delete from remision_proveedor_det where repr_id = ",
                      .source = "select * from remision_proveedor_det where repr_id = ",
                      .destination = "SELECT * FROM REMISION_PROVEEDOR_DET WHERE REPR_ID = ",
                      .beforePost = deliveryNothingReturned}},
         .undo = {"DELETE FROM REMISION_PROVEEDOR WHERE REPR_ID = "}},
        {.type = 24,
         .when = returnAsDocument,
         .lookup = byPrefixAndNumber("SELECT * FROM DEVOLUCIONES_COMPRAS WHERE PREF_PRE = ",
                                     " AND DVCO_NUMERO = "),
         .source = "select * from devoluciones_compras where dvco_id = ",
         .generator = "select * from cambie_id_devolprov",
         .annulColumn = "DVCO_ANULADO",
         .details = {{.clear = "delete from devoluciones_compras_det where dvco_id = ",
                      .source = "select * from devoluciones_compras_det where dvco_id = ",
                      .destination = "SELECT * FROM DEVOLUCIONES_COMPRAS_DET WHERE DVCO_ID = "}},
         .undo = {"DELETE FROM DEVOLUCIONES_COMPRAS WHERE DVCO_ID = "},
         .beforePost = translateReturnedInvoice},
    };
    return kRows;
}

const DocumentFamily& purchaseDocument(int type, Phase phase) {
    RunOptions modeOn;
    modeOn.setSetting(kPurchaseInvoiceMode.name, "FACTURA");
    for (const DocumentFamily& d : purchaseDocuments()) {
        if (d.type == type && d.when(phase, modeOn)) {
            return d;
        }
    }
    throw std::out_of_range("no purchase document of type " + std::to_string(type));
}

}  // namespace replica::families
