#pragma once
// `replica verify`: whether the local company and the companies it
// replicates with hold the same documents, and, asked to, the events that
// copy again what is missing or different.
//
//   replica verify [connection options] [--with COMPANY] [--types LIST]
//                  [--since DATE] [--until DATE] [--json] [--requeue [--dry-run]]
//
// The pairs are those of a run: the download source to the local company,
// and the local company to each destination with an active server row
// (--with: only that one). Read-only unless --requeue, which only adds
// REPLICA_EVENTOS rows; --dry-run prints them instead.
//
// Exit status: kVerifyAgrees, kVerifyDiffers, or kVerifyCannotRun when a
// database could not be opened or read (or the arguments are wrong).

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "engine/verify.h"

namespace replica::app {

inline constexpr const char* kVerifyWord = "verify";
inline constexpr int kVerifyAgrees = 0;
inline constexpr int kVerifyDiffers = 1;
inline constexpr int kVerifyCannotRun = 2;

struct VerifyOptions {
    std::string with;     // one company only; "": every pair
    std::set<int> types;  // empty: every compared family
    Period period{};      // --since, --until (YYYY-MM-DD)
    bool requeue = false;
    bool dryRun = false;
    std::string stateFile;  // --state-file: the agent's state file takes the counts
    std::string error;      // not empty: the options cannot be used
};

// Takes verify's own options out of args (which begin with "verify") and
// returns them; args is left as the status command reads its connection
// options and --json.
VerifyOptions takeVerifyOptions(std::vector<std::string>& args);

struct VerifyReport {
    std::string company;
    std::vector<PairReport> pairs;
    std::vector<std::string> errors;  // databases that could not be read
    std::vector<Requeued> requeued;   // written, or with --dry-run to be written
    bool dryRun = false;

    int exitStatus() const;
};

// The figures of a report summed over its pairs and families: what --json
// gives per family, and what the service's state file is meant to keep of
// the last verify (--state-file).
struct VerifyCounts {
    std::int64_t equal = 0, missing = 0, extra = 0, different = 0;
};
VerifyCounts verifyCounts(const VerifyReport& report);

// Opens the databases of cl and compares every pair. Never throws.
// progress: a line per family (for a terminal); may be empty.
VerifyReport runVerify(const CommandLine& cl, const VerifyOptions& options,
                       const std::function<void(const std::string&)>& progress);

// The same for company, whose database local holds open (the window's
// session): what runVerify does once it has opened it.
VerifyReport verifyCompany(db::Connection& local, const std::string& company,
                           const std::string& serverOverride, const VerifyOptions& options,
                           const std::function<void(const std::string&)>& progress);

// Writes events, each in the database it names (the local company's, or a
// peer's opened as verify opens it). Returns what could not be written.
std::vector<std::string> requeueInPeers(db::Connection& local, const std::string& company,
                                        const std::string& serverOverride,
                                        const std::vector<Requeued>& events);

std::string verifyText(const VerifyReport& report);
std::string verifyJson(const VerifyReport& report);

}  // namespace replica::app
