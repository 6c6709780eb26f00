#include "demo/simulator.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/sql.h"

namespace replica::demo {

namespace {

// A document family as the ERP writes it: header, lines, how its events name it.
struct DocumentFamily {
    int type;
    const char* header;
    const char* prefixColumn;
    const char* numberColumn;
    const char* generator;  // id generator view; nullptr: next id after the largest
    std::vector<const char*> details;
};

// A master record family: one table, the event names it by its first key column.
struct MasterFamily {
    int type;
    const char* table;
};

const std::vector<DocumentFamily>& documentFamilies() {
    static const std::vector<DocumentFamily> k = {
        {1,
         "COMPROBANTE_ENCABEZADO",
         "PRCO_PREF",
         "ENCO_NUMERO",
         "cambie_id_comproba",
         {"COMPROBANTE_DETALLE", "COMPROBANTE_DETALLE_NIIF"}},
        {11, "ENTRADAS", "PREF_PRE", "ENTR_NUMERO", "cambie_id_entrada", {"ENTRADAS_DETALLE"}},
        {12, "SALIDAS", "PREF_PRE", "SALI_NUMERO", "cambie_id_salida", {"SALIDAS_DETALLE"}},
        {13,
         "TRASFERENCIAS",
         "PREF_PRE",
         "TRAN_NUMERO",
         "cambie_id_transfer",
         {"TRASFERENCIAS_DETALLE"}},
        {14, "AJUSTES", "PREF_PRE", "AJUS_NUMERO", "cambie_id_ajusteinv", {"AJUSTES_DETALLE"}},
        {15, "ENSAMBLES", "PREF_PRE", "ENSA_NUMERO", "cambie_id_ensamble", {"ENSAMBLES_DETALLE"}},
        {16,
         "DESENSAMBLES",
         "PREF_PRE",
         "DESE_NUMERO",
         "cambie_id_desensamble",
         {"DESENSAMBLES_DETALLE"}},
        {17, "RESERVAS", "PREF_PRE", "RESE_NUMERO", "cambie_id_reserva", {"RESERVAS_DETALLE"}},
        {18,
         "ORDENES_INVENTARIO",
         "PREF_PRE",
         "ORIN_NUMERO",
         "cambie_id_ordenmcia",
         {"ORDENINVENTARIO_DETALLE"}},
        {21,
         "FACTURAS_COMPRA",
         "PREF_PRE",
         "FACO_NUMERO",
         "cambie_id_compras",
         {"FACTURAS_COMPRAS_DETALLE"}},
        {22,
         "REMISION_PROVEEDOR",
         "PREF_PRE",
         "REPR_NUMERO",
         "cambie_id_remiprov",
         {"REMISION_PROVEEDOR_DET"}},
        {24,
         "DEVOLUCIONES_COMPRAS",
         "PREF_PRE",
         "DVCO_NUMERO",
         "cambie_id_devolprov",
         {"DEVOLUCIONES_COMPRAS_DET"}},
        {31,
         "FACTURAS",
         "PREF_PRE",
         "FACT_NUMERO",
         "cambie_id_factura",
         {"FACTURAS_DETALLE", "FACTURAS_CONTADO_PAGO"}},
        {32,
         "REMISIONES_VENTA",
         "PREF_PRE",
         "REVT_NUMERO",
         "cambie_id_remiclie",
         {"REMISIONES_VENTA_DETALLE"}},
        {33,
         "DEVOLUCIONES_VENTAS",
         "PREF_PRE",
         "DEVT_NUMERO",
         "cambie_id_devolclie",
         {"DEVOLUCIONES_VENTAS_DETALLE"}},
        {34, "PEDIDOS", "PREF_PRE", "PEDI_NUMERO", "cambie_id_pedido", {"PEDIDOS_DETALLE"}},
        {35,
         "COTIZACIONES",
         "PREF_PRE",
         "COTI_NUMERO",
         "cambie_id_cotizaci",
         {"COTIZACIONES_DETALLE"}},
        {41, "NOTAS_DEBITO_CLIENTES", "PREF_PRE", "NDCL_NUMERO", "cambie_id_notadbclie", {}},
        {42, "NOTAS_CREDITO_CLIENTES", "PREF_PRE", "NCCL_NUMERO", "cambie_id_notadbclie", {}},
        {43,
         "APLICACION_CLIENTE",
         "PREF_PRE",
         "APCL_NUMERO",
         "cambie_id_apliclie",
         {"APLICACION_CLIENTE_DETALLE"}},
        {45, "ANTICIPOS_CLIENTE", "PREF_PRE", "ANCL_NUMERO", "cambie_id_anticlie", {}},
        {51, "NOTAS_DEBITO_PROVEEDOR", "PREF_PRE", "NDPR_NUMERO", "cambie_id_notadbprov", {}},
        {52, "NOTAS_CREDITO_PROVEEDOR", "PREF_PRE", "NCPR_NUMERO", "cambie_id_notacrprov", {}},
        {53,
         "APLICACION_PROVEDOR",
         "PREF_PRE",
         "APPR_NUMERO",
         "cambie_id_apliprov",
         {"APLICACION_PROVEEDOR_DETALLE"}},
        {55, "ANTICIPOS_PROVEEDOR", "PREF_PRE", "ANPR_NUMERO", "cambie_id_antiprov", {}},
        {61,
         "RECIBOS_CAJA",
         "PREF_PRE",
         "RECA_NUMERO",
         "cambie_id_recicaja",
         {"RECIBOS_CAJA_DETALLE", "RECIBOS_CAJA_CRUCEC", "RECIBOS_CAJA_PAGO"}},
        {62,
         "EGRESOS",
         "PREF_PRE",
         "EGRE_NUMERO",
         "cambie_id_egreso",
         {"EGRESOS_DETALLE", "EGRESOS_CRUCEC", "EGRESOS_CAJA", "EGRESOS_BANCO",
          "EGRESOS_CONTABILIDAD"}},
        {63,
         "CAMBIO_DOCUMENTOS",
         "PREF_PRE",
         "CADO_NUMERO",
         "cambie_id_cambdocu",
         {"CAMBIODOC_ENTRADAS", "CAMBIODOC_SALIDAS"}},
        {64,
         "CONSIGNA_TARJETAS",
         "PREF_PRE",
         "COTJ_NUMERO",
         "cambie_id_consignatar",
         {"CONSIGNA_TARJETAS_DET"}},
        {65,
         "RECIBO_PROVISIONAL",
         "PREF_PRE",
         "RCPR_NUMERO",
         "cambie_id_reciprov",
         {"RECIBO_PROVISIONAL_DETALLE", "RECIBO_PROVISIONAL_PAGO"}},
        {66,
         "TRASLADOS_CAJA",
         "PREF_PRE",
         "TRCJ_NUMERO",
         "cambie_id_traslacaja",
         {"TRASLADOS_CAJA_DET"}},
        {71, "CONSIGNA", "PRBA_PREF", "CONS_NUMERO", "cambie_id_consigna", {"CONSIGNA_DETALLE"}},
        {72, "CHEQUES", "PRBA_PREF", "CHEQ_NUMERO", "cambie_id_cheque", {}},
        {73, "RETIROS", "PRBA_PREF", "RETI_NUMERO", "cambie_id_retiro", {}},
        {74, "NOTAS_DEBITO", "PRBA_PREF", "NDBC_NUMERO", "cambie_id_nota_db_banco", {}},
        {75, "NOTAS_CREDITO", "PRBA_PREF", "NCBC_NUMERO", "cambie_id_nota_cr_banco", {}},
        {76, "TRASLADOS", "PRBA_PREF", "TRAS_NUMERO", "cambie_id_traslado", {}},
        {77, "DEVOLUCION_CHEQUES", "PRBA_PREF", "DVCH_NUMDOC", "cambie_id_dev_cheques", {}},
        {81, "PUNTOS_REDENCION", "PREF_PRE", "PTRE_NUMERO", "cambie_id_rediptos", {}},
        {94, "NOMINA_CARTERA", nullptr, nullptr, nullptr, {"NOMINA_CARTERA_DETALLE"}},
        {193,
         "NOMINA_NOVEDADES",
         nullptr,
         nullptr,
         "cambie_id_novedad",
         {"NOMINA_NOVEDADES_DETALLE"}},
    };
    return k;
}

const std::vector<MasterFamily>& masterFamilies() {
    static const std::vector<MasterFamily> k = {
        {96, "CONCEPTOS_NOMINA"},
        {100, "CUENTAS"},
        {101, "ARTICULO"},
        {102, "TERCEROS"},
        {103, "CLIENTES"},
        {104, "PROVEEDORES"},
        {105, "COBRADORES"},
        {106, "VENDEDORES"},
        {111, "INTERFAZ_BANCOS"},
        {112, "INTERFAZ_CAJA"},
        {113, "INTERFAZ_CARTERA"},
        {114, "INTERFAZ_COMPRAS"},
        {115, "INTERFAZ_CXPAGAR"},
        {116, "INTERFAZ_INVENTARIO"},
        {117, "INTERFAZ_VENTAS"},
        {124, "UNIDAD_ARTICULO"},
        {125, "BARRAS_ARTICULO"},
        {126, "PRECIOS_ARTICULO"},
        {127, "CONTABIL_ARTICULO"},
        {128, "ARTICULOS_PRODUCTO"},
        {129, "DESCUENTOS_PRECIOS"},
        {142, "PREFIJOS"},
        {152, "CLIENTE_SUCURSALES"},
        {192, "NOMINA_HORASEXT"},
        {201, "FAMILIA_INVENTARIO"},
        {202, "GRUPO_INVENTARIO"},
        {203, "SUBGRUPO_INVENTARIO"},
        {204, "MARCAS"},
        {205, "SUBMARCA"},
        {235, "PUNTOS_CLIENTE"},
        {1291, "DESCUENTOS_PRECIOS_DET"},
    };
    return k;
}

const char* const kWords[] = {"bodega", "norte", "café",  "azúcar", "tornillo", "cliente",
                              "pago",   "mayo",  "señal", "lote",   "revisión", "caja"};
const char* const kNits[] = {"800100200", "900123456", "860000111", "71234567", "43210987"};
const char* const kItems[] = {"A001", "A002", "B010", "C100", "D200", "E300"};

class Filler {
  public:
    Filler(db::Connection& conn, unsigned seed) : m_conn(conn), m_rng(seed) {}

    int pick(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }

    // A value for one column, from its name and type.
    db::Value value(const db::Column& c, int type) {
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
                return db::Value(db::Timestamp{db::Date{2026, 1 + pick(12), 1 + pick(28)},
                                               db::Time{9, 0, 0, 0}});
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

    std::string word() { return kWords[pick(12)]; }

    static db::Value text(const std::string& s, int length) {
        // Cut by characters, never inside a UTF-8 sequence.
        std::string out;
        int chars = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const unsigned char ch = static_cast<unsigned char>(s[i]);
            if ((ch & 0xC0) != 0x80) {
                if (chars == length) {
                    break;
                }
                ++chars;
            }
            out += s[i];
        }
        return db::Value(out);
    }

    db::Connection& conn() { return m_conn; }

  private:
    db::Connection& m_conn;
    std::mt19937 m_rng;
};

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

struct Written {
    const DocumentFamily* family;
    std::int64_t id;
    std::string prefix;
    std::string number;
    std::string idColumn;
};

class Simulator {
  public:
    Simulator(db::Connection& conn, const SimulationOptions& o)
        : m_conn(conn), m_options(o), m_fill(conn, o.seed) {}

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
        int u = m_options.updates, a = m_options.annulments, d = m_options.deletions;
        for (std::size_t i = 0; i < m_written.size() && (u > 0 || a > 0 || d > 0); ++i) {
            Written& w = m_written[i];
            if (u > 0) {
                update(w);
                --u;
            } else if (a > 0) {
                if (annul(w)) {
                    --a;
                }
            } else {
                remove(w);
                --d;
            }
        }
        return m_report;
    }

  private:
    bool wanted(int type) const {
        return m_options.types.empty() || std::find(m_options.types.begin(), m_options.types.end(),
                                                    type) != m_options.types.end();
    }

    void event(int type, const std::string& oper, std::int64_t iddoc, const std::string& prefix,
               const std::string& number, const std::string& code) {
        if (!m_options.writeEvents) {
            return;
        }
        for (const std::string& company : destinations(m_conn, type, prefix)) {
            m_conn.execute(
                "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, RPEV_PREF, "
                "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER, RPEV_PREFDEST) "
                "VALUES (" +
                Q(company) + ", " + sqlInt(type) + ", " +
                (iddoc ? sqlInt(iddoc) : std::string("NULL")) + ", " + Q(prefix) + ", " +
                Q(number) + ", " + (code.empty() ? std::string("NULL") : Q(code)) + ", " +
                Q(sqlDate(today())) + ", " + Q(sqlTime(now())) + ", " + Q(oper) + ", " + Q(prefix) +
                ")");
            ++m_report.events;
        }
    }

    void apply(db::RecordSet& rs) {
        std::string failure;
        if (rs.apply(0, [&](const db::Error& e) { failure = e.message(); }) > 0) {
            throw db::Error("the ERP simulator could not write to " + rs.tableName() + ": " +
                            failure);
        }
    }

    void writeDocument(const DocumentFamily& f) {
        db::RecordSet head(m_conn);
        head.open(std::string("SELECT * FROM ") + f.header + " WHERE 1 = 0");
        const std::string idColumn = head.column(0).name;
        const std::int64_t id = nextId(m_conn, f.generator, f.header, idColumn);
        const std::string prefix = f.prefixColumn ? prefixFor(f.type) : std::string();
        const std::string number = f.numberColumn ? std::to_string(1000 + id) : std::string();
        head.append();
        for (int i = 0; i < head.columnCount(); ++i) {
            head.set(i, m_fill.value(head.column(i), f.type));
        }
        head.set(0, db::Value(id));
        if (f.prefixColumn) {
            head.set(f.prefixColumn, db::Value(prefix));
        }
        if (f.numberColumn) {
            head.set(f.numberColumn, db::Value(number));
        }
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
                lines.set(0, db::Value(id));
                lines.post();
                apply(lines);
                ++m_report.lines;
            }
        }
        event(f.type, "I", id, prefix, number, {});
        m_written.push_back(Written{&f, id, prefix, number, idColumn});
    }

    void update(const Written& w) {
        db::RecordSet head(m_conn);
        head.open(std::string("SELECT * FROM ") + w.family->header + " WHERE " + w.idColumn +
                  " = " + sqlInt(w.id));
        for (int i = 1; i < head.columnCount(); ++i) {
            if (head.column(i).isFixedPoint()) {
                head.set(i, m_fill.value(head.column(i), w.family->type));
                break;
            }
        }
        head.post();
        apply(head);
        event(w.family->type, "U", w.id, w.prefix, w.number, {});
    }

    bool annul(const Written& w) {
        db::RecordSet head(m_conn);
        head.open(std::string("SELECT * FROM ") + w.family->header + " WHERE " + w.idColumn +
                  " = " + sqlInt(w.id));
        for (int i = 1; i < head.columnCount(); ++i) {
            const std::string& n = head.column(i).name;
            if (n.size() > 8 && n.compare(n.size() - 8, 8, "_ANULADO") == 0) {
                head.set(i, db::Value("S"));
                head.post();
                apply(head);
                event(w.family->type, "A", w.id, w.prefix, w.number, {});
                return true;
            }
        }
        return false;
    }

    void remove(const Written& w) {
        for (const char* table : w.family->details) {
            if (tableExists(m_conn, table)) {
                db::RecordSet lines(m_conn);
                lines.open(std::string("SELECT * FROM ") + table + " WHERE 1 = 0");
                m_conn.execute(std::string("DELETE FROM ") + table + " WHERE " +
                               lines.column(0).name + " = " + sqlInt(w.id));
            }
        }
        m_conn.execute(std::string("DELETE FROM ") + w.family->header + " WHERE " + w.idColumn +
                       " = " + sqlInt(w.id));
        event(w.family->type, "D", w.id, w.prefix, w.number, {});
    }

    void writeMaster(const MasterFamily& f) {
        db::RecordSet rs(m_conn);
        rs.open(std::string("SELECT * FROM ") + f.table);
        const int serial = rs.rowCount() + 1;
        rs.append();
        std::string code;
        std::int64_t iddoc = 0;
        for (int i = 0; i < rs.columnCount(); ++i) {
            const db::Column& c = rs.column(i);
            db::Value v;
            if (c.inKey &&
                (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt ||
                 c.type == db::ColumnType::BigInt)) {
                v = db::Value(serial + 1000 * i);
            } else if (c.inKey) {
                v = Filler::text(std::string(1, static_cast<char>('A' + f.type % 26)) +
                                     std::to_string(10000 + serial),
                                 c.length);
            } else {
                v = m_fill.value(c, f.type);
            }
            if (c.inKey && code.empty()) {
                code = v.asText();
                if (v.kind() == db::Value::Kind::Int) {
                    iddoc = v.asInt();
                }
            }
            rs.set(i, v);
        }
        rs.post();
        apply(rs);
        ++m_report.masters;
        event(f.type, "I", iddoc, "", "", code);
    }

    db::Connection& m_conn;
    SimulationOptions m_options;
    Filler m_fill;
    SimulationReport m_report;
    std::vector<Written> m_written;
};

}  // namespace

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
    for (const auto& f : documentFamilies()) {
        if (f.type == type) {
            // Two letters of the table and the type: short, unique, readable ("EN11").
            return std::string(f.header, 2) + std::to_string(type % 100);
        }
    }
    return {};
}

SimulationReport simulate(db::Connection& company, const SimulationOptions& options) {
    if (!company.isOpen()) {
        company.open();
    }
    return Simulator(company, options).run();
}

}  // namespace replica::demo
