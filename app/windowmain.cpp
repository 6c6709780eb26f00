// The window program: the main screen "Envío de información". The console
// program `replica` starts it, with the command line it has checked.

#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/agentlock.h"
#include "app/appdir.h"
#include "app/commandline.h"
#include "app/principalauto.h"
#include "app/start.h"
#include "app/stopnotifier.h"
#include "app/stopsignals.h"

namespace {

using namespace replica::app;

// The arguments as the application left them (it takes its own options out).
std::vector<std::string> applicationArguments() {
    std::vector<std::string> args;
    const QStringList list = QCoreApplication::arguments();
    for (qsizetype i = 1; i < list.size(); ++i) {
        args.push_back(list[i].toStdString());
    }
    return args;
}

void warnWindowIgnoredOptions(const CommandLine& cl) {
    const std::vector<std::string> ignored = cl.windowIgnoredOptions();
    if (ignored.empty()) {
        return;
    }
    std::string names;
    for (const std::string& name : ignored) {
        names += (names.empty() ? "" : ", ") + name;
    }
    std::cerr << "replica: la ventana no toma del comando " << names
              << ": se usan sus propios campos (estas opciones son de --headless)\n";
}

// An unattended start of the window replicates on its timer like the
// console agent: the same lock keeps a second one out. False when another
// agent holds it.
bool lockUnattendedWindow(const CommandLine& cl, AgentLock& lock) {
    if (!cl.commandLineMode()) {
        return true;
    }
    const std::string dir =
        applicationDirectory([](const std::string& m) { std::cerr << "replica: " << m << "\n"; });
    switch (lock.acquire(dir, cl.company)) {
        case AgentLock::Result::Acquired:
            break;
        case AgentLock::Result::Held:
            std::cerr << "replica: " << alreadyRunningMessage(cl.company, lock) << "\n";
            return false;
        case AgentLock::Result::Failed:
            // As the console agent: the lock in the company database
            // still keeps a second agent out.
            std::cerr << "replica: " << lock.error()
                      << "; se sigue sin ese bloqueo: la compañía queda protegida por el "
                         "bloqueo de su base de datos\n";
            break;
    }
    return true;
}

int runWindow(int argc, char** argv, int stopFd) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("Norvale Envio automático"));
    // The toolkit has removed its own options from argv by now.
    const Start start = prepare(applicationArguments(), argv, Password::UnlessAsked);
    if (start.exit) {
        return *start.exit;
    }
    warnWindowIgnoredOptions(start.cl);
    AgentLock lock;
    if (!lockUnattendedWindow(start.cl, lock)) {
        return kExitAlreadyRunning;
    }
    int status = 0;
    {
        Tfprincipalauto window(start.cl);
        QObject::connect(&window, &Tfprincipalauto::quitRequested, &app,
                         [](int code) { QCoreApplication::exit(code); });
        // A stop request closes the window like "Cancelar" (after the run in
        // progress, if any).
        watchStopSignals(stopFd, &window, [&window] { window.close(); });
        window.show();
        status = QApplication::exec();
    }
    // The window has closed its connections.
    return stopClient(status);
}

}  // namespace

int main(int argc, char** argv) {
    const int stopFd = blockStopSignals();
    const CommandLine window =
        parseCommandLine(withoutToolkitOptions(std::vector<std::string>(argv + 1, argv + argc)));
    if (window.help || window.version || !window.error.empty()) {
        return early(window);
    }
    installTrace();
    // The name its settings and messages have always had, whatever the
    // file is called.
    QCoreApplication::setApplicationName("replica");
    return runWindow(argc, argv, stopFd);
}
