#pragma once
// The mapped copy: the algorithm by which an event that names an ERP
// document is applied to the destination as a document of another kind (a
// purchase invoice or a transfer as an inventory entry, a purchase return as
// an inventory exit). The destination header and its lines are not copied
// column by column: they are filled from a column map, and the destination
// document is found by the reference it keeps to its origin (type, origin
// id, prefix) instead of by its own prefix and number.
//
// A family is one `MappedFamily` row: its lookups, source queries, id
// generator, annul column, the header and line column maps, the line table's
// texts and its undo statements, spelled in full. A map entry names a
// destination column and where its value comes from (`From`): a column of the
// source row, that column as text, a column of the source header, an event
// value, a literal, texts joined, or a choice by phase or by new/existing
// header.
//
// What the copy promises, for one event:
//  - the delete letter removes the first document the "D"/"A" lookup finds,
//    the annul letter writes "S" into its annul column; a document that is
//    not there is not an error;
//  - any other letter copies: RPEV_IDDOC must be a whole number (otherwise
//    the event stays pending and nothing is sent); a source document that is
//    gone writes nothing and is not an error; a new header is filled from
//    the header map and takes its id from the id generator view; an existing
//    one has its lines cleared and is filled again from the same map in
//    place, keeping its id; only the mapped columns are written;
//  - each line is appended with the document id in its first column, filled
//    from the line map and applied on its own; the first refusal stops the
//    copy;
//  - a document that failed after its header was written is undone: first
//    its lines (no line is left without its header), then the family's undo
//    statements;
//  - it keeps no state of its own besides ctx.state.
// Failures as in the header/detail copy: a row refused by the destination, a
// row refused in memory (a new header whose generator gave no id), a mapped
// column absent from its table, a refused query or statement, each fail the
// event (recorded on it, ctx.state.failed set) and, once the header is
// written, undo it; only a lost connection leaves the copy.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/db/rowset.h"
#include "engine/event.h"
#include "engine/rowcopy.h"

namespace replica {

// What a map entry sees while a destination row is filled.
struct MapStep {
    const HandlerContext& ctx;
    const db::RowSet& header;  // the source header
    const db::RowSet* line;    // the source line; null while the header is filled
    bool isNew = false;        // the destination header is (being) inserted
    const db::RowSet& row() const { return line ? *line : header; }
};

// The values of the event row a map may write.
enum class EventField {
    Pref,      // RPEV_PREF
    Number,    // RPEV_NUMERO
    PrefDest,  // RPEV_PREFDEST
    IdDoc,     // RPEV_IDDOC, as an integer (checked as a whole number)
};

// Where a mapped column's value comes from. Build it with the functions
// below; it is a small value, copied freely.
class From {
  public:
    db::Value value(const MapStep& step) const;

  private:
    enum class Kind { Column, Text, HeaderText, Event, Literal, Join, ByPhase, ByHeader };

    friend From col(std::string);
    friend From text(std::string);
    friend From headerText(std::string);
    friend From ev(EventField);
    friend From lit(db::Value);
    friend From join(std::vector<From>);
    friend From perPhase(From, From);
    friend From newOrExisting(From, From);

    explicit From(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    std::string m_name{};
    EventField m_field = EventField::Pref;
    db::Value m_literal{};
    std::vector<From> m_parts{};
};

// A column of the row being read (the source header in the header map, the
// source line in the line map), as it is: nulls stay null, decimals keep
// every digit.
From col(std::string name);
// The same column as text; a null becomes the empty text.
From text(std::string name);
// A column of the source header as text (null: the empty text), also from
// the line map.
From headerText(std::string name);
// A value of the event row.
From ev(EventField field);
// A fixed value (11, "N", "", "0").
From lit(db::Value value);
// The parts as texts (null: empty), joined with nothing in between:
// join({lit("FC"), col("PREF_PRE"), col("FACO_NUMERO")}).
From join(std::vector<From> parts);
// download in the download phase, upload in the upload phase.
From perPhase(From download, From upload);
// whenNew while a new header is filled, whenExisting on a replace (the
// lines follow their header).
From newOrExisting(From whenNew, From whenExisting);

// One destination column and what it receives.
struct MapEntry {
    std::string column;
    From from;
};

// The line table of a mapped family; its first column holds the header id.
struct MappedLines {
    // Deletes the lines of one document: run with the found id before a
    // replace, and with the document id first thing in an undo.
    std::string clear{};
    std::string source{};       // completed with RPEV_IDDOC, on the source
    std::string destination{};  // completed with the document id, on the destination
    std::vector<MapEntry> map{};
};

struct MappedFamily {
    int type = 0;
    Condition when = nullptr;        // the catalogue form condition; null: always
    LookupText lookup{};             // destination lookup of the copy letters
    LookupText lookupDeleteAnnul{};  // destination lookup of "D" and "A"; empty: lookup
    std::string source{};            // source header, completed with RPEV_IDDOC
    std::string generator{};         // id generator view of a new header
    std::string annulColumn{};       // written "S" by the annul letter
    std::vector<MapEntry> header{};  // filled in this order, on insert and replace
    MappedLines lines{};
    std::vector<std::string> undo{};  // each completed with the document id, in order
};

class MappedCopy {
  public:
    explicit MappedCopy(MappedFamily family)
        : m_family(std::make_shared<const MappedFamily>(std::move(family))) {}

    // Applies ctx.event; the outcome is ctx.state.failed.
    void run(HandlerContext& ctx) const;
    void operator()(HandlerContext& ctx) const { run(ctx); }

  private:
    std::string deleteAnnulLookup(const HandlerContext& ctx) const;
    void removeDocument(HandlerContext& ctx) const;
    void annulDocument(HandlerContext& ctx) const;
    void copyDocument(HandlerContext& ctx) const;
    void copyLines(HandlerContext& ctx, const db::RowSet& header, bool isNew) const;
    void undo(HandlerContext& ctx) const;

    std::shared_ptr<const MappedFamily> m_family;
};

// A family row as a catalogue handler, and as a form (handler and condition).
inline Handler mappedHandler(const MappedFamily& family) {
    return MappedCopy(family);
}
inline Form mappedForm(const MappedFamily& family) {
    return Form{family.when, mappedHandler(family)};
}

// Lookups of a movement by its origin:
//   head + RPEV_IDDOC + prefixPart + Q(RPEV_PREFDEST), e.g.
//   byOrigin("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 21 AND ENTR_IDREF = ",
//            " AND PREF_PRE = ");
LookupText byOrigin(std::string head, std::string prefixPart);
//   head + Q(RPEV_PREF followed by RPEV_NUMERO), e.g.
//   byReferText("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_REFER = ");
LookupText byReferText(std::string head);
// download in the download phase, upload in the upload phase.
LookupText perPhase(LookupText download, LookupText upload);

}  // namespace replica
