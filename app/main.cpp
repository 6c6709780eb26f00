// The program: the main screen "Envío de información", the console agent
// with --headless, or the status report with `replica status`.

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/agentlock.h"
#include "app/appdir.h"
#include "app/commandline.h"
#include "app/headless.h"
#include "app/journal.h"
#include "app/monitoring.h"
#include "app/passwordsource.h"
#include "app/principalauto.h"
#include "app/statefile.h"
#include "app/status.h"
#include "app/stopsignals.h"
#include "app/verify.h"
#include "engine/db/connection.h"

namespace {

using namespace replica::app;

// The arguments as the application left them (it takes its own options out);
// there must be one.
std::vector<std::string> applicationArguments() {
    std::vector<std::string> args;
    const QStringList list = QCoreApplication::arguments();
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
        std::cerr << stderrErrorPrefix() << "replica: " << cl.error
                  << "\n(replica --help muestra el uso)\n";
        return kExitNotStarted;
    }
    for (const std::string& extra : cl.ignored) {
        std::cerr << "replica: argumento de más ignorado: " << extra << "\n";
    }
    return -1;
}

// Once read, the password must not stay where every process of the same
// user can read it (/proc/PID/environ shows the environment the program was
// started with, whatever unsetenv() does): the text is overwritten where it
// lies, then the variable removed.
void forgetEnvironmentPassword() {
    const std::string prefix = std::string(kPasswordEnvironment) + "=";
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, prefix.c_str(), prefix.size()) == 0) {
            char* value = *e + prefix.size();
            std::memset(value, 0, std::strlen(value));
        }
    }
    ::unsetenv(kPasswordEnvironment);
}

// Puts the password to use into cl (file, argument or environment); false,
// with the reason on standard error, when it cannot be had.
bool takePassword(CommandLine& cl) {
    const PasswordSource source = resolvePassword(cl, std::getenv(kPasswordEnvironment));
    if (!source.error.empty()) {
        std::cerr << stderrErrorPrefix() << "replica: " << source.error << "\n";
        return false;
    }
    cl.password = source.password;
    forgetEnvironmentPassword();
    return true;
}

// Every database connection of the program gives up a database that leaves
// it waiting longer than the configured limit.
// The installation's compression setting applies to them too.
void applyTimeout(const CommandLine& cl) {
    const auto notify = [](const std::string& m) { std::cerr << "replica: " << m << "\n"; };
    replica::db::Connection::setDefaultTimeout(databaseTimeout(cl.timeout, notify));
    replica::db::Connection::setWireCompression(wireCompression(notify));
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

// Whether a start reads the password before it runs.
enum class Password {
    Needed,       // status and the console agent
    UnlessAsked,  // the window: its access-control screen asks for it, unless
                  // it starts unattended or is given a password file
};

struct Start {
    CommandLine cl;
    std::optional<int> exit;  // the program ends here with this status
};

// What every start does before it runs: reads its arguments (help, version
// or the reason they cannot be used end the program here), takes the
// password, overwrites its copy in the process list and sets the time limit
// of every database connection. args are argv[1..] as the start reads them.
Start prepare(const std::vector<std::string>& args, char** argv, Password password) {
    Start start{parseCommandLine(args), std::nullopt};
    CommandLine& cl = start.cl;
    if (const int status = early(cl); status >= 0) {
        start.exit = status;
        return start;
    }
    const bool needed =
        password == Password::Needed || cl.commandLineMode() || !cl.passwordFile.empty();
    if (needed && !takePassword(cl)) {
        start.exit = kExitConfiguration;
        return start;
    }
    hidePassword(args, argv);
    applyTimeout(cl);
    return start;
}

// Stops the embedded engine before the exit handlers run, once every
// connection is closed; returns status.
int stopClient(int status) {
    replica::db::shutdownClient();
    return status;
}

int runStatus(const std::vector<std::string>& args, char** argv) {
    const Start start = prepare(args, argv, Password::Needed);
    if (start.exit) {
        return *start.exit;
    }
    const StatusReport report = collectStatus(start.cl);
    std::cout << (start.cl.json ? statusJson(report) : statusText(report)) << std::flush;
    return stopClient(report.exitStatus());
}

// `replica verify`: its own options taken out, the rest read as the status
// report reads its connection options.
int runVerifyCommand(std::vector<std::string> args, char** argv) {
    const VerifyOptions options = takeVerifyOptions(args);
    if (!options.error.empty()) {
        std::cerr << "replica: " << options.error << "\n";
        return kVerifyCannotRun;
    }
    const Start start = prepare(args, argv, Password::Needed);
    if (start.exit) {
        return *start.exit;
    }
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const VerifyReport report = runVerify(start.cl, options, [terminal](const std::string& line) {
        if (terminal) {
            std::cerr << "\r" << line << "\x1b[K" << std::flush;
        }
    });
    if (terminal) {
        std::cerr << "\r\x1b[K" << std::flush;
    }
    std::cout << (start.cl.json ? verifyJson(report) : verifyText(report)) << std::flush;
    if (!options.stateFile.empty()) {
        // The comparison's status stands: the file is the monitor's copy.
        try {
            updateStateFile(
                options.stateFile, start.cl.company, std::nullopt,
                VerifyState{Timestamp::current(), report.exitStatus(), verifyCounts(report)});
        } catch (const std::exception& e) {
            std::cerr << "replica: " << e.what() << "\n";
        }
    }
    return stopClient(report.exitStatus());
}

int runConsoleAgent(int argc, char** argv, int stopFd) {
    QCoreApplication app(argc, argv);
    const Start start = prepare(applicationArguments(), argv, Password::Needed);
    if (start.exit) {
        return *start.exit;
    }
    return stopClient(runHeadless(start.cl, stopFd));
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
    // Before any thread exists, so that no thread of the database client
    // is ever interrupted by a stop request.
    const int stopFd = blockStopSignals();
    installTrace();
    const std::vector<std::string> rawArgs(argv + 1, argv + argc);
    // Help, version and the status report need no toolkit at all (and no
    // display).
    const CommandLine raw = parseCommandLine(rawArgs);
    if (raw.help || raw.version) {
        return early(raw);
    }
    if (!rawArgs.empty() && rawArgs[0] == kVerifyWord) {
        return runVerifyCommand(rawArgs, argv);
    }
    if (raw.nagios && !raw.error.empty()) {
        // A plugin that cannot run says UNKNOWN, as the monitor expects.
        std::cout << "UNKNOWN - replica: " << raw.error << "\n";
        return kNagiosUnknown;
    }
    if (raw.command == CommandLine::Command::Status && !raw.fromFile.empty()) {
        // No database and no password: what a monitoring user may run.
        const int status = early(raw);
        return status >= 0 ? status : reportFromFile(raw, std::cout, std::cerr);
    }
    if (raw.command == CommandLine::Command::Status) {
        return runStatus(rawArgs, argv);
    }
    if (raw.headless) {
        return runConsoleAgent(argc, argv, stopFd);
    }
    // The whole command line is checked before a window exists: a mistyped
    // option must say so and end with its status, even without a display.
    // The toolkit's own options are the window's, not mistakes.
    const CommandLine window = parseCommandLine(withoutToolkitOptions(rawArgs));
    if (window.help || window.version || !window.error.empty()) {
        return early(window);
    }
    return runWindow(argc, argv, stopFd);
}
