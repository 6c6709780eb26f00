#pragma once
// The installation the fault suite works on, and the checks it makes after
// every fault.
//
// Under one temporary folder: datos/general.fdb (companies 001, 002, 003),
// datos/NNN/norvale.fdb for each company, a Firebird server of the test's
// own (fbserver.h) and application directories for the agents. Company
// 001 is the local company of every agent; each test decides which
// databases its agents reach through the server and which through the
// embedded engine.
//
// Documents are inventory entries of ten lines, each with its event, so
// that a copy cut anywhere shows: a header twice, a line twice or missing,
// a line without its header.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "tests/support/fbserver.h"
#include "tests/support/program.h"
#include "tests/support/tempdir.h"

namespace replica::test {

inline constexpr int kLinesPerDocument = 10;

// What a test did, printed at its end for the suite's figures.
struct Figures {
    int documentsChecked = 0;
    int agentKills = 0;
    int serverKills = 0;
    int serverFreezes = 0;
    int otherFaults = 0;  // refused logins, unwritable logs, second agents refused
};

class Installation : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<FirebirdServer> server;
    Figures figures;

    void SetUp() override;
    void TearDown() override;

    // Starts the test's server; false (with server->why()) when none can
    // run here.
    bool startServer();

    std::string databasePath(const std::string& company) const;
    // How an agent or a REPLICA_COMPANIA row names the installation: the
    // folder itself (embedded engine) or through the server.
    std::string serverText(bool throughServer) const;
    // An open connection to a company's database, as SYSDBA.
    std::unique_ptr<db::Connection> company(const std::string& code, bool throughServer) const;

    // Local company 001: the replication user and password, and each
    // destination's REPLICA_COMPANIA row (download: RPCO_ERRO 'S').
    struct Destination {
        std::string code;
        bool throughServer;
        bool download = false;
    };
    void configureLocal(bool localThroughServer, const std::vector<Destination>& destinations,
                        const std::string& password = "masterkey") {
        configureCompany("001", localThroughServer, destinations, password);
    }
    // The same for another local company (an agent of its own).
    void configureCompany(const std::string& local, bool localThroughServer,
                          const std::vector<Destination>& destinations,
                          const std::string& password = "masterkey");

    // count documents of prefix pref written into conn, ids from firstId,
    // each with its "I" event addressed to company.
    void writeDocuments(db::Connection& conn, const std::string& pref, int firstId, int count,
                        const std::string& company);

    // Every document of prefix pref in source is in destination once, with
    // every line once; no line of destination lacks its header; every event
    // of source for company is replicated. Returns the documents checked.
    // events: the replicated events expected, when not one per document.
    int checkDocuments(db::Connection& source, db::Connection& destination, const std::string& pref,
                       const std::string& company, int events = -1);
    static long long scalar(db::Connection& conn, const std::string& sql);

    // The agent's command line for a --once run of company 001 (or another).
    std::vector<std::string> agentArgs(bool throughServer, int timeoutSeconds = 20,
                                       const std::string& company = "001") const;
    // The agent started in the background in application directory app
    // (its output in the file app + ".out"), with password in REPLICA_PASSWORD.
    static std::unique_ptr<Agent> startAgent(const std::string& app,
                                             const std::vector<std::string>& args,
                                             const std::string& password = "masterkey");
    std::string appDir(const std::string& name) const;
    // Lines of ENVIO.TXT in an application directory: events reached.
    int auditLines(const std::string& app) const;
    // Polls (every few milliseconds) until the audit file has at least
    // lines lines or the agent has ended; false when it ended first.
    bool waitForAudit(const std::string& app, int lines, Agent& agent,
                      std::chrono::milliseconds limit);
};

// The exit status of a raw wait status (-1 when it did not exit).
int exitCode(int rawStatus);

}  // namespace replica::test
