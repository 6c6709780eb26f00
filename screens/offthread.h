#pragma once
// Work that waits for databases, done off the window's thread: the window
// goes on repainting and taking clicks meanwhile, and the call returns with
// the work, as a modal screen's exec() does. The work must not touch
// widgets (hand such calls to the window's thread with a queued
// invokeMethod) nor a connection the window's thread may use meanwhile.

#include <functional>

namespace replica::screens {

// Runs work on a thread of its own and turns this thread's event loop until
// it has returned. An exception of work is thrown here, on this thread.
void runOffThread(const std::function<void()>& work);

}  // namespace replica::screens
