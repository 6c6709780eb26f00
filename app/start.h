#pragma once
// What every start of the program does before it runs, the console
// program's (the agent, status, verify) and the window's alike.

#include <optional>
#include <string>
#include <vector>

#include "app/commandline.h"

namespace replica::app {

// The window program, a separate executable (see main.cpp).
inline constexpr const char* kWindowProgram = "replica-window";

// Followed by what is missing: a local directory is configured but the
// client cannot open it itself.
inline constexpr const char* kEmbeddedEngineMissingMessage =
    "el motor embebido de Firebird no está instalado: ";

// Prints help or version, or the reason the arguments cannot be used.
// Returns the exit status when the program should end here, else -1.
int early(const CommandLine& cl);

// REPLICA_TRACE=FILE appends every SQL statement the program sends to FILE
// (see the man page).
void installTrace();

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

// Reads the arguments (help, version or the reason they cannot be used end
// the program here), takes the password, overwrites its copy in the process
// list, checks that a local directory can be opened and sets the time limit
// of every database connection. args are argv[1..] as the start reads them.
Start prepare(const std::vector<std::string>& args, char** argv, Password password);

// Stops the embedded engine before the exit handlers run, once every
// connection is closed; returns status.
int stopClient(int status);

}  // namespace replica::app
