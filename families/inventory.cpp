#include "families/inventory.h"

#include <stdexcept>

#include "engine/errorcapture.h"
#include "engine/sql.h"

namespace replica::families {

namespace {

// One inventory document family, its texts as the copy sends them.
struct InventoryDocument {
    int type;
    const char* lookupHead;    // + Q(RPEV_PREF)
    const char* lookupNumber;  // + Q(RPEV_NUMERO); null: found by another key
    const char* source;
    const char* generator;
    const char* annulColumn;
    const char* detailClear;
    const char* detailSource;
    const char* detailDestination;
    const char* undo;
    NumOk numok;
};

constexpr InventoryDocument kInventoryDocuments[] = {
    {11, "SELECT * FROM ENTRADAS WHERE PREF_PRE = ", " AND ENTR_NUMERO = ",
     "select * from entradas where entr_id = ", "select * from cambie_id_entrada", "ENTR_ANULADO",
     "delete from entradas_detalle where entr_id = ",
     "select * from entradas_detalle where entr_id = ",
     "SELECT * FROM ENTRADAS_DETALLE WHERE ENTR_ID = ", "DELETE FROM ENTRADAS WHERE ENTR_ID = ",
     NumOk::NewHeader},
    {12, "SELECT * FROM SALIDAS WHERE PREF_PRE = ", " AND SALI_NUMERO = ",
     "select * from salidas where sali_id = ", "select * from cambie_id_salida", "SALI_ANULADO",
     "delete from salidas_detalle where sali_id = ",
     "select * from salidas_detalle where sali_id = ",
     "SELECT * FROM SALIDAS_DETALLE WHERE SALI_ID = ", "DELETE FROM SALIDAS WHERE SALI_ID = ",
     NumOk::NewHeader},
    {13, "SELECT * FROM TRASFERENCIAS WHERE PREF_PRE = ", " AND TRAN_NUMERO = ",
     "select * from trasferencias where tran_id = ", "select * from cambie_id_transfer",
     "TRAN_ANULADO", "delete from trasferencias_detalle where tran_id = ",
     "select * from trasferencias_detalle where tran_id = ",
     "SELECT * FROM TRASFERENCIAS_DETALLE WHERE TRAN_ID = ",
     "DELETE FROM TRASFERENCIAS WHERE TRAN_ID = ", NumOk::NewHeader},
    {14, "SELECT * FROM AJUSTES WHERE AJUS_CONC = 'Ajuste No.", nullptr,
     "select * from ajustes where ajus_id = ", "select * from cambie_id_ajusteinv", "AJUS_ANULADO",
     "delete from ajustes_detalle where ajus_id = ",
     "select * from ajustes_detalle where ajus_id = ",
     "SELECT * FROM AJUSTES_DETALLE WHERE AJUS_ID = ", "DELETE FROM AJUSTES WHERE AJUS_ID = ",
     NumOk::Always},
    {15, "SELECT * FROM ENSAMBLES WHERE PREF_PRE = ", " AND ENSA_NUMERO = ",
     "select * from ENSAMBLES where ensa_id = ", "select * from cambie_id_ensamble", "ENSA_ANULADO",
     "delete from ensambles_detalle where ensa_id = ",
     "select * from ensambles_detalle where ensa_id = ",
     "SELECT * FROM ENSAMBLES_DETALLE WHERE ENSA_ID = ", "DELETE FROM ENSAMBLES WHERE ENSA_ID = ",
     NumOk::NewHeader},
    {16, "SELECT * FROM DESENSAMBLES WHERE PREF_PRE = ", " AND DESE_NUMERO = ",
     "select * from desensambles where dese_id = ", "select * from cambie_id_desensamble",
     "DESE_ANULADO", "delete from desensambles_detalle where dese_id = ",
     "select * from desensambles_detalle where dese_id = ",
     "SELECT * FROM DESENSAMBLES_DETALLE WHERE DESE_ID = ",
     "DELETE FROM DESENSAMBLES WHERE DESE_ID = ", NumOk::NewHeader},
    {17, "SELECT * FROM RESERVAS WHERE PREF_PRE = ", " AND RESE_NUMERO = ",
     "select * from reservas where rese_id = ", "select * from cambie_id_reserva", "RESE_ANULADO",
     "delete from reservas_detalle where rese_id = ",
     "select * from reservas_detalle where rese_id = ",
     "SELECT * FROM RESERVAS_DETALLE WHERE RESE_ID = ", "DELETE FROM RESERVAS WHERE RESE_ID = ",
     NumOk::Never},
    {18, "SELECT * FROM ORDENES_INVENTARIO WHERE PREF_PRE = ", " AND ORIN_NUMERO = ",
     "select * from ORDENES_INVENTARIO where orin_id = ", "select * from cambie_id_ordenmcia",
     "ORIN_ANULADO", "delete from ordeninventario_detalle where orin_id = ",
     "select * from ordeninventario_detalle where orin_id = ",
     "SELECT * FROM ORDENINVENTARIO_DETALLE WHERE ORIN_ID = ",
     "DELETE FROM ORDENES_INVENTARIO WHERE ORIN_ID = ", NumOk::Never},
};

const InventoryDocument& document(int type) {
    for (const InventoryDocument& d : kInventoryDocuments) {
        if (d.type == type) {
            return d;
        }
    }
    throw std::out_of_range("no inventory document of type " + std::to_string(type));
}

// The adjustment's concept: how every later event recognises the copy.
std::string adjustmentConcept(const Event& e) {
    return "Ajuste No." + e.prefix + e.number;
}

// Prefix and number go inside the literal with their quotes doubled, so a
// quote in either compares as itself instead of ending the text.
LookupText byAdjustmentConcept(std::string head) {
    return [head = std::move(head)](const HandlerContext& ctx, const db::Query*) {
        return head + quoteInner(ctx.event.prefix) + quoteInner(ctx.event.number) + "'";
    };
}

// Stored under the receiving company's prefix, on insert and on replace.
void adjustmentColumns(HeaderStep& step) {
    step.header.set("PREF_PRE", db::Value(step.ctx.event.prefixDest));
    step.header.set("AJUS_CONC", db::Value(adjustmentConcept(step.ctx.event)));
}

}  // namespace

DocumentFamily inventoryFamily(int type) {
    const InventoryDocument& d = document(type);
    DocumentFamily f;
    f.lookup = d.lookupNumber ? byPrefixAndNumber(d.lookupHead, d.lookupNumber)
                              : byAdjustmentConcept(d.lookupHead);
    f.sourceSql = d.source;
    f.generatorSql = d.generator;
    f.annulColumn = d.annulColumn;
    f.numok = d.numok;
    f.details.push_back(
        DetailTable{d.detailClear, d.detailSource, d.detailDestination, {}, {}, {}, {}});
    f.undoSql = {d.undo};
    if (type == 14) {
        f.afterCopy = adjustmentColumns;
    }
    return f;
}

Handler inventoryHandler(int type) {
    HeaderDetailCopy copy(inventoryFamily(type));
    if (type != 13) {
        return copy;
    }
    return [copy](HandlerContext& ctx) {
        if (ctx.options.transferAsEntry) {
            // Transfers as entries belong to the movement copy; until it
            // exists the event waits, whatever its letter.
            ctx.errors.record(kTransferAsEntryPending, kTransferAsEntryPending);
            ctx.state.failed = true;
            return;
        }
        copy.run(ctx);
    };
}

void addInventory(Catalogue& catalogue) {
    for (const InventoryDocument& d : kInventoryDocuments) {
        catalogue.set(d.type, inventoryHandler(d.type), inventoryHandler(d.type));
    }
}

}  // namespace replica::families
