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

// How a column's value is copied. One rule for every copy: by position (a
// header, a line, a master record) or by name (a master record's listed
// columns).
enum class ColumnMode {
    // The value as it is: nulls stay null, decimals keep every digit.
    Variant,
    // A fixed-point decimal column passes through the 4-decimal Currency
    // (digits beyond the fourth are rounded away); nulls stay null; any
    // other column as it is.
    FourDecimals,
    // Read as a 4-decimal Currency whatever the column: a null becomes 0.
    Currency,
    // Its text form; a null becomes "".
    Text,
};

// Copies the current row of `from` into the row being inserted or edited in
// `to`, position by position, from `firstColumn` to the last column of `to`;
// positions listed in `skip` are left as they are. Throws std::out_of_range
// when `from` has fewer columns than `to`.
void copyColumns(db::RecordSet& to, const db::RowSet& from, int firstColumn = 0,
                 ColumnMode mode = ColumnMode::FourDecimals, const std::vector<int>& skip = {});

// A column copied by name, and how.
struct NamedColumn {
    const char* name = nullptr;
    ColumnMode mode = ColumnMode::Variant;
};

// Copies the named columns of the current row of from into the row being
// written in to, each by its mode, except the kept positions of to.
void copyNamedColumns(db::RecordSet& to, const db::RowSet& from,
                      const std::vector<NamedColumn>& columns, const std::vector<int>& keep = {});

// Posts the row being inserted or edited in rs and applies it with no
// tolerated error. True when the row was written; a refusal by the database
// is recorded on the event and sets ctx.state.failed; a refusal in memory is
// recorded and thrown as EventRefused (the event fails).
bool writeRow(HandlerContext& ctx, db::RecordSet& rs);

// Builds a destination lookup SELECT from the event (and, for a copy, the
// source row it copies; null for the delete and annul letters).
using LookupText = std::function<std::string(const HandlerContext&, const db::RowSet* source)>;

// What a column map sees while a destination row is filled.
struct MapStep {
    const HandlerContext& ctx;
    const db::RowSet& header;          // the source header
    const db::RowSet* line = nullptr;  // the source line; null while the header is filled
    bool isNew = false;                // the destination header is (being) inserted
    const db::RowSet& row() const { return line ? *line : header; }
};

// Where a mapped column's value comes from. Build it with the functions
// below; it is a small value, copied freely.
class From {
  public:
    db::Value value(const MapStep& step) const;

  private:
    enum class Kind { Column, Text, HeaderText, Event, Literal, Join, ByHeader };

    friend From col(std::string);
    friend From text(std::string);
    friend From headerText(std::string);
    friend From ev(EventField);
    friend From lit(db::Value);
    friend From join(std::vector<From>);
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
// A value of the event row; RPEV_IDDOC as an integer (checked as a whole
// number).
From ev(EventField field);
// A fixed value (11, "N", "", "0").
From lit(db::Value value);
// The parts as texts (null: empty), joined with nothing in between:
// join({lit("FC"), col("PREF_PRE"), col("FACO_NUMERO")}).
From join(std::vector<From> parts);
// whenNew while a new header is filled, whenExisting on a replace (the
// lines follow their header).
From newOrExisting(From whenNew, From whenExisting);

// One destination column and what it receives, per phase.
struct MapEntry {
    std::string column;
    PerPhase<From> from;
};

// How a destination row of a document is filled from its source row: by
// position, or through a column map.
class RowFill {
  public:
    // Every column by position, from the first (a replaced header keeps its
    // id, position 0, and the positions listed in keep); decimals by mode.
    static RowFill byPosition(ColumnMode mode = ColumnMode::FourDecimals,
                              std::vector<int> keepOnReplace = {});
    // Only the mapped columns, each from its entry, new or replaced alike.
    static RowFill mapped(std::vector<MapEntry> map);

    RowFill() = default;
    // Fills the row being inserted (replace false) or edited in to; keep:
    // further positions a replace by position leaves as they are.
    void fill(db::RecordSet& to, const MapStep& step, bool replace,
              const std::vector<int>& keep = {}) const;
    bool isMapped() const { return m_mapped; }

  private:
    bool m_mapped = false;
    ColumnMode m_mode = ColumnMode::FourDecimals;
    std::vector<int> m_keepOnReplace;
    std::vector<MapEntry> m_map;
};

// head + Q(RPEV_PREF) + numberPart + Q(RPEV_NUMERO), e.g.
// byPrefixAndNumber("SELECT * FROM SALIDAS WHERE PREF_PRE = ", " AND SALI_NUMERO = ").
LookupText byPrefixAndNumber(std::string head, std::string numberPart);

// A column of a row named by position (from 0) or by name.
struct Col {
    Col(int at) : position(at) {}            // NOLINT: a position reads as a column
    Col(const char* named) : name(named) {}  // NOLINT: so does a name
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
