// What a run costs when the other company's server is at another site.
//
// A Firebird server of the benchmark's own on 127.0.0.1, behind a delay
// proxy (bench/delayproxy.h) that holds every byte for a fixed time each way
// and counts the round trips. For every family mix × phase × mode × delay it
// builds a demo installation, lets the ERP simulator write the documents
// (in 002 for the download phase, in 001 for the upload phase), and runs the
// agent's run driver in this process for company 001: the local database
// through the embedded engine, the server company 002 through the proxy.
// Counted: events, the rows written in the destination, the round trips
// over the proxy and the seconds of the run.
//
// Usage: latency_bench [--documents N] [--lines N] [--delays 0,5,20]
//                      [--mixes entries,invoices,mix] [--phases download,upload]
//                      [--modes default,atomic] [--json] [--trace FILE]
//
// --trace writes every SQL text sent to a far company, each after the round
// trips the proxy had counted when it was sent: the difference between two
// lines is what the first statement (and the transaction work after it)
// cost.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/delayproxy.h"
#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/console_operator.h"
#include "engine/db/query.h"
#include "engine/db/text.h"
#include "engine/logs.h"
#include "engine/rundriver.h"
#include "engine/sql.h"
#include "erp/documents.h"
#include "families/all.h"
#include "tests/support/fbserver.h"
#include "tests/support/tempdir.h"

using namespace replica;
using Clock = std::chrono::steady_clock;

namespace {

struct Mix {
    const char* name;
    std::vector<int> types;
    int mastersPerFourDocuments;
};

const Mix kMixes[] = {
    {"entries", {11}, 0},
    // Sales invoices with their lines, cash-payment lines and the points
    // procedure, in both phases.
    {"invoices", {31}, 0},
    // The demo's families: inventory, purchase, sales, account, cash and
    // bank documents, and master records.
    {"mix",
     {11, 12, 13, 14, 15, 16, 17,  18,  21,  22,  24,  31,  32,  33,  34, 35,
      41, 42, 43, 45, 51, 52, 53,  55,  61,  62,  63,  64,  65,  66,  71, 72,
      73, 74, 75, 76, 77, 1,  100, 101, 102, 103, 104, 105, 106, 201, 204},
     2},
};

struct Options {
    int documents = 10;
    int lines = 10;
    std::vector<int> delays = {0, 5, 20};
    std::vector<std::string> mixes = {"entries", "invoices", "mix"};
    std::vector<std::string> phases = {"download", "upload"};
    std::vector<std::string> modes = {"default", "atomic"};
    // Destination companies of the upload phase, all reached through the
    // proxy (served side by side when there are several).
    int destinations = 1;
    bool compression = false;  // Firebird's wire compression on the far attachments
    bool json = false;
    std::string trace;  // where the far statements are written, when set
};

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        out.push_back(item);
    }
    return out;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::runtime_error(a + " needs a value");
            }
            return argv[++i];
        };
        if (a == "--documents") {
            o.documents = std::stoi(next());
        } else if (a == "--lines") {
            o.lines = std::stoi(next());
        } else if (a == "--delays") {
            o.delays.clear();
            for (const std::string& d : split(next())) {
                o.delays.push_back(std::stoi(d));
            }
        } else if (a == "--mixes") {
            o.mixes = split(next());
        } else if (a == "--phases") {
            o.phases = split(next());
        } else if (a == "--modes") {
            o.modes = split(next());
        } else if (a == "--destinations") {
            o.destinations = std::stoi(next());
            if (o.destinations < 1 || o.destinations > 8) {
                throw std::runtime_error("--destinations takes 1 to 8");
            }
        } else if (a == "--compression") {
            o.compression = true;
        } else if (a == "--trace") {
            o.trace = next();
        } else if (a == "--json") {
            o.json = true;
        } else {
            throw std::runtime_error("unknown option " + a);
        }
    }
    return o;
}

std::int64_t scalar(db::Connection& c, const std::string& sql) {
    db::Query q(c);
    q.open(sql);
    return q.asInt(0);
}

// Rows of every table of the ERP's documents and records: what a run adds
// to its destination.
std::int64_t erpRows(db::Connection& c) {
    std::set<std::string> tables;
    for (const erp::Document& d : erp::documents()) {
        if (d.events == erp::Events::None) {
            continue;
        }
        tables.insert(db::upperCase(d.table));
        for (const char* t : d.details) {
            tables.insert(db::upperCase(t));
        }
    }
    std::int64_t rows = 0;
    for (const std::string& t : tables) {
        if (c.tableInfo(t).exists) {
            rows += scalar(c, "select count(*) from " + t);
        }
    }
    return rows;
}

struct Row {
    std::string mix;
    std::string phase;
    std::string mode;
    int delayMs = 0;
    int destinations = 1;
    int events = 0;
    int documents = 0;
    std::int64_t rows = 0;
    long long roundTrips = 0;
    long long bytes = 0;  // both directions
    double seconds = 0;
};

class Bench {
  public:
    Bench(std::string dir, test::FirebirdServer& server, const Options& options)
        : m_dir(std::move(dir)),
          m_server(server),
          m_options(options),
          m_proxy(server.port(), std::chrono::microseconds(0)) {}

    Row measure(const Mix& mix, const std::string& phase, const std::string& mode, int delayMs) {
        // Short: the server text that names it through the proxy must fit
        // RPCO_SERVIDOR.
        const std::string dir = m_dir + "/" + std::to_string(++m_installations);
        const bool download = phase == "download";
        demo::InstallationOptions install;
        install.forcedWrites = false;
        // The upload's destinations: 002, 003, ...
        std::vector<std::string> far = {"002"};
        if (!download) {
            far.clear();
            install.companies = {"001"};
            for (int i = 0; i < m_options.destinations; ++i) {
                const std::string code = "00" + std::to_string(i + 2);  // up to 009
                far.push_back(code);
                install.companies.push_back(code);
            }
            if (install.companies.size() < 3) {
                install.companies.emplace_back("003");
            }
        }
        demo::buildInstallation(dir, install);
        {
            auto local = test::openDatabase(demo::companyPath(dir, "001"));
            auto source = test::openDatabase(demo::companyPath(dir, download ? "002" : "001"));
            local->execute("delete from REPLICA_EVENTOS");
            if (download) {
                source->execute("delete from REPLICA_EVENTOS");
            }
            // The far company is reached through the proxy; the download
            // phase runs only when it is what is measured.
            std::string farList;
            for (const std::string& code : far) {
                local->execute("update REPLICA_COMPANIA set RPCO_SERVIDOR = " + Q(remote(dir)) +
                               ", RPCO_ERRO = " + Q(download ? "S" : "N") +
                               " where RPCO_COD = " + Q(code));
                farList += (farList.empty() ? "" : ", ") + Q(code);
            }
            local->execute(
                "update REPLICA_COMPANIA set RPCO_ACTIVA = 'N' where RPCO_COD <> '001' "
                "and RPCO_COD not in (" +
                farList + ")");
            // Sales invoices come down as invoices, with their payment lines
            // and the points procedure.
            local->execute(
                "update CONFIGURACION set CONF_VALOR = 'FACTURA' where CONF_PROPIEDAD = "
                "'ENVIAR FACTURA DE VENTA COMO ENTRADA O COMO FACTURA'");
            demo::SimulationOptions sim;
            sim.seed = 11;
            sim.documents = m_options.documents;
            sim.masters = m_options.documents * mix.mastersPerFourDocuments / 4;
            sim.linesPerDocument = m_options.lines;
            sim.types = mix.types;
            demo::simulate(*source, sim);
            source->execute("delete from REPLICA_EVENTOS where RPEV_COMPANIA not in (" +
                            (download ? std::string("'001'") : farList) + ")");
        }
        Row row{mix.name, phase, mode, delayMs, static_cast<int>(far.size())};
        const std::int64_t rowsBefore =
            destinationRows(dir, download ? std::vector<std::string>{} : far);

        std::ostream quiet(nullptr);
        RunInputs inputs;
        inputs.companyCode = "001";
        inputs.downloadCount = "100000";
        inputs.uploadCount = "100000";
        inputs.frequency = "5";
        inputs.atomicDocuments = mode == "atomic";
        ConsoleOperator op(inputs, quiet);
        Logs logs([dir] { return dir; });
        const Catalogue catalogue = families::catalogue();
        auto local = test::openDatabase(demo::companyPath(dir, "001"));
        RunDriver driver(op, logs, catalogue, *local);
        m_proxy.setDelay(std::chrono::milliseconds(delayMs));
        m_proxy.reset();
        traceFarStatements(mix.name + (" " + phase + " " + mode));
        const auto start = Clock::now();
        const RunReport report = driver.run();
        row.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        db::Connection::setTraceHook({});
        row.roundTrips = m_proxy.counts().roundTrips;
        row.bytes = m_proxy.counts().bytesToServer + m_proxy.counts().bytesToClient;
        local->close();
        if (!report.finished || report.failed != 0) {
            throw std::runtime_error(std::string("run of ") + mix.name + " " + phase + " " + mode +
                                     " did not complete: " + op.lastError());
        }
        row.events = report.completed;
        row.documents = report.completed;
        row.rows = destinationRows(dir, download ? std::vector<std::string>{} : far) - rowsBefore;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        return row;
    }

  private:
    void traceFarStatements(const std::string& title) {
        if (m_options.trace.empty()) {
            return;
        }
        if (!m_trace.is_open()) {
            m_trace.open(m_options.trace);
        }
        m_trace << "== " << title << "\n";
        db::Connection::setTraceHook([this](const db::Connection& c, const std::string& sql) {
            if (db::throughServer(c.path())) {
                std::lock_guard<std::mutex> lock(m_traceMutex);
                std::string line = sql;
                std::replace(line.begin(), line.end(), '\n', ' ');
                m_trace << m_proxy.counts().roundTrips << "\t" << line.substr(0, 160) << "\n";
            }
        });
    }

    // The server text of the far company: through the proxy.
    std::string remote(const std::string& dir) const {
        return "127.0.0.1/" + std::to_string(m_proxy.port()) + ":" + dir;
    }
    // The rows of the destinations, read without the proxy: the local
    // company (embedded) when far is empty.
    std::int64_t destinationRows(const std::string& dir,
                                 const std::vector<std::string>& far) const {
        if (far.empty()) {
            auto c = test::openDatabase(demo::companyPath(dir, "001"));
            return erpRows(*c);
        }
        std::int64_t rows = 0;
        for (const std::string& code : far) {
            auto c = test::openDatabase(m_server.remote(demo::companyPath(dir, code)));
            rows += erpRows(*c);
        }
        return rows;
    }

    std::string m_dir;
    test::FirebirdServer& m_server;
    const Options& m_options;
    bench::DelayProxy m_proxy;
    int m_installations = 0;
    std::ofstream m_trace;
    std::mutex m_traceMutex;
};

void printTable(const std::vector<Row>& rows) {
    std::printf("%-9s %-9s %-8s %6s %5s %7s %7s %10s %9s %8s %9s %9s %8s\n", "mix", "phase", "mode",
                "delay", "dest", "events", "rows", "round trips", "rt/doc", "rt/row", "seconds",
                "docs/s", "kB/doc");
    for (const Row& r : rows) {
        const double docs = r.documents > 0 ? r.documents : 1;
        std::printf(
            "%-9s %-9s %-8s %4dms %5d %7d %7lld %10lld %9.1f %8.2f %9.2f %9.1f %8.1f\n",
            r.mix.c_str(), r.phase.c_str(), r.mode.c_str(), r.delayMs, r.destinations, r.events,
            static_cast<long long>(r.rows), r.roundTrips, static_cast<double>(r.roundTrips) / docs,
            r.rows > 0 ? static_cast<double>(r.roundTrips) / static_cast<double>(r.rows) : 0.0,
            r.seconds, r.seconds > 0 ? r.documents / r.seconds : 0.0,
            static_cast<double>(r.bytes) / 1024.0 / docs);
    }
}

void printJson(const std::vector<Row>& rows) {
    std::printf("[\n");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        std::printf(
            "  {\"mix\": \"%s\", \"phase\": \"%s\", \"mode\": \"%s\", \"delay_ms\": %d, "
            "\"destinations\": %d, "
            "\"events\": %d, \"documents\": %d, \"rows\": %lld, \"round_trips\": %lld, "
            "\"bytes\": %lld, \"seconds\": %.3f}%s\n",
            r.mix.c_str(), r.phase.c_str(), r.mode.c_str(), r.delayMs, r.destinations, r.events,
            r.documents, static_cast<long long>(r.rows), r.roundTrips, r.bytes, r.seconds,
            i + 1 < rows.size() ? "," : "");
    }
    std::printf("]\n");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parse(argc, argv);
        db::Connection::setWireCompression(options.compression);
        std::string dir =
            (std::filesystem::temp_directory_path() / "replica-latency-XXXXXX").string();
        if (!mkdtemp(dir.data())) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        int status = 0;
        {
            test::FirebirdServer server(dir + "/fb");
            if (!server.running()) {
                std::cerr << "latency_bench: " << server.why() << "\n";
                status = 2;
            } else {
                Bench bench(dir, server, options);
                std::vector<Row> rows;
                for (const Mix& mix : kMixes) {
                    if (std::find(options.mixes.begin(), options.mixes.end(), mix.name) ==
                        options.mixes.end()) {
                        continue;
                    }
                    for (const std::string& phase : options.phases) {
                        for (const std::string& mode : options.modes) {
                            for (int delay : options.delays) {
                                rows.push_back(bench.measure(mix, phase, mode, delay));
                                if (!options.json) {
                                    std::cerr << "." << std::flush;
                                }
                            }
                        }
                    }
                }
                if (!options.json) {
                    std::cerr << "\n";
                }
                options.json ? printJson(rows) : printTable(rows);
            }
        }
        db::shutdownClient();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        return status;
    } catch (const std::exception& e) {
        std::cerr << "latency_bench: " << e.what() << "\n";
        return 1;
    }
}
