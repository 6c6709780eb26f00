#pragma once
// The ERP's documents and records, as data: every event type code the ERP
// writes into REPLICA_EVENTOS, and every document another document may name
// by type, prefix and number.
//
// This is the one place a document of the ERP is described: its header
// table, id, prefix, number and code columns, id generator view and detail
// tables. The event catalogue lists its codes from here, the document
// reference lookup reads its table and columns here, the ERP simulator
// writes its documents after it, and the tests check that each family's
// texts name these tables. The families keep their own SQL texts spelled
// out in full: this table states facts, it writes no statement.
//
// Names are spelled as the agent's reference lookup sends them: in lower
// case, but for the cash receipts' table, which the ERP's lookup has always
// written RECIBOS_CAJA. Firebird reads them alike; compare them upper-cased.

#include <vector>

namespace replica::erp {

// How the code appears among the events.
enum class Events {
    None,          // not an event type: only named by other documents
    BothPhases,    // downloaded and uploaded
    DownloadOnly,  // uploaded events of the code are completed with nothing sent
};

struct Document {
    int code = 0;                    // RPEV_TIPO, and the ERP's TIDO_COD of a document
    const char* record = nullptr;    // what it is, for logs and screens
    const char* table = nullptr;     // header table (a master record's only table)
    const char* idColumn = nullptr;  // header id; nullptr: a master record found by key
    const char* prefixColumn = nullptr;
    const char* numberColumn = nullptr;
    // The third key column of documents numbered within it (the bank
    // account of a bank document, the voucher type of a voucher).
    const char* codeColumn = nullptr;
    const char* generator = nullptr;  // id generator view of a new header
    std::vector<const char*> details{};
    // Found by the document reference lookup (type, prefix, number -> id).
    bool referenced = false;
    Events events = Events::BothPhases;
};

// Every document and record, in code order.
const std::vector<Document>& documents();
// The row of code; nullptr when the ERP has none.
const Document* document(int code);

// The documents a customer line may settle (invoice, return, debit and
// credit note, advance), and those of a supplier line.
inline const std::vector<int> kCustomerDocuments = {31, 33, 41, 42, 45};
inline const std::vector<int> kSupplierDocuments = {21, 24, 51, 52, 55};

}  // namespace replica::erp
