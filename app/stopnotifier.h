#pragma once
// Stop requests (see stopsignals.h) delivered to the window's event loop.

#include <functional>

class QObject;

namespace replica::app {

// Calls onStop from the event loop whenever fd (from blockStopSignals)
// reports a signal. The watcher is a child of parent.
void watchStopSignals(int fd, QObject* parent, std::function<void()> onStop);

}  // namespace replica::app
