#pragma once
// One replication event and the working state a handler sees.
//
// An `Event` is a snapshot of one REPLICA_EVENTOS row. A `Handler` receives
// a `HandlerContext` (the event, the phase's source and destination
// connections, the run options, the per-event state and the error capture)
// and reports failure only through `state.failed`: handlers never throw a
// failure of a row at their caller. Anything else a handler cannot handle
// is thrown; runHandler makes it the event's failure, unless it is a lost
// connection, which ends the phase.
//
// Event values that go into SQL unquoted (RPEV_IDDOC, codes the ERP stores
// as numbers) are read only through the context's checked accessors: a value
// that is not a whole number leaves that one event pending with a message
// naming the field and the value, and no SQL is sent for it.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/db/connection.h"
#include "engine/db/recordset.h"

namespace replica {

enum class Phase { None, Download, Upload };

// Something a family says per phase: one value for both phases, or one for
// each (a text the upload phase spells otherwise, a table copied in one
// phase only). Build the second kind with byPhase.
template <class T>
class PerPhase {
  public:
    PerPhase() = default;
    PerPhase(T both)  // NOLINT: a single value reads as "the same in both phases"
        : m_download(both), m_upload(std::move(both)) {}
    PerPhase(T download, T upload) : m_download(std::move(download)), m_upload(std::move(upload)) {}
    const T& in(Phase phase) const { return phase == Phase::Upload ? m_upload : m_download; }

  private:
    T m_download{};
    T m_upload{};
};
template <class T>
PerPhase<T> byPhase(T download, T upload) {
    return PerPhase<T>(std::move(download), std::move(upload));
}
// Copied in one phase only.
inline const PerPhase<bool> kDownloadOnly{true, false};
inline const PerPhase<bool> kUploadOnly{false, true};

// The operation letters a copy compares RPEV_OPER with, exactly; every
// other letter copies the record as it now is in the source.
using Letters = std::vector<std::string>;
inline const Letters kDeleteLetters = {"D"};
inline constexpr const char* kAnnulLetter = "A";
inline bool among(const Letters& letters, const std::string& operation) {
    for (const std::string& l : letters) {
        if (l == operation) {
            return true;
        }
    }
    return false;
}

// The values of an event row a family's texts or maps may use.
enum class EventField {
    Pref,      // RPEV_PREF
    Number,    // RPEV_NUMERO
    PrefDest,  // RPEV_PREFDEST
    IdDoc,     // RPEV_IDDOC
    Code,      // RPEV_CODIGO
    Data,      // RPEV_DATOS
};
// The column name of field, as messages name it.
const char* fieldName(EventField field);

struct Event {
    std::int64_t id = 0;     // RPEV_ID
    std::string company;     // RPEV_COMPANIA
    int type = 0;            // RPEV_TIPO
    std::string iddocText;   // RPEV_IDDOC as text ("" when null); read it through ctx.iddoc()
    std::string prefix;      // RPEV_PREF
    std::string number;      // RPEV_NUMERO
    std::string code;        // RPEV_CODIGO
    std::string operation;   // RPEV_OPER, compared exactly
    std::string prefixDest;  // RPEV_PREFDEST
    std::string data;        // RPEV_DATOS
    std::string error;       // RPEV_ERROR
};

// What a run hands every handler: the values of the ERP settings the
// families declared (RunSetting, settings.h), as the run last read them,
// and the operator's choice of whole documents.
struct RunOptions {
    // The value of the declared setting name; "" until a phase reads it.
    const std::string& setting(std::string_view name) const;
    void setSetting(const std::string& name, std::string value) {
        m_settings[name] = std::move(value);
    }
    void clearSetting(const std::string& name) { m_settings.erase(name); }

    // Whole documents: each event's writes to the destination in one
    // transaction, committed when the event is complete and rolled back
    // when it failed (the operator's choice, not a setting of the ERP).
    bool atomicDocuments = false;

  private:
    std::map<std::string, std::string, std::less<>> m_settings;
};

// Reset for every event.
struct EventState {
    bool failed = false;
    // The destination's id of the document being written (0 until known).
    std::int32_t destinationId = 0;
    // A note the completion writes into RPEV_ERROR as it marks the event
    // replicated ("Registro ya encontrado." when a record was there
    // already); empty: the plain completion only.
    std::string completionNote;
};

class ErrorCapture;

struct HandlerContext {
    Phase phase;
    const Event& event;
    db::Connection& source;
    db::Connection& destination;
    const RunOptions& options;
    EventState& state;
    ErrorCapture& errors;
    // Settings lookup on the server connection of the phase (the main
    // screen's `configuracion`), read there once per phase: the events of a
    // run see the value its first read found.
    std::function<std::string(const std::string& module, const std::string& category,
                              const std::string& property)>
        configuracion;

    // Applies rs with no tolerated error; a refused row is captured on the
    // event and sets state.failed. Returns true when every row was written.
    bool apply(db::RecordSet& rs);
    // Posts the row being edited; a refusal in memory is captured and
    // thrown as EventRefused (the event fails, nothing more said).
    void post(db::RecordSet& rs);
    // Posts the row being inserted into a set whose rows are applied later,
    // together. A row refused in memory is refused after the rows posted
    // before it were applied, as writing each at once would have it: a
    // refusal among those is the one captured (state.failed, false returned,
    // the row dropped); otherwise the row's own, thrown as post throws it.
    bool postForLater(db::RecordSet& rs);
    // Edit and delete of the current row, refusals handled as for post.
    void edit(db::RecordSet& rs);
    void remove(db::RecordSet& rs);

    // RPEV_IDDOC as it goes into SQL. Throws EventRefused (after recording
    // "RPEV_IDDOC vacío o no numérico: '...'" on the event) when it is not a
    // whole number.
    std::string iddoc() const { return number(EventField::IdDoc); }
    // RPEV_CODIGO as a whole number, for the codes the ERP keeps as numbers
    // (bank account, collector, salesperson, points record).
    std::string codeNumber() const { return number(EventField::Code); }
    // The text of an event field, and the field as a checked whole number.
    const std::string& text(EventField field) const;
    std::string number(EventField field) const {
        return wholeNumber(fieldName(field), text(field));
    }
    // Reads each field as a checked whole number: a family whose texts put
    // them into SQL unquoted calls it before its first statement, so a
    // refused value sends nothing.
    void requireNumbers(const std::vector<EventField>& fields) const;
    // value as a whole number for SQL, or EventRefused naming field.
    std::string wholeNumber(const char* field, const std::string& value) const;
    // The whole text of the main screen's "Ultimo error:" label.
    void setLastError(const std::string& text) const;
};

using Handler = std::function<void(HandlerContext&)>;

// Runs step of the handling of ctx.event. A failure that belongs to this
// event leaves it failed instead of leaving the run: an event value refused
// by a checked accessor, a row refused in memory (both already recorded),
// a query or statement the database refuses, tables that do not match
// (recorded here, on the event, errorenvio.txt and the screen). Returns
// false then, with ctx.state.failed set. A lost connection (or a database
// that stopped answering) is thrown: the phase ends on it.
bool eventStep(HandlerContext& ctx, const std::function<void()>& step);
// Runs h on ctx as the event loop does: the whole handler as one eventStep.
void runHandler(const Handler& h, HandlerContext& ctx);

// Thrown once a failure of the event is recorded on it (a value a checked
// accessor refused, a row refused in memory): the event stays pending and
// the run goes on with the next one, with nothing more said.
struct EventRefused {};

// The decimal text of value when it is a whole number that fits 64 bits
// (surrounding blanks ignored, an optional sign, digits); nullopt otherwise.
std::optional<std::string> wholeNumberText(std::string_view value);

}  // namespace replica
