#pragma once
// `replica status`: how far behind replication is, for a monitoring system.
//
// For the local company it reports the pending events of its database that
// the upload phase will send, per destination company and event type: how
// many are pending, how many of them carry an error (failed), and the
// registration time and age of the oldest. For each destination with an
// active server row it reports the same for the events that destination's
// database holds for the local company: all of them for the download
// source (the download phase takes every type), the ones its own agent
// would send for the others. Events no phase ever sends (type 236 and the
// type 33 "U" events uploaded from the local database) are not counted:
// they would make the backlog look older forever.
//
// Read-only and fast: no run, no log file, no write; one SELECT per
// database (the local query also brings the server rows and the
// replication credentials, the destinations' query their events). The
// replication password is used to connect and never shown.
//
// Exit status: kStatusCannotConnect when a database cannot be opened or
// read (the report still gives what could be read), otherwise
// kStatusFailed when some event carries an error, otherwise kStatusOk.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "engine/db/connection.h"

namespace replica::app {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusFailed = 1;
inline constexpr int kStatusCannotConnect = 2;

struct TypeBacklog {
    int type = 0;
    std::int64_t pending = 0;
    std::int64_t failed = 0;  // of the pending ones, those with RPEV_ERROR
};

struct Backlog {
    std::int64_t pending = 0;
    std::int64_t failed = 0;
    std::string oldest;                      // "YYYY-MM-DD HH:MM:SS"; empty: none
    std::optional<std::int64_t> ageSeconds;  // of the oldest, by the database's clock
    std::vector<TypeBacklog> byType;         // ascending type

    // Adds other's figures (the oldest of both).
    void add(const Backlog& other);
};

struct DatabaseStatus {
    std::string path;
    bool ok = false;
    std::string error;  // !ok: why (the client's message included)
    Backlog backlog;
};

struct DestinationStatus {
    std::string company;
    bool hasServer = false;       // an active REPLICA_COMPANIA row with a server
    std::string server;           // the server text used (after an override)
    bool downloadSource = false;  // the row the download phase reads
    Backlog outgoing;             // local events for this company
    DatabaseStatus incoming;      // its database's events for the local company
};

struct StatusReport {
    std::string company;
    std::string checkedAt;                        // the agent's clock, "YYYY-MM-DD HH:MM:SS"
    DatabaseStatus local;                         // backlog: every outgoing event
    std::vector<DestinationStatus> destinations;  // ascending company code

    int exitStatus() const;
};

// The one local SELECT, and the one SELECT of a destination's database.
std::string localStatusSql();
std::string destinationStatusSql(const std::string& localCompany, bool downloadSource);

// Opens the databases of cl (server, user, password, company, override)
// and reads the report. Never throws: a database that cannot be opened or
// read is described in the report.
StatusReport collectStatus(const CommandLine& cl);

// The local part of the report (every outgoing backlog, no destination
// database opened) on a connection that is open already: what the agent
// reads after each run for its state file. Never throws.
StatusReport localStatus(db::Connection& local, const std::string& company);

std::string statusText(const StatusReport& report);
std::string statusJson(const StatusReport& report);

// s as a JSON string, quotes included.
std::string jsonQuoted(const std::string& s);

// "2 d 3 h 5 min", "4 min", "12 s".
std::string ageText(std::int64_t seconds);

}  // namespace replica::app
