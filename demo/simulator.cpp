#include "demo/simulator.h"

#include <algorithm>
#include <deque>
#include <stdexcept>

#include "demo/activity.h"
#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/sql.h"

namespace replica::demo {

namespace {

// A document family as the ERP writes it: header, lines, how its events name
// it, and the hooks that shape its rows (activity.h).
struct DocumentFamily {
    int type = 0;
    const char* header = nullptr;
    const char* prefix = "PREF_PRE";  // prefix column; nullptr: the family has none
    const char* number = nullptr;     // number column; nullptr: the family has none
    const char* generator = nullptr;  // id generator view; nullptr: next id after the largest
    std::vector<const char*> details = {};
    int digits = 6;  // numbers are the id with leading zeros to this width
    // RPEV_PREFDEST: the receiving company files the copy under the prefix of
    // this type (a movement of that type); 0: under the document's own prefix.
    int recordedAs = 0;
    const char* codeColumn = nullptr;  // RPEV_CODIGO is this header column
    // Filed under the prefix and number of the document it was generated from,
    // so its events may carry any document prefix.
    bool sourcePrefix = false;
    HeaderShape shapeHeader = nullptr;
    LineShape shapeLine = nullptr;
    // The letter of the event a deletion writes.
    const char* deleteLetter = "D";
};

// A master record family: one table, the event names it by its first key
// column unless its event hook says otherwise.
struct MasterFamily {
    int type = 0;
    const char* table = nullptr;
    RowShape shape = nullptr;
    MasterEventShape event = nullptr;
    // The column an update changes; nullptr: the first one outside the key.
    const char* changed = nullptr;
};

// Written in this order, round after round: a family mostly comes after the
// ones it refers to, so that its references find a document from the first
// round on (advances and cash documents refer to each other, and meet from
// the second round); the voucher, which may come from any document, is last.
const std::vector<DocumentFamily>& documentFamilies() {
    static const std::vector<DocumentFamily> k = {
        {.type = 11,
         .header = "ENTRADAS",
         .number = "ENTR_NUMERO",
         .generator = "cambie_id_entrada",
         .details = {"ENTRADAS_DETALLE"}},
        {.type = 12,
         .header = "SALIDAS",
         .number = "SALI_NUMERO",
         .generator = "cambie_id_salida",
         .details = {"SALIDAS_DETALLE"}},
        {.type = 13,
         .header = "TRASFERENCIAS",
         .number = "TRAN_NUMERO",
         .generator = "cambie_id_transfer",
         .details = {"TRASFERENCIAS_DETALLE"},
         .recordedAs = 11},
        {.type = 14,
         .header = "AJUSTES",
         .number = "AJUS_NUMERO",
         .generator = "cambie_id_ajusteinv",
         .details = {"AJUSTES_DETALLE"}},
        {.type = 15,
         .header = "ENSAMBLES",
         .number = "ENSA_NUMERO",
         .generator = "cambie_id_ensamble",
         .details = {"ENSAMBLES_DETALLE"}},
        {.type = 16,
         .header = "DESENSAMBLES",
         .number = "DESE_NUMERO",
         .generator = "cambie_id_desensamble",
         .details = {"DESENSAMBLES_DETALLE"}},
        {.type = 17,
         .header = "RESERVAS",
         .number = "RESE_NUMERO",
         .generator = "cambie_id_reserva",
         .details = {"RESERVAS_DETALLE"}},
        {.type = 18,
         .header = "ORDENES_INVENTARIO",
         .number = "ORIN_NUMERO",
         .generator = "cambie_id_ordenmcia",
         .details = {"ORDENINVENTARIO_DETALLE"}},
        {.type = 21,
         .header = "FACTURAS_COMPRA",
         .number = "FACO_NUMERO",
         .generator = "cambie_id_compras",
         .details = {"FACTURAS_COMPRAS_DETALLE"},
         .recordedAs = 11},
        {.type = 22,
         .header = "REMISION_PROVEEDOR",
         .number = "REPR_NUMERO",
         .generator = "cambie_id_remiprov",
         .details = {"REMISION_PROVEEDOR_DET"},
         .recordedAs = 11},
        {.type = 24,
         .header = "DEVOLUCIONES_COMPRAS",
         .number = "DVCO_NUMERO",
         .generator = "cambie_id_devolprov",
         .details = {"DEVOLUCIONES_COMPRAS_DET"},
         .recordedAs = 12,
         .shapeHeader = purchaseReturnHeader},
        // Sales invoices carry 8 digits: a sales return names its invoice by
        // prefix and the last 8 characters.
        {.type = 31,
         .header = "FACTURAS",
         .number = "FACT_NUMERO",
         .generator = "cambie_id_factura",
         .details = {"FACTURAS_DETALLE", "FACTURAS_CONTADO_PAGO"},
         .digits = 8,
         .recordedAs = 12,
         .shapeLine = salesInvoiceLine},
        {.type = 32,
         .header = "REMISIONES_VENTA",
         .number = "REVT_NUMERO",
         .generator = "cambie_id_remiclie",
         .details = {"REMISIONES_VENTA_DETALLE"}},
        {.type = 33,
         .header = "DEVOLUCIONES_VENTAS",
         .number = "DEVT_NUMERO",
         .generator = "cambie_id_devolclie",
         .details = {"DEVOLUCIONES_VENTAS_DETALLE"},
         .shapeHeader = salesReturnHeader},
        {.type = 34,
         .header = "PEDIDOS",
         .number = "PEDI_NUMERO",
         .generator = "cambie_id_pedido",
         .details = {"PEDIDOS_DETALLE"}},
        {.type = 35,
         .header = "COTIZACIONES",
         .number = "COTI_NUMERO",
         .generator = "cambie_id_cotizaci",
         .details = {"COTIZACIONES_DETALLE"}},
        {.type = 41,
         .header = "NOTAS_DEBITO_CLIENTES",
         .number = "NDCL_NUMERO",
         .generator = "cambie_id_notadbclie"},
        {.type = 42,
         .header = "NOTAS_CREDITO_CLIENTES",
         .number = "NCCL_NUMERO",
         .generator = "cambie_id_notadbclie"},
        {.type = 45,
         .header = "ANTICIPOS_CLIENTE",
         .number = "ANCL_NUMERO",
         .generator = "cambie_id_anticlie",
         .shapeHeader = customerAdvanceHeader},
        {.type = 43,
         .header = "APLICACION_CLIENTE",
         .number = "APCL_NUMERO",
         .generator = "cambie_id_apliclie",
         .details = {"APLICACION_CLIENTE_DETALLE"},
         .shapeLine = applicationLine},
        {.type = 51,
         .header = "NOTAS_DEBITO_PROVEEDOR",
         .number = "NDPR_NUMERO",
         .generator = "cambie_id_notadbprov"},
        {.type = 52,
         .header = "NOTAS_CREDITO_PROVEEDOR",
         .number = "NCPR_NUMERO",
         .generator = "cambie_id_notacrprov"},
        {.type = 55,
         .header = "ANTICIPOS_PROVEEDOR",
         .number = "ANPR_NUMERO",
         .generator = "cambie_id_antiprov",
         .shapeHeader = supplierAdvanceHeader},
        {.type = 53,
         .header = "APLICACION_PROVEDOR",
         .number = "APPR_NUMERO",
         .generator = "cambie_id_apliprov",
         .details = {"APLICACION_PROVEEDOR_DETALLE"},
         .shapeLine = applicationLine},
        {.type = 61,
         .header = "RECIBOS_CAJA",
         .number = "RECA_NUMERO",
         .generator = "cambie_id_recicaja",
         .details = {"RECIBOS_CAJA_DETALLE", "RECIBOS_CAJA_CRUCEC", "RECIBOS_CAJA_PAGO"},
         .shapeLine = cashReceiptLine},
        {.type = 62,
         .header = "EGRESOS",
         .number = "EGRE_NUMERO",
         .generator = "cambie_id_egreso",
         .details = {"EGRESOS_DETALLE", "EGRESOS_CRUCEC", "EGRESOS_CAJA", "EGRESOS_BANCO",
                     "EGRESOS_CONTABILIDAD"},
         .shapeLine = disbursementLine},
        {.type = 63,
         .header = "CAMBIO_DOCUMENTOS",
         .number = "CADO_NUMERO",
         .generator = "cambie_id_cambdocu",
         .details = {"CAMBIODOC_ENTRADAS", "CAMBIODOC_SALIDAS"}},
        {.type = 64,
         .header = "CONSIGNA_TARJETAS",
         .number = "COTJ_NUMERO",
         .generator = "cambie_id_consignatar",
         .details = {"CONSIGNA_TARJETAS_DET"}},
        {.type = 65,
         .header = "RECIBO_PROVISIONAL",
         .number = "RCPR_NUMERO",
         .generator = "cambie_id_reciprov",
         .details = {"RECIBO_PROVISIONAL_DETALLE", "RECIBO_PROVISIONAL_PAGO"}},
        {.type = 66,
         .header = "TRASLADOS_CAJA",
         .number = "TRCJ_NUMERO",
         .generator = "cambie_id_traslacaja",
         .details = {"TRASLADOS_CAJA_DET"}},
        {.type = 71,
         .header = "CONSIGNA",
         .prefix = "PRBA_PREF",
         .number = "CONS_NUMERO",
         .generator = "cambie_id_consigna",
         .details = {"CONSIGNA_DETALLE"},
         .codeColumn = "CUBA_COD"},
        {.type = 72,
         .header = "CHEQUES",
         .prefix = "PRBA_PREF",
         .number = "CHEQ_NUMERO",
         .generator = "cambie_id_cheque",
         .codeColumn = "CUBA_COD"},
        {.type = 73,
         .header = "RETIROS",
         .prefix = "PRBA_PREF",
         .number = "RETI_NUMERO",
         .generator = "cambie_id_retiro",
         .codeColumn = "CUBA_COD"},
        {.type = 74,
         .header = "NOTAS_DEBITO",
         .prefix = "PRBA_PREF",
         .number = "NDBC_NUMERO",
         .generator = "cambie_id_nota_db_banco",
         .codeColumn = "CUBA_COD"},
        {.type = 75,
         .header = "NOTAS_CREDITO",
         .prefix = "PRBA_PREF",
         .number = "NCBC_NUMERO",
         .generator = "cambie_id_nota_cr_banco",
         .codeColumn = "CUBA_COD"},
        {.type = 76,
         .header = "TRASLADOS",
         .prefix = "PRBA_PREF",
         .number = "TRAS_NUMERO",
         .generator = "cambie_id_traslado",
         .codeColumn = "CUBA_COD"},
        {.type = 77,
         .header = "DEVOLUCION_CHEQUES",
         .prefix = "PRBA_PREF",
         .number = "DVCH_NUMDOC",
         .generator = "cambie_id_dev_cheques",
         .codeColumn = "CUBA_COD"},
        {.type = 81,
         .header = "PUNTOS_REDENCION",
         .number = "PTRE_NUMERO",
         .generator = "cambie_id_rediptos"},
        {.type = 94,
         .header = "NOMINA_CARTERA",
         .prefix = nullptr,
         .details = {"NOMINA_CARTERA_DETALLE"},
         .shapeLine = payrollReceivableLine,
         .deleteLetter = "A"},
        {.type = 193,
         .header = "NOMINA_NOVEDADES",
         .prefix = nullptr,
         .generator = "cambie_id_novedad",
         .details = {"NOMINA_NOVEDADES_DETALLE"}},
        {.type = 1,
         .header = "COMPROBANTE_ENCABEZADO",
         .prefix = "PRCO_PREF",
         .number = "ENCO_NUMERO",
         .generator = "cambie_id_comproba",
         .details = {"COMPROBANTE_DETALLE", "COMPROBANTE_DETALLE_NIIF"},
         .codeColumn = "TICO_COD",
         .sourcePrefix = true,
         .shapeHeader = voucherHeader},
    };
    return k;
}

const std::vector<MasterFamily>& masterFamilies() {
    static const std::vector<MasterFamily> k = {
        {.type = 96, .table = "CONCEPTOS_NOMINA"},
        {.type = 100, .table = "CUENTAS"},
        {.type = 101, .table = "ARTICULO", .shape = itemRow},
        {.type = 102, .table = "TERCEROS"},
        {.type = 103, .table = "CLIENTES"},
        {.type = 104, .table = "PROVEEDORES"},
        {.type = 105, .table = "COBRADORES"},
        {.type = 106, .table = "VENDEDORES"},
        {.type = 111, .table = "INTERFAZ_BANCOS", .shape = interfaceRow},
        {.type = 112, .table = "INTERFAZ_CAJA", .shape = interfaceRow},
        {.type = 113, .table = "INTERFAZ_CARTERA", .shape = interfaceRow},
        {.type = 114, .table = "INTERFAZ_COMPRAS", .shape = interfaceRow},
        {.type = 115, .table = "INTERFAZ_CXPAGAR", .shape = interfaceRow},
        {.type = 116, .table = "INTERFAZ_INVENTARIO", .shape = interfaceRow},
        {.type = 117, .table = "INTERFAZ_VENTAS", .shape = interfaceRow},
        {.type = 124,
         .table = "UNIDAD_ARTICULO",
         .shape = itemSatelliteRow,
         .event = itemDataEvent},
        {.type = 125,
         .table = "BARRAS_ARTICULO",
         .shape = itemSatelliteRow,
         .event = itemDataEvent},
        {.type = 126,
         .table = "PRECIOS_ARTICULO",
         .shape = itemSatelliteRow,
         .event = itemPriceEvent},
        {.type = 127,
         .table = "CONTABIL_ARTICULO",
         .shape = itemSatelliteRow,
         .event = itemCodeEvent},
        {.type = 128, .table = "ARTICULOS_PRODUCTO", .shape = itemSatelliteRow},
        {.type = 129, .table = "DESCUENTOS_PRECIOS"},
        {.type = 142, .table = "PREFIJOS", .shape = prefixRow, .event = prefixEvent},
        {.type = 152, .table = "CLIENTE_SUCURSALES", .shape = branchRow},
        {.type = 192,
         .table = "NOMINA_HORASEXT",
         .shape = overtimeRow,
         .event = overtimeEvent,
         .changed = "NOEX_HED"},
        {.type = 201, .table = "FAMILIA_INVENTARIO"},
        {.type = 202, .table = "GRUPO_INVENTARIO", .shape = groupRow, .event = joinedCodeEvent},
        {.type = 203,
         .table = "SUBGRUPO_INVENTARIO",
         .shape = subgroupRow,
         .event = joinedCodeEvent},
        {.type = 204, .table = "MARCAS"},
        {.type = 205, .table = "SUBMARCA", .shape = subBrandRow, .event = joinedCodeEvent},
        {.type = 235,
         .table = "PUNTOS_CLIENTE",
         .shape = pointsRecordRow,
         .event = pointsRecordEvent},
        {.type = 1291,
         .table = "DESCUENTOS_PRECIOS_DET",
         .shape = discountLineRow,
         .event = discountLineEvent},
    };
    return k;
}

const DocumentFamily* documentFamily(int type) {
    for (const DocumentFamily& f : documentFamilies()) {
        if (f.type == type) {
            return &f;
        }
    }
    return nullptr;
}

const char* const kWords[] = {"bodega", "norte", "café",  "azúcar", "tornillo", "cliente",
                              "pago",   "mayo",  "señal", "lote",   "revisión", "caja"};
const char* const kNits[] = {"800100200", "900123456", "860000111", "71234567", "43210987"};
const char* const kItems[] = {"A001", "A002", "B010", "C100", "D200", "E300"};

}  // namespace

db::Value Filler::value(const db::Column& c, int type) {
    const std::string& n = c.name;
    auto ends = [&](const char* s) {
        const std::string t(s);
        return n.size() >= t.size() && n.compare(n.size() - t.size(), t.size(), t) == 0;
    };
    if (ends("_ANULADO")) {
        return db::Value("N");
    }
    if (n == "NUMOK") {
        return db::Value("S");
    }
    if (n == "TERC_NIT") {
        return text(kNits[pick(5)], c.length);
    }
    if (n == "ARTI_COD") {
        return text(kItems[pick(6)], c.length);
    }
    if (n == "TIDO_COD" &&
        (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt)) {
        return db::Value(type);
    }
    if (n == "SUCU_ID") {
        return db::Value(1 + pick(2));
    }
    if (!c.required && pick(10) == 0) {
        return db::Value();
    }
    switch (c.type) {
        case db::ColumnType::SmallInt:
        case db::ColumnType::Integer:
        case db::ColumnType::BigInt:
            if (c.isFixedPoint()) {
                return db::Value(db::Decimal{1000 + pick(9000000), c.scale});
            }
            return db::Value(1 + pick(99));
        case db::ColumnType::Float:
        case db::ColumnType::Double:
            return db::Value(static_cast<double>(pick(100000)) / 100.0);
        case db::ColumnType::Char:
            return text(c.length == 1 ? (pick(2) ? "S" : "N") : word(), c.length);
        case db::ColumnType::VarChar:
            return text(word() + " " + word(), c.length);
        case db::ColumnType::Date:
            return db::Value(db::Date{2026, 1 + pick(12), 1 + pick(28)});
        case db::ColumnType::Time:
            return db::Value(db::Time{8 + pick(10), pick(60), pick(60), 0});
        case db::ColumnType::Timestamp:
            return db::Value(
                db::Timestamp{db::Date{2026, 1 + pick(12), 1 + pick(28)}, db::Time{9, 0, 0, 0}});
        case db::ColumnType::Blob:
            if (c.subType == 1) {
                return db::Value("Nota: " + word() + " " + word());
            }
            return db::Value(
                db::Bytes{{0x89, 'P', 'N', 'G', static_cast<unsigned char>(pick(255))}});
        case db::ColumnType::Boolean:
            return db::Value(pick(2));
        case db::ColumnType::Other:
            return db::Value();
    }
    return db::Value();
}

std::string Filler::word() {
    return kWords[pick(12)];
}

db::Value Filler::text(const std::string& s, int length) {
    // Cut by characters, never inside a UTF-8 sequence.
    std::string out;
    int chars = 0;
    for (const char c : s) {
        const auto ch = static_cast<unsigned char>(c);
        if ((ch & 0xC0) != 0x80) {
            if (chars == length) {
                break;
            }
            ++chars;
        }
        out += c;
    }
    return db::Value(out);
}

namespace {

bool tableExists(db::Connection& conn, const std::string& table) {
    return conn.tableInfo(table).exists;
}

std::int64_t nextId(db::Connection& conn, const char* generator, const std::string& table,
                    const std::string& idColumn) {
    db::Query q(conn);
    if (generator) {
        q.open(std::string("select * from ") + generator);
        if (!q.isEmpty()) {
            return q.asInt(0);
        }
    }
    q.open("select coalesce(max(" + idColumn + "), 0) + 1 from " + table);
    return q.asInt(0);
}

// The id with leading zeros to `digits` (longer ids keep all their digits).
std::string numbered(std::int64_t id, int digits) {
    std::string s = std::to_string(id);
    if (static_cast<int>(s.size()) < digits) {
        s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
    }
    return s;
}

std::vector<std::string> destinations(db::Connection& conn, int type, const std::string& prefix) {
    db::Query q(conn);
    q.open("select distinct repc_compania from replicacion_configura where repc_tipo = " +
           sqlInt(type) + " and repc_pref = " + Q(prefix) + " and repc_replica = 'S'");
    std::vector<std::string> out;
    for (; !q.eof(); q.next()) {
        out.push_back(q.asText(0));
    }
    return out;
}

// One REPLICA_EVENTOS row before it is addressed.
struct EventRow {
    int type = 0;
    std::string oper;
    std::int64_t iddoc = 0;  // 0: NULL
    std::string prefix;
    std::string number;
    std::string code;  // empty: NULL
    std::string data;  // empty: NULL
    std::string prefixDest;
};

std::string textOrNull(const std::string& s) {
    return s.empty() ? std::string("NULL") : Q(s);
}

// A master record this simulation wrote: its key as a WHERE clause and what
// its events carry, for its later changes.
struct WrittenMaster {
    const MasterFamily* family;
    std::string where;
    MasterEvent event;
};

class Simulator {
  public:
    Simulator(db::Connection& conn, const SimulationOptions& o)
        : m_conn(conn), m_options(o), m_fill(o.seed), m_activity(conn, m_fill, m_written) {}

    SimulationReport run() {
        std::vector<const DocumentFamily*> docs;
        for (const DocumentFamily& f : documentFamilies()) {
            if (wanted(f.type) && tableExists(m_conn, f.header)) {
                docs.push_back(&f);
            }
        }
        std::vector<const MasterFamily*> masters;
        for (const MasterFamily& f : masterFamilies()) {
            if (wanted(f.type) && tableExists(m_conn, f.table)) {
                masters.push_back(&f);
            }
        }
        for (int i = 0; i < m_options.masters && !masters.empty(); ++i) {
            writeMaster(*masters[static_cast<std::size_t>(i) % masters.size()]);
        }
        for (int i = 0; i < m_options.documents && !docs.empty(); ++i) {
            writeDocument(*docs[static_cast<std::size_t>(i) % docs.size()]);
        }
        int u = m_options.updates;
        int a = m_options.annulments;
        int d = m_options.deletions;
        for (std::size_t i = 0; i < m_written.size() && (u > 0 || a > 0 || d > 0); ++i) {
            const Written& w = m_written[i];
            if (u > 0) {
                update(w);
                --u;
            } else if (a > 0) {
                if (annul(w)) {
                    --a;
                }
            } else if (!w.referenced) {
                // The ERP refuses to delete a document that another one settles
                // or was generated from.
                remove(w);
                --d;
            }
        }
        const std::size_t updated =
            std::min(m_masters.size(), static_cast<std::size_t>(m_options.masterUpdates));
        const std::size_t deleted = std::min(m_masters.size() - updated,
                                             static_cast<std::size_t>(m_options.masterDeletions));
        for (std::size_t i = 0; i < updated + deleted; ++i) {
            if (i < updated) {
                updateMaster(m_masters[i]);
            } else {
                removeMaster(m_masters[i]);
            }
        }
        return m_report;
    }

  private:
    bool wanted(int type) const {
        return m_options.types.empty() || std::find(m_options.types.begin(), m_options.types.end(),
                                                    type) != m_options.types.end();
    }

    // One row per company that REPLICACION_CONFIGURA names for the type and
    // the routing prefix.
    void event(const EventRow& e, const std::string& route) {
        if (!m_options.writeEvents) {
            return;
        }
        for (const std::string& company : destinations(m_conn, e.type, route)) {
            m_conn.execute(
                "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, RPEV_PREF, "
                "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER, RPEV_PREFDEST, "
                "RPEV_DATOS) VALUES (" +
                Q(company) + ", " + sqlInt(e.type) + ", " +
                (e.iddoc ? sqlInt(e.iddoc) : std::string("NULL")) + ", " + Q(e.prefix) + ", " +
                Q(e.number) + ", " + textOrNull(e.code) + ", " + Q(sqlDate(today())) + ", " +
                Q(sqlTime(now())) + ", " + Q(e.oper) + ", " + Q(e.prefixDest) + ", " +
                textOrNull(e.data) + ")");
            ++m_report.events;
        }
    }

    void documentEvent(const Written& w, const std::string& oper) {
        const DocumentFamily& f = *documentFamily(w.type);
        EventRow e;
        e.type = w.type;
        e.oper = oper;
        e.iddoc = w.id;
        e.prefix = w.prefix;
        e.number = w.number;
        e.code = w.code;
        e.prefixDest = f.recordedAs ? prefixFor(f.recordedAs) : w.prefix;
        event(e, w.prefix);
    }

    void apply(db::RecordSet& rs) {
        std::string failure;
        if (rs.apply(0, [&](const db::Error& e) { failure = e.message(); }) > 0) {
            throw db::Error("the ERP simulator could not write to " + rs.tableName() + ": " +
                            failure);
        }
    }

    static std::string textOf(const db::RecordSet& rs, const char* column) {
        const int i = rs.indexOf(column);
        return i < 0 ? std::string() : rs.editValue(i).asText();
    }

    void writeDocument(const DocumentFamily& f) {
        db::RecordSet head(m_conn);
        head.open(std::string("SELECT * FROM ") + f.header + " WHERE 1 = 0");
        Written doc;
        doc.type = f.type;
        doc.table = f.header;
        doc.idColumn = head.column(0).name;
        doc.id = nextId(m_conn, f.generator, f.header, doc.idColumn);
        doc.prefix = f.prefix ? prefixFor(f.type) : std::string();
        doc.number = f.number ? numbered(doc.id, f.digits) : std::string();
        head.append();
        for (int i = 0; i < head.columnCount(); ++i) {
            head.set(i, m_fill.value(head.column(i), f.type));
        }
        head.set(0, db::Value(doc.id));
        if (f.prefix) {
            head.set(f.prefix, db::Value(doc.prefix));
        }
        if (f.number) {
            head.set(f.number, db::Value(doc.number));
        }
        if (f.shapeHeader) {
            f.shapeHeader(m_activity, doc, head);
            if (f.prefix) {
                doc.prefix = textOf(head, f.prefix);
            }
            if (f.number) {
                doc.number = textOf(head, f.number);
            }
        }
        if (f.codeColumn) {
            doc.code = textOf(head, f.codeColumn);
        }
        doc.nit = textOf(head, "TERC_NIT");
        head.post();
        apply(head);
        ++m_report.documents;
        for (const char* table : f.details) {
            if (!tableExists(m_conn, table)) {
                continue;
            }
            db::RecordSet lines(m_conn);
            lines.open(std::string("SELECT * FROM ") + table + " WHERE 1 = 0");
            for (int n = 1; n <= m_options.linesPerDocument; ++n) {
                lines.append();
                for (int i = 0; i < lines.columnCount(); ++i) {
                    const db::Column& c = lines.column(i);
                    if (i > 0 && c.inKey &&
                        (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt)) {
                        lines.set(i, db::Value(n));
                    } else if (i > 0 && c.inKey) {
                        lines.set(i, Filler::text("L" + std::to_string(n), c.length));
                    } else {
                        lines.set(i, m_fill.value(c, f.type));
                    }
                }
                lines.set(0, db::Value(doc.id));
                if (f.shapeLine) {
                    f.shapeLine(m_activity, doc, table, n, lines);
                }
                lines.post();
                apply(lines);
                ++m_report.lines;
            }
        }
        documentEvent(doc, "I");
        m_written.push_back(std::move(doc));
    }

    void update(const Written& w) {
        db::RecordSet head(m_conn);
        head.open("SELECT * FROM " + w.table + " WHERE " + w.idColumn + " = " + sqlInt(w.id));
        for (int i = 1; i < head.columnCount(); ++i) {
            if (head.column(i).isFixedPoint()) {
                head.set(i, m_fill.value(head.column(i), w.type));
                break;
            }
        }
        head.post();
        apply(head);
        documentEvent(w, "U");
    }

    bool annul(const Written& w) {
        db::RecordSet head(m_conn);
        head.open("SELECT * FROM " + w.table + " WHERE " + w.idColumn + " = " + sqlInt(w.id));
        for (int i = 1; i < head.columnCount(); ++i) {
            const std::string& n = head.column(i).name;
            if (n.size() > 8 && n.compare(n.size() - 8, 8, "_ANULADO") == 0) {
                head.set(i, db::Value("S"));
                head.post();
                apply(head);
                documentEvent(w, "A");
                return true;
            }
        }
        return false;
    }

    void remove(const Written& w) {
        for (const char* table : documentFamily(w.type)->details) {
            if (tableExists(m_conn, table)) {
                db::RecordSet lines(m_conn);
                lines.open(std::string("SELECT * FROM ") + table + " WHERE 1 = 0");
                m_conn.execute(std::string("DELETE FROM ") + table + " WHERE " +
                               lines.column(0).name + " = " + sqlInt(w.id));
            }
        }
        m_conn.execute("DELETE FROM " + w.table + " WHERE " + w.idColumn + " = " + sqlInt(w.id));
        documentEvent(w, documentFamily(w.type)->deleteLetter);
    }

    // The value the filler gives key column i of a master's serial-th row.
    static db::Value keyValue(const db::Column& c, int i, int type, int serial) {
        if (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt ||
            c.type == db::ColumnType::BigInt) {
            return db::Value(serial + 1000 * i);
        }
        const std::string letter(1, static_cast<char>('A' + type % 26));
        std::string text = letter + std::to_string(10000 + serial);
        if (static_cast<int>(text.size()) > c.length) {
            // A short key (a prefix of 4) would lose the serial's last digits
            // and every row would get the same key.
            text = letter + std::to_string(serial);
        }
        return Filler::text(text, c.length);
    }

    // Whether a key value of the serial-th row is already held by a row of
    // rs (after deletions the row count no longer gives a free serial).
    static bool serialTaken(db::RecordSet& rs, int type, int serial) {
        for (rs.first(); !rs.eof(); rs.next()) {
            for (int i = 0; i < rs.columnCount(); ++i) {
                if (rs.column(i).inKey && rs.value(i) == keyValue(rs.column(i), i, type, serial)) {
                    return true;
                }
            }
        }
        return false;
    }

    void writeMaster(const MasterFamily& f) {
        db::RecordSet rs(m_conn);
        rs.open(std::string("SELECT * FROM ") + f.table);
        int serial = rs.rowCount() + 1;
        while (serialTaken(rs, f.type, serial)) {
            ++serial;
        }
        rs.append();
        for (int i = 0; i < rs.columnCount(); ++i) {
            const db::Column& c = rs.column(i);
            rs.set(i, c.inKey ? keyValue(c, i, f.type, serial) : m_fill.value(c, f.type));
        }
        if (f.shape) {
            f.shape(m_activity, rs);
        }
        rs.post();
        apply(rs);
        ++m_report.masters;
        MasterEvent me;
        std::string where;
        for (int i = 0; i < rs.columnCount(); ++i) {
            if (rs.column(i).inKey) {
                const db::Value& v = rs.value(i);
                if (where.empty()) {
                    me.code = v.asText();
                    if (v.kind() == db::Value::Kind::Int) {
                        me.iddoc = v.asInt();
                    }
                }
                where += (where.empty() ? " WHERE " : " AND ") + rs.column(i).name + " = " +
                         Q(v.asText());
            }
        }
        if (f.event) {
            f.event(m_activity, rs, me);
        }
        masterEvent(f, "I", me);
        if (!where.empty()) {
            m_masters.push_back(WrittenMaster{&f, where, me});
        }
    }

    void masterEvent(const MasterFamily& f, const std::string& oper, const MasterEvent& me) {
        EventRow e;
        e.type = f.type;
        e.oper = oper;
        e.iddoc = me.iddoc;
        e.prefix = me.prefix;
        e.number = me.number;
        e.code = me.code;
        e.data = me.data;
        e.prefixDest = me.prefix;
        // Master records are configured under the empty prefix, whatever the
        // event carries.
        event(e, std::string());
    }

    // A change of the record's first column outside its key (or the family's
    // own column), as an operator editing it would make.
    void updateMaster(const WrittenMaster& m) {
        db::RecordSet rs(m_conn);
        rs.open(std::string("SELECT * FROM ") + m.family->table + m.where);
        for (int i = 0; i < rs.columnCount() && !rs.isEmpty(); ++i) {
            const bool changed = m.family->changed ? rs.column(i).name == m.family->changed
                                                   : !rs.column(i).inKey && !rs.column(i).isBlob();
            if (changed) {
                rs.set(i, m_fill.value(rs.column(i), m.family->type));
                rs.post();
                apply(rs);
                break;
            }
        }
        masterEvent(*m.family, "U", m.event);
    }

    void removeMaster(const WrittenMaster& m) {
        m_conn.execute(std::string("DELETE FROM ") + m.family->table + m.where);
        masterEvent(*m.family, "D", m.event);
    }

    db::Connection& m_conn;
    SimulationOptions m_options;
    Filler m_fill;
    std::deque<Written> m_written;
    std::vector<WrittenMaster> m_masters;
    Activity m_activity;
    SimulationReport m_report;
};

}  // namespace

const Written* Activity::pickWritten(const std::vector<int>& types,
                                     const std::function<bool(const Written&)>& accept) {
    std::vector<Written*> candidates;
    for (Written& w : m_written) {
        if (std::find(types.begin(), types.end(), w.type) != types.end() &&
            (!accept || accept(w))) {
            candidates.push_back(&w);
        }
    }
    if (candidates.empty()) {
        return nullptr;
    }
    Written* chosen =
        candidates[static_cast<std::size_t>(pick(static_cast<int>(candidates.size())))];
    chosen->referenced = true;
    return chosen;
}

void writeReference(db::RecordSet& row, const ReferenceColumns& at, const Written* doc) {
    row.set(at.type, db::Value(doc ? doc->type : 0));
    row.set(at.id, db::Value(doc ? doc->id : 0));
    row.set(at.prefix, db::Value(doc ? doc->prefix : std::string()));
    row.set(at.number, db::Value(doc ? doc->number : std::string()));
}

std::vector<int> documentTypes() {
    std::vector<int> out;
    for (const auto& f : documentFamilies()) {
        out.push_back(f.type);
    }
    return out;
}

std::vector<int> masterTypes() {
    std::vector<int> out;
    for (const auto& f : masterFamilies()) {
        out.push_back(f.type);
    }
    return out;
}

std::string prefixFor(int type) {
    const DocumentFamily* f = documentFamily(type);
    if (!f || !f->prefix) {
        return {};
    }
    // Two letters of the table and the type: short, unique, readable ("EN11").
    return std::string(f->header, 2) + std::to_string(type % 100);
}

std::vector<std::string> prefixesFor(int type) {
    std::vector<std::string> out = {prefixFor(type)};
    const DocumentFamily* f = documentFamily(type);
    if (f && f->sourcePrefix) {
        for (const DocumentFamily& other : documentFamilies()) {
            const std::string p = prefixFor(other.type);
            if (!p.empty() && std::find(out.begin(), out.end(), p) == out.end()) {
                out.push_back(p);
            }
        }
    }
    return out;
}

SimulationReport simulate(db::Connection& company, const SimulationOptions& options) {
    if (!company.isOpen()) {
        company.open();
    }
    return Simulator(company, options).run();
}

}  // namespace replica::demo
