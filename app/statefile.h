#pragma once
// The agent's state file: what a monitoring system needs to know of the
// last run without the database password (which only the agent's own user
// may read).
//
// After every run the console agent writes the run's time, duration,
// outcome and exit status, the figures of each phase, the pending events of
// the local database per destination with the age of the oldest, and the
// agent's version; `replica verify --state-file` adds the counts of the
// last comparison, leaving the run's lines as they are (and the agent keeps
// verify's lines when it rewrites the file). `replica status --from-file`
// reads it back without any database.
//
// The file is replaced whole (a temporary file in the same directory,
// flushed to the disk, then renamed over it), so a reader sees the previous
// state or the new one, never half of one. It is created with mode 0640
// (less what the umask takes): readable by the agent's group, which the
// administrator chooses. A file that cannot be written is reported and
// never stops replication.
//
// Text, one "key=value" per line after the line "replica-state 1"; lines
// of unknown keys are skipped by readers (a later agent may add some).
// Timestamps are given twice: ISO 8601 with the machine's time zone, for
// people, and Unix seconds, for the age.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/status.h"
#include "app/verify.h"
#include "engine/rundriver.h"

namespace replica::app {

inline constexpr const char* kStateFileHeader = "replica-state 1";
// Where the service's state file goes when --state-file is not given: the
// runtime directory systemd creates for the unit (RuntimeDirectory=).
inline constexpr const char* kRuntimeDirectoryEnvironment = "RUNTIME_DIRECTORY";
inline constexpr const char* kStateFileName = "state";

struct Timestamp {
    std::int64_t seconds = 0;  // Unix time
    std::string text;          // ISO 8601 with its offset: "2026-12-11T02:20:20+01:00"

    static Timestamp at(std::int64_t unixSeconds);
    static Timestamp current();
};

struct PhaseState {
    std::string phase;    // "download" or "upload"
    std::string company;  // the source (download) or destination (upload)
    std::string outcome;  // "done", "no_server", "unreachable", "lost", "interrupted"
    std::int64_t selected = 0, handled = 0, completed = 0, failed = 0, skipped = 0;
};

struct PendingState {
    std::string company;  // the destination of the local events
    std::int64_t pending = 0, failed = 0;
    std::optional<std::int64_t> oldestAgeSeconds;
};

struct RunState {
    Timestamp started, ended;
    std::int64_t durationMs = 0;
    int exitStatus = 0;   // as a --once run would end (commandline.h)
    std::string outcome;  // that status as a word: "completed", "event_failed", ...
    std::int64_t handled = 0, completed = 0, failed = 0, skipped = 0, unreachable = 0;
    // Seconds to the next run; 0: the timer stopped, no run will follow.
    std::int64_t nextRunSeconds = 0;
    std::vector<PhaseState> phases;
    // The local database's pending events, read after the run; when they
    // could not be read, why.
    std::vector<PendingState> pending;
    std::string pendingError;
};

struct VerifyState {
    Timestamp at;
    int exitStatus = 0;
    VerifyCounts counts;
};

struct AgentState {
    std::string version;
    std::string company;
    Timestamp written;
    std::optional<RunState> run;
    std::optional<VerifyState> verify;
};

// The word of an exit status of the agent.
const char* outcomeWord(int exitStatus);

// The run's part of the state: report as the driver returned it, pending
// what the local database held afterwards (status.h).
RunState runState(const RunReport& report, const StatusReport& pending,
                  std::int64_t nextRunSeconds);

std::string stateFileText(const AgentState& state);
// Throws std::runtime_error saying what is wrong with text.
AgentState parseStateFile(const std::string& text);

// Reads path; throws std::runtime_error (naming the file and the reason).
AgentState readStateFile(const std::string& path);
// Replaces path with state atomically (see above); throws
// std::runtime_error naming the file and the system's reason.
void writeStateFile(const std::string& path, const AgentState& state);

// The state file of a start: the one given, else kStateFileName in the
// runtime directory systemd gave the service, else none ("").
std::string stateFilePath(const std::string& given, const char* runtimeDirectory);

// Rewrites the file at path with run (the agent) or verify (`replica
// verify`), keeping what the file holds of the other; a file missing or
// unreadable is started afresh. The read and the rewrite hold an exclusive
// lock (flock) on the companion file path + ".lock", so that the agent and
// verify writing at one moment do not lose one another's figures; the lock
// is waited for up to wait. Throws as writeStateFile, and
// std::runtime_error naming the lock file when it cannot be taken in time.
inline constexpr std::chrono::milliseconds kStateFileLockWait{5000};
std::string stateLockPath(const std::string& path);
void updateStateFile(const std::string& path, const std::string& company,
                     const std::optional<RunState>& run, const std::optional<VerifyState>& verify,
                     std::chrono::milliseconds wait = kStateFileLockWait);

// The agent's side: after each run, the state of that run and of the local
// database's pending events. A file that cannot be written is said through
// warn once, and again only when the reason changes after it could be
// written or for another reason.
class StateRecorder {
  public:
    using Warn = std::function<void(const std::string&)>;
    StateRecorder(std::string path, std::string company, Warn warn)
        : m_path(std::move(path)), m_company(std::move(company)), m_warn(std::move(warn)) {}

    const std::string& path() const { return m_path; }
    // Nothing when there is no path. local: the company database, open.
    void record(const RunReport& report, db::Connection& local, std::int64_t nextRunSeconds);
    // A start that ended before any run (a database out of reach, a company
    // that does not exist): the run's part says so with exitStatus and no
    // figures.
    void recordStartFailure(int exitStatus);

  private:
    void write(const RunState& run);

    std::string m_path;
    std::string m_company;
    Warn m_warn;
    std::string m_lastFailure;
};

}  // namespace replica::app
