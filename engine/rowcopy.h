#pragma once
// The row-copy unit that every copy mechanism (header/detail, mapped, keyed)
// is built on: copying a source row into the row being written, writing one
// row, the destination lookups built from event values, and the translation
// of a reference to another document into the destination's id.
//
// Nothing here keeps state between calls. Event values reach SQL only quoted
// through Q or through the context's checked whole-number accessors.

#include <functional>
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
    FourDecimals,
    // Every column as it is, all its digits kept.
    Variant,
};

// Copies the current row of `from` into the row being inserted or edited in
// `to`, position by position, from `firstColumn` to the last column of `to`;
// positions listed in `skip` are left as they are. Nulls stay null. Throws
// std::out_of_range when `from` has fewer columns than `to`.
void copyColumns(db::RecordSet& to, const db::RowSet& from, int firstColumn = 0,
                 ColumnCopy mode = ColumnCopy::FourDecimals, const std::vector<int>& skip = {});

// Posts the row being inserted or edited in rs and applies it with no
// tolerated error. True when the row was written; a refusal by the database
// is recorded on the event and sets ctx.state.failed; a refusal in memory is
// recorded and thrown as RunStopped (the event fails).
bool writeRow(HandlerContext& ctx, db::RecordSet& rs);

// Builds a destination lookup SELECT from the event (and, for a copy, the
// source row it copies; null for the delete and annul letters).
using LookupText = std::function<std::string(const HandlerContext&, const db::RowSet* source)>;

// head + Q(RPEV_PREF) + numberPart + Q(RPEV_NUMERO), e.g.
// byPrefixAndNumber("SELECT * FROM SALIDAS WHERE PREF_PRE = ", " AND SALI_NUMERO = ").
LookupText byPrefixAndNumber(std::string head, std::string numberPart);

// A column of a row named by position (from 0) or by name.
struct Col {
    Col(int position) : position(position) {}  // NOLINT: a position reads as a column
    Col(const char* name) : name(name) {}      // NOLINT: so does a name
    int index(const db::RowSet& rows) const { return name ? rows.requireIndex(name) : position; }
    int position = -1;
    const char* name = nullptr;
};

// A reference held by a row being written: the type code, prefix and number
// of another document, and the column that must hold that document's id in
// the destination.
struct ReferenceColumns {
    enum class Otherwise {
        Keep,  // the column keeps the value copied from the source
        Zero,  // the column gets 0
    };
    // Codes translated, through the document reference lookup (empty: every
    // code of the lookup); any other code, and a null code, runs no query.
    std::vector<int> codes{};
    Col type = 0;
    Col id = 0;
    Col prefix = 0;
    Col number = 0;
    Otherwise notFound = Otherwise::Zero;   // accepted code, no such document
    Otherwise otherCode = Otherwise::Keep;  // null code or a code not accepted
};

// Translates the reference in the row being inserted or edited in row: for
// an accepted code, runs the reference lookup on ctx.destination with the
// row's prefix and number and writes the id found (a row whose first column
// is not empty) into the id column; otherwise applies the rule for the case.
// Returns true when an id was found and written.
bool translateReference(HandlerContext& ctx, db::RecordSet& row, const ReferenceColumns& ref);

}  // namespace replica
