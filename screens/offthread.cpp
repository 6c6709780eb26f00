#include "screens/offthread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <exception>
#include <thread>

namespace replica::screens {

void runOffThread(const std::function<void()>& work) {
    QEventLoop waiting;
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    {
        std::jthread worker([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
            QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
        });
        waiting.exec();
        // The application told every loop to end (exit): the work still
        // hands its calls here until it returns, and is joined only then.
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(10);
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace replica::screens
