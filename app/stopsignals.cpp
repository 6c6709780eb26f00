#include "app/stopsignals.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <thread>

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

bool waitForStopRequest(int fd, std::chrono::milliseconds timeout) {
    if (fd < 0) {
        std::this_thread::sleep_for(timeout);
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return takeStopRequest(fd);
        }
        pollfd watched{fd, POLLIN, 0};
        // poll() takes an int of milliseconds: long waits are taken in turns.
        const auto turn = std::min<long long>(left.count(), 3600000);
        if (::poll(&watched, 1, static_cast<int>(turn)) > 0 && takeStopRequest(fd)) {
            return true;
        }
    }
}

}  // namespace replica::app
