#pragma once
// The event loop of a phase: select the pending events, then for each one
// announce it, audit it, filter it, dispatch it by type code and complete it.
//
// The events are read once into memory (the set handled in a phase is fixed
// when it is selected) from the phase's source database, and marked in that
// same database. A handler reports a refused row only through the event
// failed flag; the event then stays pending with the error the capture
// already stored. Anything thrown (by a handler, a query, the completion
// UPDATE) leaves the loop with the capture still pointing at the event being
// handled, so the caller can record it on that event.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/catalogue.h"
#include "engine/db/connection.h"
#include "engine/db/query.h"
#include "engine/event.h"

namespace replica {

class ErrorCapture;
class Logs;
class Operator;

// The event selection texts. count must already be a whole number.
std::string downloadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                              bool newestFirst);
std::string uploadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                            bool newestFirst);

// The event of a row of a REPLICA_EVENTOS SELECT *, read column by column
// (field throws for a column the row does not have).
Event eventFromRow(const std::function<const db::Value&(const char*)>& field);
// The one-line field: type, letter, prefix and number, code.
std::string eventLineText(const Event& e);

std::string completionSql(std::int64_t eventId, const std::string& date, const std::string& time);
std::string completionNoteSql(std::int64_t eventId, const std::string& date,
                              const std::string& time);

struct LoopCounts {
    int handled = 0;    // dispatched (skipped events excluded)
    int completed = 0;  // marked replicated
    int failed = 0;     // left pending by their handler (or with no handler)
    int skipped = 0;    // left by the upload prefix filter
};

struct PhaseSetup {
    Phase phase = Phase::None;
    db::Connection* source = nullptr;       // events are read and marked here
    db::Connection* destination = nullptr;  // the handlers write here
    const RunOptions* options = nullptr;
    // Settings lookup on the phase's server connection.
    std::function<std::string(const std::string&, const std::string&, const std::string&)>
        configuracion;
    std::string prefix;  // "Prefijo a enviar:" (upload only)
    // Set by the operator's stop request ("Detener"); the loop reads it
    // between events only, so a document is never left half copied.
    const bool* stop = nullptr;
};

class EventLoop {
  public:
    EventLoop(Operator& op, Logs& logs, ErrorCapture& errors, const Catalogue& catalogue)
        : m_op(op), m_logs(logs), m_errors(errors), m_catalogue(catalogue) {}

    // Opens sql on setup.source and keeps every row (the snapshot the phase
    // handles); the progress bar's maximum becomes the number of rows.
    // Throws db::Error when the database refuses the text.
    void select(const PhaseSetup& setup, const std::string& sql);
    // Handles the selected events in order, then closes the set; a stop
    // request seen before an event leaves it and the rest pending. counts is
    // updated event by event, so it is right also when an exception leaves
    // the loop. Throws whatever a handler or the database throws
    // (RunStopped included).
    void handleAll(const PhaseSetup& setup, LoopCounts& counts);
    int selectedCount() const { return m_selectedCount; }

  private:
    void handle(const PhaseSetup& setup, const Event& event, LoopCounts& counts);
    // Runs handler with the destination's writes in one unit of work.
    void handleWhole(const Handler& handler, HandlerContext& ctx);

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
        std::array<std::uint32_t, 9> ends{};  // where each text ends in texts
        std::string texts;
    };
    static Waiting pack(const Event& event);
    static Event unpack(const Waiting& waiting);

    // The selected batch; the first row that could not be read as an event
    // is kept as its exception.
    std::vector<Waiting> m_events;
    std::exception_ptr m_unreadable;
    std::int64_t m_unreadableId = 0;  // its RPEV_ID, 0 when even that does not read
    bool m_selected = false;
    int m_selectedCount = 0;
};

}  // namespace replica
