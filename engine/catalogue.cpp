#include "engine/catalogue.h"

#include <stdexcept>

#include "engine/db/query.h"
#include "engine/sql.h"

namespace replica {

namespace {

struct Listed {
    int code;
    const char* record;
    bool downloadOnly;
};

// Every event type code the ERP's catalogue lists, in its order.
constexpr Listed kListed[] = {
    {1, "accounting voucher", false},
    {11, "inventory entry", false},
    {12, "inventory exit", false},
    {13, "transfer between warehouses", false},
    {14, "inventory adjustment", false},
    {15, "kit assembly", false},
    {16, "kit breakdown", false},
    {17, "stock reservation", false},
    {18, "inventory order", false},
    {21, "purchase invoice", false},
    {22, "supplier delivery note", false},
    {24, "purchase return", false},
    {31, "sales invoice", false},
    {32, "sales delivery note", false},
    {33, "sales return", false},
    {34, "customer order", false},
    {35, "quotation", false},
    {41, "customer debit note", false},
    {42, "customer credit note", false},
    {43, "customer payment application", false},
    {45, "customer advance", false},
    {51, "supplier debit note", false},
    {52, "supplier credit note", false},
    {53, "supplier payment application", false},
    {55, "supplier advance", false},
    {61, "cash receipt", false},
    {62, "disbursement", false},
    {63, "document exchange", false},
    {64, "card deposit", false},
    {65, "provisional receipt", false},
    {66, "cash transfer", false},
    {71, "bank deposit", false},
    {72, "cheque", false},
    {73, "bank withdrawal", false},
    {74, "bank debit note", false},
    {75, "bank credit note", false},
    {76, "bank transfer", false},
    {77, "returned cheque", false},
    {81, "loyalty points redemption", false},
    {94, "payroll receivable", false},
    {96, "payroll concept", true},
    {100, "ledger account", false},
    {101, "item", false},
    {102, "third party", false},
    {103, "customer", false},
    {104, "supplier", false},
    {105, "debt collector", false},
    {106, "salesperson", false},
    {111, "accounting interface, banks", false},
    {112, "accounting interface, cash", false},
    {113, "accounting interface, receivables", false},
    {114, "accounting interface, purchases", false},
    {115, "accounting interface, payables", false},
    {116, "accounting interface, inventory", false},
    {117, "accounting interface, sales", false},
    {124, "item units", false},
    {125, "item bar codes", false},
    {126, "item prices", false},
    {127, "item accounting", false},
    {128, "item products", false},
    {129, "price discount", false},
    {142, "document prefixes", false},
    {152, "customer branch", false},
    {192, "payroll overtime", false},
    {193, "payroll novelty", false},
    {201, "item family", false},
    {202, "item group", false},
    {203, "item subgroup", false},
    {204, "brand", false},
    {205, "sub-brand", false},
    {235, "customer loyalty points", false},
    {1291, "price discount lines", false},
};

struct Reference {
    int code;
    const char* table;
    const char* idColumn;
    const char* prefixColumn;
    const char* numberColumn;
};

// The document reference lookup, spelled as the handlers send it.
constexpr Reference kReferences[] = {
    {10, "cambio_costo", "caco_id", "pref_pre", "caco_numero"},
    {11, "entradas", "entr_id", "pref_pre", "entr_numero"},
    {12, "salidas", "sali_id", "pref_pre", "sali_numero"},
    {13, "trasferencias", "tran_id", "pref_pre", "tran_numero"},
    {14, "ajustes", "ajus_id", "pref_pre", "ajus_numero"},
    {15, "ensambles", "ensa_id", "pref_pre", "ensa_numero"},
    {16, "desensambles", "dese_id", "pref_pre", "dese_numero"},
    {17, "reservas", "rese_id", "pref_pre", "rese_numero"},
    {18, "ordenes_inventario", "orin_id", "pref_pre", "orin_numero"},
    {19, "produccion_orden", "pror_id", "pref_pre", "pror_numero"},
    {20, "produccion_entrada_enc", "prde_id", "prde_pref", "prde_numero"},
    {21, "facturas_compra", "faco_id", "pref_pre", "faco_numero"},
    {22, "remision_proveedor", "repr_id", "pref_pre", "repr_numero"},
    {23, "ordenes_compra", "ordc_id", "pref_pre", "ordc_numero"},
    {24, "devoluciones_compras", "dvco_id", "pref_pre", "dvco_numero"},
    {25, "cotizacion_proveedor", "copr_id", "pref_pre", "copr_numero"},
    {27, "plan_produccion", "plpr_id", "plpr_pref", "plpr_numero"},
    {28, "produccion_salida_enc", "prsa_id", "prsa_pref", "prsa_numero"},
    {29, "produccion_devolucion", "prdd_id", "prdd_pref", "prdd_numero"},
    {31, "facturas", "fact_id", "pref_pre", "fact_numero"},
    {32, "remisiones_venta", "revt_id", "pref_pre", "revt_numero"},
    {33, "devoluciones_ventas", "devt_id", "pref_pre", "devt_numero"},
    {34, "pedidos", "pedi_id", "pref_pre", "pedi_numero"},
    {35, "cotizaciones", "coti_id", "pref_pre", "coti_numero"},
    {40, "pendiente_ventas", "pend_id", "pref_pre", "pend_numero"},
    {41, "notas_debito_clientes", "ndcl_id", "pref_pre", "ndcl_numero"},
    {42, "notas_credito_clientes", "nccl_id", "pref_pre", "nccl_numero"},
    {43, "aplicacion_cliente", "apcl_id", "pref_pre", "apcl_numero"},
    {45, "anticipos_cliente", "ancl_id", "pref_pre", "ancl_numero"},
    {50, "factura_profv", "facp_id", "pref_pre", "facp_numero"},
    {51, "notas_debito_proveedor", "ndpr_id", "pref_pre", "ndpr_numero"},
    {52, "notas_credito_proveedor", "ncpr_id", "pref_pre", "ncpr_numero"},
    {53, "aplicacion_provedor", "appr_id", "pref_pre", "appr_numero"},
    {54, "pagos_proveedor", "papr_id", "pref_pre", "papr_numero"},
    {55, "anticipos_proveedor", "anpr_id", "pref_pre", "anpr_numero"},
    {56, "orden_servicio", "orse_id", "pref_pre", "orse_numero"},
    {61, "RECIBOS_CAJA", "reca_id", "pref_pre", "reca_numero"},
    {62, "egresos", "egre_id", "pref_pre", "egre_numero"},
    {63, "cambio_documentos", "cado_id", "pref_pre", "cado_numero"},
    {64, "consigna_tarjetas", "cotj_id", "pref_pre", "cotj_numero"},
    {65, "recibo_provisional", "rcpr_id", "pref_pre", "rcpr_numero"},
    {66, "traslados_caja", "trcj_id", "pref_pre", "trcj_numero"},
    {67, "arqueo_caja", "arqc_id", "pref_pre", "arqc_numero"},
    {71, "consigna", "cons_id", "prba_pref", "cons_numero"},
    {74, "notas_debito", "ndbc_id", "prba_pref", "ndbc_numero"},
    {75, "notas_credito", "ncbc_id", "prba_pref", "ncbc_numero"},
};

}  // namespace

Catalogue Catalogue::listed() {
    Catalogue c;
    for (const Listed& l : kListed) {
        c.m_entries.push_back(CatalogueEntry{l.code, l.record, {}, l.downloadOnly});
    }
    return c;
}

void Catalogue::add(int code, Form form) {
    for (CatalogueEntry& e : m_entries) {
        if (e.code != code) {
            continue;
        }
        for (const Form& f : e.forms) {
            if (f.when == form.when) {
                throw std::logic_error("event type " + std::to_string(code) +
                                       " registered twice under one condition");
            }
        }
        e.forms.push_back(std::move(form));
        return;
    }
    throw std::logic_error("event type " + std::to_string(code) + " is not in the catalogue");
}

void Catalogue::set(int code, Handler download, Handler upload) {
    add(code, Form{inDownload, std::move(download)});
    add(code, Form{inUpload, std::move(upload)});
}

const CatalogueEntry* Catalogue::entry(int code) const {
    for (const CatalogueEntry& e : m_entries) {
        if (e.code == code) {
            return &e;
        }
    }
    return nullptr;
}

Catalogue::Dispatch Catalogue::handlerFor(Phase phase, int code, const RunOptions& options) const {
    const CatalogueEntry* e = entry(code);
    if (!e || phase == Phase::None) {
        return {Route::Default, nullptr};
    }
    if (phase == Phase::Upload && e->downloadOnly) {
        return {Route::Default, nullptr};
    }
    for (const Form& f : e->forms) {
        if (f.handler && (!f.when || f.when(phase, options))) {
            return {Route::Handle, &f.handler};
        }
    }
    return {Route::Unbuilt, nullptr};
}

bool inDownload(Phase phase, const RunOptions&) {
    return phase == Phase::Download;
}

bool inUpload(Phase phase, const RunOptions&) {
    return phase == Phase::Upload;
}

std::string referenceSql(int code, const std::string& prefix, const std::string& number) {
    for (const Reference& r : kReferences) {
        if (r.code == code) {
            return std::string("select ") + r.idColumn + " from " + r.table + " where " +
                   r.prefixColumn + " = " + Q(prefix) + " and " + r.numberColumn + " = " +
                   Q(number);
        }
    }
    return {};
}

std::optional<std::int64_t> referenceId(db::Connection& destination, int code,
                                        const std::string& prefix, const std::string& number) {
    const std::string sql = referenceSql(code, prefix, number);
    if (sql.empty()) {
        return std::nullopt;
    }
    db::Query q(destination);
    q.open(sql);
    if (q.isEmpty() || q.isNull(0)) {
        return std::nullopt;
    }
    return q.asInt(0);
}

}  // namespace replica
