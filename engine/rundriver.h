#pragma once
// One replication run (the main screen's `SpeedButton1Click`): cleanup, the
// download phase, the upload phase per destination company, timer re-arm.
//
// The driver owns the server connection and the run options; the local
// company connection belongs to the main screen and is lent here. A run
// never starts while another is in progress (the screen pumps messages
// during a run, so "Enviar" or the timer may call run() again).
//
// Nor does it start while another agent replicates the same local company,
// on this machine or another: for the length of a run the driver holds the
// rows of REPLICA_COMPANIA locked in the local company database, through a
// connection of its own (kAgentGuardSql). A second agent finds them held
// and refuses its run; the lock goes with the first agent's connection
// however that agent ends. Only writers of REPLICA_COMPANIA (the settings
// editor of the companies) wait for the end of the run; reads and every
// other table are not held up.
//
// With several destination companies, their upload phases run side by
// side, each on a thread of its own with its own connections to the local
// and the destination database (the operator is called from the run's
// thread only: see operatorrelay.h). Each destination's events keep their
// order; a destination down, frozen or refusing rows holds back no other.
//
// A server that stops answering (the connections' time limit) or goes away
// during its phase is logged like a server that cannot be reached, and the
// run goes on with the next phase or company; the event being handled
// stays pending and is tried again by the next run.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/db/connection.h"
#include "engine/db/rowlock.h"
#include "engine/errorcapture.h"
#include "engine/event.h"
#include "engine/eventloop.h"
#include "engine/logs.h"
#include "engine/operator.h"

namespace replica {

// Messages of a run that is refused before it sends any SQL, and of a
// frequency that cannot set the timer.
inline constexpr const char* kNoCompanyMessage = "Debe indicar la compañía de origen.";
inline constexpr const char* kDownloadCountMessage =
    "El valor de \"Operaciones a traer:\" debe ser un número entero.";
inline constexpr const char* kUploadCountMessage =
    "El valor de \"Operaciones a enviar:\" debe ser un número entero.";
// (numbers.h words both, and the limit of a count too large.)
inline constexpr const char* kFrequencyMessage =
    "El valor de \"Frecuencia:\" debe ser un número entero de minutos; se mantiene el "
    "intervalo anterior.";
// The lock that keeps a second agent of the same local company out.
inline constexpr const char* kAgentGuardSql = "SELECT RPCO_COD FROM REPLICA_COMPANIA WITH LOCK";
// The run refused because another agent holds that lock.
std::string anotherAgentMessage(const std::string& company);
// The errorenvio.txt line of a destination company with pending events and
// no active REPLICA_COMPANIA row (those events wait for ever), and how
// they are counted (the events its upload phase would select).
std::string noServerMessage(const std::string& company, std::int64_t events);
// Where the next turn of the failed events starts, after a phase whose
// selection was s and whose loop did counts.
long long nextFailedSkip(const EventSelection& s, const LoopCounts& counts);
// The timer's interval in milliseconds for a "Frecuencia:" in minutes;
// nullopt when it is not a whole number of minutes the timer can hold.
std::optional<int> frequencyInterval(const std::string& minutes);
std::string waitingEventsSql(const std::string& company);
// What "Ultimo error:" says after a run that could not write its log files.
inline constexpr const char* kLogFailureMessage =
    "No se pudieron escribir los archivos de registro (el envío siguió; cada evento guarda su "
    "estado en la base de datos): ";

// What one phase of a run did: the download phase, or the upload phase of
// one destination company.
struct PhaseReport {
    enum class Outcome {
        Interrupted,  // an error ended the run during this phase
        NoServer,     // no download server / no active server row for the company
        Unreachable,  // the server database could not be opened
        Lost,         // the server stopped answering or went away during the phase
        Done,         // the events were selected and handled
    };
    Phase phase = Phase::None;
    std::string company;  // download: the source company (RPCO_COD); upload: the destination
    Outcome outcome = Outcome::Interrupted;
    int selected = 0;   // events the phase's SELECT returned
    LoopCounts counts;  // what the event loop did with them
};

struct RunReport {
    bool started = false;       // false: refused (no company, bad input, already running)
    bool anotherAgent = false;  // refused: another agent replicates the local company
    bool finished = false;      // reached the timer re-arm (no unhandled error)
    int handled = 0;            // events dispatched (skipped by the prefix filter excluded)
    int completed = 0;          // events marked replicated
    int failed = 0;             // events left pending with an error
    int skipped = 0;            // events left pending by the upload prefix filter
    int retried = 0;            // of the handled, events that had failed before
    // Failed events this run had no room to retry: they wait for a later
    // turn, behind the ones retried.
    int failedWaiting = 0;
    int unreachable = 0;  // servers not opened, or lost during their phase
    // Some database could not be reached, refused the login or stopped
    // answering: a server of a phase, or the local database (the run then
    // ended).
    bool outage = false;
    // Why the first line of errorenvio.txt or ENVIO.TXT that could not be
    // written was lost; empty when every line was written.
    std::string logFailure;
    // The phases in the order they ran (download first, then one per
    // destination company); the totals above are their sums.
    std::vector<PhaseReport> phases;
    // From the start of the run's first statement to its end.
    std::chrono::milliseconds duration{0};
};

class RunDriver {
  public:
    RunDriver(Operator& op, Logs& logs, const Catalogue& catalogue, db::Connection& local);

    // The sixth command-line argument: replaces RPCO_SERVIDOR for every
    // server connection. Empty: none.
    void setServerOverride(std::string server) { m_serverOverride = std::move(server); }
    const std::string& serverOverride() const { return m_serverOverride; }

    // Where an error that ends a run goes instead of the error capture: the
    // application's handler of an interactive start until its first upload
    // phase. The event being handled is then not marked. Empty (the
    // default): the capture.
    using UnhandledHook = std::function<void(const std::string& message)>;
    void setUnhandledHook(UnhandledHook hook) { m_unhandledHook = std::move(hook); }
    // Called right after every connection attempt of an upload phase,
    // whether the server opened or not.
    using UploadConnectHook = std::function<void()>;
    void setUploadConnectHook(UploadConnectHook hook) { m_uploadConnectHook = std::move(hook); }

    // One run. Never throws: an error that leaves the run is recorded on
    // the event being handled (ENoManejada) and the report says the run
    // did not finish. A refused start (no company, a count that is not a
    // whole number, a run already in progress) sends no SQL.
    RunReport run();
    bool running() const { return m_running; }
    // The operator's "Detener": the run in progress finishes the event it is
    // handling (never a document half copied), leaves the rest pending,
    // skips the phases still ahead and ends as a run ends (timer re-armed).
    // Nothing happens when no run is in progress; each run starts afresh.
    void requestStop() {
        if (m_running) {
            m_stopRequested = true;
        }
    }
    // Whether the last (or current) run was asked to stop.
    bool stopRequested() const { return m_stopRequested; }

    // The repeat interval the last run set (1800000 until a run sets it
    // from "Frecuencia:"); 0 when the frequency was 0 (timer stopped).
    int timerInterval() const { return m_intervalMs; }

    // Restarts the timer from "Frecuencia:"; false when the field was not a
    // whole number (the previous interval is kept). Every run ends with it;
    // the window also calls it between runs when the field changes.
    bool rearmTimer();

    // The settings lookup on the server connection of the current phase.
    std::string configuracion(const std::string& module, const std::string& category,
                              const std::string& property);

    ErrorCapture& errors() { return m_errors; }
    db::Connection& server() { return m_server; }
    // The agent lock's own connection to the local company database (open
    // only during a run).
    db::Connection& guardConnection() { return m_guardConnection; }
    const RunOptions& options() const { return m_options; }

  private:
    Operator& m_op;
    Logs& m_logs;
    const Catalogue& m_catalogue;
    db::Connection& m_local;
    db::Connection m_server;
    db::Connection m_guardConnection;
    db::RowLock m_guard{m_guardConnection};
    ErrorCapture m_errors;
    RunOptions m_options;
    std::string m_serverOverride;
    // Where each phase's next turn of failed events starts ("D" or "U" and
    // the company): kept from run to run, for the life of the driver.
    std::map<std::string, long long> m_failedSkip;
    UnhandledHook m_unhandledHook;
    UploadConnectHook m_uploadConnectHook;
    // Read by the window's thread while a run works on its own.
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    int m_intervalMs = 1800000;

    // The state of one run; nothing of it outlives the run.
    struct Run {
        RunInputs in;
        std::vector<PhaseReport> phases;
        bool badFrequency = false;
    };
    // What a phase works through: the driver's own operator, connections,
    // options and capture, or those of one lane of destinations served
    // side by side.
    struct Lane {
        Operator& op;
        Logs& logs;
        db::Connection& local;
        db::Connection& server;
        RunOptions& options;
        ErrorCapture& errors;
    };
    struct ParallelLane;
    Lane ownLane();
    // Whether the run is refused before any SQL (no company, a count that
    // is not one), having told the operator why.
    bool refusesStart(const RunInputs& in);
    // Cleanup, the download phase, one upload phase per destination company
    // and the timer re-arm: everything a started run does.
    void runPhases(Run& r);
    // The upload phases of several companies, each on a lane of its own.
    void uploadSideBySide(Run& r, const std::vector<std::string>& companies);
    // The totals of the phases, the outage and the lost log lines.
    void finishReport(RunReport& report, Run& r);
    static void showLastSend(Lane& lane, bool setButton);
    static void cleanup(db::Connection& local);
    void downloadPhase(Run& r);
    void uploadCompany(Run& r, Lane& lane, const std::string& company, PhaseReport& report,
                       long long& failedSkip);
    // The server of a phase stopped answering or went away (e): logged like
    // an unreachable server, the phase ends. Rethrows e when what was lost
    // is not the server.
    static void serverLost(Lane& lane, PhaseReport& report, const db::Error& e);
    PhaseSetup setupFor(Lane& lane, Phase phase, const std::string& prefix);
    // Reads the declared settings of moment into the lane's run options.
    void readSettings(Lane& lane, ReadAt moment);
    // The errorenvio.txt line of a company without an active server, when
    // events wait for it.
    static void noServerLine(Lane& lane, const std::string& company);
    void unhandled(const std::string& message);
};

}  // namespace replica
