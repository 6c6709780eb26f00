#include "app/stopsignals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace replica::app {

int blockStopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &stop, nullptr) != 0) {
        return -1;
    }
    const int fd = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) {
        pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    }
    return fd;
}

bool takeStopRequest(int fd) {
    if (fd < 0) {
        return false;
    }
    bool taken = false;
    signalfd_siginfo info{};
    while (::read(fd, &info, sizeof info) == sizeof info) {
        taken = true;
    }
    return taken;
}

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
