// Masters: items and their satellite tables, item classification, brands and
// price discounts (101, 124-129, 1291, 201-205), third parties (102-106, 152),
// accounting setup (100, 111-117, 142) and payroll records (96, 192).
//
// Every master family is written by the generic filler and its event names
// the record by its first key column. A family that needs more gives its row
// in simulator.cpp a `.shape` (RowShape) or an `.event` (MasterEventShape)
// hook defined here.

#include "demo/activity.h"

#include <functional>

#include "demo/simulator.h"
#include "engine/db/query.h"
#include "engine/sql.h"

namespace replica::demo {

namespace {

// One value of the first column of sql's rows, at random; "" when none.
std::string anyOf(Activity& a, const std::string& sql) {
    db::Query q(a.conn());
    q.open(sql);
    if (q.isEmpty()) {
        return {};
    }
    for (int n = a.pick(q.rowCount()); n > 0; --n) {
        q.next();
    }
    return q.asText(0);
}

// The row of sql's result picked at random (its columns, as texts); empty
// when there is none.
std::vector<std::string> anyRowOf(Activity& a, const std::string& sql) {
    db::Query q(a.conn());
    q.open(sql);
    if (q.isEmpty()) {
        return {};
    }
    for (int n = a.pick(q.rowCount()); n > 0; --n) {
        q.next();
    }
    std::vector<std::string> row;
    row.reserve(static_cast<std::size_t>(q.columnCount()));
    for (int i = 0; i < q.columnCount(); ++i) {
        row.push_back(q.asText(i));
    }
    return row;
}

void applyOrThrow(db::RecordSet& rs) {
    std::string failure;
    if (rs.apply(0, [&](const db::Error& e) { failure = e.message(); }) > 0) {
        throw db::Error("the ERP simulator could not write to " + rs.tableName() + ": " + failure);
    }
}

// Rows of a record's numbered table (an item's photos and documents, an
// interface's accounts): the record's key in the first column (named
// keyColumn), 1, 2, ... in the second; nothing when the record has rows
// already. `shape`, when given, finishes each row.
void numberedRows(Activity& a, const std::string& table, const char* keyColumn,
                  const db::Value& key, int count, int type,
                  const std::function<void(db::RecordSet&)>& shape = {}) {
    db::RecordSet rs(a.conn());
    rs.open("SELECT * FROM " + table + " WHERE " + keyColumn + " = " + Q(key.asText()));
    if (!rs.isEmpty()) {
        return;
    }
    for (int n = 1; n <= count; ++n) {
        rs.append();
        for (int i = 2; i < rs.columnCount(); ++i) {
            rs.set(i, a.fill().value(rs.column(i), type));
        }
        rs.set(0, key);
        rs.set(1, db::Value(n));
        if (shape) {
            shape(rs);
        }
        rs.post();
    }
    applyOrThrow(rs);
}

}  // namespace

void itemRow(Activity& activity, db::RecordSet& row) {
    // The item's classification and brand name records that exist.
    const std::vector<std::string> subgroup =
        anyRowOf(activity, "select FAIN_COD, GRIN_COD, SGIN_COD from SUBGRUPO_INVENTARIO");
    if (!subgroup.empty()) {
        row.set("FAIN_COD", db::Value(subgroup[0]));
        row.set("GRIN_COD", db::Value(subgroup[1]));
        row.set("SGIN_COD", db::Value(subgroup[2]));
    }
    const std::vector<std::string> brand =
        anyRowOf(activity, "select MARC_COD, SUBM_COD from SUBMARCA");
    if (!brand.empty()) {
        row.set("MARC_COD", db::Value(brand[0]));
        row.set("ARTI_SUBM", db::Value(brand[1]));
    }
    // Photos and attached documents are saved with the item, under its event.
    const db::Value code(row.editValue(0).asText());
    numberedRows(activity, "FOTOS_ARTICULO", "ARTI_COD", code, activity.pick(3), 101);
    numberedRows(activity, "ARTICULO_DOCUMENTOS", "ARTI_COD", code, activity.pick(2), 101);
}

void itemSatelliteRow(Activity& activity, db::RecordSet& row) {
    const std::string item = anyOf(activity, "select ARTI_COD from ARTICULO");
    if (!item.empty()) {
        row.set("ARTI_COD", db::Value(item));
    }
}

void discountLineRow(Activity& activity, db::RecordSet& row) {
    const std::string plan = anyOf(activity, "select DCTP_ID from DESCUENTOS_PRECIOS");
    if (plan.empty()) {
        return;
    }
    // An item the plan does not list yet; otherwise the generated code stays.
    const std::string item = anyOf(activity,
                                   "select ARTI_COD from ARTICULO where ARTI_COD not in (select "
                                   "ARTI_COD from DESCUENTOS_PRECIOS_DET where DCTP_ID = " +
                                       plan + ")");
    row.set("DCTP_ID", db::Value(static_cast<std::int64_t>(std::stoll(plan))));
    if (!item.empty()) {
        row.set("ARTI_COD", db::Value(item));
    }
}

void groupRow(Activity& activity, db::RecordSet& row) {
    const std::string family = anyOf(activity, "select FAIN_COD from FAMILIA_INVENTARIO");
    if (!family.empty()) {
        row.set("FAIN_COD", db::Value(family));
    }
}

void subgroupRow(Activity& activity, db::RecordSet& row) {
    const std::vector<std::string> group =
        anyRowOf(activity, "select FAIN_COD, GRIN_COD from GRUPO_INVENTARIO");
    if (!group.empty()) {
        row.set("FAIN_COD", db::Value(group[0]));
        row.set("GRIN_COD", db::Value(group[1]));
    }
}

void subBrandRow(Activity& activity, db::RecordSet& row) {
    const std::string brand = anyOf(activity, "select MARC_COD from MARCAS");
    if (!brand.empty()) {
        row.set("MARC_COD", db::Value(brand));
    }
}

void itemCodeEvent(Activity&, const db::RecordSet& row, MasterEvent& event) {
    event.code = row.asText("ARTI_COD");
    event.iddoc = 0;
}

void itemDataEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event) {
    itemCodeEvent(activity, row, event);
    event.data = row.asText(1);  // the unit or the bar code
}

void itemPriceEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event) {
    itemCodeEvent(activity, row, event);
    event.iddoc = row.asInt("LIPR_COD");
}

void discountLineEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event) {
    itemCodeEvent(activity, row, event);
    event.iddoc = row.asInt("DCTP_ID");
}

void joinedCodeEvent(Activity&, const db::RecordSet& row, MasterEvent& event) {
    event.code.clear();
    for (int i = 0; i < row.columnCount() && row.column(i).inKey; ++i) {
        event.code += (i ? "|" : "") + row.asText(i);
    }
}

// Third parties, accounting setup and payroll records.

void interfaceRow(Activity& activity, db::RecordSet& row) {
    numberedRows(activity, row.tableName() + "_CTAS", row.column(0).name.c_str(), row.editValue(0),
                 1 + activity.pick(3), 0, [&activity](db::RecordSet& account) {
                     const std::string code = anyOf(activity, "select CUEN_COD from CUENTAS");
                     if (!code.empty()) {
                         account.set("CUEN_COD", db::Value(code));
                     }
                 });
}

void prefixRow(Activity& activity, db::RecordSet& row) {
    std::vector<int> free;
    for (int type : documentTypes()) {
        const std::string prefix = prefixFor(type);
        db::Query taken(activity.conn());
        taken.open("select count(*) from PREFIJOS where TIDO_COD = " + sqlInt(type) +
                   " and PREF_PRE = " + Q(prefix));
        if (!prefix.empty() && taken.asInt(0) == 0) {
            free.push_back(type);
        }
    }
    if (free.empty()) {
        return;  // the generated key stays
    }
    const int type = free[static_cast<std::size_t>(activity.pick(static_cast<int>(free.size())))];
    row.set("TIDO_COD", db::Value(type));
    row.set("PREF_PRE", db::Value(prefixFor(type)));
}

void prefixEvent(Activity&, const db::RecordSet& row, MasterEvent& event) {
    event.code.clear();
    event.iddoc = row.asInt("TIDO_COD");
    event.prefix = row.asText("PREF_PRE");
}

void branchRow(Activity& activity, db::RecordSet& row) {
    const std::string customer = anyOf(activity, "select TERC_NIT from CLIENTES");
    if (customer.empty()) {
        return;
    }
    for (int n = 1;; ++n) {
        const std::string code = (n < 10 ? "0" : "") + std::to_string(n);
        db::Query taken(activity.conn());
        taken.open("select count(*) from CLIENTE_SUCURSALES where TERC_NIT = " + Q(customer) +
                   " and CLCU_COD = " + Q(code));
        if (taken.asInt(0) == 0) {
            row.set("TERC_NIT", db::Value(customer));
            row.set("CLCU_COD", db::Value(code));
            return;
        }
    }
}

void overtimeRow(Activity& activity, db::RecordSet& row) {
    const std::string employee =
        anyOf(activity, "select TERC_NIT from TERCEROS where TERC_EMPL = 'S'");
    if (!employee.empty()) {
        row.set("TERC_NIT", db::Value(employee));
    }
    db::Query periods(activity.conn());
    periods.open(
        "select coalesce(max(NOEX_PERIODIO), 0) + 1 from NOMINA_HORASEXT where "
        "TERC_NIT = " +
        Q(row.editValue(row.indexOf("TERC_NIT")).asText()) + " and NOEX_ANO = 2026");
    row.set("NOEX_ANO", db::Value(2026));
    row.set("NOEX_PERIODIO", periods.value(0));
    // Each company numbers its overtime from its own sequence; the demo's
    // companies draw from one wide range so that they seldom meet on an id.
    // (A new record keeps the source's id: one the destination gives another
    // record refuses the copy.)
    for (;;) {
        const int id = 1000 + activity.pick(900000);
        db::Query taken(activity.conn());
        taken.open("select count(*) from NOMINA_HORASEXT where NOEX_ID = " + sqlInt(id));
        if (taken.asInt(0) == 0) {
            row.set("NOEX_ID", db::Value(id));
            return;
        }
    }
}

void overtimeEvent(Activity&, const db::RecordSet& row, MasterEvent& event) {
    event.code = row.asText("TERC_NIT");
    event.iddoc = row.asInt("NOEX_ID");
}

}  // namespace replica::demo
