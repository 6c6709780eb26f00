#pragma once
// The event loop of a phase: select the pending events, then for each one
// announce it, audit it, filter it, claim it, dispatch it by type code and
// complete it.
//
// The events are read once into memory (the set handled in a phase is fixed
// when it is selected) from the phase's source database, and marked in that
// same database. A handler reports a failure of its event through the event
// failed flag (runHandler turns whatever the event's copy throws into that
// flag, but a lost connection); the event then stays pending with the error
// the capture already stored, and the loop goes on. What leaves the loop (a
// lost connection, a failure of the event's own row) leaves it with the
// capture still pointing at the event being handled, so the caller can
// record it on that event.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "engine/catalogue.h"
#include "engine/db/connection.h"
#include "engine/db/query.h"
#include "engine/event.h"

namespace replica {

class ErrorCapture;
class Logs;
class Operator;

// The events an upload phase takes at all: type 236 and type 33 with the
// letter "U" are never uploaded (both are downloaded like any other). The
// one spelling of that condition, for the selection and for what counts
// the events an upload would take.
inline constexpr const char* kUploadedTypes =
    "(rpev_tipo <> 236) and ((rpev_tipo <> 33) OR (RPEV_OPER <> 'U'))";

// The event selection texts. count must already be a checked count.
std::string downloadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                              bool newestFirst);
std::string uploadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                            bool newestFirst);

// What a phase selects. Failed events never take the places of the events
// behind them: a run takes the count oldest (or newest) pending events that
// carry no error, and, unless "No reintentar errores" is checked, as many of
// the failed ones again for their retry, in the same order but from
// failedSkip on (the driver moves it along, run after run, so that every
// failed event has its turn however many there are). The retried events are
// handled first, then the others.
struct EventSelection {
    Phase phase = Phase::None;
    std::string count;    // a checked count
    std::string company;  // download: the local company; upload: the destination
    bool skipErrors = false;
    bool newestFirst = false;
    long long failedSkip = 0;
};
// The events without an error (the phase's text with " AND RPEV_ERROR IS
// NULL", as when errors are not retried).
std::string freshEventsSql(const EventSelection& s);
// The failed events this run retries.
std::string failedEventsSql(const EventSelection& s);
// How many failed events wait (asked when this run cannot retry them all).
std::string failedCountSql(const EventSelection& s);
// The claim of an event: its row locked for as long as it is handled, when
// it is still pending.
std::string claimSql(std::int64_t eventId);
// The claimed row read again, once held: its RPEV_FECREP.
std::string claimedStateSql(std::int64_t eventId);
// Both in one statement, one exchange with a server (and, its values lifted,
// prepared once): the claim whose row also carries the claimed row's
// RPEV_FECREP, read once the lock is held.
std::string claimAndStateSql(std::int64_t eventId);

// The event of a row of a REPLICA_EVENTOS SELECT *, read column by column
// (field throws for a column the row does not have).
Event eventFromRow(const std::function<const db::Value&(const char*)>& field);
// The one-line field: type, letter, prefix and number, code.
std::string eventLineText(const Event& e);
// Which document or record an event names (type, prefix, number, code and
// the item data of units and bar codes).
std::string documentKey(int type, const std::string& prefix, const std::string& number,
                        const std::string& code, const std::string& data);
inline std::string documentKey(const Event& e) {
    return documentKey(e.type, e.prefix, e.number, e.code, e.data);
}

// The completion marks only an event still pending: one another agent
// completed meanwhile is left as that agent left it.
std::string completionSql(std::int64_t eventId, const std::string& date, const std::string& time);
// The completion that also leaves a handler's note (EventState) on the event.
std::string completionNoteSql(std::int64_t eventId, const std::string& date,
                              const std::string& time, const std::string& note);

struct LoopCounts {
    int handled = 0;           // dispatched (skipped, waiting and taken events excluded)
    int completed = 0;         // marked replicated
    int failed = 0;            // left pending by their handler (or with no handler)
    int skipped = 0;           // left by the upload prefix filter
    int retried = 0;           // of the handled, events that had failed before
    int retriedCompleted = 0;  // of those, marked replicated this time
    // Failed events selected for their retry (handled or not).
    int retryTurn = 0;
    // Failed events this run had no room to retry: they wait for a later
    // turn.
    int failedNotRetried = 0;
    // Left to another agent: it was handling the event (its claim held) or
    // had completed it since the selection.
    int taken = 0;
    // Left pending untouched because an earlier event of their document is
    // in another agent's hands: two agents never write one document at once.
    int waiting = 0;
};

struct PhaseSetup {
    Phase phase = Phase::None;
    db::Connection* source = nullptr;       // events are read and marked here
    db::Connection* destination = nullptr;  // the handlers write here
    const RunOptions* options = nullptr;
    // Settings lookup on the phase's server connection, once per setting.
    std::function<std::string(const std::string&, const std::string&, const std::string&)>
        configuracion;
    std::string prefix;  // "Prefijo a enviar:" (upload only)
    // Set by the operator's stop request ("Detener"); the loop reads it
    // between events only, so a document is never left half copied. Set on
    // the run's thread, read on a lane's.
    const std::atomic<bool>* stop = nullptr;
};

class EventLoop {
  public:
    EventLoop(Operator& op, Logs& logs, ErrorCapture& errors, const Catalogue& catalogue)
        : m_op(op), m_logs(logs), m_errors(errors), m_catalogue(catalogue) {}

    // Opens sql on setup.source and keeps every row (the snapshot the phase
    // handles); the progress bar's maximum becomes the number of rows.
    // Throws db::Error when the database refuses the text.
    void select(const PhaseSetup& setup, const std::string& sql);
    // The phase's selection (see EventSelection): the failed events
    // retried, then the events without an error, all kept before the first
    // is handled.
    void select(const PhaseSetup& setup, const EventSelection& selection);
    // Handles the selected events in order, then closes the set; a stop
    // request seen before an event leaves it and the rest pending. counts is
    // updated event by event, so it is right also when an exception leaves
    // the loop.
    //
    // Each event is claimed before it is handled: its row is locked, without
    // waiting, in a transaction of the event's own on setup.source, which
    // also records its error or its completion and commits when the event
    // is done. An event another agent holds (or completed since the
    // selection) is left to it, without error. A failure of the event (a row
    // refused, a statement or query the database refuses, a row refused in
    // memory) leaves it pending with its message, and the loop goes on; only
    // a lost connection (or a database that stopped answering) and failures
    // of the event's own row leave the loop, thrown as db::Error.
    void handleAll(const PhaseSetup& setup, LoopCounts& counts);
    int selectedCount() const { return m_selectedCount; }

  private:
    void handle(const PhaseSetup& setup, const Event& event, bool retry, LoopCounts& counts);
    // Runs handler with the destination's writes in one unit of work.
    void handleWhole(const Handler& handler, HandlerContext& ctx);
    // Reads the rows of sql into the batch (retry: failed events retried);
    // returns the number of rows.
    int keepRows(const PhaseSetup& setup, const std::string& sql, bool retry);
    void clearBatch();
    // Takes the event's claim on events (its database): the unit of work
    // holding its row, when the event is still pending and no other agent
    // holds it; nullopt (nothing held) otherwise.
    static std::optional<db::UnitOfWork> claim(db::Connection& events, std::int64_t eventId);

    Operator& m_op;
    Logs& m_logs;
    ErrorCapture& m_errors;
    const Catalogue& m_catalogue;
    // An event of the selected batch as it waits for its turn: its texts
    // in one string, so that a batch of thousands holds little more than
    // the texts themselves.
    struct Waiting {
        std::int64_t id = 0;
        int type = 0;
        bool retry = false;                   // a failed event retried
        std::array<std::uint32_t, 9> ends{};  // where each text ends in texts
        std::string texts;
    };
    static Waiting pack(const Event& event);
    static Event unpack(const Waiting& waiting);

    // The selected batch; the first row that could not be read as an event
    // is kept as its exception, where its turn comes (the events kept
    // before it are handled first, none after it).
    std::vector<Waiting> m_events;
    std::exception_ptr m_unreadable;
    std::int64_t m_unreadableId = 0;  // its RPEV_ID, 0 when even that does not read
    bool m_selected = false;
    int m_selectedCount = 0;
    // Documents with an event in another agent's hands: their later events
    // wait for a later run.
    std::set<std::string> m_waitingDocuments;
    int m_retryTurn = 0;
    int m_failedNotRetried = 0;
};

}  // namespace replica
