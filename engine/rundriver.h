#pragma once
// One replication run (the main screen's `SpeedButton1Click`): cleanup, the
// download phase, the upload phase per destination company, timer re-arm.
//
// The driver owns the server connection and the run options; the local
// company connection belongs to the main screen and is lent here. A run
// never starts while another is in progress (the screen pumps messages
// during a run, so "Enviar" or the timer may call run() again).

#include <cstdint>
#include <string>

#include "engine/catalogue.h"
#include "engine/db/connection.h"
#include "engine/errorcapture.h"
#include "engine/event.h"
#include "engine/logs.h"
#include "engine/operator.h"

namespace replica {

struct RunReport {
    bool started = false;    // false: refused (no company, bad input, already running)
    bool finished = false;   // reached the timer re-arm (no unhandled error)
    int handled = 0;         // events dispatched (skipped by the prefix filter excluded)
    int completed = 0;       // events marked replicated
    int failed = 0;          // events left pending with an error
};

class RunDriver {
public:
    RunDriver(Operator& op, Logs& logs, const Catalogue& catalogue, db::Connection& local);

    // The sixth command-line argument: replaces RPCO_SERVIDOR for every
    // server connection. Empty: none.
    void setServerOverride(std::string server) { m_serverOverride = std::move(server); }

    RunReport run();
    bool running() const { return m_running; }

    ErrorCapture& errors() { return m_errors; }
    db::Connection& server() { return m_server; }
    const RunOptions& options() const { return m_options; }

private:
    Operator& m_op;
    Logs& m_logs;
    const Catalogue& m_catalogue;
    db::Connection& m_local;
    db::Connection m_server;
    ErrorCapture m_errors;
    RunOptions m_options;
    std::string m_serverOverride;
    bool m_running = false;
};

}  // namespace replica
