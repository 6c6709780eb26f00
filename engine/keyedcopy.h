#pragma once
// The keyed record copy: the one algorithm by which an event that names a
// master record (an item and its satellite rows, a brand, a third party, an
// account, an interface, a payroll record found by its natural key) is
// applied to the destination database of a phase.
//
// Master records have no id generator and no document number: each record is
// found in the destination by its own key and written over whatever is
// there. A master family is one `KeyedFamily` row: its tables in the order
// they are copied, each with its SQL texts spelled in full (per phase where
// the phases send different texts), and its delete form. The values in those
// texts are `Key` pieces, and `KeyedText::build` is the one place that turns
// them into SQL: a text value through Q, a number through the context's
// checked whole-number accessors.
//
// What the copy promises, for one event:
//  - a joined code (RPEV_CODIGO with "|" between its parts) is taken apart
//    before anything else; one with too few parts leaves the event pending
//    with a message naming the code, and nothing is read, deleted or written;
//  - event values written as numbers are checked before the first SQL text
//    is sent (otherwise the event stays pending and nothing is sent);
//  - a delete letter runs the family's delete form; a family without one,
//    and every other letter, copies; a record the destination does not have
//    is no error; a delete keyed by values read from the source, whose source
//    record is gone, stays pending with a message and sends nothing to the
//    destination (empty key values would find the wrong record or none);
//  - a copy visits the family's tables in order: a source record that is gone
//    writes nothing and is no error; each source row is looked up in the
//    destination, appended or edited, copied and applied on its own;
//  - a refusal sticks: once a row or a statement delete is refused, the event
//    stays pending whatever the later records do, with the first refusal's
//    message on it; the remaining records of the event are still tried;
//  - a statement delete the database refuses (a brand still referenced) is
//    such a refusal: recorded on the event, the run goes on;
//  - it keeps no state of its own: the per-event working state is ctx.state
//    and the datasets live for one call.
// Anything else (a query refused, a source row with fewer columns than the
// destination) is thrown and fails the event (eventStep); a lost connection
// ends the phase.

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/db/recordset.h"
#include "engine/db/rowset.h"
#include "engine/event.h"
#include "engine/rowcopy.h"

namespace replica {

// A value that goes into a SQL text: where it is read and how it is written.
struct Key {
    enum class From {
        Event,     // a field of the event row
        CodePart,  // one part of a joined RPEV_CODIGO
        Column,    // a column of the row the text is built for
    };
    enum class As {
        Quoted,  // Q(text form); dates in their ISO form
        Number,  // a checked whole number, unquoted
    };
    From from = From::Event;
    EventField field = EventField::Code;  // Event
    As as = As::Quoted;
    int part = 0;  // CodePart: 1 for the first code
    Col column = 0;
};

// The keys, as a family's texts name them.
namespace key {
inline Key code() {
    return {};
}
inline Key codeNumber() {
    return {.as = Key::As::Number};
}
// Part n (from 1) of the joined code: Q(part).
inline Key codePart(int n) {
    return {.from = Key::From::CodePart, .part = n};
}
inline Key data() {
    return {.field = EventField::Data};
}
inline Key iddoc() {
    return {.field = EventField::IdDoc, .as = Key::As::Number};
}
inline Key prefix() {
    return {.field = EventField::Pref};
}
// Q(text form of the column) of the row the text is built for.
inline Key column(Col c) {
    return {.from = Key::From::Column, .column = c};
}
// The column of that row as a checked whole number, unquoted.
inline Key columnNumber(Col c) {
    return {.from = Key::From::Column, .as = Key::As::Number, .column = c};
}
}  // namespace key

// What a text's keys are read from: the event (through ctx), the parts of
// its joined code, and the row the text is built for (a source row for a
// lookup, the key row of a delete; null where the text names no column).
struct KeyValues {
    const HandlerContext& ctx;
    const std::vector<std::string>& codeParts;
    const db::RowSet* row = nullptr;
};

// A SQL text as fixed pieces and keys, concatenated in order.
class KeyedText {
  public:
    struct Piece {
        Piece(const char* fixed) : text(fixed) {}  // NOLINT: fixed text reads as itself
        Piece(Key value) : key(value) {}           // NOLINT: so does a key
        std::string text;
        std::optional<Key> key;
    };

    KeyedText() = default;
    KeyedText(std::initializer_list<Piece> pieces) : m_pieces(pieces) {}

    bool empty() const { return m_pieces.empty(); }
    // The fixed pieces with "?" in the place of each key: the text as a
    // family spells it, for checks and messages.
    std::string spelled() const;
    // The text as sent. A number key that is not a whole number records the
    // refusal on the event and throws EventRefused; a column key without a
    // row, or a part the code does not have, is a fault of the family
    // (std::logic_error).
    std::string build(const KeyValues& values) const;
    // Reads every key taken from the event (not from a row), so that a value
    // refused by a checked accessor is refused before any SQL is sent.
    void checkEventKeys(const KeyValues& values) const;
    // The pieces in order: what a reader of the family (the comparison of
    // two companies) learns of its table and key from the text itself.
    const std::vector<Piece>& pieces() const { return m_pieces; }

  private:
    std::vector<Piece> m_pieces;
};

// What a table hook sees: the source row being copied and the destination
// set the lookup opened (its current row is the one found).
struct KeyedStep {
    HandlerContext& ctx;
    const db::RowSet& source;
    db::RecordSet& destination;
};
using KeyedDecision = std::function<bool(KeyedStep&)>;

// One table of a master family.
struct KeyedTable {
    PerPhase<KeyedText> source{};  // on the source database
    PerPhase<KeyedText> lookup{};  // on the destination, built for each source row
    // false: only the first source row is copied; true: every row, each with
    // its own lookup and apply.
    bool rowSet = false;
    // The columns written, in order, each with its mode; the others keep
    // their value on an update and take the defaults on an insert. Empty:
    // every column by position, position 0 included, fixed-point columns
    // through the 4-decimal Currency.
    std::vector<NamedColumn> columns{};
    // Columns an update leaves as they are; an insert writes them.
    PerPhase<std::vector<Col>> keepOnUpdate{};
    // When the source has no row: true ends the copy (the later tables are
    // not read); false goes on with the next table.
    bool endsWhenGone = false;
    // For a record the lookup found: true leaves it as it is, with nothing
    // written and no failure.
    KeyedDecision leaveExisting{};
};

enum class DeleteKind {
    None,       // the delete letter copies, as any other letter
    FirstRow,   // open the lookup, delete the first row found and apply
    EveryRow,   // open the lookup, delete every row found and apply once
    Statement,  // send the DELETE statement
};

struct KeyedDelete {
    DeleteKind kind = DeleteKind::None;
    // The lookup of a record delete, or the statement; built with the key
    // row when there is one.
    PerPhase<KeyedText> text{};
    // The letters that delete.
    Letters deleteLetters = kDeleteLetters;
    // A natural key read from the source first; its row supplies the column
    // keys of the text. When the source has no such row the key is unknown:
    // the event stays pending with a message and nothing is sent to the
    // destination.
    PerPhase<KeyedText> keySource{};
    // After the delete, copy the family's tables (the destination ends equal
    // to the source); not after a refused statement.
    bool thenCopy = false;
};

struct KeyedFamily {
    int type = 0;
    Condition when = nullptr;  // the catalogue form condition; null: always
    // 0: RPEV_CODIGO is one code; 2 or 3: codes joined with "|". Two parts:
    // the second runs to the end of the text (further "|" included); three
    // parts: the third does.
    int joinedCode = 0;
    std::vector<KeyedTable> tables{};  // copied in this order
    KeyedDelete deleteForm{};
};

// The parts of a joined code, or nullopt when it has fewer "|" than it
// needs (parts must be 2 or 3).
std::optional<std::vector<std::string>> splitJoinedCode(const std::string& code, int parts);

// The message an event with a malformed joined code is left pending with.
std::string malformedCodeMessage(const std::string& code, int parts);
// The message of a delete whose natural key is gone from the source.
std::string goneKeyMessage(const std::string& keySource);

class KeyedCopy {
  public:
    explicit KeyedCopy(KeyedFamily family)
        : m_family(std::make_shared<const KeyedFamily>(std::move(family))) {}

    // Applies ctx.event; the outcome is ctx.state.failed.
    void run(HandlerContext& ctx) const;
    void operator()(HandlerContext& ctx) const { run(ctx); }

  private:
    bool remove(HandlerContext& ctx, const std::vector<std::string>& parts) const;
    void copy(HandlerContext& ctx, const std::vector<std::string>& parts) const;
    void copyRow(HandlerContext& ctx, const std::vector<std::string>& parts,
                 const KeyedTable& table, const db::RowSet& source) const;

    std::shared_ptr<const KeyedFamily> m_family;
};

// A family row as a catalogue handler, and as a form (handler and condition).
inline Handler keyedHandler(const KeyedFamily& family) {
    return KeyedCopy(family);
}
inline Form keyedForm(const KeyedFamily& family) {
    return Form{family.when, keyedHandler(family)};
}

}  // namespace replica
