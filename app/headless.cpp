#include "app/headless.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <utility>

#include "app/agentlock.h"
#include "app/appdir.h"
#include "app/journal.h"
#include "app/session.h"
#include "app/statefile.h"
#include "app/stopsignals.h"
#include "engine/console_operator.h"
#include "engine/db/error.h"
#include "families/all.h"

namespace replica::app {

namespace {

constexpr const char* kTimerStoppedMessage =
    "El temporizador quedó detenido: no habrá más envíos automáticos.";
constexpr const char* kAllBranches = "Todas";
constexpr const char* kNoLocalLockMessage =
    "se sigue sin ese bloqueo: la compañía queda protegida por el bloqueo de su base de datos";

std::string figures(const PhaseReport& p) {
    std::string text = std::to_string(p.selected) + " seleccionados, " +
                       std::to_string(p.counts.handled) + " manejados, " +
                       std::to_string(p.counts.completed) + " completados, " +
                       std::to_string(p.counts.failed) + " con error";
    if (p.phase == Phase::Upload) {
        text += ", " + std::to_string(p.counts.skipped) + " omitidos";
    }
    // What only some runs meet: said when it happened.
    const std::pair<int, const char*> rare[] = {
        {p.counts.retried, " reintentados"},
        {p.counts.failedNotRetried, " con error esperan su turno"},
        {p.counts.taken, " en manos de otro agente"},
        {p.counts.waiting, " en espera tras otro agente"},
    };
    for (const auto& [count, what] : rare) {
        if (count > 0) {
            text += ", " + std::to_string(count) + what;
        }
    }
    return text;
}

std::string phaseText(const PhaseReport& p) {
    using O = PhaseReport::Outcome;
    if (p.phase == Phase::Download && p.outcome == O::NoServer) {
        return "descarga: sin servidor de descarga";
    }
    std::string text = (p.phase == Phase::Download ? "descarga de " : "envío a ") + p.company;
    switch (p.outcome) {
        case O::NoServer:
            return text + ": sin servidor activo";
        case O::Unreachable:
            return text + ": sin conexión";
        case O::Lost:
            return text + " (el servidor dejó de responder): " + figures(p);
        case O::Done:
            return text + ": " + figures(p);
        case O::Interrupted:
            break;
    }
    return text + " (interrumpido): " + figures(p);
}

}  // namespace

RunInputs fieldsFrom(const CommandLine& args) {
    RunInputs fields;
    fields.prefix = args.prefix.value_or("");
    fields.downloadCount = args.downloadCount.value_or("100");
    fields.uploadCount = args.uploadCount.value_or("100");
    fields.frequency = args.frequency.value_or("1");
    fields.newestFirst = args.newestFirst;
    fields.atomicDocuments = args.atomicDocuments;
    fields.skipErrors = args.skipErrorsChecked();
    return fields;
}

std::string summaryText(const RunReport& r) {
    std::string text = "Eventos: " + std::to_string(r.handled) + " manejados, " +
                       std::to_string(r.completed) + " completados, " + std::to_string(r.failed) +
                       " con error, " + std::to_string(r.skipped) + " omitidos por el prefijo";
    for (const PhaseReport& p : r.phases) {
        text += "; " + phaseText(p);
    }
    text += "; duración " + std::to_string(r.duration.count()) + " ms";
    if (!r.finished) {
        text += "; el envío terminó por un error";
    }
    return text;
}

namespace {

// Before any database is opened: a second agent must not even read the
// events the first one is handling. The exit status when another agent
// holds the lock.
std::optional<int> lockCompany(AgentLock& lock, const std::string& directory,
                               const CommandLine& args, ConsoleOperator& op) {
    switch (lock.acquire(directory, args.company)) {
        case AgentLock::Result::Acquired:
            break;
        case AgentLock::Result::Held:
            op.message(alreadyRunningMessage(args.company, lock));
            return kExitAlreadyRunning;
        case AgentLock::Result::Failed:
            // A directory that cannot be written must not stop replication:
            // the lock in the company database still keeps a second agent
            // out, only later than this one would.
            std::cerr << stderrWarningPrefix() << "replica: " << lock.error() << "; "
                      << kNoLocalLockMessage << "\n";
            break;
    }
    return std::nullopt;
}

// Identifies the operator, checks the company and the branch and connects
// the company. The exit status when the start cannot go on.
std::optional<int> startSession(Session& session, ConsoleOperator& op, const CommandLine& args) {
    try {
        session.identify(args.server, args.user, args.password);
        const std::vector<Company> companies = session.companies();
        const bool known = std::any_of(companies.begin(), companies.end(),
                                       [&](const Company& c) { return c.code == args.company; });
        if (!known) {
            // The window would leave its selector empty and the run would
            // refuse with "Debe indicar la compañía de origen."; unattended,
            // the code given is what the administrator must correct.
            op.errorMessage("La compañía " + args.company + " no existe");
            return kExitConfiguration;
        }
        const std::vector<std::string> branches = session.connectCompany(args.company);
        if (args.branch && *args.branch != kAllBranches &&
            std::find(branches.begin(), branches.end(), *args.branch) == branches.end()) {
            op.errorMessage("La agencia " + *args.branch + " no existe en la compañía " +
                            args.company);
            return kExitConfiguration;
        }
        op.fields.companyCode = args.company;
    } catch (const std::exception& e) {
        session.unhandled(e.what());
        const auto* error = dynamic_cast<const db::Error*>(&e);
        return error && db::isOutage(*error) ? kExitOutage : kExitNotStarted;
    }
    session.driver().setServerOverride(args.serverOverride);
    return std::nullopt;
}

// After every run: its summary (a warning when some event failed or a
// database was out of reach), once the log files that could not be written
// (standard error: a journal or a mail from cron shows it even when standard
// output goes nowhere), and the state file.
void reportRun(ConsoleOperator& op, const RunReport& r, Session& session, StateRecorder& state,
               bool last) {
    if (r.started) {
        op.log(summaryText(r), exitStatus(r) == kExitCompleted ? ConsoleOperator::Level::Info
                                                               : ConsoleOperator::Level::Warning);
    }
    if (!r.logFailure.empty()) {
        std::cerr << stderrWarningPrefix() << "replica: " << kLogFailureMessage << r.logFailure
                  << "\n";
    }
    const bool another = !last && op.timerRunning();
    state.record(r, session.local(), another ? op.timerInterval() / 1000 : 0);
}

// The runs after the first, each when the timer says, until a run leaves
// the timer stopped or a stop request comes. Returns the exit status.
int repeatRuns(Session& session, ConsoleOperator& op, StateRecorder& state, RunReport report,
               int stopFd, const bool& stopped) {
    for (;;) {
        // Between runs a stop request ends the program at once.
        if (waitForStopRequest(stopFd, std::chrono::milliseconds(op.timerInterval()))) {
            return kExitCompleted;
        }
        report = session.run();
        reportRun(op, report, session, state, stopped);
        if (stopped) {
            return kExitCompleted;
        }
        if (!op.timerRunning()) {
            op.message(kTimerStoppedMessage);
            return exitStatus(report);
        }
    }
}

}  // namespace

int runHeadless(const CommandLine& args, int stopFd) {
    ConsoleOperator op(fieldsFrom(args));
    op.setJournal(standardOutputIsJournal());
    StateRecorder state(stateFilePath(args.stateFile, std::getenv(kRuntimeDirectoryEnvironment)),
                        args.company, [](const std::string& m) {
                            std::cerr << stderrWarningPrefix() << "replica: " << m << "\n";
                        });
    // A missing directory setting is said once: every file access asks for
    // the directory, and the same line over and over hides the others.
    bool told = false;
    const auto directory = [&op, &told] {
        return applicationDirectory([&op, &told](const std::string& m) {
            if (!std::exchange(told, true)) {
                op.message(m);
            }
        });
    };
    AgentLock lock;
    if (const auto status = lockCompany(lock, directory(), args, op)) {
        return *status;
    }
    Session session(op, directory, families::catalogue());
    if (const auto status = startSession(session, op, args)) {
        state.recordStartFailure(*status);
        return *status;
    }

    // A stop request in the middle of a run ends it after the event in hand,
    // as "Detener" does, and then the program: a service manager's stop
    // need not wait for the whole run.
    bool stopped = false;
    op.setEventsHook([&] {
        if (takeStopRequest(stopFd)) {
            stopped = true;
            session.driver().requestStop();
        }
    });

    const RunReport report = session.run();
    reportRun(op, report, session, state, stopped || args.once);
    if (stopped && !args.once) {
        return kExitCompleted;
    }
    if (args.once || !report.started) {
        return exitStatus(report);
    }
    if (!op.timerRunning()) {
        op.message(kTimerStoppedMessage);
        return exitStatus(report);
    }
    return repeatRuns(session, op, state, report, stopFd, stopped);
}

}  // namespace replica::app
