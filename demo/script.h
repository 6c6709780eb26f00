#pragma once
// Runs SQL scripts of the kind isql reads: statements ended by ";" (or by the
// terminator chosen with SET TERM), "--" and "/* */" comments, quoted texts
// that may hold either. Each statement runs and commits on its own; COMMIT
// statements are skipped (every statement already commits).

#include <string>
#include <vector>

#include "engine/db/connection.h"

namespace replica::demo {

// Splits a script into statements (terminators and SET TERM lines removed).
std::vector<std::string> splitScript(const std::string& script);

// Runs every statement of script on conn; throws db::Error naming the
// statement that failed.
void runScript(db::Connection& conn, const std::string& script);

// Loads a schema: every file NN-*.sql of sqlDir/name/, in name order.
// Throws db::Error naming the file and statement that failed.
void loadSchema(db::Connection& conn, const std::string& sqlDir, const std::string& name);

// Reads a whole file; throws std::runtime_error when it cannot.
std::string readFile(const std::string& path);

}  // namespace replica::demo
