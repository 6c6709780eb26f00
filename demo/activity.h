#pragma once
// How the ERP activity simulator shapes a family's rows beyond the generic
// filler. Each family of the simulator is one row of data (tables, columns,
// generator) plus optional hooks declared here:
//
//   - a header hook: runs on the header row being inserted, after the filler
//     and the id, prefix and number have been set, before its post;
//   - a line hook: runs on every detail row being inserted, after the filler,
//     the header id and the line key have been set, before its post;
//   - for master records, a row hook (the same moment as the header hook)
//     and an event hook that decides what the record's event carries.
//
// Hooks see an Activity: the random picker, the filler, the connection and
// the documents written so far in this simulation, so that a document can
// point at one that really exists. A hook draws its chances from the
// activity's picker only, which keeps a run the same for the same seed.
//
// The hooks of one group of families live in one source file
// (activity_accounts.cpp, activity_purchases.cpp, activity_sales.cpp,
// activity_treasury.cpp, activity_masters.cpp). Adding a hook is one
// function there, its declaration below in the group's section, and one
// field in the family's row of simulator.cpp.

#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "engine/db/recordset.h"
#include "erp/documents.h"

namespace replica::demo {

// A value for a column from its name and type, from the run's one random
// sequence.
class Filler {
  public:
    explicit Filler(unsigned seed) : m_rng(seed) {}

    // 0 .. n-1.
    int pick(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    // A value for the column; `type` is the family's event type (written into
    // an integer TIDO_COD).
    db::Value value(const db::Column& c, int type);
    std::string word();
    // s cut to `length` characters, never inside a UTF-8 sequence.
    static db::Value text(const std::string& s, int length);

  private:
    std::mt19937 m_rng;
};

// A document this simulation wrote.
struct Written {
    int type = 0;  // event type code (RPEV_TIPO)
    std::int64_t id = 0;
    std::string prefix;  // empty for families without one
    std::string number;  // empty for families without one
    std::string code;    // RPEV_CODIGO of its events (the voucher type of a voucher)
    std::string nit;     // TERC_NIT of its header, empty when it has none
    std::string table;   // header table
    std::string idColumn;
    bool referenced = false;  // another document points at it: it is never deleted
};

// The document types that the customer and the supplier side settle
// (applications, cash receipt and disbursement lines, payroll receivables).
using erp::kCustomerDocuments;
using erp::kSupplierDocuments;

class Activity {
  public:
    Activity(db::Connection& conn, Filler& fill, std::deque<Written>& written)
        : m_conn(conn), m_fill(fill), m_written(written) {}

    int pick(int n) { return m_fill.pick(n); }
    Filler& fill() { return m_fill; }
    db::Connection& conn() { return m_conn; }
    // In the order they were written; the current document is not among them.
    const std::deque<Written>& written() const { return m_written; }

    // One of the documents written so far whose type is among `types` and
    // that `accept` takes (empty: any), chosen at random; nullptr when none.
    // The document chosen counts as referenced from then on.
    const Written* pickWritten(const std::vector<int>& types,
                               const std::function<bool(const Written&)>& accept = {});

  private:
    db::Connection& m_conn;
    Filler& m_fill;
    std::deque<Written>& m_written;
};

// Where a row names another document: its type code, id, prefix and number
// columns.
struct ReferenceColumns {
    const char* type;
    const char* id;
    const char* prefix;
    const char* number;
};

// Writes `doc` into those columns; without a document (nullptr) the row
// names none: type 0, id 0, empty prefix and number. Never null, since the
// receiving side reads the type and id as integers.
void writeReference(db::RecordSet& row, const ReferenceColumns& at, const Written* doc);

// doc: the document as it will be recorded (after the hook its prefix and
// number are read back from the row).
using HeaderShape = void (*)(Activity& activity, const Written& doc, db::RecordSet& header);
// table: the detail table; line: 1, 2, ... within that table.
using LineShape = void (*)(Activity& activity, const Written& doc, const std::string& table,
                           int line, db::RecordSet& row);
using RowShape = void (*)(Activity& activity, db::RecordSet& row);

// What the event of a master record carries.
struct MasterEvent {
    std::string code;        // RPEV_CODIGO
    std::string data;        // RPEV_DATOS; empty: NULL
    std::int64_t iddoc = 0;  // RPEV_IDDOC; 0: NULL
    std::string prefix;      // RPEV_PREF
    std::string number;      // RPEV_NUMERO
};
// row: the record as posted (its current row). `event` arrives with the
// default: the first key column as code, and as id when it is an integer.
using MasterEventShape = void (*)(Activity& activity, const db::RecordSet& row, MasterEvent& event);

// Accounts: vouchers, customer and supplier notes, applications and
// advances, payroll receivables (activity_accounts.cpp).
void voucherHeader(Activity& activity, const Written& doc, db::RecordSet& header);
void applicationLine(Activity& activity, const Written& doc, const std::string& table, int line,
                     db::RecordSet& row);
void customerAdvanceHeader(Activity& activity, const Written& doc, db::RecordSet& header);
void supplierAdvanceHeader(Activity& activity, const Written& doc, db::RecordSet& header);
void payrollReceivableLine(Activity& activity, const Written& doc, const std::string& table,
                           int line, db::RecordSet& row);

// Purchases (activity_purchases.cpp).
void purchaseReturnHeader(Activity& activity, const Written& doc, db::RecordSet& header);

// Sales and loyalty points (activity_sales.cpp).
void salesReturnHeader(Activity& activity, const Written& doc, db::RecordSet& header);
void salesInvoiceLine(Activity& activity, const Written& doc, const std::string& table, int line,
                      db::RecordSet& row);
void pointsRecordRow(Activity& activity, db::RecordSet& row);
void pointsRecordEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);

// Treasury: cash and bank documents (activity_treasury.cpp).
void cashReceiptLine(Activity& activity, const Written& doc, const std::string& table, int line,
                     db::RecordSet& row);
void disbursementLine(Activity& activity, const Written& doc, const std::string& table, int line,
                      db::RecordSet& row);

// Masters: items, third parties, accounting setup, payroll records
// (activity_masters.cpp).
// An item classified under a subgroup and a sub-brand that exist, saved with
// 0 to 2 photos and 0 or 1 attached documents.
void itemRow(Activity& activity, db::RecordSet& row);
// Units, bar codes, prices, accounting setup and components of an item that
// exists.
void itemSatelliteRow(Activity& activity, db::RecordSet& row);
// A discount line of a plan that exists, for an item it does not list yet.
void discountLineRow(Activity& activity, db::RecordSet& row);
// A group of a family, a subgroup of a group, a sub-brand of a brand that
// exist.
void groupRow(Activity& activity, db::RecordSet& row);
void subgroupRow(Activity& activity, db::RecordSet& row);
void subBrandRow(Activity& activity, db::RecordSet& row);
// The item code as RPEV_CODIGO (accounting setup, components); with the unit
// or bar code as RPEV_DATOS; with the price list, or the discount plan, as
// RPEV_IDDOC.
void itemCodeEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);
void itemDataEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);
void itemPriceEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);
void discountLineEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);
// The key columns joined with "|" (group, subgroup, sub-brand).
void joinedCodeEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);
// An accounting interface saved with 1 to 3 account rows (its table with
// "_CTAS" appended), posting to accounts of the chart.
void interfaceRow(Activity& activity, db::RecordSet& row);
// The prefix of a demo document type that has none yet; its event carries
// the type in RPEV_IDDOC and the prefix in RPEV_PREF.
void prefixRow(Activity& activity, db::RecordSet& row);
void prefixEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);
// A branch of a customer that exists, coded "01" (its main address), "02",
// ... in the order they are added.
void branchRow(Activity& activity, db::RecordSet& row);
// Overtime of an employee in a period of 2026 not yet recorded for them; its
// event carries the employee in RPEV_CODIGO and the record's id.
void overtimeRow(Activity& activity, db::RecordSet& row);
void overtimeEvent(Activity& activity, const db::RecordSet& row, MasterEvent& event);

}  // namespace replica::demo
