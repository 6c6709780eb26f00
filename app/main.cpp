// The program: the main screen "Envío de información", or the console agent
// with --headless.

#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/headless.h"
#include "app/principalauto.h"
#include "app/stopsignals.h"
#include "engine/db/connection.h"

namespace {

std::vector<std::string> argumentsOf(const QCoreApplication& app) {
    std::vector<std::string> args;
    const QStringList list = app.arguments();
    for (qsizetype i = 1; i < list.size(); ++i) {
        args.push_back(list[i].toStdString());
    }
    return args;
}

// Prints help or version, or the reason the arguments cannot be used.
// Returns the exit status when the program should end here.
int early(const replica::app::CommandLine& cl) {
    if (cl.help) {
        std::cout << replica::app::usageText();
        return 0;
    }
    if (cl.version) {
        std::cout << "replica " << REPLICA_VERSION << "\n";
        return 0;
    }
    if (!cl.error.empty()) {
        std::cerr << "replica: " << cl.error << "\n(replica --help muestra el uso)\n";
        return replica::app::kExitNotStarted;
    }
    for (const std::string& extra : cl.ignored) {
        std::cerr << "replica: argumento de más ignorado: " << extra << "\n";
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace replica::app;
    // Before any thread exists, so that no thread of the database client
    // is ever interrupted by a stop request.
    const int stopFd = blockStopSignals();
    {
        // Help and version need no toolkit at all (and no display).
        const CommandLine raw = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (raw.help || raw.version) {
            return early(raw);
        }
    }
    if (wantsHeadless(argc, argv)) {
        QCoreApplication app(argc, argv);
        const CommandLine cl = parseCommandLine(argumentsOf(app));
        if (const int status = early(cl); status >= 0) {
            return status;
        }
        const int status = runHeadless(cl, stopFd);
        replica::db::shutdownClient();
        return status;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("Norvale Envio automático"));
    const CommandLine cl = parseCommandLine(argumentsOf(app));
    if (const int status = early(cl); status >= 0) {
        return status;
    }
    int status = 0;
    {
        Tfprincipalauto window(cl);
        QObject::connect(&window, &Tfprincipalauto::quitRequested, &app,
                         [](int code) { QCoreApplication::exit(code); });
        // A stop request closes the window like "Cancelar" (after the run in
        // progress, if any).
        watchStopSignals(stopFd, &window, [&window] { window.close(); });
        window.show();
        status = QApplication::exec();
    }
    // The window has closed its connections; stop the embedded engine before
    // the exit handlers run.
    replica::db::shutdownClient();
    return status;
}
