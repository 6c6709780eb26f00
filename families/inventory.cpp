#include "families/inventory.h"
#include "families/settings.h"

#include <stdexcept>

#include "engine/sql.h"

namespace replica::families {

namespace {

// The adjustment's concept: how every later event recognises the copy.
std::string adjustmentConcept(const Event& e) {
    return "Ajuste No." + e.prefix + e.number;
}

// Prefix and number go inside the literal with their quotes doubled, so a
// quote in either compares as itself instead of ending the text.
LookupText byAdjustmentConcept(std::string head) {
    return [head = std::move(head)](const HandlerContext& ctx, const db::RowSet*) {
        return head + quoteInner(ctx.event.prefix) + quoteInner(ctx.event.number) + "'";
    };
}

// Stored under the receiving company's prefix, on insert and on replace.
void adjustmentColumns(HeaderStep& step) {
    step.header.set("PREF_PRE", db::Value(step.ctx.event.prefixDest));
    step.header.set("AJUS_CONC", db::Value(adjustmentConcept(step.ctx.event)));
}

// The one detail table of an inventory document.
DetailTable lines(const char* clear, const char* source, const char* destination) {
    return DetailTable{.clear = clear, .source = source, .destination = destination};
}

}  // namespace

bool transferAsTransfer(Phase, const RunOptions& options) {
    return !transferAsEntryMode(options);
}

const std::vector<DocumentFamily>& inventoryDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        {.type = 11,
         .lookup =
             byPrefixAndNumber("SELECT * FROM ENTRADAS WHERE PREF_PRE = ", " AND ENTR_NUMERO = "),
         .source = "select * from entradas where entr_id = ",
         .generator = "select * from cambie_id_entrada",
         .annulColumn = "ENTR_ANULADO",
         .numok = NumOk::NewHeader,
         .details = {lines("delete from entradas_detalle where entr_id = ",
                           "select * from entradas_detalle where entr_id = ",
                           "SELECT * FROM ENTRADAS_DETALLE WHERE ENTR_ID = ")},
         .undo = {"DELETE FROM ENTRADAS WHERE ENTR_ID = "}},
        {.type = 12,
         .lookup =
             byPrefixAndNumber("SELECT * FROM SALIDAS WHERE PREF_PRE = ", " AND SALI_NUMERO = "),
         .source = "select * from salidas where sali_id = ",
         .generator = "select * from cambie_id_salida",
         .annulColumn = "SALI_ANULADO",
         .numok = NumOk::NewHeader,
         .details = {lines("delete from salidas_detalle where sali_id = ",
                           "select * from salidas_detalle where sali_id = ",
                           "SELECT * FROM SALIDAS_DETALLE WHERE SALI_ID = ")},
         .undo = {"DELETE FROM SALIDAS WHERE SALI_ID = "}},
        {.type = 13,
         .when = transferAsTransfer,
         .lookup = byPrefixAndNumber("SELECT * FROM TRASFERENCIAS WHERE PREF_PRE = ",
                                     " AND TRAN_NUMERO = "),
         .source = "select * from trasferencias where tran_id = ",
         .generator = "select * from cambie_id_transfer",
         .annulColumn = "TRAN_ANULADO",
         .numok = NumOk::NewHeader,
         .details = {lines("delete from trasferencias_detalle where tran_id = ",
                           "select * from trasferencias_detalle where tran_id = ",
                           "SELECT * FROM TRASFERENCIAS_DETALLE WHERE TRAN_ID = ")},
         .undo = {"DELETE FROM TRASFERENCIAS WHERE TRAN_ID = "}},
        {.type = 14,
         .lookup = byAdjustmentConcept("SELECT * FROM AJUSTES WHERE AJUS_CONC = 'Ajuste No."),
         .source = "select * from ajustes where ajus_id = ",
         .generator = "select * from cambie_id_ajusteinv",
         .annulColumn = "AJUS_ANULADO",
         .numok = NumOk::Always,
         .details = {lines("delete from ajustes_detalle where ajus_id = ",
                           "select * from ajustes_detalle where ajus_id = ",
                           "SELECT * FROM AJUSTES_DETALLE WHERE AJUS_ID = ")},
         .undo = {"DELETE FROM AJUSTES WHERE AJUS_ID = "},
         .afterCopy = adjustmentColumns},
        {.type = 15,
         .lookup =
             byPrefixAndNumber("SELECT * FROM ENSAMBLES WHERE PREF_PRE = ", " AND ENSA_NUMERO = "),
         .source = "select * from ENSAMBLES where ensa_id = ",
         .generator = "select * from cambie_id_ensamble",
         .annulColumn = "ENSA_ANULADO",
         .numok = NumOk::NewHeader,
         .details = {lines("delete from ensambles_detalle where ensa_id = ",
                           "select * from ensambles_detalle where ensa_id = ",
                           "SELECT * FROM ENSAMBLES_DETALLE WHERE ENSA_ID = ")},
         .undo = {"DELETE FROM ENSAMBLES WHERE ENSA_ID = "}},
        {.type = 16,
         .lookup = byPrefixAndNumber("SELECT * FROM DESENSAMBLES WHERE PREF_PRE = ",
                                     " AND DESE_NUMERO = "),
         .source = "select * from desensambles where dese_id = ",
         .generator = "select * from cambie_id_desensamble",
         .annulColumn = "DESE_ANULADO",
         .numok = NumOk::NewHeader,
         .details = {lines("delete from desensambles_detalle where dese_id = ",
                           "select * from desensambles_detalle where dese_id = ",
                           "SELECT * FROM DESENSAMBLES_DETALLE WHERE DESE_ID = ")},
         .undo = {"DELETE FROM DESENSAMBLES WHERE DESE_ID = "}},
        {.type = 17,
         .lookup =
             byPrefixAndNumber("SELECT * FROM RESERVAS WHERE PREF_PRE = ", " AND RESE_NUMERO = "),
         .source = "select * from reservas where rese_id = ",
         .generator = "select * from cambie_id_reserva",
         .annulColumn = "RESE_ANULADO",
         .details = {lines("delete from reservas_detalle where rese_id = ",
                           "select * from reservas_detalle where rese_id = ",
                           "SELECT * FROM RESERVAS_DETALLE WHERE RESE_ID = ")},
         .undo = {"DELETE FROM RESERVAS WHERE RESE_ID = "}},
        {.type = 18,
         .lookup = byPrefixAndNumber("SELECT * FROM ORDENES_INVENTARIO WHERE PREF_PRE = ",
                                     " AND ORIN_NUMERO = "),
         .source = "select * from ORDENES_INVENTARIO where orin_id = ",
         .generator = "select * from cambie_id_ordenmcia",
         .annulColumn = "ORIN_ANULADO",
         .details = {lines("delete from ordeninventario_detalle where orin_id = ",
                           "select * from ordeninventario_detalle where orin_id = ",
                           "SELECT * FROM ORDENINVENTARIO_DETALLE WHERE ORIN_ID = ")},
         .undo = {"DELETE FROM ORDENES_INVENTARIO WHERE ORIN_ID = "}},
    };
    return kRows;
}

const DocumentFamily& inventoryDocument(int type) {
    for (const DocumentFamily& d : inventoryDocuments()) {
        if (d.type == type) {
            return d;
        }
    }
    throw std::out_of_range("no inventory document of type " + std::to_string(type));
}

}  // namespace replica::families
