#pragma once
// The program's command line.
//
//   replica [options] [server user password company [1] [server-override]]
//   replica status [--json] [connection options] [server user password company]
//   replica status --from-file PATH [--json | --nagios | --prometheus]
//
// The six positional values identify the operator and the company exactly
// as an unattended start expects them; outside scripts rely on them, so
// positions keep their meaning. The long options give the same values by
// name (--server, --user, --company, --no-retry, --server-override), keep
// the password off the command line (--password-file, or REPLICA_PASSWORD
// in the environment) and set, for the console agent, every field of the
// main screen: prefix, the two counts, the frequency, the order, the
// branch. A value is given as "--name VALUE" or "--name=VALUE".
//
// The field options are checked here as the run checks the screen's fields
// (whole numbers within the same limits), so a bad value stops the program
// before it opens any database.

#include <optional>
#include <string>
#include <vector>

namespace replica::app {

// Exit statuses of a --once run (and of a start that cannot run at all).
// When several apply, the first of 4, 1, 5 wins: an outage needs someone
// first, a failed event next, lost log lines last.
inline constexpr int kExitCompleted = 0;       // every handled event was completed
inline constexpr int kExitEventFailed = 1;     // some event failed (or the run was cut short)
inline constexpr int kExitNotStarted = 2;      // the run could not start
inline constexpr int kExitAlreadyRunning = 3;  // another agent holds the company's lock
inline constexpr int kExitOutage = 4;          // a database unreachable, refusing the login
                                               // or not answering
inline constexpr int kExitLogsUnwritten = 5;   // the log files could not be written
// What only the administrator can correct (a company or branch that does
// not exist, a password file that cannot be read): trying again changes
// nothing, so a service manager is told to stop retrying.
inline constexpr int kExitConfiguration = 6;

// The limit of "Frecuencia:", the run's own: the minutes' milliseconds must
// fit the timer's int (the counts' limit is in engine/numbers.h).
inline constexpr long kMaxFrequencyMinutes = 35791;
// The time limit of a database that does not answer, in seconds.
inline constexpr long kMaxTimeoutSeconds = 86400;
inline constexpr const char* kTimeoutValueMessage =
    "El tiempo de espera debe ser un número entero de segundos, de 1 a 86400.";

inline constexpr const char* kPasswordEnvironment = "REPLICA_PASSWORD";

struct CommandLine {
    enum class Command { Agent, Status };
    Command command = Command::Agent;

    bool headless = false;
    bool once = false;
    bool help = false;
    bool version = false;
    bool json = false;  // status: the report as JSON
    // status: the agent's state file read instead of the databases, and
    // the formats only it offers.
    std::string fromFile;
    bool nagios = false;
    bool prometheus = false;
    std::optional<long> staleAfter;  // --stale-after: seconds
    // --state-file: where the console agent writes its state after each
    // run; empty: the service's runtime directory, if any (statefile.h).
    std::string stateFile;

    // Positional values, or the options that name them.
    std::string server;                // 1, --server
    std::string user;                  // 2, --user
    std::string password;              // 3 (see passwordsource.h)
    std::string company;               // 4, --company: command-line mode when not empty
    std::string skipErrors;            // 5: "1" checks "No reintentar errores" (--no-retry)
    std::string serverOverride;        // 6, --server-override
    std::vector<std::string> ignored;  // positional values beyond the sixth

    std::string passwordFile;  // --password-file: the password is its first line
    // --timeout: seconds a database may leave a call unanswered; unset: the
    // installation setting, or its default (databaseTimeout()).
    std::optional<long> timeout;

    // The main screen's fields; unset: the screen's defaults.
    std::optional<std::string> prefix;         // --prefix, "Prefijo a enviar:"
    std::optional<std::string> downloadCount;  // --download-count, "Operaciones a traer:"
    std::optional<std::string> uploadCount;    // --upload-count, "Operaciones a enviar:"
    std::optional<std::string> frequency;      // --frequency, "Frecuencia:" (minutes)
    std::optional<std::string> branch;         // --branch, "Agencia:"
    bool newestFirst = false;                  // --newest-first, "Enviar lo más reciente primero"
    bool atomicDocuments = false;  // --atomic-documents, "Documentos completos (todo o nada)"

    std::string error;  // not empty: the arguments cannot be used

    bool commandLineMode() const { return !company.empty(); }
    bool skipErrorsChecked() const { return skipErrors == "1"; }
    // The field options given that the main window does not take from the
    // command line (it has them on screen).
    std::vector<std::string> windowIgnoredOptions() const;
};

// args excludes the program name. Options ("--name", "-h") are recognised
// anywhere; "--" makes every later argument positional. Other words
// beginning with "-" are values. A first argument "status" selects the
// status report. An option's value is the next argument whatever it looks
// like.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// args without the options the window's toolkit takes out for itself
// (-platform NAME, -style NAME, -reverse, ...; one dash or two, "=VALUE" or
// the next word): the command line is checked whole before the program
// knows whether it needs a window, so these must not be taken for values
// or refused as unknown.
std::vector<std::string> withoutToolkitOptions(const std::vector<std::string>& args);

// Index in args of the positional password (the third positional value),
// -1 when there is none: the program overwrites it in its own argument
// memory once it has been read, so that the process list stops showing it.
int positionalPasswordIndex(const std::vector<std::string>& args);

// The text of `replica --help`.
std::string usageText();

// The man page with the entries of the options written from the same table
// as the parser and usageText(): each line `.\" options: GROUP`
// (connection, fields, modes) becomes the entries of that group. Throws
// std::invalid_argument when a group has no such line or more than one, or
// when a line names no group.
std::string fillManPageOptions(const std::string& page);

}  // namespace replica::app
