#include "app/statefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/session.h"

namespace replica::app {

namespace {

// One line per value: a line break in a text (a database's message) would
// start a line of its own.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

std::string timestampText(const Timestamp& t) {
    return t.text + " " + std::to_string(t.seconds);
}

std::string numbers(std::initializer_list<std::int64_t> values) {
    std::string out;
    for (const std::int64_t v : values) {
        out += (out.empty() ? "" : " ") + std::to_string(v);
    }
    return out;
}

const char* phaseOutcomeWord(PhaseReport::Outcome o) {
    using O = PhaseReport::Outcome;
    switch (o) {
        case O::Done:
            return "done";
        case O::NoServer:
            return "no_server";
        case O::Unreachable:
            return "unreachable";
        case O::Lost:
            return "lost";
        case O::Interrupted:
            break;
    }
    return "interrupted";
}

[[noreturn]] void malformed(const std::string& why) {
    throw std::runtime_error("el archivo de estado no es válido: " + why);
}

std::int64_t number(const std::string& word, const std::string& key) {
    std::int64_t value = 0;
    const char* end = word.data() + word.size();
    const auto [at, ec] = std::from_chars(word.data(), end, value);
    if (word.empty() || ec != std::errc() || at != end) {
        malformed(key + ": '" + word + "' no es un número");
    }
    return value;
}

std::vector<std::string> words(const std::string& value) {
    std::istringstream in(value);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

std::vector<std::string> wordsOf(const std::string& value, std::size_t count,
                                 const std::string& key) {
    std::vector<std::string> w = words(value);
    if (w.size() != count) {
        malformed(key + ": se esperaban " + std::to_string(count) + " valores");
    }
    return w;
}

Timestamp timestamp(const std::string& value, const std::string& key) {
    const std::vector<std::string> w = wordsOf(value, 2, key);
    return {number(w[1], key), w[0]};
}

// The lines of one run's part.
void runLines(std::string& out, const RunState& r) {
    out += "run.started=" + timestampText(r.started) + "\n";
    out += "run.ended=" + timestampText(r.ended) + "\n";
    out += "run.duration_ms=" + std::to_string(r.durationMs) + "\n";
    out += "run.exit_status=" + std::to_string(r.exitStatus) + "\n";
    out += "run.outcome=" + r.outcome + "\n";
    out += "run.events=" + numbers({r.handled, r.completed, r.failed, r.skipped, r.unreachable}) +
           "\n";
    out += "run.next_run_seconds=" + std::to_string(r.nextRunSeconds) + "\n";
    for (const PhaseState& p : r.phases) {
        out += "run.phase=" + p.phase + " " + (p.company.empty() ? "-" : p.company) + " " +
               p.outcome + " " +
               numbers({p.selected, p.handled, p.completed, p.failed, p.skipped}) + "\n";
    }
    for (const PendingState& p : r.pending) {
        out += "run.pending=" + p.company + " " + numbers({p.pending, p.failed}) + " " +
               (p.oldestAgeSeconds ? std::to_string(*p.oldestAgeSeconds) : "-") + "\n";
    }
    if (!r.pendingError.empty()) {
        out += "run.pending_error=" + oneLine(r.pendingError) + "\n";
    }
}

// Takes one run.* line into run.
void runValue(RunState& run, const std::string& key, const std::string& value) {
    if (key == "run.started") {
        run.started = timestamp(value, key);
    } else if (key == "run.ended") {
        run.ended = timestamp(value, key);
    } else if (key == "run.duration_ms") {
        run.durationMs = number(value, key);
    } else if (key == "run.exit_status") {
        run.exitStatus = static_cast<int>(number(value, key));
    } else if (key == "run.outcome") {
        run.outcome = value;
    } else if (key == "run.events") {
        const std::vector<std::string> w = wordsOf(value, 5, key);
        run.handled = number(w[0], key);
        run.completed = number(w[1], key);
        run.failed = number(w[2], key);
        run.skipped = number(w[3], key);
        run.unreachable = number(w[4], key);
    } else if (key == "run.next_run_seconds") {
        run.nextRunSeconds = number(value, key);
    } else if (key == "run.phase") {
        const std::vector<std::string> w = wordsOf(value, 8, key);
        run.phases.push_back({w[0], w[1] == "-" ? "" : w[1], w[2], number(w[3], key),
                              number(w[4], key), number(w[5], key), number(w[6], key),
                              number(w[7], key)});
    } else if (key == "run.pending") {
        const std::vector<std::string> w = wordsOf(value, 4, key);
        PendingState p{w[0], number(w[1], key), number(w[2], key), std::nullopt};
        if (w[3] != "-") {
            p.oldestAgeSeconds = number(w[3], key);
        }
        run.pending.push_back(p);
    } else if (key == "run.pending_error") {
        run.pendingError = value;
    }
}

void verifyValue(VerifyState& v, const std::string& key, const std::string& value) {
    if (key == "verify.at") {
        v.at = timestamp(value, key);
    } else if (key == "verify.exit_status") {
        v.exitStatus = static_cast<int>(number(value, key));
    } else if (key == "verify.counts") {
        const std::vector<std::string> w = wordsOf(value, 4, key);
        v.counts = {number(w[0], key), number(w[1], key), number(w[2], key), number(w[3], key)};
    }
}

std::string systemReason() {
    return std::strerror(errno);
}

// Writes all of text to fd; false with errno on a failure.
bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// `replica verify` run by root writes into the service's directory: the
// file stays the service's, so that its group may still read it and the
// agent replace it.
void handToDirectoryOwner(int fd, const std::string& path) {
    if (::geteuid() != 0) {
        return;
    }
    const std::string directory = std::filesystem::path(path).parent_path().string();
    struct stat st {};
    if (::stat(directory.empty() ? "." : directory.c_str(), &st) == 0) {
        // Best effort: the file is written anyway.
        const int changed = ::fchown(fd, st.st_uid, st.st_gid);
        static_cast<void>(changed);
    }
}

}  // namespace

Timestamp Timestamp::at(std::int64_t unixSeconds) {
    const auto t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char text[40];
    char zone[8];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::strftime(zone, sizeof zone, "%z", &tm);  // "+0100": ISO 8601 writes "+01:00"
    std::string offset = zone;
    if (offset.size() == 5) {
        offset.insert(3, ":");
    }
    return {unixSeconds, std::string(text) + offset};
}

Timestamp Timestamp::current() {
    return at(static_cast<std::int64_t>(std::time(nullptr)));
}

const char* outcomeWord(int exitStatus) {
    switch (exitStatus) {
        case kExitCompleted:
            return "completed";
        case kExitEventFailed:
            return "event_failed";
        case kExitNotStarted:
            return "not_started";
        case kExitAlreadyRunning:
            return "already_running";
        case kExitOutage:
            return "outage";
        case kExitLogsUnwritten:
            return "logs_unwritten";
        case kExitConfiguration:
            return "configuration";
        default:
            return "unknown";
    }
}

RunState runState(const RunReport& report, const StatusReport& pending,
                  std::int64_t nextRunSeconds) {
    RunState r;
    r.ended = Timestamp::current();
    r.durationMs = report.duration.count();
    r.started = Timestamp::at(r.ended.seconds - (r.durationMs + 999) / 1000);
    r.exitStatus = exitStatus(report);
    r.outcome = outcomeWord(r.exitStatus);
    r.handled = report.handled;
    r.completed = report.completed;
    r.failed = report.failed;
    r.skipped = report.skipped;
    r.unreachable = report.unreachable;
    r.nextRunSeconds = nextRunSeconds;
    for (const PhaseReport& p : report.phases) {
        r.phases.push_back({p.phase == Phase::Download ? "download" : "upload", p.company,
                            phaseOutcomeWord(p.outcome), p.selected, p.counts.handled,
                            p.counts.completed, p.counts.failed, p.counts.skipped});
    }
    if (!pending.local.ok) {
        r.pendingError = pending.local.error;
    }
    for (const DestinationStatus& d : pending.destinations) {
        r.pending.push_back(
            {d.company, d.outgoing.pending, d.outgoing.failed, d.outgoing.ageSeconds});
    }
    return r;
}

std::string stateFileText(const AgentState& s) {
    std::string out = std::string(kStateFileHeader) + "\n";
    out += "version=" + oneLine(s.version) + "\n";
    out += "company=" + oneLine(s.company) + "\n";
    out += "written=" + timestampText(s.written) + "\n";
    if (s.run) {
        runLines(out, *s.run);
    }
    if (s.verify) {
        out += "verify.at=" + timestampText(s.verify->at) + "\n";
        out += "verify.exit_status=" + std::to_string(s.verify->exitStatus) + "\n";
        const VerifyCounts& c = s.verify->counts;
        out += "verify.counts=" + numbers({c.equal, c.missing, c.extra, c.different}) + "\n";
    }
    return out;
}

AgentState parseStateFile(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kStateFileHeader) {
        malformed(std::string("no empieza por \"") + kStateFileHeader + "\"");
    }
    AgentState s;
    bool written = false;
    std::map<std::string, bool> seen;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        seen[key] = true;
        if (key == "version") {
            s.version = value;
        } else if (key == "company") {
            s.company = value;
        } else if (key == "written") {
            s.written = timestamp(value, key);
            written = true;
        } else if (key.rfind("run.", 0) == 0) {
            runValue(s.run ? *s.run : s.run.emplace(), key, value);
        } else if (key.rfind("verify.", 0) == 0) {
            verifyValue(s.verify ? *s.verify : s.verify.emplace(), key, value);
        }
    }
    if (!written || s.company.empty()) {
        malformed("le faltan la compañía o la hora en que se escribió");
    }
    if (s.run && (!seen["run.ended"] || !seen["run.exit_status"])) {
        malformed("la última ejecución no dice cuándo terminó ni cómo");
    }
    if (s.verify && (!seen["verify.at"] || !seen["verify.counts"])) {
        malformed("la última verificación está incompleta");
    }
    return s;
}

AgentState readStateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("no se puede leer el archivo de estado " + path + ": " +
                                 systemReason());
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return parseStateFile(text.str());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

void writeStateFile(const std::string& path, const AgentState& state) {
    // The temporary file is in the same directory, so that the rename
    // replaces the file in one step (it cannot cross file systems).
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    const auto fail = [&](const std::string& what) {
        const std::string reason = systemReason();
        ::unlink(temporary.c_str());
        throw std::runtime_error("no se pudo escribir el archivo de estado " + path + " (" + what +
                                 "): " + reason);
    };
    ::unlink(temporary.c_str());  // left by a process of the same id that was killed
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (fd < 0) {
        fail("crear " + temporary);
    }
    handToDirectoryOwner(fd, path);
    bool written = writeAll(fd, stateFileText(state)) && ::fsync(fd) == 0;
    int reason = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        written = false;
        reason = errno;
    }
    if (!written) {
        errno = reason;
        fail("escribir " + temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        fail("renombrar " + temporary);
    }
    // The rename itself reaches the disk with the directory.
    const std::string directory = std::filesystem::path(path).parent_path().string();
    const int dir = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string stateFilePath(const std::string& given, const char* runtimeDirectory) {
    if (!given.empty()) {
        return given;
    }
    if (!runtimeDirectory || !*runtimeDirectory) {
        return "";
    }
    // Several directories are separated by colons; the unit names one.
    std::string directory = runtimeDirectory;
    directory = directory.substr(0, directory.find(':'));
    return directory + "/" + kStateFileName;
}

namespace {

// The exclusive lock on a state file's companion, held for one
// read-change-write. The companion stays: the state file itself is
// replaced by each write, so a lock on it would hold an old file.
class StateLock {
  public:
    StateLock(const std::string& path, std::chrono::milliseconds wait) {
        const std::string lock = stateLockPath(path);
        // Read-only is enough for flock: whoever may read the state may
        // wait for its writer.
        m_fd = ::open(lock.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0640);
        if (m_fd < 0) {
            throw std::runtime_error("no se pudo abrir el bloqueo del archivo de estado " + lock +
                                     ": " + systemReason());
        }
        handToDirectoryOwner(m_fd, path);
        const auto until = std::chrono::steady_clock::now() + wait;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= until) {
                const std::string reason = errno == EWOULDBLOCK
                                               ? "otro proceso lo retiene desde hace más de " +
                                                     std::to_string(wait.count()) + " ms"
                                               : systemReason();
                ::close(m_fd);
                throw std::runtime_error("no se pudo bloquear el archivo de estado " + path + " (" +
                                         lock + "): " + reason);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~StateLock() { ::close(m_fd); }  // closing releases the lock
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

  private:
    int m_fd = -1;
};

}  // namespace

std::string stateLockPath(const std::string& path) {
    return path + ".lock";
}

void updateStateFile(const std::string& path, const std::string& company,
                     const std::optional<RunState>& run, const std::optional<VerifyState>& verify,
                     std::chrono::milliseconds wait) {
    const StateLock lock(path, wait);
    AgentState state;
    try {
        state = readStateFile(path);
    } catch (const std::exception&) {
        // Nothing to keep: the file is written afresh.
    }
    if (state.company != company) {
        state = AgentState{};  // another company's figures are not this one's
    }
    state.version = REPLICA_VERSION;
    state.company = company;
    state.written = Timestamp::current();
    if (run) {
        state.run = run;
    }
    if (verify) {
        state.verify = verify;
    }
    writeStateFile(path, state);
}

void StateRecorder::record(const RunReport& report, db::Connection& local,
                           std::int64_t nextRunSeconds) {
    if (!m_path.empty()) {
        write(runState(report, localStatus(local, m_company), nextRunSeconds));
    }
}

void StateRecorder::recordStartFailure(int exitStatus) {
    if (m_path.empty()) {
        return;
    }
    RunState run;
    run.ended = Timestamp::current();
    run.started = run.ended;
    run.exitStatus = exitStatus;
    run.outcome = outcomeWord(exitStatus);
    run.pendingError = "el agente no llegó a abrir la base de datos de la compañía";
    write(run);
}

void StateRecorder::write(const RunState& run) {
    try {
        updateStateFile(m_path, m_company, run, std::nullopt);
        m_lastFailure.clear();
    } catch (const std::exception& e) {
        if (e.what() != m_lastFailure) {
            m_lastFailure = e.what();
            m_warn(m_lastFailure + "; la replicación sigue");
        }
    }
}

}  // namespace replica::app
