#include "engine/rundriver.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/numbers.h"
#include "engine/operatorrelay.h"
#include "engine/server.h"
#include "engine/settings.h"
#include "engine/sql.h"

namespace replica {

namespace {

constexpr const char* kCleaningCaption = "Borrando información procesada...";
constexpr const char* kDownloadCaption = "Descargando información del servidor ...";
constexpr const char* kUploadCaption = "Enviando información al servidor ";
constexpr const char* kLastSendSql =
    "SELECT FIRST 1 RPEV_ID, RPEV_FECREP, RPEV_HORAREP FROM replica_eventos ORDER BY RPEV_FECREP "
    "DESC, RPEV_HORAREP DESC";
constexpr const char* kUploadCompaniesSql =
    "select distinct r.rpev_compania from replica_eventos r WHERE RPEV_COMPANIA <> '' AND "
    "(R.rpev_fecrep IS NULL)";
constexpr const char* kDefaultCount = "80";
// The largest number of minutes whose milliseconds fit the timer's int.
constexpr long kMaxMinutes = 35791;

// Clears the in-progress flag however the run ends.
class RunningFlag {
  public:
    explicit RunningFlag(std::atomic<bool>& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

  private:
    std::atomic<bool>& m_flag;
};

// The agent lock for the length of a run: released, and its connection
// closed, however the run ends.
class AgentGuard {
  public:
    AgentGuard(db::RowLock& lock, db::Connection& conn) : m_lock(lock), m_conn(conn) {}
    ~AgentGuard() {
        m_lock.release();
        m_conn.close();
    }
    AgentGuard(const AgentGuard&) = delete;
    AgentGuard& operator=(const AgentGuard&) = delete;

  private:
    db::RowLock& m_lock;
    db::Connection& m_conn;
};

// An upload lane ended by an error no one handled: recorded on the lane's
// event already, the run ends as after any such error.
struct LaneInterrupted {
    bool outage = false;
};

// How often the run's thread looks at the window while lanes work.
constexpr std::chrono::milliseconds kPumpInterval{50};

}  // namespace

// One destination company's upload phase with everything of its own: its
// operator (relayed), its log lines, its connections to the local and the
// destination database, its settings and its capture of errors.
struct RunDriver::ParallelLane {
    ParallelLane(OperatorRelay& relay, std::size_t index, std::string destination,
                 const std::string& logDirectory, const RunOptions& runOptions,
                 const std::string& lastUploadQuery)
        : company(std::move(destination)),
          op(relay, index, this->company),
          logs([logDirectory] { return logDirectory; }),
          options(runOptions),
          errors(op, logs) {
        logs.setLastUploadQuery(lastUploadQuery);
    }
    Lane lane() { return Lane{op, logs, local, server, options, errors}; }

    std::string company;
    LaneOperator op;
    Logs logs;
    db::Connection local;
    db::Connection server;
    RunOptions options;
    ErrorCapture errors;
    PhaseReport report;
    long long failedSkip = 0;
    // An error that left the phase: recorded once the lane has ended.
    bool failed = false;
    bool outage = false;
    std::string failure;
};

std::string anotherAgentMessage(const std::string& company) {
    return "Otro agente está replicando la compañía " + company +
           " en este momento: este envío no se hace.";
}

RunDriver::RunDriver(Operator& op, Logs& logs, const Catalogue& catalogue, db::Connection& local)
    : m_op(op), m_logs(logs), m_catalogue(catalogue), m_local(local), m_errors(op, logs) {}

std::string RunDriver::configuracion(const std::string& module, const std::string& category,
                                     const std::string& property) {
    return replica::configuracion(m_server, m_op, module, category, property);
}

RunDriver::Lane RunDriver::ownLane() {
    return Lane{m_op, m_logs, m_local, m_server, m_options, m_errors};
}

bool RunDriver::refusesStart(const RunInputs& in) {
    if (in.companyCode.empty()) {
        m_op.message(kNoCompanyMessage);
        return true;
    }
    // The counts go into the SELECT texts as they stand: anything but a
    // whole number is refused here, before any SQL is sent.
    for (const auto& [field, text] : {std::pair{CountField::Download, in.downloadCount},
                                      std::pair{CountField::Upload, in.uploadCount}}) {
        if (const std::optional<std::string> problem = countProblem(field, text);
            problem && !text.empty()) {
            m_op.message(*problem);
            return true;
        }
    }
    return false;
}

RunReport RunDriver::run() {
    RunReport report;
    if (m_running) {
        return report;
    }
    Run r;
    r.in = m_op.inputs();
    if (refusesStart(r.in)) {
        return report;
    }

    report.started = true;
    const auto startedAt = std::chrono::steady_clock::now();
    m_stopRequested = false;
    // A local database found out of reach by an earlier run is attached
    // afresh: an outage must not need the company chosen again.
    if (m_local.lost()) {
        m_local.close();
    }
    {
        RunningFlag running(m_running);
        AgentGuard guard(m_guard, m_guardConnection);
        try {
            // Before anything else is read: the lock is what tells whether
            // another agent is at work on these very events.
            m_guardConnection.configureLike(m_local);
            if (m_guard.acquire(kAgentGuardSql) == db::RowLock::Result::Busy) {
                report.started = false;
                report.anotherAgent = true;
            } else {
                runPhases(r);
                report.finished = true;
            }
        } catch (const LaneInterrupted& e) {
            report.outage = e.outage;
        } catch (const db::Error& e) {
            report.outage = db::classify(e) != db::Failure::Refused;
            unhandled(e.message());
        } catch (const std::exception& e) {
            unhandled(e.what());
        }
        if (report.outage && !report.finished) {
            // Whatever was out of reach, the local attachment may be dead
            // without having said so yet: the next run attaches afresh.
            m_local.close();
        }
    }
    if (report.anotherAgent) {
        m_op.message(anotherAgentMessage(r.in.companyCode));
        return report;
    }
    if (!report.finished) {
        // An error ended the run before its re-arm: the phases stopped the
        // timer, and an agent left without it would never run again.
        m_op.hideEventLine();
        m_op.hideProgress();
        r.badFrequency = !rearmTimer();
    }
    if (r.badFrequency) {
        // Told only now that the run is over and the timer re-armed: a box
        // waiting for a click must not hold replication back.
        m_op.message(kFrequencyMessage);
    }
    finishReport(report, r);
    report.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - startedAt);
    return report;
}

void RunDriver::finishReport(RunReport& report, Run& r) {
    for (const PhaseReport& p : r.phases) {
        report.retried += p.counts.retried;
        report.failedWaiting += p.counts.failedNotRetried;
        report.handled += p.counts.handled;
        report.completed += p.counts.completed;
        report.failed += p.counts.failed;
        report.skipped += p.counts.skipped;
        const bool reached = p.outcome != PhaseReport::Outcome::Unreachable &&
                             p.outcome != PhaseReport::Outcome::Lost;
        report.unreachable += reached ? 0 : 1;
    }
    report.outage = report.outage || report.unreachable > 0;
    report.logFailure = m_logs.takeFailure();
    if (!report.logFailure.empty()) {
        // Once per run, when it is over: the lines are lost, the events are
        // not.
        m_op.setLastError("Ultimo error: " + std::string(kLogFailureMessage) + report.logFailure);
    }
    report.phases = std::move(r.phases);
}

void RunDriver::unhandled(const std::string& message) {
    if (m_unhandledHook) {
        m_errors.clearCurrent();
        try {
            m_unhandledHook(message);
            return;
        } catch (const std::exception& e) {
            // The outside handler failed: the capture records the original
            // message below, and standard error keeps why.
            std::cerr << "replica: " << e.what() << "\n";
        }
    }
    try {
        m_errors.ENoManejada(message);
    } catch (const std::exception& e) {
        // The file line is written before the event row (a file that cannot
        // be written is kept for the run's report, not thrown): what failed
        // is the row. Record that failure without the event, so the
        // original message is not logged twice, and keep both on screen.
        m_errors.clearCurrent();
        m_errors.ENoManejada(e.what());
        m_op.setLastError("Ultimo error: " + message + " (" + e.what() + ")");
    }
    m_errors.clearCurrent();
}

void RunDriver::runPhases(Run& r) {
    for (const RunSetting& s : m_catalogue.settings()) {
        if (!s.keptBetweenRuns) {
            m_options.clearSetting(s.name);
        }
    }
    m_options.atomicDocuments = r.in.atomicDocuments;

    Lane own = ownLane();
    showLastSend(own, true);
    m_op.showProgress(kCleaningCaption);
    m_op.repaint();
    cleanup(m_local);

    downloadPhase(r);

    std::vector<std::string> companies;
    {
        db::Query q(m_local);
        q.open(kUploadCompaniesSql);
        for (q.first(); !q.eof(); q.next()) {
            companies.push_back(q.asText(0));
        }
    }
    if (companies.size() > 1 && !m_stopRequested) {
        uploadSideBySide(r, companies);
    } else {
        for (const std::string& company : companies) {
            if (m_stopRequested) {
                break;
            }
            PhaseReport& report = r.phases.emplace_back();
            uploadCompany(r, own, company, report, m_failedSkip["U" + company]);
        }
    }

    r.badFrequency = !rearmTimer();
    m_op.hideProgress();
    m_op.repaint();
}

void RunDriver::showLastSend(Lane& lane, bool setButton) {
    db::Query q(lane.local);
    q.open(kLastSendSql);
    const bool sent = !q.isEmpty() && !q.isNull(1) && !q.asText(1).empty();
    lane.op.setLastSend(sent ? q.asText(1) + " - " + q.asText(2) : "Sin envios hasta ahora.");
    if (setButton) {
        lane.op.setErrorsButtonEnabled(sent);
    }
}

void RunDriver::cleanup(db::Connection& local) {
    // Lanes clean up one at a time: two deletes of the same old rows at once
    // would have the second wait for the first and fail on its rows.
    static std::mutex oneAtATime;
    std::lock_guard<std::mutex> lock(oneAtATime);
    const std::string limit = Q(sqlDate(addDays(today(), -7)));
    local.execute(
        "delete from replica_eventos r WHERE (R.rpev_fecrep IS NOT NULL) AND (R.rpev_fecrep < " +
        limit + ")");
    local.execute(
        "delete from replica_eventos r WHERE R.rpev_TIPO = 33 AND R.RPEV_OPER = 'U' AND "
        "(R.rpev_fecrep IS NULL) AND (R.RPEV_ERROR IS NOT NULL) AND (R.rpev_fecreg < " +
        limit + ")");
}

void RunDriver::readSettings(Lane& lane, ReadAt moment) {
    for (const RunSetting& s : m_catalogue.settings()) {
        if (std::find(s.readAt.begin(), s.readAt.end(), moment) == s.readAt.end()) {
            continue;
        }
        switch (moment) {
            case ReadAt::DownloadStart:
                lane.options.setSetting(s.name, settings::firstValue(lane.local, settingSql(s)));
                break;
            case ReadAt::UploadConnected:
                lane.options.setSetting(
                    s.name,
                    replica::configuracion(lane.server, lane.op, s.module, s.category, s.property));
                break;
            case ReadAt::UploadSelected:
                lane.options.setSetting(s.name, settings::firstValue(lane.server, settingSql(s)));
                break;
        }
    }
}

PhaseSetup RunDriver::setupFor(Lane& lane, Phase phase, const std::string& prefix) {
    PhaseSetup s;
    s.phase = phase;
    s.source = phase == Phase::Download ? &lane.server : &lane.local;
    s.destination = phase == Phase::Download ? &lane.local : &lane.server;
    s.options = &lane.options;
    // Asked for every invoice, read once per phase: at a remote site each
    // read is an exchange, and a setting changed meanwhile counts from the
    // next run on.
    auto read = std::make_shared<std::map<std::string, std::string>>();
    s.configuracion = [&lane, read](const std::string& module, const std::string& category,
                                    const std::string& property) {
        const std::string key = module + '\x1f' + category + '\x1f' + property;
        auto found = read->find(key);
        if (found == read->end()) {
            found = read->emplace(key, replica::configuracion(lane.server, lane.op, module,
                                                              category, property))
                        .first;
        }
        return found->second;
    };
    s.prefix = prefix;
    s.stop = &m_stopRequested;
    return s;
}

void RunDriver::downloadPhase(Run& r) {
    m_op.showProgress(kDownloadCaption);
    m_op.repaint();
    // A phase never works through the connection a previous phase left open.
    m_server.close();
    PhaseReport& report = r.phases.emplace_back();
    report.phase = Phase::Download;
    const std::optional<ServerLocation> location = findDownloadServer(m_local);
    if (!location) {
        report.outcome = PhaseReport::Outcome::NoServer;
        return;
    }
    report.company = location->company;
    Lane own = ownLane();
    readSettings(own, ReadAt::DownloadStart);
    const std::string serverText = m_serverOverride.empty() ? location->server : m_serverOverride;
    if (!connectServer(m_server, m_local, serverText, location->company, m_logs, m_op)) {
        report.outcome = PhaseReport::Outcome::Unreachable;
        return;
    }

    if (r.in.downloadCount.empty()) {
        r.in.downloadCount = kDefaultCount;
        m_op.setDownloadCount(kDefaultCount);
    }
    const PhaseSetup setup = setupFor(own, Phase::Download, {});
    EventLoop loop(m_op, m_logs, m_errors, m_catalogue);
    try {
        EventSelection selection{Phase::Download, r.in.downloadCount, r.in.companyCode,
                                 r.in.skipErrors, r.in.newestFirst};
        long long& skip = m_failedSkip["D" + location->company];
        selection.failedSkip = skip;
        loop.select(setup, selection);
        report.selected = loop.selectedCount();
        loop.handleAll(setup, report.counts);
        skip = nextFailedSkip(selection, report.counts);
    } catch (const db::Error& e) {
        serverLost(own, report, e);
        return;
    }
    report.outcome = PhaseReport::Outcome::Done;
}

void RunDriver::serverLost(Lane& lane, PhaseReport& report, const db::Error& e) {
    if (db::classify(e) == db::Failure::Refused || !lane.server.lost() || lane.local.lost()) {
        throw;
    }
    // Nothing can be recorded on the server, and the event is not at fault:
    // it stays pending, as the events of a server never reached do.
    lane.errors.clearCurrent();
    logUnreachable(lane.server.path(), lane.logs, lane.op);
    lane.server.close();
    report.outcome = PhaseReport::Outcome::Lost;
}

void RunDriver::uploadCompany(Run& r, Lane& lane, const std::string& company, PhaseReport& report,
                              long long& failedSkip) {
    lane.op.showProgress(kUploadCaption + company);
    lane.op.repaint();
    lane.op.stopTimer();
    lane.op.repaint();

    lane.server.close();
    report.phase = Phase::Upload;
    report.company = company;
    const std::optional<std::string> server = findUploadServer(lane.local, company);
    if (!server) {
        report.outcome = PhaseReport::Outcome::NoServer;
        noServerLine(lane, company);
        return;
    }
    const std::string serverText = m_serverOverride.empty() ? *server : m_serverOverride;
    const bool connected =
        connectServer(lane.server, lane.local, serverText, company, lane.logs, lane.op);
    if (m_uploadConnectHook && &lane.op == &m_op) {
        m_uploadConnectHook();
    }
    if (!connected) {
        report.outcome = PhaseReport::Outcome::Unreachable;
        return;
    }

    try {
        readSettings(lane, ReadAt::UploadConnected);

        lane.op.showProgress(kCleaningCaption);
        lane.op.repaint();
        cleanup(lane.local);

        if (r.in.uploadCount.empty()) {
            r.in.uploadCount = kDefaultCount;
            lane.op.setUploadCount(kDefaultCount);
        }
        EventSelection selection{Phase::Upload, r.in.uploadCount, company, r.in.skipErrors,
                                 r.in.newestFirst};
        selection.failedSkip = failedSkip;
        lane.logs.setLastUploadQuery(freshEventsSql(selection));
        const PhaseSetup setup = setupFor(lane, Phase::Upload, r.in.prefix);
        EventLoop loop(lane.op, lane.logs, lane.errors, m_catalogue);
        loop.select(setup, selection);
        report.selected = loop.selectedCount();

        readSettings(lane, ReadAt::UploadSelected);

        loop.handleAll(setup, report.counts);
        failedSkip = nextFailedSkip(selection, report.counts);
    } catch (const db::Error& e) {
        serverLost(lane, report, e);
        lane.op.hideEventLine();
        lane.local.close();
        return;
    }
    lane.op.hideEventLine();

    showLastSend(lane, false);
    lane.local.close();
    lane.server.close();
    report.outcome = PhaseReport::Outcome::Done;
}

void RunDriver::uploadSideBySide(Run& r, const std::vector<std::string>& companies) {
    std::string caption = kUploadCaption;
    for (std::size_t i = 0; i < companies.size(); ++i) {
        caption += (i == 0 ? "" : ", ") + companies[i];
    }
    m_op.showProgress(caption);
    m_op.stopTimer();
    m_op.repaint();
    // Every lane's connection attempt is as good as the first, for whoever
    // waits for one: said once, before they start.
    if (m_uploadConnectHook) {
        m_uploadConnectHook();
    }
    if (r.in.uploadCount.empty()) {
        r.in.uploadCount = kDefaultCount;
        m_op.setUploadCount(kDefaultCount);
    }

    OperatorRelay relay(m_op, r.in);
    const std::string logDirectory = m_logs.directory();
    std::vector<std::unique_ptr<ParallelLane>> lanes;
    for (std::size_t i = 0; i < companies.size(); ++i) {
        auto& lane = lanes.emplace_back(std::make_unique<ParallelLane>(
            relay, i, companies[i], logDirectory, m_options, m_logs.lastUploadQuery()));
        lane->local.configureLike(m_local);
        lane->failedSkip = m_failedSkip["U" + companies[i]];
    }
    std::atomic<std::size_t> working{lanes.size()};
    {
        // Declared after the lanes: joined before the lanes go.
        std::vector<std::jthread> threads;
        for (const auto& lane : lanes) {
            ParallelLane* l = lane.get();
            threads.emplace_back([this, &r, &relay, &working, l] {
                try {
                    Lane own = l->lane();
                    uploadCompany(r, own, l->company, l->report, l->failedSkip);
                } catch (const db::Error& e) {
                    l->failed = true;
                    l->outage = db::classify(e) != db::Failure::Refused;
                    l->failure = e.message();
                } catch (const std::exception& e) {
                    l->failed = true;
                    l->failure = e.what();
                }
                --working;
                relay.wake();
            });
        }
        while (working > 0) {
            relay.pump(kPumpInterval);
            m_op.processEvents();
        }
    }

    LaneInterrupted interrupted;
    bool anyFailed = false;
    for (const auto& lane : lanes) {
        if (lane->failed) {
            anyFailed = true;
            interrupted.outage = interrupted.outage || lane->outage;
            try {
                lane->errors.ENoManejada(lane->failure);
            } catch (const std::exception& e) {
                lane->errors.clearCurrent();
                lane->errors.ENoManejada(lane->failure + " (" + e.what() + ")");
            }
            lane->errors.clearCurrent();
            lane->local.close();
            lane->server.close();
        }
        r.phases.push_back(lane->report);
        m_failedSkip["U" + lane->company] = lane->failedSkip;
        m_logs.keepFailure(lane->logs.takeFailure());
    }
    relay.pump(std::chrono::milliseconds(0));
    m_op.hideEventLine();
    m_logs.setLastUploadQuery(lanes.back()->logs.lastUploadQuery());
    m_options = lanes.back()->options;
    m_local.close();
    if (anyFailed) {
        throw interrupted;
    }
}

long long nextFailedSkip(const EventSelection& s, const LoopCounts& counts) {
    const long long limit = digitsIn(s.count, 0, kMaxCount).value_or(0);
    if (limit == 0 || counts.retryTurn < limit) {
        return 0;  // this turn reached the last failed event: start again
    }
    // The next turn starts after the events of this one that are still
    // failed (those completed have left the failed ones).
    return s.failedSkip + counts.retryTurn - counts.retriedCompleted;
}

std::string noServerMessage(const std::string& company, std::int64_t events) {
    return std::to_string(events) + " eventos esperan para la compañía " + company +
           ", que no tiene un servidor activo en REPLICA_COMPANIA";
}

std::string waitingEventsSql(const std::string& company) {
    return std::string("select count(*) from replica_eventos where ") + kUploadedTypes +
           " and rpev_fecrep is null and rpev_compania = " + Q(company);
}

void RunDriver::noServerLine(Lane& lane, const std::string& company) {
    // Events that no run will ever send until the company gets its row:
    // said once per run, where an administrator looks.
    db::Query q(lane.local);
    q.open(waitingEventsSql(company));
    const std::int64_t events = q.isEmpty() ? 0 : q.asInt(0);
    if (events > 0) {
        lane.logs.error(noServerMessage(company, events));
    }
}

std::optional<int> frequencyInterval(const std::string& minutes) {
    const std::optional<long long> value = digitsIn(minutes, 0, kMaxMinutes);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<int>(*value * 60000);
}

bool RunDriver::rearmTimer() {
    // A bad frequency must not leave the agent without its timer: the
    // previous interval stays and the timer goes on. The message waits for
    // the run to be over (run()), so it never holds the timer back.
    const std::optional<int> interval = frequencyInterval(m_op.inputs().frequency);
    const bool good = interval.has_value();
    if (good) {
        m_intervalMs = *interval;
    }
    if (m_intervalMs == 0) {
        // A frequency of 0 means no automatic runs.
        m_op.stopTimer();
        return good;
    }
    m_op.startTimer(m_intervalMs);
    return good;
}

}  // namespace replica
