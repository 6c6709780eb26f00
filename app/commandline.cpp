#include "app/commandline.h"

#include <cstring>

namespace replica::app {

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        // Single-dash words other than -h are values (a password may begin
        // with "-"); the window's own toolkit options are removed before.
        if (!optionsEnded && (arg == "-h" || arg.rfind("--", 0) == 0)) {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--headless") {
                cl.headless = true;
            } else if (arg == "--once") {
                cl.once = true;
            } else if (arg == "--help" || arg == "-h") {
                cl.help = true;
            } else if (arg == "--version") {
                cl.version = true;
            } else if (cl.error.empty()) {
                cl.error = "opción desconocida: " + arg;
            }
            continue;
        }
        positional.push_back(arg);
    }
    std::string* slots[] = {&cl.server,  &cl.user,       &cl.password,
                            &cl.company, &cl.skipErrors, &cl.serverOverride};
    for (std::size_t i = 0; i < positional.size(); ++i) {
        if (i < std::size(slots)) {
            *slots[i] = positional[i];
        } else {
            cl.ignored.push_back(positional[i]);
        }
    }
    if (cl.error.empty() && cl.headless && !cl.help && !cl.version && !cl.commandLineMode()) {
        cl.error =
            "--headless necesita servidor, usuario, clave y compañía (los cuatro primeros "
            "argumentos)";
    }
    return cl;
}

bool wantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            return false;
        }
        if (std::strcmp(argv[i], "--headless") == 0) {
            return true;
        }
    }
    return false;
}

std::string usageText() {
    return R"(Usage: replica [--headless] [--once] [server user password company [1] [server-override]]

Replication agent: copies the pending replication events between the company
databases of the installation.

Positional arguments (all optional; an unattended start when company is given):
  server           database location prefix: a local directory or host:/dir.
                   GENERAL.FDB is read at server/datos/general.fdb and the
                   company database at server/datos/<company>/norvale.fdb
  user             database user name (upper-cased for the company database)
  password         database password
  company          company code (COMP_COD): selects the company and starts one
                   run at once; the agent then goes on running on its timer
  1                "1" checks "No reintentar errores"; any other value leaves it
  server-override  replaces the server of every destination company
                   (RPCO_SERVIDOR) for every run

Options:
  --headless       no window: the same engine with captions and errors on
                   standard output; messages that would wait for an operator
                   are logged instead. Needs the first four arguments.
  --once           end the program after the first run, with exit status
                     0  every handled event was completed
                     1  some event failed, or the run ended on an error
                     2  the run could not start (no company, company not found,
                        GENERAL.FDB or the company database cannot be opened,
                        invalid count field)
  --help, -h       show this text and exit
  --version        print "replica <version>" and exit
  --               every later argument is positional (a password beginning
                   with "--")

Environment:
  REPLICA_APP_DIR  application directory (errorenvio.txt, ENVIO.TXT,
                   ERRORES.TXT, SERVIDORES.cfg); replaces the installation
                   setting Directorio of QTX/NorvaleERP2026 (on Linux
                   /etc/xdg/QTX/NorvaleERP2026.conf). Without either, the files
                   are kept in the root directory "/".
)";
}

}  // namespace replica::app
