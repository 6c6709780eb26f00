#pragma once
// `replica status --from-file`: the agent's state file (statefile.h) told
// to a person, as JSON, as a Nagios/Icinga plugin or as Prometheus's text
// exposition format, without any database or password.
//
// The plugin line is "STATUS - text | perfdata" with the plugins' exit
// statuses: OK 0; WARNING 1 when the last run left some event failed or
// lost log lines, some pending event carries an error, or the last verify
// found differences or could not run; CRITICAL 2 when the last run could
// not start, found a database unreachable, or met a configuration error;
// UNKNOWN 3 when the file is missing, unreadable, not a state file, holds
// no run yet, or is stale: older than --stale-after seconds, by default
// three times the agent's frequency and ten minutes more (no limit when the
// agent's timer stopped and none is given).

#include <cstdint>
#include <optional>
#include <string>

#include "app/statefile.h"

namespace replica::app {

inline constexpr int kNagiosOk = 0;
inline constexpr int kNagiosWarning = 1;
inline constexpr int kNagiosCritical = 2;
inline constexpr int kNagiosUnknown = 3;

struct PluginResult {
    int status = kNagiosUnknown;
    std::string line;  // with its line break
};

// state: the file as read, or none with why it could not be read. now and
// staleAfter in seconds.
PluginResult nagiosCheck(const std::optional<AgentState>& state, const std::string& readError,
                         std::int64_t now, std::optional<std::int64_t> staleAfter);

// The age (seconds) past which the file is stale; none: never.
std::optional<std::int64_t> staleLimit(const AgentState& state,
                                       std::optional<std::int64_t> staleAfter);

std::string prometheusText(const AgentState& state);
std::string stateText(const AgentState& state, std::int64_t now);
std::string stateJson(const AgentState& state, std::int64_t now);

// The whole command: reads cl.fromFile and writes the format cl asks for
// to out (reasons to err). Returns the exit status: the plugin's with
// --nagios; otherwise kStatusOk when the file was read, kStatusCannotConnect
// when it could not be.
int reportFromFile(const CommandLine& cl, std::ostream& out, std::ostream& err);

}  // namespace replica::app
