#include "app/commandline.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>

#include "engine/numbers.h"
#include "engine/rundriver.h"

namespace replica::app {

namespace {

// Where an option may be given.
enum Place : unsigned {
    kAgent = 1,   // the console agent (--headless)
    kWindow = 2,  // the main window
    kStatus = 4,  // `replica status`
};
constexpr unsigned kRun = kAgent | kWindow;  // either start of the agent
constexpr unsigned kEverywhere = kRun | kStatus;

constexpr const char* kStatusWord = "status";
// A first word the usual way of asking for the usage; no server is named so.
constexpr const char* kHelpWord = "help";
constexpr const char* kEndOfOptions = "--";
// A year: a state file older than that is stale whatever the agent's
// frequency.
constexpr long kMaxStaleSeconds = 366L * 86400;

using Problem = std::optional<std::string>;

// The groups --help and the man page list the options in.
enum class OptionGroup { Connection, Fields, Modes };

struct Option;

// What the walk fills: the command line, the values given by name that are
// merged with the positional ones once every argument is read, and where
// each positional value stood.
struct Reading {
    CommandLine cl;
    std::map<const Option*, std::string> named;
    std::set<const Option*> given;  // the options with a value met so far
    bool noRetry = false;
    std::vector<std::string> positional;
    std::vector<std::size_t> positionalIndex;  // index in args of each positional value

    // Only the first problem is told: the ones after it often follow from it.
    void fail(std::string message) {
        if (cl.error.empty()) {
            cl.error = std::move(message);
        }
    }
};

Problem downloadCountProblem(const std::string& value) {
    return countProblem(CountField::Download, value);
}

Problem uploadCountProblem(const std::string& value) {
    return countProblem(CountField::Upload, value);
}

Problem frequencyProblem(const std::string& value) {
    if (digitsIn(value, 0, kMaxFrequencyMinutes)) {
        return std::nullopt;
    }
    return "El valor de \"Frecuencia:\" debe ser un número entero de minutos, de 0 a " +
           std::to_string(kMaxFrequencyMinutes) + ".";
}

// The seconds as a number; a refused value sets nothing (the error ends the
// program before any database is opened).
Problem takeTimeout(Reading& r, const std::string& value) {
    const auto seconds = digitsIn(value, 1, kMaxTimeoutSeconds);
    if (!seconds) {
        return kTimeoutValueMessage;
    }
    r.cl.timeout = static_cast<long>(*seconds);
    return std::nullopt;
}

Problem takeStaleAfter(Reading& r, const std::string& value) {
    const auto seconds = digitsIn(value, 1, kMaxStaleSeconds);
    if (!seconds) {
        return "un número entero de segundos, de 1 a " + std::to_string(kMaxStaleSeconds) + ".";
    }
    r.cl.staleAfter = static_cast<long>(*seconds);
    return std::nullopt;
}

// Checks the box whatever the fifth positional value says.
Problem takeNoRetry(Reading& r, const std::string&) {
    r.noRetry = true;
    return std::nullopt;
}

// One word of the command line: how the parser takes it and how --help and
// the man page describe it.
struct Option {
    enum class Kind {
        Option,        // "--name", "--name VALUE", "--name=VALUE"
        Command,       // the first word only (status)
        EndOfOptions,  // "--"
    };
    const char* name = nullptr;
    const char* alias = nullptr;  // another spelling of it ("-h")
    Kind kind = Kind::Option;
    // The name of its value in --help and in the man page; none: it takes no
    // value.
    const char* value = nullptr;
    const char* manValue = nullptr;
    unsigned places = kEverywhere;
    bool keepsEmpty = false;  // an empty value is a value ("--prefix=": every prefix)
    // Why a value cannot be used, none when it can. A refused value is kept
    // all the same: the error ends the program before it is read.
    Problem (*check)(const std::string& value) = nullptr;

    // Where it goes: one of these.
    bool CommandLine::*flag = nullptr;                         // set when given
    std::optional<std::string> CommandLine::*field = nullptr;  // a field of the main screen
    // A value also given by position when twice names it (twice: what the
    // refusal of a value given both ways calls it), or only by name.
    std::string CommandLine::*slot = nullptr;
    const char* twice = nullptr;
    // Anything else; returns why the value cannot be used.
    Problem (*take)(Reading& r, const std::string& value) = nullptr;

    OptionGroup group = OptionGroup::Modes;
    // --help: the first line beside the name, the others below it, all from
    // the group's column.
    const char* help = "";
    const char* manual = "";  // the man page's text of its entry (troff)
};

// The options in the order --help and the man page list them.
constexpr Option kOptions[] = {
    {.name = "--server",
     .value = "TEXT",
     .manValue = "text",
     .slot = &CommandLine::server,
     .twice = "el servidor",
     .group = OptionGroup::Connection,
     .help = R"txt("Servidor :" of the login screen (argument 1))txt",
     .manual = R"man(The field \(lqServidor :\(rq of the access-control screen (argument 1).)man"},
    {.name = "--user",
     .value = "NAME",
     .manValue = "name",
     .slot = &CommandLine::user,
     .twice = "el usuario",
     .group = OptionGroup::Connection,
     .help = R"txt("Usuario :" of the login screen (argument 2))txt",
     .manual = R"man(The field \(lqUsuario :\(rq of the access-control screen (argument 2).)man"},
    {.name = "--password-file",
     .value = "FILE",
     .manValue = "file",
     .slot = &CommandLine::passwordFile,
     .group = OptionGroup::Connection,
     .help = R"txt("Clave :" of the login screen: the first line of FILE
(for example $CREDENTIALS_DIRECTORY/password under
systemd's LoadCredential=))txt",
     .manual = R"man(The field \(lqClave :\(rq of the access-control screen: the first line of
.I file
(without its line break).
Under systemd,
.B LoadCredential=
hands the service a private copy:
.BR "\-\-password\-file %d/password" .
A missing, unreadable or empty file ends the program with status 6.)man"},
    {.name = "--company",
     .value = "CODE",
     .manValue = "code",
     .slot = &CommandLine::company,
     .twice = "la compañía",
     .group = OptionGroup::Connection,
     .help = R"txt("Compañía Local:" (argument 4))txt",
     .manual = R"man(The selector \(lqCompañía Local:\(rq of the main screen (argument 4).)man"},
    {.name = "--server-override",
     .value = "TEXT",
     .manValue = "text",
     .slot = &CommandLine::serverOverride,
     .twice = "el servidor de reemplazo",
     .group = OptionGroup::Connection,
     .help = R"txt(replaces RPCO_SERVIDOR of every company (argument 6))txt",
     .manual = R"man(Replaces RPCO_SERVIDOR of every company (argument 6).)man"},
    {.name = "--timeout",
     .value = "SECONDS",
     .manValue = "seconds",
     .take = takeTimeout,
     .group = OptionGroup::Connection,
     .help = R"txt(how long a database may leave the agent waiting, to
connect or for any statement, before it is given up
(whole number from 1 to 86400; default: the setting
EsperaServidor, else 180). A server given up is
logged like one that cannot be reached and the run
goes on with the next company)txt",
     .manual = R"man(How long a database may leave the agent waiting, to connect or for any
statement, before it is given up: a whole number from 1 to 86400.
Default: the setting EsperaServidor next to Directorio in
.IR /etc/xdg/QTX/NorvaleERP2026.conf ,
else 180.
A server given up is logged like one that cannot be reached
(\(lqNo se pudo conectar con el servidor ...\(rq) and the run goes on with the
next company; the event being handled stays pending for the next run.
A statement that waits on a row another transaction holds waits at most as
long.
Also for
.BR status .)man"},
    {.name = "--prefix",
     .value = "P",
     .manValue = "P",
     .places = kAgent,
     .keepsEmpty = true,
     .field = &CommandLine::prefix,
     .group = OptionGroup::Fields,
     .help = R"txt("Prefijo a enviar:" (default empty: every prefix))txt",
     .manual = R"man(The field \(lqPrefijo a enviar:\(rq: in the upload phase only events with this
prefix, or with none, are sent.
Default: empty (every prefix).)man"},
    {.name = "--download-count",
     .value = "N",
     .manValue = "N",
     .places = kAgent,
     .check = downloadCountProblem,
     .field = &CommandLine::downloadCount,
     .group = OptionGroup::Fields,
     .help = R"txt("Operaciones a traer:" (whole number from 0 to
2147483647, default 100): events without an error,
and as many failed ones retried)txt",
     .manual = R"man(The field \(lqOperaciones a traer:\(rq: at most
.I N
events without an error per download phase, and as many failed ones for
their retry (see
.BR "FAILED EVENTS" ).
A whole number from 0 to 2147483647; default 100.)man"},
    {.name = "--upload-count",
     .value = "N",
     .manValue = "N",
     .places = kAgent,
     .check = uploadCountProblem,
     .field = &CommandLine::uploadCount,
     .group = OptionGroup::Fields,
     .help = R"txt("Operaciones a enviar:" (the same, per destination))txt",
     .manual = R"man(The field \(lqOperaciones a enviar:\(rq: at most
.I N
events without an error per destination company, and as many failed ones
for their retry.
A whole number from 0 to 2147483647; default 100.)man"},
    {.name = "--frequency",
     .value = "MIN",
     .manValue = "MIN",
     .places = kAgent,
     .check = frequencyProblem,
     .field = &CommandLine::frequency,
     .group = OptionGroup::Fields,
     .help = R"txt("Frecuencia:" ... "minutos" (whole number from 0 to
35791, default 1; 0: no automatic runs))txt",
     .manual = R"man(The field \(lqFrecuencia:\(rq ... \(lqminutos\(rq: minutes from the end of one
run to the start of the next.
A whole number from 0 to 35791; default 1.
With 0 there are no automatic runs: the console agent ends after its first
run.)man"},
    {.name = "--newest-first",
     .places = kAgent,
     .flag = &CommandLine::newestFirst,
     .group = OptionGroup::Fields,
     .help = R"txt(checks "Enviar lo más reciente primero")txt",
     .manual = R"man(Checks \(lqEnviar lo más reciente primero\(rq: the newest events first.)man"},
    {.name = "--atomic-documents",
     .places = kAgent,
     .flag = &CommandLine::atomicDocuments,
     .group = OptionGroup::Fields,
     .help = R"txt(checks "Documentos completos (todo o nada)": each
document is written in one transaction, so a
refused line leaves the destination as it was)txt",
     .manual = R"man(Checks \(lqDocumentos completos (todo o nada)\(rq: each document is written
to its destination in one transaction, so that a refused line leaves the
destination as it was before the event (no document, or its previous
version with all its lines). Off by default.)man"},
    {.name = "--no-retry",
     .places = kRun,
     .take = takeNoRetry,
     .group = OptionGroup::Fields,
     .help = R"txt(checks "No reintentar errores" (same as argument 5 "1"))txt",
     .manual = R"man(Checks \(lqNo reintentar errores\(rq: events that carry an error are left
alone (the same as argument 5 \(lq1\(rq).)man"},
    {.name = "--branch",
     .value = "NAME",
     .manValue = "name",
     .places = kAgent,
     .field = &CommandLine::branch,
     .group = OptionGroup::Fields,
     .help = R"txt("Agencia:" (default "Todas"); must be a branch of the
company; the run does not depend on it)txt",
     .manual = R"man(The selector \(lqAgencia:\(rq: \(lqTodas\(rq (the default) or a branch of the
company (SUCURSALES).
A name the company does not have ends the program with status 6.
The run does not depend on it.)man"},
    {.name = "--headless",
     .places = kRun,
     .flag = &CommandLine::headless,
     .group = OptionGroup::Modes,
     .help = R"txt(no window: the same engine with captions and errors on
standard output, each line after its date and time (on
the systemd journal, after its priority: <3> errors, <4>
warnings, <6> the rest), and after each run a summary
with the figures of each phase and the run's duration;
messages that would wait for an operator are logged
instead. Needs the server and the company.)txt",
     .manual = R"man(No window; needs the server and the company.)man"},
    {.name = "--once",
     .places = kRun,
     .flag = &CommandLine::once,
     .group = OptionGroup::Modes,
     .help = R"txt(end the program after the first run, with exit status
  0  every handled event was completed
  1  some event failed, or the run ended on an error
  2  the run could not start (bad option or value, no
     company, GENERAL.FDB or the company database cannot
     be opened, another agent replicates the company from
     another directory or machine)
  3  another agent is running for the same company and
     application directory
  4  a database could not be reached, refused the login
     or stopped answering (a server of the run, or
     GENERAL.FDB or the company database at the start)
  5  the log files could not be written (the run went on;
     each event keeps its state in the database)
  6  the configuration must be corrected: a company
     GENERAL.FDB does not list, a branch the company does
     not have, a password file missing, unreadable or
     empty (trying again changes nothing; every start,
     not only --once, ends so)
when several apply: 4 before 1 before 5
(other statuses are reserved for later use))txt",
     .manual = R"man(Ends the program after the first run (see EXIT STATUS).)man"},
    {.name = "--state-file",
     .value = "FILE",
     .manValue = "file",
     .places = kAgent,
     .slot = &CommandLine::stateFile,
     .group = OptionGroup::Modes,
     .help = R"txt(--headless: after each run, write the agent's state
(last run, figures by phase and company, pending events)
to FILE, replaced whole; default: "state" in
$RUNTIME_DIRECTORY when systemd gives one. verify: add
its counts to FILE. A file that cannot be written is
said on standard error; replication goes on)txt",
     .manual = R"man(After each run the console agent writes its state to
.IR file :
the time, duration, outcome and exit status of the last run, the figures of
each phase by company, the pending events of the local database by
destination with the age of the oldest, and its version, with timestamps in
ISO 8601 with the time zone and in Unix seconds.
The file is replaced whole (a temporary file in the same directory, synced,
then renamed), created with mode 0640 less the umask.
Default: \fIstate\fR in
.B $RUNTIME_DIRECTORY
when systemd gives the service one (the unit's
.BR RuntimeDirectory= :
.IR /run/replica/COMPANY/state );
without either, no file.
With
.BR verify ,
the counts of the comparison are added to
.I file
and the run's lines are kept.
A file that cannot be written is said on standard error; replication goes
on.
Read it with
.BR "status \-\-from\-file" .)man"},
    {.name = kStatusWord,
     .kind = Option::Kind::Command,
     .group = OptionGroup::Modes,
     .help = R"txt(report, without running anything and without writing, the
pending and failed events by type and the age of the
oldest pending one: those of the local company database
for each destination, and those each destination's server
database holds for the local company (one query per
database). Exit status 0 when no event failed, 1 when
some event failed, 2 when a database cannot be opened,
6 when the password file cannot be read.)txt",
     .manual = R"man(Reports, without running anything and without writing anything, the pending
events and, among them, those that failed (they carry an error), by event
type, with the registration time and the age of the oldest pending one:
those of the local company database for each destination company, and those
that each destination's server database holds for the local company (for the
download source all of them; for the others those its own agent sends).
Events that no phase ever sends (type 236, and type 33 with operation U from
the local database) are not counted.
It sends one query to each database and takes the same connection arguments
and options as the agent.)man"},
    {.name = "--json",
     .places = kStatus,
     .flag = &CommandLine::json,
     .group = OptionGroup::Modes,
     .help = R"txt(status: the report as one JSON object)txt",
     .manual = R"man(With
.BR status :
the report as one JSON object with the members
.BR company ,
.BR checked_at ,
.BR exit_status ,
.B local
and
.BR destinations ;
each backlog has
.BR pending ,
.BR failed ,
.BR oldest_pending ,
.B oldest_pending_age_seconds
and
.B by_type
.RB ( type ,
.BR pending ,
.BR failed ).
A destination has
.BR company ,
.BR server ,
.BR download_source ,
.B outgoing
(the local events for it) and
.B incoming
(its database's events for the local company, with
.BR database ,
.B ok
and
.BR error ;
null when it has no active server row).)man"},
    {.name = "--from-file",
     .value = "FILE",
     .manValue = "file",
     .places = kStatus,
     .slot = &CommandLine::fromFile,
     .group = OptionGroup::Modes,
     .help = R"txt(status: report the agent's state file instead of the
databases: no password, no connection (see --state-file).
Exit status 0 when it was read, 2 when it was not)txt",
     .manual = R"man(With
.BR status :
reports the agent's state file (see
.BR \-\-state\-file )
instead of the databases: it needs no server, company or password, so a
monitoring user in the file's group may run it.
Exit status 0 when the file was read, 2 when it could not be; with
.B \-\-nagios
the plugin's statuses.)man"},
    {.name = "--nagios",
     .places = kStatus,
     .flag = &CommandLine::nagios,
     .group = OptionGroup::Modes,
     .help = R"txt(status --from-file: one Nagios/Icinga plugin line,
"OK - ... | perfdata", exit 0 OK, 1 WARNING (failed
events, lost log lines, verify differences), 2 CRITICAL
(the run could not start, a database unreachable, a
configuration error), 3 UNKNOWN (file missing,
unreadable or stale))txt",
     .manual = R"man(With
.BR "status \-\-from\-file" :
one Nagios/Icinga plugin line,
.RB \(lq "OK \- ... | perfdata" \(rq,
and the plugin's exit status: 0 OK; 1 WARNING when the last run left a
failed event or lost log lines, a pending event carries an error, or the last
verify found differences or could not run; 2 CRITICAL when the last run could
not start, found a database unreachable or met a configuration error; 3
UNKNOWN when the file is missing, unreadable, not a state file, holds no run
yet or is stale.
The performance data give the file's age, the last run's duration and
events, the pending events (in all and by destination) and the age of the
oldest, and the last verify's counts.)man"},
    {.name = "--stale-after",
     .value = "SECONDS",
     .manValue = "seconds",
     .places = kStatus,
     .take = takeStaleAfter,
     .group = OptionGroup::Modes,
     .help = R"txt(--nagios: a state file older than this is UNKNOWN
(default: 3 times the agent's frequency plus 10 min))txt",
     .manual = R"man(With
.BR \-\-nagios :
a state file written longer ago than
.I seconds
is UNKNOWN (the agent is not running).
Default: three times the agent's frequency and ten minutes more; no limit
when the agent's timer stopped.)man"},
    {.name = "--prometheus",
     .places = kStatus,
     .flag = &CommandLine::prometheus,
     .group = OptionGroup::Modes,
     .help = R"txt(status --from-file: Prometheus's text exposition format,
for node_exporter's textfile collector)txt",
     .manual = R"man(With
.BR "status \-\-from\-file" :
the state in Prometheus's text exposition format, for node_exporter's
textfile collector: gauges named
.BR replica_ *,
labelled
.B local_company
and, where they apply,
.BR phase ,
.BR company ,
.B state
and
.BR finding .)man"},
    {.name = "--help",
     .alias = "-h",
     .flag = &CommandLine::help,
     .group = OptionGroup::Modes,
     .help = R"txt(show this text and exit)txt",
     .manual = R"man(Shows the usage and exits.)man"},
    {.name = "--version",
     .alias = "-V",
     .flag = &CommandLine::version,
     .group = OptionGroup::Modes,
     .help = R"txt(print "replica <version>" and exit)txt",
     .manual = R"man(Prints the version and exits.)man"},
    {.name = kEndOfOptions,
     .kind = Option::Kind::EndOfOptions,
     .group = OptionGroup::Modes,
     .help = R"txt(every later argument is positional (a password beginning
with "--"))txt",
     .manual = R"man(Every later argument is positional.)man"},
};

struct Group {
    OptionGroup group;
    const char* marker;   // the man page's line `.\" options: MARKER` is replaced by its entries
    const char* heading;  // in --help
    std::size_t column;   // where the texts of its entries begin in --help
};

constexpr Group kGroups[] = {
    {OptionGroup::Connection, "connection",
     "Connection options (the same values by name; a value given both ways is an\nerror):\n", 24},
    {OptionGroup::Fields, "fields",
     "Fields of the main screen (--headless; the window has them on screen):\n", 24},
    {OptionGroup::Modes, "modes", "Modes:\n", 19},
};

constexpr const char* kManMarker = ".\\\" options: ";

const Option* findOption(const std::string& name) {
    for (const Option& o : kOptions) {
        if (o.kind == Option::Kind::Option && (name == o.name || (o.alias && name == o.alias))) {
            return &o;
        }
    }
    return nullptr;
}

bool looksLikeOption(const std::string& arg) {
    // Single-dash words other than an option's short spelling (-h) are
    // values (a password may begin with "-"); the window's own toolkit
    // options are removed before.
    return arg.rfind("--", 0) == 0 || findOption(arg);
}

// Checks the value of option and puts it where it goes.
void keep(Reading& r, const Option& option, const std::string& name, const std::string& value) {
    Problem problem = option.check ? option.check(value) : std::nullopt;
    if (option.flag) {
        r.cl.*option.flag = true;
    } else if (option.field) {
        r.cl.*option.field = value;
    } else if (option.slot && option.twice) {
        r.named[&option] = value;
    } else if (option.slot) {
        r.cl.*option.slot = value;
    } else if (option.take) {
        problem = option.take(r, value);
    }
    if (problem) {
        r.fail(name + " '" + value + "': " + *problem);
    }
}

// Reads the option at args[i] and its value; returns the index of the last
// argument it took (the value may be the next one).
std::size_t readOption(Reading& r, const std::vector<std::string>& args, std::size_t i) {
    const std::string& arg = args[i];
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const Option* option = findOption(name);
    if (!option) {
        r.fail("opción desconocida: " + name);
        return i;
    }
    const bool status = r.cl.command == CommandLine::Command::Status;
    if (status && !(option->places & kStatus)) {
        r.fail(name + " no se usa con status");
    }
    std::string value;
    if (option->value) {
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            r.fail(name + " necesita un valor");
            return i;
        }
        if (value.empty() && !option->keepsEmpty) {
            r.fail(name + " necesita un valor");
            return i;
        }
    } else if (eq != std::string::npos) {
        r.fail(name + " no lleva valor");
        return i;
    }
    if (!status && !(option->places & kRun)) {
        r.fail(name + " solo se usa con status");
    }
    // A value given twice is refused like one given both ways: which one
    // counts would be a guess.
    if (option->value && !r.given.insert(option).second) {
        r.fail(name + " se indica dos veces");
    }
    keep(r, *option, name, value);
    return i;
}

// The positional values in their places, then the values given by name. A
// value given both ways is refused even when both agree: which one wins
// would be a guess.
void placeValues(Reading& r) {
    CommandLine& cl = r.cl;
    std::string* slots[] = {&cl.server,  &cl.user,       &cl.password,
                            &cl.company, &cl.skipErrors, &cl.serverOverride};
    for (std::size_t p = 0; p < r.positional.size(); ++p) {
        if (p < std::size(slots)) {
            *slots[p] = r.positional[p];
        } else {
            cl.ignored.push_back(r.positional[p]);
        }
    }
    for (const Option& o : kOptions) {
        const auto named = r.named.find(&o);
        if (named == r.named.end()) {
            continue;
        }
        std::string& slot = cl.*o.slot;
        if (!slot.empty()) {
            r.fail(std::string(o.twice) + " se indica dos veces (argumento y " + o.name + ")");
        }
        slot = named->second;
    }
    if (!cl.password.empty() && !cl.passwordFile.empty()) {
        r.fail("la clave se indica dos veces (argumento y --password-file)");
    }
    if (r.noRetry) {
        cl.skipErrors = "1";
    }
}

// Reads args without judging the combination; the first problem met is
// kept in cl.error.
Reading walk(const std::vector<std::string>& args) {
    Reading r;
    std::size_t i = 0;
    if (!args.empty() && args[0] == kStatusWord) {
        r.cl.command = CommandLine::Command::Status;
        i = 1;
    } else if (!args.empty() && args[0] == kHelpWord) {
        r.cl.help = true;
        i = 1;
    }
    bool optionsEnded = false;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !looksLikeOption(arg)) {
            r.positional.push_back(arg);
            r.positionalIndex.push_back(i);
        } else if (arg == kEndOfOptions) {
            optionsEnded = true;
        } else {
            i = readOption(r, args, i);
        }
    }
    // A server is a directory or host:/dir, never a word beginning with a
    // dash: such a word in its place is an option mistyped ("-v"), not a
    // server to log in to.
    if (!optionsEnded && !r.positional.empty() && r.positional[0].size() > 1 &&
        r.positional[0][0] == '-') {
        r.fail("opción desconocida: " + r.positional[0]);
    }
    placeValues(r);
    return r;
}

// "  --server TEXT         text" with the text's later lines below it: the
// name in the margin, the text from column on (below the name when the
// name leaves no room).
std::string usageEntry(const Option& o, std::size_t column) {
    std::string head = std::string("  ") + o.name;
    if (o.alias) {
        head += std::string(", ") + o.alias;
    }
    if (o.value) {
        head += std::string(" ") + o.value;
    }
    const std::string margin(column, ' ');
    std::string out = head.size() + 2 <= column ? head + std::string(column - head.size(), ' ')
                                                : head + "\n" + margin;
    for (const char* c = o.help; *c; ++c) {
        out += *c;
        if (*c == '\n') {
            out += margin;
        }
    }
    return out + "\n";
}

// Troff writes a minus as "\-" (a bare "-" is a hyphen, which a reader's
// copy of the option would not match).
std::string troff(const char* name) {
    std::string out;
    for (const char* c = name; *c; ++c) {
        out += *c == '-' ? "\\-" : std::string(1, *c);
    }
    return out;
}

std::string manEntry(const Option& o) {
    std::string head;
    if (o.alias) {
        head = ".BR " + troff(o.name) + " \", \" " + troff(o.alias);
    } else if (o.value) {
        head = ".BI " + troff(o.name) + " \" " + o.manValue + "\"";
    } else {
        head = ".B " + troff(o.name);
    }
    return ".TP\n" + head + "\n" + o.manual + "\n";
}

// The group whose entries replace line, none when line is not a marker.
const Group* markedGroup(std::string line) {
    if (line.rfind(kManMarker, 0) != 0) {
        return nullptr;
    }
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    const std::string name = line.substr(std::string(kManMarker).size());
    for (const Group& g : kGroups) {
        if (name == g.marker) {
            return &g;
        }
    }
    throw std::invalid_argument("the man page names an unknown group of options: " + name);
}

constexpr const char* kUsageHead =
    R"usage(Usage: replica [options] [server user password company [1] [server-override]]
       replica status [--json] [connection options] [server user password
                      company]
       replica status --from-file FILE [--json | --nagios | --prometheus]

Replication agent: copies the pending replication events between the company
databases of the installation.

Positional arguments (all optional; an unattended start when company is given):
  server           database location prefix: a local directory or host:/dir.
                   GENERAL.FDB is read at server/datos/general.fdb and the
                   company database at server/datos/<company>/norvale.fdb
  user             database user name (upper-cased for the company database)
  password         database password (visible to every user of the machine
                   in the process list: prefer --password-file or
                   REPLICA_PASSWORD; give "" to leave it out)
  company          company code (COMP_COD): selects the company and starts one
                   run at once; the agent then goes on running on its timer
  1                "1" checks "No reintentar errores"; any other value leaves it
  server-override  replaces the server of every destination company
                   (RPCO_SERVIDOR) for every run

)usage";

constexpr const char* kUsageTail =
    R"usage(Only one agent runs per company and application directory: a second one
refuses to start (exit status 3) while the first holds the lock file
replica-<company>.lock there. Across directories and machines, each run
holds the rows of REPLICA_COMPANIA locked in the company database: a run of
a second agent for the same company is refused (exit status 2). A log
directory that cannot be written does not stop the agent: it goes on
without the lock file and without its log lines, and says so on standard
error once per run.

Environment:
  REPLICA_PASSWORD the password, when neither the argument nor
                   --password-file gives one
  REPLICA_APP_DIR  application directory (errorenvio.txt, ENVIO.TXT,
                   ERRORES.TXT, SERVIDORES.cfg, the lock files); replaces the
                   installation setting Directorio of QTX/NorvaleERP2026 (on
                   Linux /etc/xdg/QTX/NorvaleERP2026.conf). Without either,
                   the files are kept in the root directory "/".

Installation setting:
  EsperaServidor   in the same settings as Directorio: the seconds of
                   --timeout when the option is not given
)usage";

// The formats of status, and what only the state file offers.
Problem formatProblem(const CommandLine& cl) {
    if (static_cast<int>(cl.json) + static_cast<int>(cl.nagios) + static_cast<int>(cl.prometheus) >
        1) {
        return "--json, --nagios y --prometheus no se combinan";
    }
    const bool fileOnly = cl.nagios || cl.prometheus || cl.staleAfter;
    if (fileOnly && cl.fromFile.empty()) {
        return std::string(cl.nagios       ? "--nagios"
                           : cl.prometheus ? "--prometheus"
                                           : "--stale-after") +
               " solo se usa con --from-file";
    }
    if (cl.staleAfter && !cl.nagios) {
        return "--stale-after solo se usa con --nagios";
    }
    if (!cl.fromFile.empty() && (!cl.server.empty() || !cl.company.empty() ||
                                 !cl.password.empty() || !cl.passwordFile.empty())) {
        return "--from-file lee el archivo de estado, sin bases de datos: no lleva servidor, "
               "compañía ni clave";
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> CommandLine::windowIgnoredOptions() const {
    std::vector<std::string> names;
    for (const Option& o : kOptions) {
        const bool given = (o.flag && this->*o.flag) || (o.field && (this->*o.field).has_value());
        if (given && (o.places & kAgent) && !(o.places & kWindow)) {
            names.emplace_back(o.name);
        }
    }
    return names;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl = walk(args).cl;
    if (!cl.error.empty() || cl.help || cl.version) {
        return cl;
    }
    const bool status = cl.command == CommandLine::Command::Status;
    if (const Problem problem = formatProblem(cl)) {
        cl.error = *problem;
        return cl;
    }
    if (status && !cl.fromFile.empty()) {
        return cl;
    }
    if ((status || cl.headless) && (cl.server.empty() || cl.company.empty())) {
        cl.error = std::string(status ? "status" : "--headless") +
                   " necesita el servidor y la compañía (argumentos 1 y 4, o --server y "
                   "--company)";
    }
    return cl;
}

std::vector<std::string> withoutToolkitOptions(const std::vector<std::string>& args) {
    // Those QGuiApplication and QApplication remove from argv.
    static const std::vector<std::string> withValue = {
        "platform",    "platformpluginpath", "platformtheme", "plugin",    "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "session",       "display",   "name",
        "title",       "geometry",           "style",         "stylesheet"};
    static const std::vector<std::string> flags = {"reverse", "widgetcount", "nograb",
                                                   "dograb",  "sync",        "testability"};
    const auto has = [](const std::vector<std::string>& names, const std::string& n) {
        return std::find(names.begin(), names.end(), n) != names.end();
    };
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == kEndOfOptions) {
            kept.insert(kept.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        const std::size_t dashes = arg.rfind("--", 0) == 0 ? 2 : (arg.rfind('-', 0) == 0 ? 1 : 0);
        const std::size_t eq = arg.find('=');
        const std::string name = dashes ? arg.substr(dashes, eq - dashes) : std::string();
        if (dashes && has(withValue, name)) {
            if (eq == std::string::npos) {
                ++i;  // its value
            }
            continue;
        }
        if (dashes && eq == std::string::npos && has(flags, name)) {
            continue;
        }
        if (arg.rfind("-qmljsdebugger=", 0) == 0) {
            continue;
        }
        kept.push_back(arg);
    }
    return kept;
}

int positionalPasswordIndex(const std::vector<std::string>& args) {
    const Reading r = walk(args);
    return r.positionalIndex.size() > 2 ? static_cast<int>(r.positionalIndex[2]) : -1;
}

std::string usageText() {
    std::string text = kUsageHead;
    for (const Group& g : kGroups) {
        text += g.heading;
        for (const Option& o : kOptions) {
            if (o.group == g.group) {
                text += usageEntry(o, g.column);
            }
        }
        text += "\n";
    }
    return text + kUsageTail;
}

std::string fillManPageOptions(const std::string& page) {
    std::string out;
    std::size_t placed[std::size(kGroups)] = {};
    std::size_t from = 0;
    while (from < page.size()) {
        const std::size_t next = std::min(page.find('\n', from), page.size() - 1) + 1;
        const std::string line = page.substr(from, next - from);
        from = next;
        const Group* group = markedGroup(line);
        if (!group) {
            out += line;
            continue;
        }
        for (const Option& o : kOptions) {
            if (o.group == group->group) {
                out += manEntry(o);
            }
        }
        ++placed[group - kGroups];
    }
    for (const Group& g : kGroups) {
        if (placed[&g - kGroups] != 1) {
            throw std::invalid_argument(std::string("the man page must have one line \"") +
                                        kManMarker + g.marker + "\"");
        }
    }
    return out;
}

}  // namespace replica::app
