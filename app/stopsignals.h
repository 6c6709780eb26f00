#pragma once
// A stop request from the system (SIGTERM, SIGINT) turned into an ordinary
// event of the program's loop.
//
// The signals are blocked in every thread and read from a descriptor by the
// event loop, so they never interrupt the database client's own threads in
// the middle of a wait. During a run the console agent looks for a request
// between events (takeStopRequest), so a stop never cuts a document in half.

#include <chrono>

namespace replica::app {

// Blocks SIGTERM and SIGINT for the calling thread and every thread created
// after it: call it first thing in main. Returns a descriptor that becomes
// readable when one of them arrives, or -1 when the system refuses (the
// signals then keep their default action).
int blockStopSignals();

// Whether a stop request has arrived on fd since the last look, without
// waiting; takes every pending one. For a run, which does not return to the
// event loop until it ends.
bool takeStopRequest(int fd);

// Waits up to timeout for a stop request on fd; true when one came (and
// was taken). With no descriptor it simply waits. The console agent's wait
// between runs.
bool waitForStopRequest(int fd, std::chrono::milliseconds timeout);

}  // namespace replica::app
