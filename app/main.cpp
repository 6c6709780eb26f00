// The console program: the agent with --headless, the status report with
// `replica status`, the comparison with `replica verify`; without any of
// them it starts the window program (the main screen "Envío de
// información"), which links the toolkit this one does not.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/headless.h"
#include "app/monitoring.h"
#include "app/start.h"
#include "app/statefile.h"
#include "app/status.h"
#include "app/stopsignals.h"
#include "app/verify.h"

namespace {

using namespace replica::app;

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

int runConsoleAgent(const std::vector<std::string>& args, char** argv, int stopFd) {
    const Start start = prepare(args, argv, Password::Needed);
    if (start.exit) {
        return *start.exit;
    }
    return stopClient(runHeadless(start.cl, stopFd));
}

// The window is a program of its own, in a package of its own (it brings
// the toolkit, which a service machine does not need): it is looked for
// beside this program (a build) and where the package installs it.
std::string windowProgram() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    const std::filesystem::path dir = self.parent_path();
    for (const std::filesystem::path& candidate :
         {dir / kWindowProgram, dir / ".." / "libexec" / "replica" / kWindowProgram}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

// Hands the whole command line, already checked, to the window program
// (the password still where it was given: the window reads it itself).
int startWindow(char** argv) {
    const std::string program = windowProgram();
    if (program.empty()) {
        std::cerr << "replica: la ventana no está instalada (paquete replica-window); el agente "
                     "de consola se inicia con --headless\n";
        return kExitConfiguration;
    }
    ::execv(program.c_str(), argv);
    std::cerr << "replica: no se pudo iniciar " << program << ": " << std::strerror(errno) << "\n";
    return kExitConfiguration;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that no thread of the database client
    // is ever interrupted by a stop request.
    const int stopFd = blockStopSignals();
    const std::vector<std::string> rawArgs(argv + 1, argv + argc);
    const CommandLine raw = parseCommandLine(rawArgs);
    if (raw.help || raw.version) {
        return early(raw);
    }
    const bool verify = !rawArgs.empty() && rawArgs[0] == kVerifyWord;
    if (!verify && raw.nagios && !raw.error.empty()) {
        // A plugin that cannot run says UNKNOWN, as the monitor expects.
        std::cout << "UNKNOWN - replica: " << raw.error << "\n";
        return kNagiosUnknown;
    }
    if (!verify && raw.command != CommandLine::Command::Status && !raw.headless) {
        // The whole command line is checked before a window exists: a
        // mistyped option must say so and end with its status, even without
        // a display. The toolkit's own options are the window's, not
        // mistakes.
        const CommandLine window = parseCommandLine(withoutToolkitOptions(rawArgs));
        if (window.help || window.version || !window.error.empty()) {
            return early(window);
        }
        return startWindow(argv);
    }
    installTrace();
    if (verify) {
        return runVerifyCommand(rawArgs, argv);
    }
    if (raw.command == CommandLine::Command::Status && !raw.fromFile.empty()) {
        // No database and no password: what a monitoring user may run.
        const int status = early(raw);
        return status >= 0 ? status : reportFromFile(raw, std::cout, std::cerr);
    }
    if (raw.command == CommandLine::Command::Status) {
        return runStatus(rawArgs, argv);
    }
    return runConsoleAgent(rawArgs, argv, stopFd);
}
