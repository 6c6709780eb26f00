// What every start of the program does before it runs, the console's and
// the window's alike.

#include "app/start.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/appdir.h"
#include "app/journal.h"
#include "app/passwordsource.h"
#include "engine/db/connection.h"

namespace replica::app {

namespace {

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

// A server text without a host ("/srv/erp", not "host:/srv/erp") is a
// local directory, opened with the embedded engine; when it is missing the
// administrator is told so (a configuration to correct, not an outage).
bool embeddedEngineAvailable(const CommandLine& cl) {
    if (cl.server.empty() || replica::db::throughServer(cl.server)) {
        return true;
    }
    const std::string missing = replica::db::embeddedEngineMissing();
    if (missing.empty()) {
        return true;
    }
    std::cerr << stderrErrorPrefix() << "replica: " << kEmbeddedEngineMissingMessage << missing
              << " (paquete firebird3.0-server-core); con él se abren las bases de datos del "
                 "directorio local "
              << cl.server << "\n";
    return false;
}

}  // namespace

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
    if (!embeddedEngineAvailable(cl)) {
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

}  // namespace replica::app
