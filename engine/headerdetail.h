#pragma once
// The header/detail document copy: the one algorithm by which an event that
// names an ERP document (a header row and its detail rows) is applied to the
// destination database of a phase.
//
// A document family is described as data (`DocumentFamily`: the SQL texts it
// sends, spelled in full, its NUMOK rule, its detail tables and its undo
// statements) plus optional hooks for the deviations some families have
// (columns overwritten after the copy, a lookup by other keys, a step per
// line, statements after the header, after the lines or after success). Every
// hook is empty by default; an empty family hook changes nothing.
//
// What the copy promises, for one event:
//  - the delete letter removes the first header the lookup finds, the annul
//    letter writes "S" into the annul column of the first; a document that is
//    not there is not an error;
//  - any other letter copies: a source document that is gone writes nothing
//    and is not an error; a new header takes its id from the id generator view
//    (or keeps the source's id when the view gives no row), an existing one is
//    replaced in place and keeps its id, after its detail rows are cleared;
//    each detail row is applied on its own, the first refusal stops the copy
//    and the family's undo statements run with the document id;
//  - it keeps no state of its own: the per-event working state is
//    ctx.state (failed, headerWritten, documentId) and the datasets live for
//    one call.
// Failures: a row refused by the destination goes through ctx.apply (recorded
// on the event, ctx.state.failed set); a row refused in memory goes through
// ctx.post/edit/remove (recorded, then RunStopped); anything else (a refused
// query or statement, a source with fewer columns than the destination) is
// thrown and ends the run.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/event.h"

namespace replica {

// How a row is copied by position.
enum class ColumnCopy {
    // Fixed-point decimal columns pass through the 4-decimal Currency (digits
    // beyond the fourth are rounded away); every other column as it is.
    Rule,
    // Every column as it is, all its digits kept.
    Variant,
};

// Copies the current row of `from` into the row being inserted or edited in
// `to`, position by position, from `firstColumn` to the last column of `to`;
// positions listed in `skip` are left as they are. Nulls stay null. Throws
// std::out_of_range when `from` has fewer columns than `to`.
void copyColumns(db::RecordSet& to, const db::RowSet& from, int firstColumn = 0,
                 ColumnCopy mode = ColumnCopy::Rule, const std::vector<int>& skip = {});

// When the copy writes NUMOK = "N" into a header.
enum class NumOk { Never, NewHeader, Always };

// What a header hook sees: the destination row being inserted or edited (not
// yet posted) and the source header.
struct HeaderStep {
    HandlerContext& ctx;
    db::RecordSet& header;
    const db::Query& source;
    bool isNew;      // inserted (true) or replacing an existing header
    bool generated;  // a new header took its id from the id generator view
};
using HeaderHook = std::function<void(HeaderStep&)>;

// What a line hook sees: the destination line being inserted (before its post)
// or just written (after its apply), the current source line and the source
// header.
struct LineStep {
    HandlerContext& ctx;
    db::RecordSet& line;
    const db::Query& source;
    const db::Query& header;
};
using LineHook = std::function<void(LineStep&)>;

using EventHook = std::function<void(HandlerContext&)>;
using SourceHook = std::function<void(HandlerContext&, const db::Query& sourceHeader)>;
// Builds the destination lookup SELECT. `source` is the source header for a
// copy, null for the delete and annul letters.
using LookupText = std::function<std::string(const HandlerContext&, const db::Query* source)>;

// The usual lookup: head + Q(RPEV_PREF) + numberPart + Q(RPEV_NUMERO), e.g.
// byPrefixAndNumber("SELECT * FROM SALIDAS WHERE PREF_PRE = ", " AND SALI_NUMERO = ").
LookupText byPrefixAndNumber(std::string head, std::string numberPart);

// One detail table of a document; its first column holds the header id.
struct DetailTable {
    std::string clearSql;        // run before a replace with the found id; "" none
    std::string sourceSql;       // completed with RPEV_IDDOC, on the source
    std::string destinationSql;  // completed with the document id, on the destination
    // Replaces the copy of a line (copy rule + first column := document id).
    LineHook fill;
    // After the copy and the document id, before the post.
    LineHook beforePost;
    // After the line's apply succeeded.
    LineHook afterApply;
    // Asked once the earlier tables are done, also after a refused line;
    // false: this table is skipped. Empty: always copied.
    std::function<bool(HandlerContext&)> when;
};

struct DocumentFamily {
    LookupText lookup;               // destination lookup, opened as the record set
    std::string sourceSql;           // source header, completed with RPEV_IDDOC
    std::string generatorSql;        // id generator view; "": a new header keeps the source id
    std::string deleteLetter = "D";  // "": no delete (the letter copies)
    std::string annulLetter = "A";
    std::string annulColumn;  // "": no annul step (the annul letter copies)
    NumOk numok = NumOk::Never;
    ColumnCopy headerCopy = ColumnCopy::Rule;
    std::vector<int> keepOnReplace;    // header positions a replace does not overwrite
    std::vector<DetailTable> details;  // copied in this order
    std::vector<std::string> undoSql;  // each completed with the document id, in order

    // Replaces the record delete of the delete letter.
    EventHook deleteDocument;
    // After the source header is read: true leaves the event complete with
    // nothing written (a document held back).
    std::function<bool(HandlerContext&, const db::Query& sourceHeader)> holdBack;
    // Before the destination lookup of a copy.
    SourceHook beforeLookup;
    // For a header the lookup found: true leaves it as it is and completes
    // the event with nothing written.
    std::function<bool(HandlerContext&, db::RecordSet& found)> leaveExisting;
    // Replaces the copy of the header columns (a mapped copy).
    HeaderHook fillHeader;
    // After the header copy; for a new header before the generator is read.
    HeaderHook afterCopy;
    // Just before the header's post (after the generator and NUMOK).
    HeaderHook beforePost;
    // Once the header is written, before the detail tables.
    SourceHook afterHeader;
    // After the detail tables, before the outcome; may set ctx.state.failed.
    SourceHook afterDetails;
    // Before the undo statements of a failed document.
    EventHook beforeUndo;
    // After a document written without any failure.
    SourceHook afterSuccess;
};

class HeaderDetailCopy {
  public:
    explicit HeaderDetailCopy(DocumentFamily family)
        : m_family(std::make_shared<const DocumentFamily>(std::move(family))) {}

    // Applies ctx.event; the outcome is ctx.state.failed.
    void run(HandlerContext& ctx) const;
    void operator()(HandlerContext& ctx) const { run(ctx); }
    const DocumentFamily& family() const { return *m_family; }

  private:
    void removeDocument(HandlerContext& ctx) const;
    void annulDocument(HandlerContext& ctx) const;
    void copyDocument(HandlerContext& ctx) const;
    void copyDetail(HandlerContext& ctx, const DetailTable& table, const db::Query& header) const;

    std::shared_ptr<const DocumentFamily> m_family;
};

// The copy as a catalogue handler.
inline Handler headerDetailHandler(DocumentFamily family) {
    return HeaderDetailCopy(std::move(family));
}

}  // namespace replica
