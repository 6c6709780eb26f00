// A long run of the built agent, as a service would make it: does its memory
// stay flat as the number of events grows, and how soon does it reach the
// database?
//
// For each event count it builds a demo installation (forced writes off),
// lets the ERP simulator write that many events into company 002 for 001
// (four documents of several families to every item record: entries, sales
// invoices with payment lines, vouchers, items with photos and documents),
// then runs `replica --headless --once` for company 001 with a download
// count that takes every event in one run, and reports:
//   run s, events/s  - the agent's whole process, start to exit;
//   peak RSS         - the agent's maximum resident size (wait4's rusage);
//   first SQL        - from the agent's start to the first statement it
//                      sends (REPLICA_TRACE), i.e. the start-up cost.
// A single run reads its whole batch of events at once, so its peak grows
// with the batch. The service's case is another: one process, run after run
// on its timer, each taking a batch of the window's size. The second table
// runs the largest count that way inside this process (batches of 1,000, one
// run driver, as the timer calls it) and prints the resident size after
// each run: memory is flat when the last runs hold what the first did.
//
// The engine keeps a page cache for each database the agent opens (2,048
// pages of 8 KiB by default): it fills as a run touches more pages, up to
// that bound, so a larger run shows a larger peak until the cache is full.
// --page-buffers N writes N into the header of both company databases
// before the run (gfix -buffers), so that the cache is full at every count
// and what remains of the growth is the agent's own.
//
// Usage: scale_bench [--page-buffers N] [--no-run-after-run]
//                    [lines per document] [event counts...]
//        (default: 5 lines; 1000 and 10000 events)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/console_operator.h"
#include "engine/db/connection.h"
#include "engine/db/query.h"
#include "engine/logs.h"
#include "engine/rundriver.h"
#include "families/all.h"
#include "tests/support/tempdir.h"

#ifndef REPLICA_PROGRAM
#error "REPLICA_PROGRAM: the path of the built agent"
#endif

using namespace replica;

namespace {

long long nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The resident size of this process, in KiB (VmRSS).
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

struct Result {
    int events = 0;
    int replicated = 0;
    double run = 0;       // seconds
    long peakKiB = 0;     // the agent's maximum resident size
    double firstSql = 0;  // milliseconds from its start to its first statement
    int status = -1;
};

int g_pageBuffers = 0;  // --page-buffers: 0 keeps the engine's default

// The engine's page cache of a database, written into its header.
void setPageBuffers(const std::string& path, int pages) {
    const std::string command = "gfix -buffers " + std::to_string(pages) +
                                " -user SYSDBA -password masterkey '" + path + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

// A fresh installation in dir with events events for company 001 in 002.
void prepare(const std::string& dir, int events, int lines) {
    demo::InstallationOptions options;
    options.forcedWrites = false;
    demo::buildInstallation(dir, options);
    {
        auto server = test::openDatabase(demo::companyPath(dir, "002"));
        auto local = test::openDatabase(demo::companyPath(dir, "001"));
        local->execute("delete from REPLICA_EVENTOS");
        server->execute("delete from REPLICA_EVENTOS");
        local->execute(
            "update CONFIGURACION set CONF_VALOR = 'FACTURA' where CONF_PROPIEDAD = "
            "'ENVIAR FACTURA DE VENTA COMO ENTRADA O COMO FACTURA'");
        demo::SimulationOptions sim;
        sim.seed = 29;
        sim.documents = events * 4 / 5;
        sim.masters = events - sim.documents;
        sim.linesPerDocument = lines;
        sim.types = {11, 31, 1, 101};
        demo::simulate(*server, sim);
    }
    if (g_pageBuffers > 0) {
        for (const char* company : {"001", "002"}) {
            setPageBuffers(demo::companyPath(dir, company), g_pageBuffers);
        }
    }
}

int replicated(const std::string& dir, int& events) {
    auto server = test::openDatabase(demo::companyPath(dir, "002"));
    db::Query q(*server);
    q.open("select count(*), count(RPEV_FECREP) from REPLICA_EVENTOS where RPEV_COMPANIA = '001'");
    events = static_cast<int>(q.asInt(0));
    const int done = static_cast<int>(q.asInt(1));
    server->close();
    return done;
}

// Runs the built agent once on every event prepared in dir.
Result measure(const std::string& dir, int events, int lines) {
    prepare(dir, events, lines);
    Result r;
    const std::string trace = dir + "/trace.sql";
    const std::string count = std::to_string(events + 1000);
    const long long started = nowMicros();
    const auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);  // the child must not print this process's buffered lines again
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        setenv("REPLICA_APP_DIR", dir.c_str(), 1);
        setenv("REPLICA_PASSWORD", "masterkey", 1);
        setenv("REPLICA_TRACE", trace.c_str(), 1);
        if (!std::freopen("/dev/null", "w", stdout)) {
            _exit(127);
        }
        execl(REPLICA_PROGRAM, REPLICA_PROGRAM, "--headless", "--once", "--server", dir.c_str(),
              "--user", "SYSDBA", "--company", "001", "--download-count", count.c_str(),
              "--upload-count", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        throw std::runtime_error("wait4 failed");
    }
    r.run = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(trace);
    long long first = 0;
    if (in >> first) {
        r.firstSql = static_cast<double>(first - started) / 1000.0;
    }
    r.replicated = replicated(dir, r.events);
    return r;
}

// Replicates every event prepared in dir in runs of batch events, one run
// driver in this process as the timer would call it, and prints the
// resident size after each run. False when an event is left.
bool runAfterRun(const std::string& dir, int events, int lines, int batch) {
    prepare(dir, events, lines);
    setenv("REPLICA_APP_DIR", dir.c_str(), 1);
    auto local = test::openDatabase(demo::companyPath(dir, "001"));
    std::ostream quiet(nullptr);
    RunInputs inputs;
    inputs.companyCode = "001";
    inputs.downloadCount = std::to_string(batch);
    inputs.uploadCount = "1";
    inputs.frequency = "5";
    ConsoleOperator op(inputs, quiet);
    Logs logs([dir] { return dir; });
    const Catalogue catalogue = families::catalogue();
    RunDriver driver(op, logs, catalogue, *local);
    std::printf("%5s %10s %14s\n", "run", "events", "RSS after MiB");
    int handled = 0;
    for (int run = 1; handled < events; ++run) {
        const RunReport report = driver.run();
        if (!report.finished || report.handled == 0) {
            std::fprintf(stderr, "run %d ended early: %s\n", run, op.lastError().c_str());
            return false;
        }
        handled += report.handled;
        std::printf("%5d %10d %14.1f\n", run, handled, static_cast<double>(residentKiB()) / 1024.0);
    }
    local->close();
    int total = 0;
    return replicated(dir, total) == total;
}

}  // namespace

int main(int argc, char** argv) {
    int lines = 5;
    bool runAfterRuns = true;
    std::vector<int> counts;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--page-buffers" && i + 1 < argc) {
            g_pageBuffers = std::atoi(argv[++i]);
        } else if (a == "--no-run-after-run") {
            runAfterRuns = false;
        } else {
            positional.push_back(a);
        }
    }
    if (!positional.empty()) {
        lines = std::atoi(positional[0].c_str());
    }
    for (std::size_t i = 1; i < positional.size(); ++i) {
        counts.push_back(std::atoi(positional[i].c_str()));
    }
    if (counts.empty()) {
        counts = {1000, 10000};
    }
    std::printf("scale_bench: %d lines per document; agent %s; page cache %s\n\n", lines,
                REPLICA_PROGRAM,
                g_pageBuffers > 0 ? (std::to_string(g_pageBuffers) + " pages per database").c_str()
                                  : "the engine's default");
    std::printf("%8s %10s %8s %10s %12s %13s %6s\n", "events", "replicated", "run s", "events/s",
                "peak RSS MiB", "first SQL ms", "exit");
    int exitStatus = 0;
    long smallestPeak = 0;
    long largestPeak = 0;
    for (int events : counts) {
        std::string dir =
            (std::filesystem::temp_directory_path() / "replica-scale-XXXXXX").string();
        if (!mkdtemp(dir.data())) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            return 1;
        }
        try {
            const Result r = measure(dir, events, lines);
            std::printf("%8d %10d %8.2f %10.0f %12.1f %13.1f %6d\n", r.events, r.replicated, r.run,
                        r.events / r.run, static_cast<double>(r.peakKiB) / 1024.0, r.firstSql,
                        r.status);
            if (smallestPeak == 0) {
                smallestPeak = r.peakKiB;
            }
            largestPeak = r.peakKiB;
            if (r.status != 0 || r.replicated != r.events) {
                exitStatus = 1;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%d events: %s\n", events, e.what());
            exitStatus = 1;
        }
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    if (smallestPeak > 0) {
        std::printf("\npeak RSS, largest count / smallest count: %.2f\n",
                    static_cast<double>(largestPeak) / static_cast<double>(smallestPeak));
    }

    if (!runAfterRuns) {
        return exitStatus;
    }
    const int events = counts.back();
    std::printf("\n%d events in runs of 1000 events, one process:\n", events);
    std::string dir = (std::filesystem::temp_directory_path() / "replica-scale-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    try {
        if (!runAfterRun(dir, events, lines, 1000)) {
            exitStatus = 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "run after run: %s\n", e.what());
        exitStatus = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return exitStatus;
}
