#include "app/commandline.h"

#include <iterator>

#include "engine/numbers.h"
#include "engine/rundriver.h"

namespace replica::app {

namespace {

enum class Opt {
    Headless,
    Once,
    Help,
    Version,
    Json,
    Server,
    User,
    Company,
    PasswordFile,
    ServerOverride,
    NoRetry,
    Prefix,
    DownloadCount,
    UploadCount,
    Frequency,
    NewestFirst,
    AtomicDocuments,
    Branch,
    Timeout,
};

struct OptionSpec {
    const char* name;
    Opt opt;
    bool takesValue;
    bool forStatus;  // allowed with `replica status`
};

constexpr OptionSpec kOptions[] = {
    {"--headless", Opt::Headless, false, false},
    {"--once", Opt::Once, false, false},
    {"--help", Opt::Help, false, true},
    {"-h", Opt::Help, false, true},
    {"--version", Opt::Version, false, true},
    {"--json", Opt::Json, false, true},
    {"--server", Opt::Server, true, true},
    {"--user", Opt::User, true, true},
    {"--company", Opt::Company, true, true},
    {"--password-file", Opt::PasswordFile, true, true},
    {"--server-override", Opt::ServerOverride, true, true},
    {"--no-retry", Opt::NoRetry, false, false},
    {"--prefix", Opt::Prefix, true, false},
    {"--download-count", Opt::DownloadCount, true, false},
    {"--upload-count", Opt::UploadCount, true, false},
    {"--frequency", Opt::Frequency, true, false},
    {"--newest-first", Opt::NewestFirst, false, false},
    {"--atomic-documents", Opt::AtomicDocuments, false, false},
    {"--branch", Opt::Branch, true, false},
    {"--timeout", Opt::Timeout, true, true},
};

const OptionSpec* findOption(const std::string& name) {
    for (const OptionSpec& o : kOptions) {
        if (name == o.name) {
            return &o;
        }
    }
    return nullptr;
}

bool looksLikeOption(const std::string& arg) {
    // Single-dash words other than -h are values (a password may begin
    // with "-"); the window's own toolkit options are removed before.
    return arg == "-h" || arg.rfind("--", 0) == 0;
}

struct Walk {
    CommandLine cl;
    std::vector<std::size_t> positionalIndex;  // index in args of each positional value
};

// Reads args into cl without judging the combination; the first problem
// met is kept in cl.error.
Walk walk(const std::vector<std::string>& args) {
    Walk w;
    CommandLine& cl = w.cl;
    auto fail = [&cl](std::string message) {
        if (cl.error.empty()) {
            cl.error = std::move(message);
        }
    };
    std::vector<std::string> positional;
    // Values given by name, to be merged with the positional ones.
    std::optional<std::string> server, user, company, serverOverride;
    bool noRetry = false;

    std::size_t i = 0;
    if (!args.empty() && args[0] == "status") {
        cl.command = CommandLine::Command::Status;
        i = 1;
    }
    bool optionsEnded = false;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !looksLikeOption(arg)) {
            positional.push_back(arg);
            w.positionalIndex.push_back(i);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const OptionSpec* option = findOption(name);
        if (!option) {
            fail("opción desconocida: " + name);
            continue;
        }
        if (cl.command == CommandLine::Command::Status && !option->forStatus) {
            fail(name + " no se usa con status");
        }
        std::string value;
        if (option->takesValue) {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                fail(name + " necesita un valor");
                continue;
            }
            if (value.empty() && option->opt != Opt::Prefix) {
                fail(name + " necesita un valor");
                continue;
            }
        } else if (eq != std::string::npos) {
            fail(name + " no lleva valor");
            continue;
        }
        switch (option->opt) {
            case Opt::Headless:
                cl.headless = true;
                break;
            case Opt::Once:
                cl.once = true;
                break;
            case Opt::Help:
                cl.help = true;
                break;
            case Opt::Version:
                cl.version = true;
                break;
            case Opt::Json:
                if (cl.command != CommandLine::Command::Status) {
                    fail("--json solo se usa con status");
                }
                cl.json = true;
                break;
            case Opt::Server:
                server = value;
                break;
            case Opt::User:
                user = value;
                break;
            case Opt::Company:
                company = value;
                break;
            case Opt::PasswordFile:
                cl.passwordFile = value;
                break;
            case Opt::ServerOverride:
                serverOverride = value;
                break;
            case Opt::NoRetry:
                noRetry = true;
                break;
            case Opt::Prefix:
                cl.prefix = value;
                break;
            case Opt::DownloadCount:
                if (const auto problem = countProblem(CountField::Download, value)) {
                    fail(name + " '" + value + "': " + *problem);
                }
                cl.downloadCount = value;
                break;
            case Opt::UploadCount:
                if (const auto problem = countProblem(CountField::Upload, value)) {
                    fail(name + " '" + value + "': " + *problem);
                }
                cl.uploadCount = value;
                break;
            case Opt::Frequency:
                if (!digitsIn(value, 0, kMaxFrequencyMinutes)) {
                    fail(name + " '" + value +
                         "': El valor de \"Frecuencia:\" debe ser un número entero de minutos, "
                         "de 0 a " +
                         std::to_string(kMaxFrequencyMinutes) + ".");
                }
                cl.frequency = value;
                break;
            case Opt::NewestFirst:
                cl.newestFirst = true;
                break;
            case Opt::AtomicDocuments:
                cl.atomicDocuments = true;
                break;
            case Opt::Branch:
                cl.branch = value;
                break;
            case Opt::Timeout:
                if (const auto seconds = digitsIn(value, 1, kMaxTimeoutSeconds)) {
                    cl.timeout = static_cast<long>(*seconds);
                } else {
                    fail(name + " '" + value + "': " + kTimeoutValueMessage);
                }
                break;
        }
    }

    std::string* slots[] = {&cl.server,  &cl.user,       &cl.password,
                            &cl.company, &cl.skipErrors, &cl.serverOverride};
    for (std::size_t p = 0; p < positional.size(); ++p) {
        if (p < std::size(slots)) {
            *slots[p] = positional[p];
        } else {
            cl.ignored.push_back(positional[p]);
        }
    }
    // A value given twice, by position and by name, is refused even when
    // both agree: which one wins would be a guess.
    auto merge = [&](std::string& slot, const std::optional<std::string>& named, const char* what,
                     const char* option) {
        if (!named) {
            return;
        }
        if (!slot.empty()) {
            fail(std::string(what) + " se indica dos veces (argumento y " + option + ")");
        }
        slot = *named;
    };
    merge(cl.server, server, "el servidor", "--server");
    merge(cl.user, user, "el usuario", "--user");
    merge(cl.company, company, "la compañía", "--company");
    merge(cl.serverOverride, serverOverride, "el servidor de reemplazo", "--server-override");
    if (!cl.password.empty() && !cl.passwordFile.empty()) {
        fail("la clave se indica dos veces (argumento y --password-file)");
    }
    if (noRetry) {
        cl.skipErrors = "1";
    }
    return w;
}

}  // namespace

std::vector<std::string> CommandLine::windowIgnoredOptions() const {
    std::vector<std::string> names;
    if (prefix) {
        names.push_back("--prefix");
    }
    if (downloadCount) {
        names.push_back("--download-count");
    }
    if (uploadCount) {
        names.push_back("--upload-count");
    }
    if (frequency) {
        names.push_back("--frequency");
    }
    if (newestFirst) {
        names.push_back("--newest-first");
    }
    if (atomicDocuments) {
        names.push_back("--atomic-documents");
    }
    if (branch) {
        names.push_back("--branch");
    }
    return names;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl = walk(args).cl;
    if (!cl.error.empty() || cl.help || cl.version) {
        return cl;
    }
    const bool status = cl.command == CommandLine::Command::Status;
    if ((status || cl.headless) && (cl.server.empty() || cl.company.empty())) {
        cl.error = std::string(status ? "status" : "--headless") +
                   " necesita el servidor y la compañía (argumentos 1 y 4, o --server y "
                   "--company)";
    }
    return cl;
}

int positionalPasswordIndex(const std::vector<std::string>& args) {
    const Walk w = walk(args);
    return w.positionalIndex.size() > 2 ? static_cast<int>(w.positionalIndex[2]) : -1;
}

std::string usageText() {
    return R"usage(Usage: replica [options] [server user password company [1] [server-override]]
       replica status [--json] [connection options] [server user password
                      company]

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

Connection options (the same values by name; a value given both ways is an
error):
  --server TEXT         "Servidor :" of the login screen (argument 1)
  --user NAME           "Usuario :" of the login screen (argument 2)
  --password-file FILE  "Clave :" of the login screen: the first line of FILE
                        (for example $CREDENTIALS_DIRECTORY/password under
                        systemd's LoadCredential=)
  --company CODE        "Compañía Local:" (argument 4)
  --server-override TEXT
                        replaces RPCO_SERVIDOR of every company (argument 6)
  --timeout SECONDS     how long a database may leave the agent waiting, to
                        connect or for any statement, before it is given up
                        (whole number from 1 to 86400; default: the setting
                        EsperaServidor, else 180). A server given up is
                        logged like one that cannot be reached and the run
                        goes on with the next company

Fields of the main screen (--headless; the window has them on screen):
  --prefix P            "Prefijo a enviar:" (default empty: every prefix)
  --download-count N    "Operaciones a traer:" (whole number from 0 to
                        2147483647, default 100): events without an error,
                        and as many failed ones retried
  --upload-count N      "Operaciones a enviar:" (the same, per destination)
  --frequency MIN       "Frecuencia:" ... "minutos" (whole number from 0 to
                        35791, default 1; 0: no automatic runs)
  --newest-first        checks "Enviar lo más reciente primero"
  --atomic-documents    checks "Documentos completos (todo o nada)": each
                        document is written in one transaction, so a
                        refused line leaves the destination as it was
  --no-retry            checks "No reintentar errores" (same as argument 5 "1")
  --branch NAME         "Agencia:" (default "Todas"); must be a branch of the
                        company; the run does not depend on it

Modes:
  --headless       no window: the same engine with captions and errors on
                   standard output, each line after its date and time, and
                   after each run a summary with the figures of each phase
                   and the run's duration; messages that would wait for an
                   operator are logged instead. Needs the server and the
                   company.
  --once           end the program after the first run, with exit status
                     0  every handled event was completed
                     1  some event failed, or the run ended on an error
                     2  the run could not start (bad option or value, no or
                        unknown company, password file missing or unreadable,
                        GENERAL.FDB or the company database cannot be opened,
                        another agent replicates the company from another
                        directory or machine)
                     3  another agent is running for the same company and
                        application directory
                     4  a database could not be reached, refused the login
                        or stopped answering (a server of the run, or
                        GENERAL.FDB or the company database at the start)
                     5  the log files could not be written (the run went on;
                        each event keeps its state in the database)
                   when several apply: 4 before 1 before 5
                   (other statuses are reserved for later use)
  status           report, without running anything and without writing, the
                   pending and failed events by type and the age of the
                   oldest pending one: those of the local company database
                   for each destination, and those each destination's server
                   database holds for the local company (one query per
                   database). Exit status 0 when no event failed, 1 when
                   some event failed, 2 when a database cannot be opened.
  --json           status: the report as one JSON object
  --help, -h       show this text and exit
  --version        print "replica <version>" and exit
  --               every later argument is positional (a password beginning
                   with "--")

Only one agent runs per company and application directory: a second one
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
}

}  // namespace replica::app
