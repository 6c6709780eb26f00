#pragma once
// The program's command line.
//
//   replica [--headless] [--once] [server user password company [1] [server-override]]
//
// The six positional values identify the operator and the company exactly
// as an unattended start expects them; the options choose the console
// instead of the window (--headless) and a single run (--once). The
// interface is relied on by outside scripts: options and positions keep
// their meaning.

#include <string>
#include <vector>

namespace replica::app {

// Exit statuses of a --once run (and of a start that cannot run at all).
inline constexpr int kExitCompleted = 0;    // every handled event was completed
inline constexpr int kExitEventFailed = 1;  // some event failed (or the run was cut short)
inline constexpr int kExitNotStarted = 2;   // the run could not start

struct CommandLine {
    bool headless = false;
    bool once = false;
    bool help = false;
    bool version = false;
    std::string server;                // 1
    std::string user;                  // 2
    std::string password;              // 3
    std::string company;               // 4: command-line mode when not empty
    std::string skipErrors;            // 5: "1" checks "No reintentar errores"
    std::string serverOverride;        // 6: replaces RPCO_SERVIDOR for every run
    std::vector<std::string> ignored;  // positional values beyond the sixth
    std::string error;                 // not empty: the arguments cannot be used

    bool commandLineMode() const { return !company.empty(); }
};

// args excludes the program name. Options ("--name", "-h") are recognised
// anywhere; "--" makes every later argument positional. Other words
// beginning with "-" are values.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Whether argv asks for the console: decided before any Qt object exists,
// since the console never creates the window's application object.
bool wantsHeadless(int argc, char** argv);

// The text of `replica --help`.
std::string usageText();

}  // namespace replica::app
