#include "app/stopnotifier.h"

#include <QSocketNotifier>

#include "app/stopsignals.h"

namespace replica::app {

void watchStopSignals(int fd, QObject* parent, std::function<void()> onStop) {
    if (fd < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent,
                     [fd, onStop = std::move(onStop)] {
                         // One stop is enough.
                         takeStopRequest(fd);
                         onStop();
                     });
}

}  // namespace replica::app
