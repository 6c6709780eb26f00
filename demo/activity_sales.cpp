// Sales: invoices, delivery notes, returns, orders, quotations, loyalty
// points.

#include "demo/activity.h"

#include "engine/db/query.h"
#include "engine/sql.h"

namespace replica::demo {

namespace {

db::Value money(std::int64_t cents) {
    return db::Value(db::Decimal{cents, -2});
}

// A quantity in whole or half units, as a 4-decimal value.
db::Value quantity(std::int64_t tenThousandths) {
    return db::Value(db::Decimal{tenThousandths, -4});
}

}  // namespace

// A sales return names the invoice it gives back (prefix and number as one
// text, the number being the invoice's 8 digits, and its id) and, when the
// money was paid back, the disbursement that did it.
void salesReturnHeader(Activity& activity, const Written&, db::RecordSet& header) {
    const Written* invoice = activity.pickWritten({31});
    header.set("DEVT_FACTURA", db::Value(invoice ? invoice->prefix + invoice->number : ""));
    header.set("DEVT_FACTID", db::Value(invoice ? invoice->id : 0));
    const Written* refund = activity.pick(2) == 0 ? activity.pickWritten({62}) : nullptr;
    header.set("DEVT_IDEGRE", db::Value(refund ? refund->id : 0));
}

// Invoice lines sell whole or half units of an item at a unit price, nothing
// returned yet; now and then a later line takes back the first one (the same
// item, quantity and unit, negative), as a cashier correcting a sale does,
// and the lines it takes back are marked returned. Payment lines pay a
// positive amount.
void salesInvoiceLine(Activity& activity, const Written& doc, const std::string& table, int line,
                      db::RecordSet& row) {
    if (table == "FACTURAS_CONTADO_PAGO") {
        row.set("FCNT_VALOR", money(100000 + activity.pick(5000000)));
        return;
    }
    if (table != "FACTURAS_DETALLE") {
        return;
    }
    row.set("FADE_DEVUELTO", quantity(0));
    row.set("FADE_ANULADO", db::Value("N"));
    if (line > 1 && activity.pick(3) == 0) {
        db::Query first(activity.conn());
        first.open(
            "select ARTI_COD, FADE_UNIDAD, FADE_FACTOR, FADE_CANT, FADE_PRUNIT, FADE_TOTAL from "
            "FACTURAS_DETALLE where FACT_ID = " +
            sqlInt(doc.id) + " and FADE_ITEM = 1");
        if (!first.isEmpty()) {
            row.set("ARTI_COD", first.value(0));
            row.set("FADE_UNIDAD", first.value(1));
            row.set("FADE_FACTOR", first.value(2));
            row.set("FADE_CANT", quantity(-first.value(3).asCurrency().raw()));
            row.set("FADE_PRUNIT", first.value(4));
            row.set("FADE_TOTAL", money(-first.value(5).asCurrency().raw() / 100));
            activity.conn().execute(
                "update FACTURAS_DETALLE set FADE_DEVUELTO = FADE_CANT * FADE_FACTOR where "
                "FACT_ID = " +
                sqlInt(doc.id) + " and ARTI_COD = " + Q(first.asText(0)) +
                " and FADE_CANT = " + sqlDecimal(first.value(3).asCurrency()) +
                " and FADE_UNIDAD = " + Q(first.asText(1)));
            return;
        }
    }
    const std::int64_t halves = 1 + activity.pick(20);  // 0.5 to 10 units
    const std::int64_t priceCents = 500 + activity.pick(200000);
    row.set("FADE_UNIDAD", db::Value(activity.pick(4) == 0 ? "CJA" : "UND"));
    row.set("FADE_FACTOR", quantity(10000));
    row.set("FADE_CANT", quantity(halves * 5000));
    row.set("FADE_PRUNIT", db::Value(db::Decimal{priceCents * 100, -4}));
    row.set("FADE_TOTAL", money(halves * priceCents / 2));
}

// A points record of a sales invoice, a return or a redemption this company
// holds and has no record of yet: earned (invoices), given back (returns) or
// spent (redemptions), one point per 1000 of the document's amount. Its id is
// drawn from a wide range, as ids of records made by different companies
// rarely meet.
void pointsRecordRow(Activity& activity, db::RecordSet& row) {
    struct Document {
        int type;
        const char* select;  // id, prefix, number, customer, date, amount
        const char* number;
        int sign;
    };
    static const Document kDocuments[] = {
        {31,
         "select FACT_ID, PREF_PRE, FACT_NUMERO, TERC_NIT, FACT_FECHA, FACT_TOTAL from FACTURAS",
         "FACT_NUMERO", 1},
        {33,
         "select DEVT_ID, PREF_PRE, DEVT_NUMERO, TERC_NIT, DEVT_FECHA, DEVT_TOTAL from "
         "DEVOLUCIONES_VENTAS",
         "DEVT_NUMERO", -1},
        {81,
         "select PTRE_ID, PREF_PRE, PTRE_NUMERO, TERC_NIT, PTRE_FECHA, PTRE_VALOR from "
         "PUNTOS_REDENCION",
         "PTRE_NUMERO", -1},
    };
    const int first = activity.pick(3);
    for (int k = 0; k < 3; ++k) {
        const Document& d = kDocuments[(first + k) % 3];
        db::Query docs(activity.conn());
        docs.open(std::string(d.select) +
                  " d where not exists (select 1 from PUNTOS_CLIENTE p where p.PTCL_TIPODOC = " +
                  sqlInt(d.type) + " and p.PTCL_PREF = d.PREF_PRE and p.PTCL_NUMERO = d." +
                  d.number + ") order by 1");
        if (docs.isEmpty()) {
            continue;
        }
        for (int n = activity.pick(docs.rowCount()); n > 0; --n) {
            docs.next();
        }
        const db::Currency amount = docs.value(5).asCurrency();
        row.set("PTCL_TIPODOC", db::Value(d.type));
        row.set("PTCL_PREF", docs.value(1));
        row.set("PTCL_NUMERO", docs.value(2));
        row.set("PTCL_IDDOC", docs.value(0));
        row.set("TERC_NIT", docs.value(3));
        row.set("PTCL_FECHA", docs.value(4));
        row.set("PTCL_BASE", db::Value(amount));
        row.set("PTCL_VALORPUNTO", money(100000));
        row.set("PTCL_PUNTOS", money(d.sign * (amount.raw() / 10000000) * 100));
        row.set("PTCL_ESTADO", db::Value("A"));
        break;
    }
    for (;;) {
        const std::int64_t id = 100000 + activity.pick(900000);
        db::Query taken(activity.conn());
        taken.open("select count(*) from PUNTOS_CLIENTE where PTCL_ID = " + sqlInt(id));
        if (taken.asInt(0) == 0) {
            row.set("PTCL_ID", db::Value(id));
            return;
        }
    }
}

// A points record's events carry the document's type in RPEV_CODIGO and its
// prefix and number; RPEV_IDDOC is the record's own id.
void pointsRecordEvent(Activity&, const db::RecordSet& row, MasterEvent& event) {
    event.code = row.asText("PTCL_TIPODOC");
    event.prefix = row.asText("PTCL_PREF");
    event.number = row.asText("PTCL_NUMERO");
    event.iddoc = row.value("PTCL_ID").asInt();
}

}  // namespace replica::demo
