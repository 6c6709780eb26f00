#pragma once
// Where the agent's database password comes from.
//
// In order: the first line of --password-file, the positional password, the
// environment variable REPLICA_PASSWORD; none of them: an empty password
// (the embedded engine needs none). The file and the environment keep the
// password out of the process list; a file suits systemd's LoadCredential=,
// which hands the service a private copy readable only by it.
//
// The password is never written anywhere: not in messages, logs or output.
// The messages below name the file, never its contents.

#include <string>

#include "app/commandline.h"

namespace replica::app {

struct PasswordSource {
    std::string password;
    std::string error;  // not empty: the password cannot be had (exit status 2)
};

// The first line of the file at path, without its line break (LF or CR LF).
// An absent, unreadable or empty file (or one whose first line is empty) is
// an error naming the file.
PasswordSource readPasswordFile(const std::string& path);

// The password for cl; environment: the value of REPLICA_PASSWORD (nullptr
// when unset).
PasswordSource resolvePassword(const CommandLine& cl, const char* environment);

}  // namespace replica::app
