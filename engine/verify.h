#pragma once
// The comparison of two company databases: for each document family copied
// as itself, which documents one holds and the other does not, and which
// hold other lines. Read-only; the only write is requeue(), which records
// new events as the ERP would so that the next run copies them again.
//
// A document is found as its copy finds it: by prefix and number (and the
// code column of documents numbered within one). What the copy changes by
// design is left out of the comparison: the header's id and every column
// the copy fills from the destination (its generator, NUMOK), and in the
// lines the header id. What is compared of a document is what the copy
// keeps: its number of lines per detail table and the sums of the lines'
// fixed-point columns (quantities, prices, values) at four decimals.
//
// Each table is read once per database: the headers in one SELECT, each
// detail table in one aggregate per document computed by the database.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/db/connection.h"
#include "engine/documentcopy.h"
#include "engine/keyedcopy.h"
#include "erp/documents.h"

namespace replica {

// A family the comparison can judge: a document copied by position whose
// header the copy stores under the source's prefix and number.
struct ComparedFamily {
    int type = 0;
    const erp::Document* document = nullptr;
    // Detail tables the copy skips or writes only in some cases (lines a
    // receiving company does not want): not compared.
    std::vector<std::string> spared{};
    Letters deleteLetters = kDeleteLetters;
    // The table also holds copies of other kinds of document stored through
    // a column map, numbered apart: a document only one side holds may be
    // one of them, so it is never called extra, and a number held twice in
    // one database is not compared.
    bool sharedTable = false;
};

// The families of rows that verify compares, one per type, in row order.
// A mapped copy (stored as another kind of document), one whose header
// hooks rewrite header columns after the fill (a prefix, a concept) and the
// types with several forms (chosen by the receiving company's settings)
// are left out.
std::vector<ComparedFamily> comparedFamilies(const std::vector<const DocumentFamily*>& rows);

enum class Finding { Missing, Extra, Different };
// The finding as the reports name it: "falta", "sobra", "distinto".
const char* findingText(Finding f);
// The database a finding is about: the one that lacks the document, holds
// the extra one or holds the copy that differs from what was sent.
enum class Side { Source, Destination };

struct Discrepancy {
    int type = 0;
    Finding finding = Finding::Missing;
    Side at = Side::Destination;
    std::string prefix, number, code;
    // Id of the document in the other database (the one that sent it; for
    // an extra one, in the database that holds it): what a requeued event
    // names.
    std::int64_t id = 0;
    std::string what;  // a different document: the tables and sums that differ
    // A master record: its key as the reports show it ("MARC_COD=B1"), and
    // the event fields that name it (code, id and prefix above, data here).
    std::string key{};
    std::string data{};
};

struct FamilyTally {
    int type = 0;
    const char* record = nullptr;
    std::int64_t equal = 0, missing = 0, extra = 0, different = 0;
};

// The documents of a period, by the date of their header (the header
// table's first date column named FECHA, as the database describes it):
// ISO dates, either end open when "". A family whose header has no such
// column is compared whole.
struct Period {
    std::string since{}, until{};
    bool open() const { return since.empty() && until.empty(); }
};
// Whether text is a date as a Period takes it (YYYY-MM-DD).
bool isIsoDate(const std::string& text);

// One pair: documents of source that destination should hold.
struct PairReport {
    std::string source{};  // company codes
    std::string destination{};
    Period period{};  // what is compared: set before compare()
    // The destination sends its own documents to the source (the download
    // source): a document only the destination holds may be missing in the
    // source, and a different one be copied from the destination.
    bool destinationSendsBack = false;
    std::vector<FamilyTally> families{};
    std::vector<Discrepancy> discrepancies{};

    bool agrees() const { return discrepancies.empty(); }
};

// The SQL texts, as sent: the headers of a document, and the lines of one
// detail table summed per header id (first column of the table).
std::string headerListSql(const erp::Document& document);
// The same within period, by dateColumn ("" or an open period: every one).
std::string headerListSql(const erp::Document& document, const std::string& dateColumn,
                          const Period& period);
// The date column a period is read by, of table: "" when it has none.
std::string dateColumnSql(const std::string& table);
std::string lineSummarySql(const std::string& table, const std::string& headerColumn,
                           const std::vector<std::string>& fixedPointColumns);
// The columns of table (upper case), in order, with their scale.
std::string tableColumnsSql(const std::string& table);

// The documents (type, prefix, number) a database has ever sent another,
// by its events for it (pending or done, read in their order): the documents the other should
// hold, since a company also holds what it received from others and does
// not pass on, and its own documents it never sent. A document only one
// side holds is missing when that side sent it, extra when the other side
// sent it (and has lost it since). Without them every document of the
// source is expected in the destination, and every one only the
// destination holds is extra (or, when it sends back, missing in the
// source).
// The value: the letter of the last event, so that a document whose last
// event deleted it is not expected.
using SentKey = std::tuple<int, std::string, std::string>;
using SentDocuments = std::map<SentKey, std::string>;
std::string sentDocumentsSql(const std::string& destination);
SentDocuments sentDocuments(db::Connection& source, const std::string& destination);

// Called after each family with how many documents were compared so far.
using Progress = std::function<void(const FamilyTally&, std::int64_t compared)>;

void compare(db::Connection& source, db::Connection& destination,
             const std::vector<ComparedFamily>& families, PairReport& report,
             const Progress& progress = {}, const SentDocuments* sent = nullptr,
             const SentDocuments* sentBack = nullptr);

// A master family the comparison can judge: its record is read by one
// SELECT whose condition is the record's key alone ("select * from T where
// A = <key> and B = <key>"), one row per key. What the copy leaves out is
// read from the family row: only its written columns when it names them,
// never the columns an update keeps (in either phase). Rows with a
// condition, a hook that leaves existing records, or a set of rows per
// event are left out.
struct ComparedRecord {
    int type = 0;
    const char* record = nullptr;
    std::string table{};
    struct KeyColumn {
        std::string column{};
        Key value{};  // the event field (or part of the joined code) that carries it
    };
    std::vector<KeyColumn> key{};
    std::vector<std::string> columns{};     // the copy's written columns; empty: every one
    std::vector<std::string> nullAsZero{};  // of those, written as 0 when null (Currency)
    std::vector<Col> kept{};                // left as they are by an update
    int joinedCode = 0;
    Letters deleteLetters = kDeleteLetters;
};
std::vector<ComparedRecord> comparedRecords(const std::vector<const KeyedFamily*>& rows);

// The columns of table with their scale and type, in order.
std::string recordColumnsSql(const std::string& table);

// The master record events a database has sent another, in their order.
struct SentEvent {
    int type = 0;
    std::string code, iddoc, data, prefix, letter;
};
using SentRecords = std::vector<SentEvent>;
// Of the types of records only.
std::string sentRecordsSql(const std::string& destination,
                           const std::vector<ComparedRecord>& records);
SentRecords sentRecords(db::Connection& source, const std::string& destination,
                        const std::vector<ComparedRecord>& records);

// The master records of the pair, each table read once per database: the
// same findings as compare() (missing, extra, different by key), judged by
// the master events each side sent the other.
void compareRecords(db::Connection& source, db::Connection& destination,
                    const std::vector<ComparedRecord>& records, PairReport& report,
                    const Progress& progress = {}, const SentRecords* sent = nullptr,
                    const SentRecords* sentBack = nullptr);

// The event a requeue writes, as text: type, operation, prefix, number, id
// and destination company.
struct Requeued {
    std::string database;  // company code of the database it is written in
    std::string company;   // RPEV_COMPANIA: the company it goes to
    int type = 0;
    std::string operation;  // "I" a missing document, "U" a different one
    std::string prefix, number;
    std::int64_t id = 0;
    std::string code{}, data{};  // RPEV_CODIGO and RPEV_DATOS of a master record; "": null
};

// The events that would bring the pair back into agreement: in the source
// for what the destination lacks or holds otherwise, in the destination
// for what it sends back and the source lacks.
std::vector<Requeued> requeueEvents(const PairReport& report);

// The INSERT of one requeued event (its id from the events' generator).
std::string requeueSql(const Requeued& event, std::int64_t eventId);

// Writes the events into db, one committed INSERT each.
void requeue(db::Connection& db, const std::vector<Requeued>& events);

}  // namespace replica
