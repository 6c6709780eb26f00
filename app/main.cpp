// The program: the main screen "Envío de información", the console agent
// with --headless, or the status report with `replica status`.

#include <QApplication>
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/agentlock.h"
#include "app/appdir.h"
#include "app/commandline.h"
#include "app/headless.h"
#include "app/passwordsource.h"
#include "app/principalauto.h"
#include "app/status.h"
#include "app/stopsignals.h"
#include "engine/db/connection.h"

namespace {

using namespace replica::app;

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
int early(const CommandLine& cl) {
    if (cl.help) {
        std::cout << usageText();
        return 0;
    }
    if (cl.version) {
        std::cout << "replica " << REPLICA_VERSION << "\n";
        return 0;
    }
    if (!cl.error.empty()) {
        std::cerr << "replica: " << cl.error << "\n(replica --help muestra el uso)\n";
        return kExitNotStarted;
    }
    for (const std::string& extra : cl.ignored) {
        std::cerr << "replica: argumento de más ignorado: " << extra << "\n";
    }
    return -1;
}

// Puts the password to use into cl (file, argument or environment); false,
// with the reason on standard error, when it cannot be had.
bool takePassword(CommandLine& cl) {
    const PasswordSource source = resolvePassword(cl, std::getenv(kPasswordEnvironment));
    if (!source.error.empty()) {
        std::cerr << "replica: " << source.error << "\n";
        return false;
    }
    cl.password = source.password;
    return true;
}

// Every database connection of the program gives up a database that leaves
// it waiting longer than the configured limit.
void applyTimeout(const CommandLine& cl) {
    replica::db::Connection::setDefaultTimeout(databaseTimeout(
        cl.timeout, [](const std::string& m) { std::cerr << "replica: " << m << "\n"; }));
}

// Overwrites the positional password in the program's own argument memory
// (what the process list shows) once it has been copied. args are argv[1..]
// as the program read them.
void hidePassword(const std::vector<std::string>& args, char** argv) {
    const int index = positionalPasswordIndex(args);
    if (index >= 0) {
        char* text = argv[index + 1];
        std::memset(text, 'x', std::strlen(text));
    }
}

// REPLICA_TRACE=FILE appends every SQL statement the program sends to FILE,
// each after the wall-clock time in microseconds and the database's path:
// what an administrator (or a benchmark timing the start-up) asks for when
// the logs do not say enough. The texts carry the documents' values.
void installTrace() {
    const char* path = std::getenv("REPLICA_TRACE");
    if (!path || !*path) {
        return;
    }
    std::FILE* file = std::fopen(path, "a");
    if (!file) {
        std::cerr << "replica: REPLICA_TRACE: no se puede escribir " << path << "\n";
        return;
    }
    replica::db::Connection::setTraceHook(
        [file](const replica::db::Connection& conn, const std::string& sql) {
            const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::system_clock::now().time_since_epoch());
            std::fprintf(file, "%lld %s %s\n", static_cast<long long>(now.count()),
                         conn.path().c_str(), sql.c_str());
            std::fflush(file);
        });
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that no thread of the database client
    // is ever interrupted by a stop request.
    const int stopFd = blockStopSignals();
    installTrace();
    const std::vector<std::string> rawArgs(argv + 1, argv + argc);
    {
        // Help, version and the status report need no toolkit at all (and
        // no display).
        CommandLine raw = parseCommandLine(rawArgs);
        if (raw.help || raw.version) {
            return early(raw);
        }
        if (raw.command == CommandLine::Command::Status) {
            if (const int status = early(raw); status >= 0) {
                return status;
            }
            if (!takePassword(raw)) {
                return kExitNotStarted;
            }
            hidePassword(rawArgs, argv);
            applyTimeout(raw);
            const StatusReport report = collectStatus(raw);
            std::cout << (raw.json ? statusJson(report) : statusText(report)) << std::flush;
            replica::db::shutdownClient();
            return report.exitStatus();
        }
        if (raw.headless) {
            QCoreApplication app(argc, argv);
            const std::vector<std::string> args = argumentsOf(app);
            CommandLine cl = parseCommandLine(args);
            if (const int status = early(cl); status >= 0) {
                return status;
            }
            if (!takePassword(cl)) {
                return kExitNotStarted;
            }
            hidePassword(args, argv);
            applyTimeout(cl);
            const int status = runHeadless(cl, stopFd);
            replica::db::shutdownClient();
            return status;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("Norvale Envio automático"));
    // The toolkit has removed its own options from argv by now.
    const std::vector<std::string> args = argumentsOf(app);
    CommandLine cl = parseCommandLine(args);
    if (const int status = early(cl); status >= 0) {
        return status;
    }
    if ((cl.commandLineMode() || !cl.passwordFile.empty()) && !takePassword(cl)) {
        return kExitNotStarted;
    }
    hidePassword(args, argv);
    applyTimeout(cl);
    if (const std::vector<std::string> ignored = cl.windowIgnoredOptions(); !ignored.empty()) {
        std::string names;
        for (const std::string& name : ignored) {
            names += (names.empty() ? "" : ", ") + name;
        }
        std::cerr << "replica: la ventana no toma del comando " << names
                  << ": se usan sus propios campos (estas opciones son de --headless)\n";
    }
    // An unattended start of the window replicates on its timer like the
    // console agent: the same lock keeps a second one out.
    AgentLock lock;
    if (cl.commandLineMode()) {
        const std::string dir = applicationDirectory(
            [](const std::string& m) { std::cerr << "replica: " << m << "\n"; });
        switch (lock.acquire(dir, cl.company)) {
            case AgentLock::Result::Acquired:
                break;
            case AgentLock::Result::Held:
                std::cerr << "replica: " << alreadyRunningMessage(cl.company, lock) << "\n";
                return kExitAlreadyRunning;
            case AgentLock::Result::Failed:
                // As the console agent: the lock in the company database
                // still keeps a second agent out.
                std::cerr << "replica: " << lock.error()
                          << "; se sigue sin ese bloqueo: la compañía queda protegida por el "
                             "bloqueo de su base de datos\n";
                break;
        }
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
