#pragma once
// The agent without a window, for servers without a display.
//
// The same start as the main screen's command-line mode (GENERAL.FDB, the
// company, one run at once, then the repeat timer), with the console
// Operator: captions, event lines and errors go to standard output, each
// after its date and time, and messages that would wait for an operator
// are only written. The main screen's fields come from the command line
// (already checked by parseCommandLine); after every run a summary line
// gives the figures of each phase and the run's duration.
//
// Before it opens any database the agent takes the lock of its company in
// the application directory (AgentLock) and keeps it until it ends; a
// directory that cannot hold the lock file is said on standard error and
// the agent goes on (each run still holds the lock in the company database,
// RunDriver). A company that GENERAL.FDB does not list, or a branch the
// company does not have, ends it before any run; so does a GENERAL.FDB or
// company database that cannot be reached (with the outage status).
//
// The program ends when --once was asked for (after the first run), when the
// start cannot go on (nothing could ever run), when a run leaves the repeat
// timer stopped (no operator is there to press "Enviar"), or on a stop
// request (SIGTERM, SIGINT), which waits for the run in progress to return.

#include <string>

#include "app/commandline.h"
#include "engine/operator.h"
#include "engine/rundriver.h"

namespace replica::app {

// The main screen's fields as the command line sets them, defaults where it
// does not (100, 100, one minute, nothing checked).
RunInputs fieldsFrom(const CommandLine& args);

// The summary line of a run: the totals, then each phase, then the
// duration.
std::string summaryText(const RunReport& report);

// Runs the agent; needs a QCoreApplication. args.password is the password
// to use (passwordsource.h). stopFd: the stop-request descriptor of
// blockStopSignals (-1: none). Returns the exit status.
int runHeadless(const CommandLine& args, int stopFd);

}  // namespace replica::app
