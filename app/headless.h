#pragma once
// The agent without a window, for servers without a display.
//
// The same start as the main screen's command-line mode (GENERAL.FDB, the
// company, one run at once, then the repeat timer), with the console
// Operator: captions, event lines and errors go to standard output and
// messages that would wait for an operator are only written.
//
// The program ends when --once was asked for (after the first run), when the
// start cannot go on (nothing could ever run), when a run leaves the repeat
// timer stopped (no operator is there to press "Enviar"), or on a stop
// request (SIGTERM, SIGINT), which waits for the run in progress to return.

#include "app/commandline.h"

namespace replica::app {

// Runs the agent; needs a QCoreApplication. stopFd: the stop-request
// descriptor of blockStopSignals (-1: none). Returns the exit status.
int runHeadless(const CommandLine& args, int stopFd);

}  // namespace replica::app
