#include "families/movements.h"
#include "families/settings.h"

#include <stdexcept>

namespace replica::families {

namespace {

constexpr EventField Pref = EventField::Pref;
constexpr EventField Number = EventField::Number;
constexpr EventField PrefDest = EventField::PrefDest;
constexpr EventField IdDoc = EventField::IdDoc;

// The lines of an entry and of an exit, and what removes a movement.
DetailTable entryLines(const char* source, std::vector<MapEntry> map) {
    return DetailTable{.clear = "delete from entradas_detalle where entr_id = ",
                       .source = source,
                       .destination = "SELECT * FROM ENTRADAS_DETALLE WHERE ENTR_ID = ",
                       .fill = RowFill::mapped(std::move(map))};
}

DetailTable exitLines(const char* source, std::vector<MapEntry> map) {
    return DetailTable{.clear = "delete from salidas_detalle where sali_id = ",
                       .source = source,
                       .destination = "SELECT * FROM SALIDAS_DETALLE WHERE SALI_ID = ",
                       .fill = RowFill::mapped(std::move(map))};
}

}  // namespace

bool transferAsEntry(Phase, const RunOptions& options) {
    return transferAsEntryMode(options);
}

bool purchaseAsEntry(Phase, const RunOptions& options) {
    return !purchaseInvoiceMode(options);
}

bool returnAsExit(Phase phase, const RunOptions& options) {
    return phase == Phase::Download || !purchaseInvoiceMode(options);
}

const std::vector<DocumentFamily>& movementDocuments() {
    static const std::vector<DocumentFamily> kRows = {
        // A transfer downloaded is stored under the receiving company's
        // prefix and found by its origin; uploaded, it keeps its own prefix
        // and is found by prefix and number (copies) or by its reference text.
        {.type = 13,
         .when = transferAsEntry,
         .lookup = byPhase(
             byOrigin("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_IDREF = ",
                      " AND PREF_PRE = "),
             byPrefixAndNumber("SELECT * FROM ENTRADAS WHERE PREF_PRE = ", " AND ENTR_NUMERO = ")),
         .removalLookup = byPhase(
             byOrigin("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_IDREF = ",
                      " AND PREF_PRE = "),
             byReferText("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_REFER = ")),
         .source = "select * from trasferencias where tran_id = ",
         .generator = "select * from cambie_id_entrada",
         .annulColumn = "ENTR_ANULADO",
         .header = RowFill::mapped({{"TIDO_COD", lit(11)},
                                    {"PREF_PRE", byPhase(ev(PrefDest), ev(Pref))},
                                    {"BODE_COD", col("TRAN_BODDES")},
                                    {"ENTR_NUMERO", col("TRAN_NUMERO")},
                                    {"ENTR_FECHA", col("TRAN_FECHA")},
                                    {"ENTR_CONC", col("TRAN_CONC")},
                                    {"ENTR_REFER", join({ev(Pref), ev(Number)})},
                                    {"ENTR_TIPOREF", lit(13)},
                                    {"ENTR_IDREF", ev(IdDoc)},
                                    {"ENTR_IMPTOS", col("TRAN_IMPTOS")},
                                    {"ENTR_NOMTERC", col("TERC_NIT")},
                                    {"ENTR_ANULADO", col("TRAN_ANULADO")},
                                    {"ENTR_TRANSMIT", col("TRAN_TRANSMIT")},
                                    {"ENTR_OBS", text("TRAN_OBS")},
                                    {"TERC_NIT", col("TERC_NIT")},
                                    {"ENTR_ORDEN", lit("")},
                                    {"ENTR_ORDENID", lit("0")},
                                    {"ENTR_USUARIO", text("TRAN_USUARIO")},
                                    {"NUMOK", lit("N")}}),
         // its cost, without discount.
         .details = {entryLines("select * from trasferencias_detalle where tran_id = ",
                                {{"ENDE_ITEM", col("TRAS_ITEM")},
                                 {"ARTI_COD", col("ARTI_COD")},
                                 {"BODE_COD", headerText("TRAN_BODDES")},
                                 {"ENDE_CANT", col("TRAS_CANT")},
                                 {"ENDE_UNIDAD", col("TRAS_UNIDAD")},
                                 {"ENDE_LOTE", col("TRAS_LOTE")},
                                 {"ENDE_FACTOR", col("TRAS_FACTOR")},
                                 {"ENDE_DESC", col("TRAS_DESC")},
                                 {"ENDE_OBS", col("TRAS_OBS")},
                                 {"ENDE_IVAPORC", col("TRAS_IVAPORC")},
                                 {"ENDE_IVAMONTO", col("TRAS_IVAMONTO")},
                                 {"ENDE_CONSUMO", col("TRAS_CONSUMO")},
                                 {"ENDE_CODBAR", col("TRAS_CODBAR")},
                                 {"ENDE_ANULADO", col("TRAS_ANULADO")},
                                 {"ENDE_COSTO", col("TRAS_COSTO")},
                                 {"ENDE_TOTAL", col("TRAS_TOTAL")},
                                 {"ENDE_DTOPORC", lit(0)},
                                 {"ENDE_DTOMONTO", lit(0)}})},
         .undo = {"DELETE FROM ENTRADAS WHERE ENTR_ID = "}},
        {.type = 21,
         .when = purchaseAsEntry,
         .lookup = byOrigin("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 21 AND ENTR_IDREF = ",
                            " AND PREF_PRE = "),
         .source = "select * from facturas_compra where faco_id = ",
         .generator = "select * from cambie_id_entrada",
         .annulColumn = "ENTR_ANULADO",
         .header = RowFill::mapped(
             {{"TIDO_COD", lit(11)},
              {"PREF_PRE", ev(PrefDest)},
              {"BODE_COD", col("BODE_COD")},
              {"ENTR_NUMERO", col("FACO_NUMERO")},
              {"ENTR_FECHA", col("FACO_FECHA")},
              // The concept names the invoice; how depends on the
              // phase and on whether the entry is new.
              {"ENTR_CONC",
               byPhase(newOrExisting(join({lit("FC"), col("PREF_PRE"), col("FACO_NUMERO")}),
                                     col("FACO_CONC")),
                       newOrExisting(join({lit("FC "), ev(Pref), ev(Number)}),
                                     join({lit("FC"), col("PREF_PRE"), col("FACO_NUMERO")})))},
              {"ENTR_REFER", join({ev(Pref), ev(Number)})},
              {"ENTR_TIPOREF", lit(21)},
              {"ENTR_IDREF", ev(IdDoc)},
              {"ENTR_IMPTOS", col("FACO_IMPTOS")},
              {"ENTR_NOMTERC", col("TERC_NIT")},
              {"ENTR_ANULADO", col("FACO_ANULADO")},
              {"ENTR_TRANSMIT", col("FACO_TRANSMIT")},
              {"ENTR_OBS", text("FACO_OBS")},
              {"TERC_NIT", col("TERC_NIT")},
              {"ENTR_ORDEN", lit("")},
              {"ENTR_ORDENID", lit("0")},
              {"ENTR_USUARIO", text("FACO_USUARIO")},
              {"NUMOK", lit("N")}}),
         // The unit price of the invoice becomes the cost of the entry.
         .details = {entryLines("select * from facturas_compras_detalle where faco_id = ",
                                {{"ENDE_ITEM", col("FCDE_ITEM")},
                                 {"ARTI_COD", col("ARTI_COD")},
                                 {"BODE_COD", col("BODE_COD")},
                                 {"ENDE_CANT", col("FCDE_CANT")},
                                 {"ENDE_UNIDAD", col("FCDE_UNIDAD")},
                                 {"ENDE_LOTE", col("FCDE_LOTE")},
                                 {"ENDE_FACTOR", col("FCDE_FACTOR")},
                                 {"ENDE_DESC", col("FCDE_DESC")},
                                 {"ENDE_OBS", col("FCDE_OBS")},
                                 {"ENDE_IVAPORC", col("FCDE_IVAPORC")},
                                 {"ENDE_IVAMONTO", col("FCDE_IVAMONTO")},
                                 {"ENDE_CONSUMO", col("FCDE_CONSUMO")},
                                 {"ENDE_CODBAR", col("FCDE_CODBAR")},
                                 {"ENDE_ANULADO", col("FCDE_ANULADO")},
                                 {"ENDE_COSTO", col("FCDE_PRUNIT")},
                                 {"ENDE_TOTAL", col("FCDE_TOTAL")},
                                 {"ENDE_DTOPORC", col("FCDE_DTOPORC")},
                                 {"ENDE_DTOMONTO", col("FCDE_DTOMONTO")}})},
         .undo = {"DELETE FROM ENTRADAS WHERE ENTR_ID = "}},
        {.type = 22,
         .when = purchaseAsEntry,
         .lookup = byOrigin("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 22 AND ENTR_IDREF = ",
                            " AND PREF_PRE = "),
         .source = "select * from remision_proveedor where repr_id = ",
         .generator = "select * from cambie_id_entrada",
         .annulColumn = "ENTR_ANULADO",
         .header = RowFill::mapped({{"TIDO_COD", lit(11)},
                                    {"PREF_PRE", ev(PrefDest)},
                                    {"BODE_COD", col("BODE_COD")},
                                    {"ENTR_NUMERO", col("REPR_NUMERO")},
                                    {"ENTR_FECHA", col("REPR_FECHA")},
                                    {"ENTR_CONC", col("REPR_CONC")},
                                    {"ENTR_REFER", join({ev(Pref), ev(Number)})},
                                    {"ENTR_TIPOREF", lit(22)},
                                    {"ENTR_IDREF", ev(IdDoc)},
                                    {"ENTR_IMPTOS", col("REPR_IMPTOS")},
                                    {"ENTR_NOMTERC", col("TERC_NIT")},
                                    {"ENTR_ANULADO", col("REPR_ANULADO")},
                                    {"ENTR_TRANSMIT", col("REPR_TRANSMIT")},
                                    {"ENTR_OBS", text("REPR_OBS")},
                                    {"TERC_NIT", col("TERC_NIT")},
                                    {"ENTR_ORDEN", lit("")},
                                    {"ENTR_ORDENID", lit("0")},
                                    {"ENTR_USUARIO", text("REPR_USUARIO")},
                                    {"NUMOK", lit("N")}}),
         .details = {entryLines("select * from remision_proveedor_det where repr_id = ",
                                {{"ENDE_ITEM", col("RPVD_ITEM")},
                                 {"ARTI_COD", col("ARTI_COD")},
                                 {"BODE_COD", col("BODE_COD")},
                                 {"ENDE_CANT", col("RPVD_CANT")},
                                 {"ENDE_UNIDAD", col("RPVD_UNIDAD")},
                                 {"ENDE_LOTE", col("RPVD_LOTE")},
                                 {"ENDE_FACTOR", col("RPVD_FACTOR")},
                                 {"ENDE_DESC", col("RPVD_DESC")},
                                 {"ENDE_OBS", col("RPVD_OBS")},
                                 {"ENDE_IVAPORC", col("RPVD_IVAPORC")},
                                 {"ENDE_IVAMONTO", col("RPVD_IVAMONTO")},
                                 {"ENDE_CONSUMO", col("RPVD_CONSUMO")},
                                 {"ENDE_CODBAR", col("RPVD_CODBAR")},
                                 {"ENDE_ANULADO", col("RPVD_ANULADO")},
                                 {"ENDE_COSTO", col("RPVD_PRUNIT")},
                                 {"ENDE_TOTAL", col("RPVD_TOTAL")},
                                 {"ENDE_DTOPORC", col("RPVD_DTOPORC")},
                                 {"ENDE_DTOMONTO", col("RPVD_DTOMONTO")}})},
         .undo = {"DELETE FROM ENTRADAS WHERE ENTR_ID = "}},
        {.type = 24,
         .when = returnAsExit,
         .lookup = byOrigin("SELECT * FROM SALIDAS WHERE SALI_TIPOREF = 24 AND SALI_IDREF = ",
                            " AND PREF_PRE = "),
         .source = "select * from devoluciones_compras where dvco_id = ",
         .generator = "select * from cambie_id_salida",
         .annulColumn = "SALI_ANULADO",
         .header = RowFill::mapped({{"TIDO_COD", lit(12)},
                                    {"PREF_PRE", ev(PrefDest)},
                                    {"BODE_COD", col("BODE_COD")},
                                    {"SALI_NUMERO", col("DVCO_NUMERO")},
                                    {"SALI_FECHA", col("DVCO_FECHA")},
                                    {"SALI_CONC", join({lit("DC "), ev(Pref), ev(Number)})},
                                    {"SALI_REFER", join({ev(Pref), ev(Number)})},
                                    {"SALI_TIPOREF", lit(24)},
                                    {"SALI_IDREF", ev(IdDoc)},
                                    {"SALI_IMPTOS", col("DVCO_IMPTOS")},
                                    {"SALI_NOMTERC", col("TERC_NIT")},
                                    {"SALI_ANULADO", col("DVCO_ANULADO")},
                                    {"SALI_TRANSMIT", col("DVCO_TRANSMIT")},
                                    {"SALI_OBS", text("DVCO_OBS")},
                                    {"TERC_NIT", col("TERC_NIT")},
                                    {"SALI_RESERVA", lit("")},
                                    {"SALI_RESEID", lit("0")},
                                    {"SALI_USUARIO", text("DVCO_USUARIO")},
                                    {"NUMOK", lit("N")}}),
         // Exit lines carry no discount.
         .details = {exitLines("select * from devoluciones_compras_det where dvco_id = ",
                               {{"SADE_ITEM", col("DVCD_ITEM")},
                                {"ARTI_COD", col("ARTI_COD")},
                                {"BODE_COD", col("BODE_COD")},
                                {"SADE_CANT", col("DVCD_CANT")},
                                {"SADE_UNIDAD", col("DVCD_UNIDAD")},
                                {"SADE_LOTE", col("DVCD_LOTE")},
                                {"SADE_FACTOR", col("DVCD_FACTOR")},
                                {"SADE_DESC", col("DVCD_DESC")},
                                {"SADE_OBS", col("DVCD_OBS")},
                                {"SADE_IVAPORC", col("DVCD_IVAPORC")},
                                {"SADE_IVAMONTO", col("DVCD_IVAMONTO")},
                                {"SADE_CONSUMO", col("DVCD_CONSUMO")},
                                {"SADE_CODBAR", col("DVCD_CODBAR")},
                                {"SADE_ANULADO", col("DVCD_ANULADO")},
                                {"SADE_COSTO", col("DVCD_PRUNIT")},
                                {"SADE_TOTAL", col("DVCD_TOTAL")}})},
         .undo = {"DELETE FROM SALIDAS WHERE SALI_ID = "}},
    };
    return kRows;
}

const DocumentFamily& movementDocument(int type) {
    for (const DocumentFamily& d : movementDocuments()) {
        if (d.type == type) {
            return d;
        }
    }
    throw std::out_of_range("no movement form of type " + std::to_string(type));
}

}  // namespace replica::families
