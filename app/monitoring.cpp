#include "app/monitoring.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <ostream>
#include <vector>

namespace replica::app {

namespace {

const char* phaseName(const PhaseState& p) {
    return p.phase == "download" ? "descarga de " : "envío a ";
}

std::string seconds3(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ms) / 1000.0);
    return text;
}

struct Totals {
    std::int64_t pending = 0, failed = 0;
    std::optional<std::int64_t> oldest;
};

Totals pendingTotals(const RunState& run) {
    Totals t;
    for (const PendingState& p : run.pending) {
        t.pending += p.pending;
        t.failed += p.failed;
        if (p.oldestAgeSeconds && (!t.oldest || *p.oldestAgeSeconds > *t.oldest)) {
            t.oldest = p.oldestAgeSeconds;
        }
    }
    return t;
}

// A perfdata label: letters, digits, "_" and "-" only, so that it needs no
// quotes whatever a company code holds.
std::string label(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        out += plain ? c : '_';
    }
    return out;
}

std::string perf(const std::string& name, const std::string& value, const char* unit = "") {
    return " " + label(name) + "=" + value + unit + ";;;0";
}

// Worst of the plugin statuses seen, with the reasons for it.
struct Verdict {
    int status = kNagiosOk;
    std::vector<std::string> reasons;

    void raise(int s, std::string reason) {
        if (s > status) {
            status = s;
            reasons.clear();
        }
        if (s == status && s != kNagiosOk) {
            reasons.push_back(std::move(reason));
        }
    }
};

// What the operator reads of a run's exit status.
std::string outcomeText(int exitStatus) {
    switch (exitStatus) {
        case kExitEventFailed:
            return "la última ejecución dejó eventos con error";
        case kExitLogsUnwritten:
            return "la última ejecución no pudo escribir los archivos de registro";
        case kExitNotStarted:
            return "la última ejecución no pudo empezar";
        case kExitAlreadyRunning:
            return "otro agente replica la compañía";
        case kExitOutage:
            return "una base de datos no responde";
        case kExitConfiguration:
            return "la configuración debe corregirse";
        default:
            return "la última ejecución terminó con el estado " + std::to_string(exitStatus);
    }
}

void judgeRun(Verdict& v, const RunState& run, const Totals& totals) {
    switch (run.exitStatus) {
        case kExitCompleted:
            break;
        case kExitEventFailed:
        case kExitLogsUnwritten:
            v.raise(kNagiosWarning, outcomeText(run.exitStatus));
            break;
        default:
            v.raise(kNagiosCritical, outcomeText(run.exitStatus));
    }
    if (totals.failed > 0) {
        v.raise(kNagiosWarning, std::to_string(totals.failed) + " pendientes con error");
    }
    if (!run.pendingError.empty()) {
        v.raise(kNagiosWarning, "no se pudieron contar los pendientes");
    }
}

const char* statusWord(int status) {
    switch (status) {
        case kNagiosOk:
            return "OK";
        case kNagiosWarning:
            return "WARNING";
        case kNagiosCritical:
            return "CRITICAL";
        default:
            return "UNKNOWN";
    }
}

std::string perfdata(const AgentState& s, const RunState& run, const Totals& t, std::int64_t age) {
    std::string out =
        perf("age", std::to_string(age), "s") + perf("duration", seconds3(run.durationMs), "s") +
        perf("handled", std::to_string(run.handled)) +
        perf("completed", std::to_string(run.completed)) +
        perf("failed", std::to_string(run.failed)) + perf("pending", std::to_string(t.pending)) +
        perf("pending_failed", std::to_string(t.failed));
    if (t.oldest) {
        out += perf("oldest_pending_age", std::to_string(*t.oldest), "s");
    }
    for (const PendingState& p : run.pending) {
        out += perf("pending_" + p.company, std::to_string(p.pending));
    }
    if (s.verify) {
        const VerifyCounts& c = s.verify->counts;
        out += perf("verify_missing", std::to_string(c.missing)) +
               perf("verify_extra", std::to_string(c.extra)) +
               perf("verify_different", std::to_string(c.different));
    }
    return out;
}

}  // namespace

std::optional<std::int64_t> staleLimit(const AgentState& state,
                                       std::optional<std::int64_t> staleAfter) {
    if (staleAfter) {
        return staleAfter;
    }
    if (!state.run || state.run->nextRunSeconds <= 0) {
        return std::nullopt;
    }
    return 3 * state.run->nextRunSeconds + 600;
}

PluginResult nagiosCheck(const std::optional<AgentState>& state, const std::string& readError,
                         std::int64_t now, std::optional<std::int64_t> staleAfter) {
    if (!state) {
        return {kNagiosUnknown, "UNKNOWN - " + readError + "\n"};
    }
    const std::string who = "replica " + state->company;
    if (!state->run) {
        return {kNagiosUnknown, "UNKNOWN - " + who +
                                    ": el agente no ha terminado ninguna "
                                    "ejecución todavía\n"};
    }
    const RunState& run = *state->run;
    const std::int64_t age = now - state->written.seconds;
    const Totals totals = pendingTotals(run);
    const std::string data = perfdata(*state, run, totals, age);
    if (const auto limit = staleLimit(*state, staleAfter); limit && age > *limit) {
        return {kNagiosUnknown, "UNKNOWN - " + who +
                                    ": el archivo de estado no se actualiza desde " +
                                    state->written.text + " (hace " + ageText(age) +
                                    "): ¿está detenido el agente? |" + data + "\n"};
    }
    Verdict v;
    judgeRun(v, run, totals);
    if (state->verify && state->verify->exitStatus != kVerifyAgrees) {
        v.raise(kNagiosWarning, state->verify->exitStatus == kVerifyDiffers
                                    ? "la verificación encontró diferencias"
                                    : "la verificación no pudo terminar");
    }
    std::string text = who + ": ";
    for (const std::string& r : v.reasons) {
        text += r + "; ";
    }
    text += "última ejecución hace " + ageText(std::max<std::int64_t>(now - run.ended.seconds, 0)) +
            ", " + std::to_string(run.completed) + " completados, " + std::to_string(run.failed) +
            " con error; " + std::to_string(totals.pending) + " pendientes";
    if (totals.oldest) {
        text += ", el más antiguo hace " + ageText(*totals.oldest);
    }
    return {v.status, std::string(statusWord(v.status)) + " - " + text + " |" + data + "\n"};
}

namespace {

std::string labelValue(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// The samples of each metric family together, after its HELP and TYPE
// lines, families in the order they were first given.
class Exposition {
  public:
    explicit Exposition(std::string company) : m_company(std::move(company)) {}

    void add(const std::string& name, const char* help,
             const std::vector<std::pair<std::string, std::string>>& labels,
             const std::string& value) {
        Family& f = family(name, help);
        std::string sample = name + "{local_company=\"" + labelValue(m_company) + "\"";
        for (const auto& [k, v] : labels) {
            sample += "," + k + "=\"" + labelValue(v) + "\"";
        }
        f.samples.push_back(sample + "} " + value + "\n");
    }
    void add(const std::string& name, const char* help, std::int64_t value) {
        add(name, help, {}, std::to_string(value));
    }

    std::string text() const {
        std::string out;
        for (const Family& f : m_families) {
            out += "# HELP " + f.name + " " + f.help + "\n# TYPE " + f.name + " gauge\n";
            for (const std::string& s : f.samples) {
                out += s;
            }
        }
        return out;
    }

  private:
    struct Family {
        std::string name;
        std::string help;
        std::vector<std::string> samples;
    };
    Family& family(const std::string& name, const char* help) {
        for (Family& f : m_families) {
            if (f.name == name) {
                return f;
            }
        }
        return m_families.emplace_back(Family{name, help, {}});
    }

    std::string m_company;
    std::vector<Family> m_families;
};

void runMetrics(Exposition& e, const RunState& run) {
    e.add("replica_last_run_end_timestamp_seconds", "When the last run ended (Unix time).",
          run.ended.seconds);
    e.add("replica_last_run_duration_seconds", "How long the last run took.", {},
          seconds3(run.durationMs));
    e.add("replica_last_run_exit_status",
          "The exit status a --once run would have ended with (0: every event completed).",
          run.exitStatus);
    e.add("replica_last_run_success", "1 when the last run completed every event it handled.",
          run.exitStatus == kExitCompleted ? 1 : 0);
    const std::pair<const char*, std::int64_t> events[] = {{"handled", run.handled},
                                                           {"completed", run.completed},
                                                           {"failed", run.failed},
                                                           {"skipped", run.skipped}};
    for (const auto& [state, count] : events) {
        e.add("replica_last_run_events", "Events of the last run, by what became of them.",
              {{"state", state}}, std::to_string(count));
    }
    for (const PhaseState& p : run.phases) {
        const std::vector<std::pair<std::string, std::string>> at = {{"phase", p.phase},
                                                                     {"company", p.company}};
        e.add("replica_phase_outcome",
              "1 for how each phase of the last run ended (done, no_server, unreachable, lost, "
              "interrupted).",
              {at[0], at[1], {"outcome", p.outcome}}, "1");
        const std::pair<const char*, std::int64_t> counts[] = {{"selected", p.selected},
                                                               {"handled", p.handled},
                                                               {"completed", p.completed},
                                                               {"failed", p.failed},
                                                               {"skipped", p.skipped}};
        for (const auto& [state, count] : counts) {
            e.add("replica_phase_events", "Events of each phase of the last run.",
                  {at[0], at[1], {"state", state}}, std::to_string(count));
        }
    }
    for (const PendingState& p : run.pending) {
        e.add("replica_pending_events", "Local events still to send, by destination company.",
              {{"company", p.company}}, std::to_string(p.pending));
        e.add("replica_pending_failed_events",
              "Of the pending events, those that carry an error, by destination company.",
              {{"company", p.company}}, std::to_string(p.failed));
        if (p.oldestAgeSeconds) {
            e.add("replica_oldest_pending_age_seconds",
                  "Age of the oldest pending event, by destination company.",
                  {{"company", p.company}}, std::to_string(*p.oldestAgeSeconds));
        }
    }
}

}  // namespace

std::string prometheusText(const AgentState& s) {
    Exposition e(s.company);
    e.add("replica_info", "The agent that wrote the state file.", {{"version", s.version}}, "1");
    e.add("replica_state_written_timestamp_seconds",
          "When the agent last wrote its state (Unix time).", s.written.seconds);
    if (s.run) {
        runMetrics(e, *s.run);
    }
    if (s.verify) {
        e.add("replica_verify_timestamp_seconds", "When the last verify ended (Unix time).",
              s.verify->at.seconds);
        e.add("replica_verify_exit_status",
              "The last verify's exit status (0 agree, 1 differences, 2 could not run).",
              s.verify->exitStatus);
        const VerifyCounts& c = s.verify->counts;
        const std::pair<const char*, std::int64_t> counts[] = {{"equal", c.equal},
                                                               {"missing", c.missing},
                                                               {"extra", c.extra},
                                                               {"different", c.different}};
        for (const auto& [finding, count] : counts) {
            e.add("replica_verify_documents", "Documents of the last verify, by finding.",
                  {{"finding", finding}}, std::to_string(count));
        }
    }
    return e.text();
}

namespace {

std::string pendingLine(const PendingState& p) {
    std::string text = "  para " + p.company + ": " + std::to_string(p.pending) + " pendientes, " +
                       std::to_string(p.failed) + " con error";
    if (p.oldestAgeSeconds) {
        text += ", el más antiguo hace " + ageText(*p.oldestAgeSeconds);
    }
    return text + "\n";
}

void runText(std::string& out, const RunState& run) {
    out += "Última ejecución: de " + run.started.text + " a " + run.ended.text + " (" +
           std::to_string(run.durationMs) + " ms), " + run.outcome + " (estado " +
           std::to_string(run.exitStatus) + ")\n";
    out += "  Eventos: " + std::to_string(run.handled) + " manejados, " +
           std::to_string(run.completed) + " completados, " + std::to_string(run.failed) +
           " con error, " + std::to_string(run.skipped) + " omitidos por el prefijo; " +
           std::to_string(run.unreachable) + " servidores sin conexión\n";
    for (const PhaseState& p : run.phases) {
        out += "  " + std::string(phaseName(p)) + (p.company.empty() ? "-" : p.company) + ": " +
               p.outcome + ", " + std::to_string(p.selected) + " seleccionados, " +
               std::to_string(p.handled) + " manejados, " + std::to_string(p.completed) +
               " completados, " + std::to_string(p.failed) + " con error\n";
    }
    out += run.nextRunSeconds > 0 ? "  La siguiente ejecución, " +
                                        std::to_string(run.nextRunSeconds) + " s después de esta\n"
                                  : "  El temporizador quedó detenido: no hay más ejecuciones\n";
    out += "Por enviar desde la compañía:\n";
    if (!run.pendingError.empty()) {
        out += "  " + run.pendingError + "\n";
    }
    for (const PendingState& p : run.pending) {
        out += pendingLine(p);
    }
}

std::string countsJson(const VerifyCounts& c) {
    return "\"equal\":" + std::to_string(c.equal) + ",\"missing\":" + std::to_string(c.missing) +
           ",\"extra\":" + std::to_string(c.extra) +
           ",\"different\":" + std::to_string(c.different);
}

std::string timeJson(const char* name, const Timestamp& t) {
    return std::string("\"") + name + "\":" + jsonQuoted(t.text) + ",\"" + name +
           "_unix\":" + std::to_string(t.seconds);
}

std::string runJson(const RunState& run) {
    std::string out =
        "{" + timeJson("started", run.started) + "," + timeJson("ended", run.ended) +
        ",\"duration_ms\":" + std::to_string(run.durationMs) +
        ",\"exit_status\":" + std::to_string(run.exitStatus) +
        ",\"outcome\":" + jsonQuoted(run.outcome) + ",\"handled\":" + std::to_string(run.handled) +
        ",\"completed\":" + std::to_string(run.completed) +
        ",\"failed\":" + std::to_string(run.failed) +
        ",\"skipped\":" + std::to_string(run.skipped) +
        ",\"unreachable\":" + std::to_string(run.unreachable) +
        ",\"next_run_seconds\":" + std::to_string(run.nextRunSeconds) + ",\"phases\":[";
    for (std::size_t i = 0; i < run.phases.size(); ++i) {
        const PhaseState& p = run.phases[i];
        out += std::string(i ? "," : "") + "{\"phase\":" + jsonQuoted(p.phase) +
               ",\"company\":" + jsonQuoted(p.company) + ",\"outcome\":" + jsonQuoted(p.outcome) +
               ",\"selected\":" + std::to_string(p.selected) +
               ",\"handled\":" + std::to_string(p.handled) +
               ",\"completed\":" + std::to_string(p.completed) +
               ",\"failed\":" + std::to_string(p.failed) +
               ",\"skipped\":" + std::to_string(p.skipped) + "}";
    }
    out += "],\"pending\":[";
    for (std::size_t i = 0; i < run.pending.size(); ++i) {
        const PendingState& p = run.pending[i];
        out += std::string(i ? "," : "") + "{\"company\":" + jsonQuoted(p.company) +
               ",\"pending\":" + std::to_string(p.pending) +
               ",\"failed\":" + std::to_string(p.failed) + ",\"oldest_pending_age_seconds\":" +
               (p.oldestAgeSeconds ? std::to_string(*p.oldestAgeSeconds) : "null") + "}";
    }
    out += "],\"pending_error\":" +
           (run.pendingError.empty() ? std::string("null") : jsonQuoted(run.pendingError));
    return out + "}";
}

}  // namespace

std::string stateText(const AgentState& s, std::int64_t now) {
    std::string out = "Estado del agente de la compañía " + s.company + " (replica " + s.version +
                      "), escrito " + s.written.text + " (hace " +
                      ageText(now - s.written.seconds) + ")\n";
    if (s.run) {
        runText(out, *s.run);
    } else {
        out += "El agente no ha terminado ninguna ejecución todavía\n";
    }
    if (s.verify) {
        const VerifyCounts& c = s.verify->counts;
        out += "Última verificación: " + s.verify->at.text + ", " + std::to_string(c.equal) +
               " iguales, " + std::to_string(c.missing) + " faltan, " + std::to_string(c.extra) +
               " sobran, " + std::to_string(c.different) + " distintos (estado " +
               std::to_string(s.verify->exitStatus) + ")\n";
    }
    return out;
}

std::string stateJson(const AgentState& s, std::int64_t now) {
    std::string out = "{\"company\":" + jsonQuoted(s.company) +
                      ",\"version\":" + jsonQuoted(s.version) + "," +
                      timeJson("written", s.written) +
                      ",\"age_seconds\":" + std::to_string(now - s.written.seconds) +
                      ",\"last_run\":" + (s.run ? runJson(*s.run) : "null") + ",\"verify\":";
    if (s.verify) {
        out += "{" + timeJson("at", s.verify->at) +
               ",\"exit_status\":" + std::to_string(s.verify->exitStatus) + "," +
               countsJson(s.verify->counts) + "}";
    } else {
        out += "null";
    }
    return out + "}\n";
}

int reportFromFile(const CommandLine& cl, std::ostream& out, std::ostream& err) {
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    std::optional<AgentState> state;
    std::string error;
    try {
        state = readStateFile(cl.fromFile);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (cl.nagios) {
        const PluginResult r = nagiosCheck(state, error, now, cl.staleAfter);
        out << r.line << std::flush;
        return r.status;
    }
    if (!state) {
        err << "replica: " << error << "\n";
        return kStatusCannotConnect;
    }
    out << (cl.prometheus ? prometheusText(*state)
            : cl.json     ? stateJson(*state, now)
                          : stateText(*state, now))
        << std::flush;
    return kStatusOk;
}

}  // namespace replica::app
