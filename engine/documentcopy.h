#pragma once
// The document copy: the one algorithm by which an event that names an ERP
// document (a header row and its detail rows) is applied to the destination
// database of a phase.
//
// A document family is one `DocumentFamily` row: the SQL texts it sends,
// spelled in full, how its header and lines are filled (`RowFill`: by
// position, the document copied as itself; or through a column map, the
// document stored as a document of another kind, such as a purchase invoice
// as an inventory entry found by the reference it keeps to its origin), its
// NUMOK rule, its detail tables and its undo statements, plus optional hooks
// for the deviations some families have. Every hook is empty by default; an
// empty hook changes nothing. Header hooks all take a `HeaderStep`, line
// hooks a `LineStep`; a hook is named by when it runs, or (returning bool)
// by what it decides.
//
// What the copy promises, for one event:
//  - the event values the family's texts write unquoted are checked as
//    whole numbers before any SQL (otherwise the event stays pending and
//    nothing is sent);
//  - a delete letter removes the first header the removal lookup finds, the
//    annul letter writes "S" into the annul column of the first; a document
//    that is not there is not an error;
//  - any other letter copies: RPEV_IDDOC must be a whole number; a source
//    document that is gone writes nothing and is not an error; a new header
//    is filled and takes its id from the id generator view (by position it
//    keeps the source's id when the view gives no row); an existing one is
//    replaced in place and keeps its id, after its detail rows are cleared;
//    each detail row is applied on its own and the first refusal stops the
//    copy;
//  - a document that failed after its header was written is undone: first
//    the rows of every detail table under the document id (no line is left
//    without its header), then the family's undo statements;
//  - it keeps no state of its own: the per-event working state is ctx.state
//    and the datasets live for one call.
// Failures: a row refused by the destination goes through ctx.apply (recorded
// on the event, ctx.state.failed set); a row refused in memory goes through
// ctx.post/edit/remove (recorded, then EventRefused); a refused query or
// statement, or tables that do not match, fails the event too (eventStep);
// whichever it is, once the header is written the document is undone. Only
// a lost connection leaves the copy.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/event.h"
#include "engine/rowcopy.h"

namespace replica {

// When the copy writes NUMOK = "N" into a header.
enum class NumOk { Never, NewHeader, Always };

// What a header hook sees. `header` is the destination set the lookup opened:
// empty for a new document until the row is appended, then the row being
// inserted or edited, then the row as stored once it is written.
struct HeaderStep {
    HandlerContext& ctx;
    const db::Query& source;  // the source header
    db::RecordSet& header;
    bool isNew = false;      // the header is (being) inserted
    bool generated = false;  // a new header took its id from the id generator view
};
using HeaderHook = std::function<void(HeaderStep&)>;
using HeaderDecision = std::function<bool(HeaderStep&)>;

// What a line hook sees: the destination line being inserted (before its
// post) or just written (after its apply), the current source line and the
// source header.
struct LineStep {
    HandlerContext& ctx;
    db::RecordSet& line;
    const db::Query& source;
    const db::Query& header;

    // Has the destination run sql right after this line is written, in the
    // line's own exchange (or at once when the line is already there); never
    // when the line is refused.
    void thenRun(const std::string& sql);
};
using LineHook = std::function<void(LineStep&)>;

// One detail table of a document; its first column holds the header id.
struct DetailTable {
    // Deletes the table's rows of one document: run with the found id before
    // a replace, and with the document id first thing in an undo.
    std::string clear{};
    // The text an undo runs for this table, where the family spells it
    // apart from the clear; "": the clear text.
    std::string undo{};
    std::string source{};       // completed with RPEV_IDDOC, on the source
    std::string destination{};  // completed with the document id, on the destination
    // In which phases the table is read, written and cleared.
    PerPhase<bool> copied = true;
    // How each line is filled; the document id goes into its first column.
    RowFill fill = RowFill::byPosition();
    // Asked once the earlier tables are done (also after a refused line);
    // false: the table is not copied for this event.
    HeaderDecision copyWhen{};
    // After the fill and the document id, before the post.
    LineHook beforePost{};
    // After the line was posted, before it is written; what it sends to the
    // destination about the lines goes through LineStep::thenRun.
    LineHook afterWrite{};
};

struct DocumentFamily {
    int type = 0;
    Condition when = nullptr;  // the catalogue form condition; null: always
    // The destination lookup of a copy, opened as the record set.
    PerPhase<LookupText> lookup{};
    // The lookup of the delete and annul letters; empty: the copy's.
    PerPhase<LookupText> removalLookup{};
    std::string source{};       // source header, completed with RPEV_IDDOC
    std::string generator{};    // id generator view; "": a new header keeps the source id
    std::string annulColumn{};  // "": no annul step (the annul letter copies)
    NumOk numok = NumOk::Never;
    RowFill header = RowFill::byPosition();
    std::vector<DetailTable> details{};      // copied in this order
    std::vector<std::string> undo{};         // each completed with the document id, in order
    Letters deleteLetters = kDeleteLetters;  // empty: no delete (every letter copies)
    // Event values the family's texts write unquoted (besides RPEV_IDDOC,
    // which every copy checks): read as whole numbers before any SQL.
    std::vector<EventField> numbers{};

    // Replaces the record delete of the delete letters.
    Handler deleteDocument{};
    // After the source header is read: true completes the event with nothing
    // written (a document held back).
    HeaderDecision holdBack{};
    // Before the destination lookup of a copy.
    HeaderHook beforeLookup{};
    // For a header the lookup found: true leaves it as it is and ends the
    // copy with nothing written.
    HeaderDecision leaveExisting{};
    // After the header fill; for a new header before the generator is read.
    HeaderHook afterCopy{};
    // Just before the header's post (after the generator and NUMOK).
    HeaderHook beforePost{};
    // Once the header is written, before the detail tables.
    HeaderHook afterHeader{};
    // After the detail tables, before the outcome; may set ctx.state.failed.
    HeaderHook afterDetails{};
    // Before the undo of a failed document.
    HeaderHook beforeUndo{};
    // After a document written without any failure.
    HeaderHook afterSuccess{};
};

class DocumentCopy {
  public:
    explicit DocumentCopy(DocumentFamily family)
        : m_family(std::make_shared<const DocumentFamily>(std::move(family))) {}

    // Applies ctx.event; the outcome is ctx.state.failed.
    void run(HandlerContext& ctx) const;
    void operator()(HandlerContext& ctx) const { run(ctx); }

  private:
    std::string removalLookup(const HandlerContext& ctx) const;
    void removeDocument(HandlerContext& ctx) const;
    void annulDocument(HandlerContext& ctx) const;
    void copyDocument(HandlerContext& ctx) const;
    bool insertHeader(HeaderStep& step) const;
    bool replaceHeader(HeaderStep& step) const;
    void copyDetails(HeaderStep& step) const;
    void copyDetail(HeaderStep& step, const DetailTable& table) const;
    void undo(HeaderStep& step) const;

    std::shared_ptr<const DocumentFamily> m_family;
};

// A family row as a catalogue handler, and as a form (handler and condition).
inline Handler documentHandler(const DocumentFamily& family) {
    return DocumentCopy(family);
}
inline Form documentForm(const DocumentFamily& family) {
    return Form{family.when, documentHandler(family)};
}

// Lookups of a movement by its origin:
//   head + RPEV_IDDOC + prefixPart + Q(RPEV_PREFDEST), e.g.
//   byOrigin("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 21 AND ENTR_IDREF = ",
//            " AND PREF_PRE = ");
LookupText byOrigin(std::string head, std::string prefixPart);
//   head + Q(RPEV_PREF followed by RPEV_NUMERO), e.g.
//   byReferText("SELECT * FROM ENTRADAS WHERE ENTR_TIPOREF = 13 AND ENTR_REFER = ");
LookupText byReferText(std::string head);

}  // namespace replica
