#include "families/payroll.h"

#include <string>

#include "engine/sql.h"
#include "erp/documents.h"

namespace replica::families {

namespace {

using Otherwise = ReferenceColumns::Otherwise;

// A document lookup written as a keyed text: event values and the source
// header's columns reach SQL the one way the keyed copy writes them (texts
// through Q, dates in their ISO form, numbers checked).
LookupText keyedLookup(KeyedText text) {
    return [text = std::move(text)](const HandlerContext& ctx, const db::RowSet* source) {
        static const std::vector<std::string> kNoParts;
        return text.build({ctx, kNoParts, source});
    };
}

// A receivable line names the customer document it collects by type code
// (position 2), id, prefix and number. The id is the one of the database
// the line was written in: the destination's is looked up by prefix and
// number, 0 when it has no such document or the code is not a customer
// document.
void collectedDocument(LineStep& line) {
    translateReference(line.ctx, line.line,
                       ReferenceColumns{.codes = erp::kCustomerDocuments,
                                        .type = 2,
                                        .id = 3,
                                        .prefix = 4,
                                        .number = 5,
                                        .notFound = Otherwise::Zero,
                                        .otherCode = Otherwise::Zero});
}

constexpr const char* kClearReceivableLines = "delete from nomina_cartera_detalle where ncar_id = ";

// "A" takes a receivable's header and leaves its lines, and the receivable
// keeps its id everywhere: copied again, its new header finds those lines
// under its id. They go before the source's are written, as on a replace;
// written over, they would be a duplicate key that ends the run.
void clearLinesLeftBehind(HeaderStep& step) {
    if (step.isNew) {
        step.ctx.destination.execute(kClearReceivableLines + sqlInt(step.ctx.state.destinationId));
    }
}

// A novelty in the destination: the one of the same employee, novelty type
// and date as the row the text is built for (the source header, or the key
// read for a delete).
KeyedText noveltyByKey() {
    return {"SELECT * FROM NOMINA_NOVEDADES WHERE TERC_NIT = ",
            key::column("TERC_NIT"),
            " AND TNOV_COD = ",
            key::column("TNOV_COD"),
            " AND NONO_FECHA = ",
            key::column("NONO_FECHA")};
}

// The "D" of a novelty deletes the destination's header found by the key the
// source still holds; its detail rows are left to the database. A novelty
// already gone from the source has no key left: the event waits with a
// message rather than guess which novelty to delete.
const KeyedFamily& noveltyDelete() {
    static const KeyedFamily kDelete = {
        .type = 193,
        .deleteForm = {
            .kind = DeleteKind::FirstRow,
            .text = noveltyByKey(),
            .keySource = KeyedText{"select TERC_NIT, TNOV_COD, NONO_FECHA from NOMINA_NOVEDADES "
                                   "where NONO_ID = ",
                                   key::iddoc()}}};
    return kDelete;
}

}  // namespace

const std::vector<KeyedFamily>& payrollRecords() {
    using key::code;
    using key::column;
    using key::columnNumber;
    using key::iddoc;
    static const std::vector<KeyedFamily> kRows = {
        // Concepts, by their code in RPEV_IDDOC; the catalogue takes them in
        // the download phase only.
        {.type = 96,
         .tables = {{.source =
                         KeyedText{"select * from CONCEPTOS_NOMINA WHERE CONC_COD = ", iddoc()},
                     .lookup =
                         KeyedText{"SELECT * FROM CONCEPTOS_NOMINA WHERE CONC_COD = ", iddoc()}}},
         .deleteForm = {.kind = DeleteKind::FirstRow,
                        .text = KeyedText{"SELECT * FROM CONCEPTOS_NOMINA WHERE CONC_COD = ",
                                          iddoc()}}},
        // Overtime: the record named by RPEV_IDDOC in the source is found in
        // the destination by employee, year and period, and an update keeps
        // the destination's NOEX_ID. The download phase takes the employee
        // from RPEV_CODIGO, the upload phase from the row.
        {.type = 192,
         .tables = {{.source = KeyedText{"select * from NOMINA_HORASEXT where NOEX_ID = ", iddoc()},
                     .lookup = byPhase(
                         KeyedText{"SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = ", code(),
                                   " AND NOEX_ANO = ", columnNumber("NOEX_ANO"),
                                   " AND NOEX_PERIODIO = ", columnNumber("NOEX_PERIODIO")},
                         KeyedText{
                             "SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = ", column("TERC_NIT"),
                             " AND NOEX_PERIODIO = ", column("NOEX_PERIODIO"),
                             " AND NOEX_ANO = ", column("NOEX_ANO")}),
                     .keepOnUpdate = std::vector<Col>{0}}},
         .deleteForm = {.kind = DeleteKind::FirstRow,
                        .text = byPhase(
                            KeyedText{"SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = ", code(),
                                      " AND NOEX_ANO = ", columnNumber("NOEX_ANO"),
                                      " AND NOEX_PERIODIO = ", columnNumber("NOEX_PERIODIO")},
                            KeyedText{"SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = ",
                                      column("TERC_NIT"), " AND NOEX_ANO = ", column("NOEX_ANO"),
                                      " AND NOEX_PERIODIO = ", columnNumber("NOEX_PERIODIO")}),
                        .keySource = byPhase(
                            KeyedText{
                                "select NOEX_ANO, NOEX_PERIODIO from NOMINA_HORASEXT where "
                                "NOEX_ID = ",
                                iddoc()},
                            KeyedText{"select TERC_NIT, NOEX_ANO, NOEX_PERIODIO from "
                                      "NOMINA_HORASEXT where NOEX_ID = ",
                                      iddoc()})}},
    };
    return kRows;
}

const std::vector<DocumentFamily>& payrollDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        // Receivables keep their id everywhere. "A" deletes the header (its
        // lines stay); "D" copies, so a receivable gone from the source
        // writes nothing. An undo takes the lines and the header back.
        {.type = 94,
         .lookup = keyedLookup({"SELECT * FROM NOMINA_CARTERA WHERE NCAR_ID = ", key::iddoc()}),
         .source = "select * from NOMINA_CARTERA where ncar_id = ",
         .details = {{.clear = kClearReceivableLines,
                      .undo = "DELETE FROM NOMINA_CARTERA_DETALLE WHERE NCAR_ID = ",
                      .source = "select * from nomina_cartera_detalle where ncar_id = ",
                      .destination = "SELECT * FROM NOMINA_CARTERA_DETALLE WHERE NCAR_ID = ",
                      .beforePost = collectedDocument}},
         .undo = {"DELETE FROM NOMINA_CARTERA WHERE NCAR_ID = "},
         .deleteLetters = {"A"},
         .afterHeader = clearLinesLeftBehind},
        // Novelties: found by employee, type and date; a new one takes its
        // id from the destination's novelty view.
        {.type = 193,
         .lookup = keyedLookup(noveltyByKey()),
         .source = "select * from NOMINA_NOVEDADES where NONO_ID = ",
         .generator = "select * from cambie_id_novedad",
         .details = {{.clear = "delete from NOMINA_NOVEDADES_DETALLE where NONO_ID = ",
                      .undo = "DELETE FROM NOMINA_NOVEDADES_DETALLE WHERE NONO_ID = ",
                      .source = "select * from NOMINA_NOVEDADES_DETALLE where NONO_ID = ",
                      .destination = "SELECT * FROM NOMINA_NOVEDADES_DETALLE WHERE NONO_ID = "}},
         .undo = {"DELETE FROM NOMINA_NOVEDADES WHERE NONO_ID = "},
         .deleteDocument = keyedHandler(noveltyDelete())},
    };
    return kRows;
}

}  // namespace replica::families
