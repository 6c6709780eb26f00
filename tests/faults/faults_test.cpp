// The fault suite: the built agent against servers that die or stop
// answering, agents killed in the middle of a document, two agents of one
// company, log files that cannot be written and logins that are refused.
// After every fault the next runs must leave each document exactly once in
// its destination (header once, every line once, no line without its
// header) and every event replicated.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/db/query.h"
#include "engine/db/rowlock.h"
#include "engine/sql.h"
#include "tests/faults/installation.h"

namespace replica::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kUnreachableLine = "No se pudo conectar con el servidor ";

class Faults : public Installation {
  protected:
    // Runs an agent to its end; its exit status.
    int runAgent(const std::string& app, const std::vector<std::string>& args,
                 const std::string& password = "masterkey") {
        auto agent = startAgent(app, args, password);
        return exitCode(agent->wait(120s));
    }
    static std::string output(const std::string& app) { return slurp(app + ".out"); }
    // Headers of prefix pref in conn without all their lines.
    static int cutDocuments(db::Connection& conn, const std::string& pref) {
        return static_cast<int>(
            scalar(conn, "select count(*) from ENTRADAS e where e.PREF_PRE = " + Q(pref) +
                             " and (select count(*) from ENTRADAS_DETALLE d where d.ENTR_ID = "
                             "e.ENTR_ID) <> " +
                             std::to_string(kLinesPerDocument)));
    }
    // Entries of 001 for 002 (prefix EN) and of 002 for 001 (ED), the local
    // company reached directly and 002 through the test's server.
    void documentsBothWays(int toServer, int fromServer) {
        configureLocal(false, {{"002", true, true}});
        auto local = company("001", false);
        writeDocuments(*local, "EN", 100001, toServer, "002");
        auto source = company("002", true);
        writeDocuments(*source, "ED", 200001, fromServer, "001");
    }
    void checkBothWays(int toServer, int fromServer) {
        auto local = company("001", false);
        auto server002 = company("002", true);
        EXPECT_EQ(checkDocuments(*local, *server002, "EN", "002"), toServer);
        EXPECT_EQ(checkDocuments(*server002, *local, "ED", "001"), fromServer);
    }
    // Kills the agent up to rounds times, each after a seeded number of
    // events (1 to maxEvents) and a short delay: the same moments on every
    // machine, still not aligned with the documents' boundaries. The delay
    // stays within a few documents' time on an idle machine (an event takes
    // about a millisecond): a longer one lets a run finish before its kill,
    // and the rounds run out of documents. Returns the
    // documents found cut after each kill, both directions together; stops
    // when a run reaches its end first.
    std::vector<int> killAtSeveralMoments(const std::string& app,
                                          const std::vector<std::string>& args, int rounds,
                                          unsigned seed, int maxEvents) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> events(1, maxEvents);
        std::uniform_int_distribution<int> delayMs(0, 4);
        std::vector<int> cuts;
        for (int round = 0; round < rounds; ++round) {
            auto agent = startAgent(app, args);
            if (!waitForAudit(app, auditLines(app) + events(random), *agent, 60s)) {
                EXPECT_EQ(exitCode(agent->wait(60s)), 0) << output(app);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
            agent->stop(SIGKILL, 10s);
            ++figures.agentKills;
            cuts.push_back(cutDocuments(*company("001", false), "ED") +
                           cutDocuments(*company("002", true), "EN"));
        }
        return cuts;
    }
    static int occurrences(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + what.size())) {
            ++n;
        }
        return n;
    }
};

// The destination's server is killed while documents are being uploaded to
// it: the agent logs it as unreachable and ends its run with the outage
// status; once the server is back, the next run completes every document
// exactly once.
TEST_F(Faults, ServerKilledMidUploadThenRestarted) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(false, {{"002", true}});
    {
        auto local = company("001", false);
        writeDocuments(*local, "EN", 100001, 80, "002");
    }
    const std::string app = appDir("app");
    int reached = 0;
    for (int kill = 0; kill < 2; ++kill) {
        auto agent = startAgent(app, agentArgs(false));
        ASSERT_TRUE(waitForAudit(app, reached + 10 + 7 * kill, *agent, 60s))
            << "the agent ended before the server could be killed\n"
            << output(app);
        server->kill();
        ++figures.serverKills;
        EXPECT_EQ(exitCode(agent->wait(60s)), 4) << output(app);
        EXPECT_NE(slurp(app + "/errorenvio.txt").find(kUnreachableLine), std::string::npos);
        EXPECT_NE(output(app).find("envío a 002 (el servidor dejó de responder)"),
                  std::string::npos)
            << output(app);
        reached = auditLines(app);
        ASSERT_TRUE(server->start()) << server->why();
    }
    EXPECT_EQ(runAgent(app, agentArgs(false)), 0) << output(app);
    auto local = company("001", false);
    auto destination = company("002", true);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 80);
}

// The destination's server stops answering (SIGSTOP) in the middle of the
// upload: the agent gives it up after its time limit, logs it like an
// unreachable server and goes on with the next company. A run that starts
// while it is still frozen gives up its connection the same way. Thawed, it
// gets every document exactly once.
TEST_F(Faults, ServerFrozenMidRunIsGivenUpAndTheNextCompanyServed) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(false, {{"002", true}, {"003", false}});
    {
        auto local = company("001", false);
        writeDocuments(*local, "EN", 100001, 60, "002");
        writeDocuments(*local, "ES", 300001, 20, "003");
    }
    const std::string app = appDir("app");
    const std::string lostPath = server->remote(databasePath("002"));
    constexpr int kLimit = 3;

    auto agent = startAgent(app, agentArgs(false, kLimit));
    // The destinations are served side by side: 003's twenty lines may all
    // come first, so 32 lines are at least twelve of 002's, mid-run.
    ASSERT_TRUE(waitForAudit(app, 32, *agent, 60s)) << output(app);
    server->freeze();
    ++figures.serverFreezes;
    const auto frozenAt = std::chrono::steady_clock::now();
    EXPECT_EQ(exitCode(agent->wait(90s)), 4) << output(app);
    // Given up after the limit, not after the machine's network timeouts.
    EXPECT_LT(std::chrono::steady_clock::now() - frozenAt, 30s);
    EXPECT_NE(slurp(app + "/errorenvio.txt").find(kUnreachableLine + lostPath), std::string::npos);
    EXPECT_NE(output(app).find("envío a 002 (el servidor dejó de responder)"), std::string::npos)
        << output(app);
    {
        auto local = company("001", false);
        auto other = company("003", false);
        EXPECT_EQ(checkDocuments(*local, *other, "ES", "003"), 20);
    }

    // Still frozen: the connection itself is given up.
    const auto startedAt = std::chrono::steady_clock::now();
    EXPECT_EQ(runAgent(app, agentArgs(false, kLimit)), 4) << output(app);
    EXPECT_LT(std::chrono::steady_clock::now() - startedAt, 30s);
    EXPECT_NE(output(app).find("envío a 002: sin conexión"), std::string::npos) << output(app);
    ++figures.serverFreezes;

    server->thaw();
    EXPECT_EQ(runAgent(app, agentArgs(false, kLimit)), 0) << output(app);
    auto local = company("001", false);
    auto destination = company("002", true);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 60);
}

// The agent is killed (SIGKILL) again and again at moments spread over both
// phases: while it downloads from the server, while it uploads to it, and
// while it sends again the documents a kill cut in half. A last run to the
// end leaves every document of both directions exactly once.
TEST_F(Faults, AgentKilledMidDocumentAtSeveralMoments) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    documentsBothWays(60, 40);
    const std::string app = appDir("app");
    const std::vector<int> cuts = killAtSeveralMoments(app, agentArgs(false), 14, 19, 9);
    EXPECT_GE(figures.agentKills, 10);
    // Some kills did land inside a document (a header with some of its
    // lines), which is what the next runs must repair.
    const int cut = std::accumulate(cuts.begin(), cuts.end(), 0);
    EXPECT_GE(cut, 1);
    std::cout << "[ figures  ] documents found cut after a kill: " << cut << "\n";
    EXPECT_EQ(runAgent(app, agentArgs(false)), 0) << output(app);
    checkBothWays(60, 40);
}

// With whole documents, a kill at any moment leaves each document either
// absent or whole in both directions: the transaction that held its header
// and lines dies with the agent.
TEST_F(Faults, AgentKilledMidDocumentWithWholeDocumentsLeavesNoDocumentCut) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    documentsBothWays(30, 20);
    const std::string app = appDir("app");
    std::vector<std::string> args = agentArgs(false);
    args.push_back("--atomic-documents");
    const std::vector<int> cuts = killAtSeveralMoments(app, args, 8, 23, 6);
    EXPECT_GE(figures.agentKills, 4);
    EXPECT_EQ(cuts, std::vector<int>(cuts.size(), 0));
    EXPECT_EQ(runAgent(app, args), 0) << output(app);
    checkBothWays(30, 20);
}

// Two agents of company 001 with application directories of their own, as
// on two machines, both reaching the company's database through the server:
// the lock file of each directory cannot see the other, the lock in the
// database does. In some rounds the second agent starts while the first is
// held in the middle of its run (its copy of the round's first document
// replaces a header in the destination that the test holds locked), in
// others both start at the same instant.
TEST_F(Faults, TwoAgentsOfOneCompanyNeverCopyADocumentTwice) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(true, {{"002", true}});
    const std::string first = appDir("machine-a");
    const std::string second = appDir("machine-b");
    const std::string refused = "Otro agente está replicando la compañía 001";
    int refusals = 0;
    int documents = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto local = company("001", true);
        // The rounds that start both agents at once get runs long enough
        // to overlap the other agent's start.
        const int count = round % 2 == 0 ? 10 : 40;
        writeDocuments(*local, "EN", 100001 + documents, count, "002");
        documents += count;
        if (round % 2 == 0) {
            const std::string held = std::to_string(900000 + round);
            auto destination = company("002", true);
            destination->execute(
                "INSERT INTO ENTRADAS (ENTR_ID, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, ENTR_CONC, "
                "NUMOK) VALUES (" +
                held + ", 'EN', 'EN" + std::to_string(100001 + documents - count) +
                "', CURRENT_DATE, 'antes', 'S')");
            db::Connection holder;
            holder.configureLike(*destination);
            db::RowLock firstEvent(holder);
            ASSERT_EQ(firstEvent.acquire("SELECT ENTR_ID FROM ENTRADAS WHERE ENTR_ID = " + held +
                                         " WITH LOCK"),
                      db::RowLock::Result::Held);
            auto a = startAgent(first, agentArgs(true));
            ASSERT_TRUE(waitForAudit(first, auditLines(first) + 1, *a, 60s)) << output(first);
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(runAgent(second, agentArgs(true)), 2) << output(second);
            EXPECT_NE(output(second).find(refused), std::string::npos) << output(second);
            ++refusals;
            firstEvent.release();
            EXPECT_EQ(exitCode(a->wait(60s)), 0) << output(first);
        } else {
            auto a = startAgent(first, agentArgs(true));
            auto b = startAgent(second, agentArgs(true));
            const int statusA = exitCode(a->wait(60s));
            const int statusB = exitCode(b->wait(60s));
            // Each run either ran whole or was refused before it read an
            // event.
            for (const auto& [status, app] : {std::pair{statusA, first}, {statusB, second}}) {
                EXPECT_TRUE(status == 0 ||
                            (status == 2 && output(app).find(refused) != std::string::npos))
                    << output(app);
                refusals += status == 2 ? 1 : 0;
            }
        }
    }
    figures.otherFaults += refusals;
    EXPECT_EQ(runAgent(first, agentArgs(true)), 0) << output(first);
    auto local = company("001", true);
    auto destination = company("002", true);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), documents);
}

// An application directory where the log files cannot be written: missing,
// a file in its place, or on a full file system. The agent replicates as
// usual (the database keeps each event's state), says once per run on
// standard error why the lines were lost, and ends with status 5.
TEST_F(Faults, LogsThatCannotBeWrittenDoNotStopReplication) {
    configureLocal(false, {{"002", false}});
    const std::string fileInPlace = dir.file("a-file");
    std::ofstream(fileInPlace) << "not a directory\n";
    // A full disk, as the agent sees it: every write of its log files
    // fails with ENOSPC.
    const std::string full = appDir("full");
    for (const char* name : {"ENVIO.TXT", "errorenvio.txt"}) {
        fs::create_symlink("/dev/full", full + "/" + name);
    }
    const struct {
        const char* what;
        std::string app;
        std::string reason;
    } cases[] = {
        {"missing", dir.file("no-such-folder"), "No such file or directory"},
        {"a file", fileInPlace, "Not a directory"},
        {"full disk", full, "No space left on device"},
    };
    int first = 100001;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            auto local = company("001", false);
            writeDocuments(*local, "EN", first, 5, "002");
            first += 5;
        }
        const ProgramResult r = runProgram(
            c.app, "--headless --once --server '" + dir.path() + "' --user sysdba --company 001",
            dir.file("output.txt"), "REPLICA_PASSWORD=masterkey");
        EXPECT_EQ(r.status, 5) << r.output;
        EXPECT_EQ(
            occurrences(r.output, "replica: No se pudieron escribir los archivos de registro"), 1)
            << r.output;
        EXPECT_NE(r.output.find(c.reason), std::string::npos) << r.output;
        ++figures.otherFaults;
    }
    auto local = company("001", false);
    auto destination = company("002", false);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 15);
}

// Outages end a run with their own status, 4, apart from a failed event:
// a wrong password of the replication user (the server refuses the
// login), a server that is down, and a login refused at the start. Once
// the cause is gone the same events go through.
TEST_F(Faults, OutagesEndWithTheirOwnStatus) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(false, {{"002", true, true}}, "not-the-password");
    {
        auto local = company("001", false);
        writeDocuments(*local, "EN", 100001, 10, "002");
    }
    const std::string app = appDir("app");
    EXPECT_EQ(runAgent(app, agentArgs(false)), 4) << output(app);
    EXPECT_NE(output(app).find("envío a 002: sin conexión"), std::string::npos) << output(app);
    EXPECT_NE(output(app).find("descarga de 002: sin conexión"), std::string::npos) << output(app);
    ++figures.otherFaults;

    {
        auto local = company("001", false);
        local->execute(
            "update CONFIGURACION set CONF_VALOR = 'masterkey' where CONF_PROPIEDAD = 'CLAVE DE "
            "USUARIO PARA REPLICACION DE ARTICULOS'");
    }
    server->kill();
    ++figures.serverKills;
    EXPECT_EQ(runAgent(app, agentArgs(false)), 4) << output(app);
    EXPECT_EQ(occurrences(slurp(app + "/errorenvio.txt"), kUnreachableLine), 4);

    // The installation itself behind the server, and the login refused.
    ASSERT_TRUE(server->start()) << server->why();
    EXPECT_EQ(runAgent(app, agentArgs(true), "wrong"), 4) << output(app);
    EXPECT_EQ(output(app).find("Borrando información procesada..."), std::string::npos);
    ++figures.otherFaults;

    EXPECT_EQ(runAgent(app, agentArgs(false)), 0) << output(app);
    auto local = company("001", false);
    auto destination = company("002", true);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 10);
}

}  // namespace
}  // namespace replica::test
