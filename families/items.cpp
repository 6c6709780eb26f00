#include "families/items.h"

#include <stdexcept>

namespace replica::families {

namespace {

constexpr ColumnMode kFixed = ColumnMode::Currency;
constexpr ColumnMode kText = ColumnMode::Text;

}  // namespace

const std::vector<NamedColumn>& itemColumns() {
    static const std::vector<NamedColumn> kColumns = {
        {"ARTI_COD"},
        {"ARTI_DES"},
        {"FAIN_COD"},
        {"GRIN_COD"},
        {"SGIN_COD"},
        {"MARC_COD"},
        {"ARTI_SUBM"},
        {"ARTI_DESVAR"},
        {"ARTI_TIPO"},
        {"ARTI_EXIST"},
        {"ARTI_FECHA"},
        {"ARTI_UNIDAD"},
        {"ARTI_PRECIO", kFixed},
        {"ARTI_CONSUMO", kFixed},
        {"ARTI_IMPBA", kFixed},
        {"ARTI_IMPUP", kFixed},
        {"ARTI_IMPOTRO", kFixed},
        {"ARTI_PESO", kFixed},
        {"ARTI_ANCHO", kFixed},
        {"ARTI_ALTO", kFixed},
        {"ARTI_LARGO", kFixed},
        {"ARTI_OBS", kText},
        {"ARTI_FOTO"},
        {"ARTI_MAX", kFixed},
        {"ARTI_MIN", kFixed},
        {"ARTI_DIAS"},
        {"ESAR_COD"},
        {"ARTI_USUARIO"},
        {"TAIV_COD"},
        {"ARTI_CLASE"},
        {"ARTI_DIANALIS"},
        {"ARTI_DESCORTA"},
        {"ARTI_PRODCANT"},
        {"ARTI_CICLO"},
        {"ARTI_TIENDA"},
        {"ARTI_ENSAMBLE"},
        {"ARTI_VALORBONO", kFixed},
        {"ARTI_MERMA", kFixed},
        {"ARTI_SOBRANTE"},
        {"ARTI_PORCSOBR", kFixed},
        {"ARTI_DEC2799"},
        {"ARTI_FOMENTO", kFixed},
        {"ARTI_REUSOB"},
        {"ARTI_SOBTOT"},
        {"ARTI_INVIMA", kText},
        {"ARTI_INVIMAV", kText},
        {"ARTI_INALC", kText},
        {"ARTI_DTOMAX", kText},
        {"ARTI_CUM", kText},
        {"ARTI_POSARANCEL", kText},
        {"ARTI_ISVTA", kText},
        {"ARTI_URL", kText},
        {"ARTI_IMPLABF", kText},
    };
    return kColumns;
}

const std::vector<NamedColumn>& priceColumns() {
    static const std::vector<NamedColumn> kColumns = {
        {"LIPR_COD"},
        {"ARTI_COD"},
        {"PRAR_FIJO", kFixed},
        {"PRAR_MARGEN", kFixed},
        {"PRAR_UTIL", kFixed},
        {"PRAR_AUTO"},
        {"PRAR_CONSUMO", kFixed},
        {"PRAR_COMI", kFixed},
        {"PRAR_COMIMONTO", kFixed},
        {"PRAR_CANTMIN", kFixed},
        {"PRAR_DTO1", kFixed},
        {"PRAR_DTO2", kFixed},
        {"PRAR_COMIC", kFixed},
        {"PRAR_REDON"},
        {"PRAR_ESCALAS"},
        {"PRAR_NOMBRE"},
        {"PRAR_UNIDAD"},
    };
    return kColumns;
}

const std::vector<KeyedFamily>& itemFamilies() {
    using key::code;
    using key::codePart;
    using key::column;
    using key::columnNumber;
    using key::data;
    using key::iddoc;
    static const std::vector<KeyedFamily> kRows = {
        // The item, then its photos and documents; a deleted item leaves its
        // satellite rows to their own events.
        {.type = 101,
         .tables = {{.source = KeyedText{"select * from articulo where arti_cod = ", code()},
                     .lookup = KeyedText{"SELECT * FROM ARTICULO WHERE ARTI_COD = ", code()},
                     .columns = itemColumns()},
                    {.source = byPhase(
                         KeyedText{"select * from fotos_articulo where arti_cod = ", code()},
                         KeyedText{"select * from FOTOS_ARTICULO where arti_cod = ", code()}),
                     .lookup = KeyedText{"SELECT * from FOTOS_ARTICULO where arti_cod = ", code(),
                                         " AND FTAR_ITEM = ", column(1)},
                     .rowSet = true},
                    {.source =
                         KeyedText{"select * from ARTICULO_DOCUMENTOS where arti_cod = ", code()},
                     .lookup = KeyedText{"SELECT * from ARTICULO_DOCUMENTOS where arti_cod = ",
                                         code(), " AND ARDO_ITEM = ", column(1)},
                     .rowSet = true}},
         .deleteForm = {.kind = DeleteKind::FirstRow,
                        .text = KeyedText{"SELECT * FROM ARTICULO WHERE ARTI_COD = ", code()}}},
        // Units: the unit in RPEV_DATOS.
        {.type = 124,
         .tables = {{.source = byPhase(KeyedText{"select * from unidad_articulo where arti_cod = ",
                                                 code(), " and unar_unidad = ", data()},
                                       KeyedText{"select * from unidad_articulo where arti_cod = ",
                                                 code(), " AND UNAR_UNIDAD = ", data()}),
                     .lookup = byPhase(KeyedText{"SELECT * from UNIDAD_ARTICULO where arti_cod = ",
                                                 code(), " AND UNAR_UNIDAD = ", column(1)},
                                       KeyedText{"SELECT * from UNIDAD_ARTICULO where arti_cod = ",
                                                 code(), " AND UNAR_UNIDAD = ", data()}),
                     .rowSet = true}},
         .deleteForm = {.kind = DeleteKind::EveryRow,
                        .text = byPhase(KeyedText{"SELECT * from UNIDAD_ARTICULO where arti_cod = ",
                                                  code(), " and unar_unidad = ", data()},
                                        KeyedText{"SELECT * from UNIDAD_ARTICULO where arti_cod = ",
                                                  code(), " AND UNAR_UNIDAD = ", data()})}},
        // Bar codes: the bar code in RPEV_DATOS.
        {.type = 125,
         .tables = {{.source = byPhase(KeyedText{"SELECT * from BARRAS_ARTICULO where arti_cod = ",
                                                 code(), " AND COBA_COD = ", data()},
                                       KeyedText{"select * from BARRAS_ARTICULO where arti_cod = ",
                                                 code(), " and coba_cod = ", data()}),
                     .lookup = KeyedText{"SELECT * from BARRAS_ARTICULO where arti_cod = ", code(),
                                         " AND COBA_COD = ", column(1)},
                     .rowSet = true}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = byPhase(KeyedText{"DELETE from BARRAS_ARTICULO where arti_cod = ",
                                                  code(), " AND COBA_COD = ", data()},
                                        KeyedText{"DELETE from BARRAS_ARTICULO where arti_cod = ",
                                                  code(), " and coba_cod = ", data()})}},
        // Prices: the price list in RPEV_IDDOC. The upload phase leaves the
        // scales, name and unit of a price the destination already has.
        {.type = 126,
         .tables = {{.source = KeyedText{"select * from PRECIOS_ARTICULO where arti_cod = ", code(),
                                         " and lipr_cod = ", iddoc()},
                     .lookup = KeyedText{"SELECT * from PRECIOS_ARTICULO where arti_cod = ", code(),
                                         " AND LIPR_COD = ", column(0)},
                     .columns = priceColumns(),
                     .keepOnUpdate =
                         byPhase(std::vector<Col>{},
                                 std::vector<Col>{"PRAR_ESCALAS", "PRAR_NOMBRE", "PRAR_UNIDAD"})}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = KeyedText{"DELETE from PRECIOS_ARTICULO where arti_cod = ", code(),
                                          " and lipr_cod = ", iddoc()}}},
        // Accounting setup: found by the item alone, so every source row is
        // written over the destination's first row of the item.
        {.type = 127,
         .tables = {{.source =
                         KeyedText{"select * from contabil_articulo where arti_cod = ", code()},
                     .lookup =
                         KeyedText{"SELECT * from CONTABIL_ARTICULO where arti_cod = ", code()},
                     .rowSet = true}}},
        // Components: a deletion clears the item's components and copies
        // them again as the source has them, so the destination keeps
        // exactly the source's.
        {.type = 128,
         .tables = {{.source =
                         KeyedText{"select * from articulos_producto where arti_cod = ", code()},
                     .lookup = KeyedText{"SELECT * from ARTICULOS_PRODUCTO where arti_cod = ",
                                         code(), " AND ARPR_ITEM = ", columnNumber(1)},
                     .rowSet = true}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text =
                            KeyedText{"DELETE from articulos_producto where arti_cod = ", code()},
                        .thenCopy = true}},
        // Price discount plans, by their id in RPEV_IDDOC.
        {.type = 129,
         .tables = {{.source = byPhase(
                         KeyedText{"select * from DESCUENTOS_PRECIOS where DCTP_ID = ", iddoc()},
                         KeyedText{"select * from descuentos_precios where dctp_id = ", iddoc()}),
                     .lookup =
                         KeyedText{"SELECT * from DESCUENTOS_PRECIOS where DCTP_ID = ", iddoc()},
                     .rowSet = true}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = byPhase(
                            KeyedText{"DELETE from DESCUENTOS_PRECIOS where DCTP_ID = ", iddoc()},
                            KeyedText{"DELETE from descuentos_precios where dctp_id = ",
                                      iddoc()})}},
        // Inventory families.
        {.type = 201,
         .tables = {{.source =
                         KeyedText{"select * from FAMILIA_INVENTARIO where fain_cod = ", code()},
                     .lookup =
                         KeyedText{"SELECT * from FAMILIA_INVENTARIO where fain_cod = ", code()}}},
         .deleteForm = {.kind = DeleteKind::FirstRow,
                        .text = KeyedText{"SELECT * from FAMILIA_INVENTARIO where fain_cod = ",
                                          code()}}},
        // Groups: family|group.
        {.type = 202,
         .joinedCode = 2,
         .tables = {{.source = KeyedText{"select * from GRUPO_INVENTARIO where fain_cod = ",
                                         codePart(1), " and grin_cod = ", codePart(2)},
                     .lookup = KeyedText{"SELECT * from GRUPO_INVENTARIO where fain_cod = ",
                                         codePart(1), " and grin_cod = ", codePart(2)}}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = KeyedText{"delete from GRUPO_INVENTARIO where fain_cod = ",
                                          codePart(1), " and grin_cod = ", codePart(2)}}},
        // Subgroups: family|group|subgroup.
        {.type = 203,
         .joinedCode = 3,
         .tables = {{.source = KeyedText{"select * from SUBGRUPO_INVENTARIO where fain_cod = ",
                                         codePart(1), " and grin_cod = ", codePart(2),
                                         " and sgin_cod = ", codePart(3)},
                     .lookup = KeyedText{"SELECT * from SUBGRUPO_INVENTARIO where fain_cod = ",
                                         codePart(1), " and grin_cod = ", codePart(2),
                                         " and sgin_cod = ", codePart(3)}}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = KeyedText{"delete from SUBGRUPO_INVENTARIO where fain_cod = ",
                                          codePart(1), " and grin_cod = ", codePart(2),
                                          " and sgin_cod = ", codePart(3)}}},
        // Brands.
        {.type = 204,
         .tables = {{.source = KeyedText{"select * from marcas where marc_cod = ", code()},
                     .lookup = KeyedText{"SELECT * from MARCAS where marc_cod = ", code()}}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = KeyedText{"delete from marcas where marc_cod = ", code()}}},
        // Sub-brands: brand|sub-brand.
        {.type = 205,
         .joinedCode = 2,
         .tables = {{.source = KeyedText{"select * from submarca where marc_cod = ", codePart(1),
                                         " and subm_cod = ", codePart(2)},
                     .lookup = KeyedText{"SELECT * from SUBMARCA where marc_cod = ", codePart(1),
                                         " and subm_cod = ", codePart(2)}}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text = KeyedText{"delete from submarca where marc_cod = ", codePart(1),
                                          " and subm_cod = ", codePart(2)}}},
        // Item lines of a discount plan; the annul letter deletes too.
        {.type = 1291,
         .tables = {{.source = byPhase(
                         KeyedText{"select * from DESCUENTOS_PRECIOS_DET where DCTP_ID = ", iddoc(),
                                   " AND ARTI_COD = ", code()},
                         KeyedText{"select * from descuentos_precios_det where dctp_id = ", iddoc(),
                                   " and arti_cod = ", code()}),
                     .lookup = byPhase(
                         KeyedText{"SELECT * from DESCUENTOS_PRECIOS_DET where DCTP_ID = ", iddoc(),
                                   " AND ARTI_COD = ", code()},
                         KeyedText{"SELECT * from DESCUENTOS_PRECIOS_DET where DCTP_ID = ", iddoc(),
                                   " and ARTI_COD = ", code()}),
                     .rowSet = true}},
         .deleteForm = {.kind = DeleteKind::Statement,
                        .text =
                            byPhase(KeyedText{"DELETE from DESCUENTOS_PRECIOS_DET where DCTP_ID = ",
                                              iddoc(), " AND ARTI_COD = ", code()},
                                    KeyedText{"DELETE from descuentos_precios_det where dctp_id = ",
                                              iddoc(), " and arti_cod = ", code()}),
                        .deleteLetters = {"D", "A"}}},
    };
    return kRows;
}

const KeyedFamily& itemFamily(int type) {
    for (const KeyedFamily& f : itemFamilies()) {
        if (f.type == type) {
            return f;
        }
    }
    throw std::out_of_range("no item family of type " + std::to_string(type));
}

}  // namespace replica::families
