// What a real multi-site installation meets every month, and the agent must
// go through without stopping or doing an event twice: two agents of two
// companies on the same events, a server that freezes while the agent says
// goodbye, a destination its administrator shuts down, a destination whose
// disk is full.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine/sql.h"
#include "tests/faults/installation.h"

namespace replica::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kUnreachableLine = "No se pudo conectar con el servidor ";

class NeverStalls : public Installation {
  protected:
    int runAgent(const std::string& app, const std::vector<std::string>& args) {
        auto agent = startAgent(app, args);
        return exitCode(agent->wait(120s));
    }
    static std::string output(const std::string& app) { return slurp(app + ".out"); }
    // The "completados" figure of the summary part that begins with phase
    // ("descarga de 002", "envío a 001"), summed over every run in output.
    static int completed(const std::string& output, const std::string& phase) {
        const std::regex figure(phase +
                                ": [0-9]+ seleccionados, [0-9]+ manejados, ([0-9]+) "
                                "completados");
        int sum = 0;
        for (auto it = std::sregex_iterator(output.begin(), output.end(), figure);
             it != std::sregex_iterator(); ++it) {
            sum += std::stoi((*it)[1]);
        }
        return sum;
    }
    // Runs gfix on a database of the test's server; its exit status.
    int gfix(const std::vector<std::string>& args, const std::string& database) {
        std::string command = "/usr/bin/gfix -user SYSDBA -password masterkey";
        for (const std::string& a : args) {
            command += " " + a;
        }
        command += " '" + server->remote(database) + "' >> '" + dir.file("gfix.log") + "' 2>&1";
        return std::system(command.c_str());
    }
};

// Company 001 downloads 002's events addressed to it while 002's own agent
// uploads the same events to 001: both agents at once, round after round,
// some rounds with a second event of each document. Each event is copied by
// one of them only; no header twice, no line without its header.
TEST_F(NeverStalls, TwoAgentsOfTwoCompaniesCopyEachEventOnce) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureCompany("001", true, {{"002", true, true}});
    configureCompany("002", true, {{"001", true, false}});
    const std::string a = appDir("agent-001");
    const std::string b = appDir("agent-002");
    int documents = 0;
    int events = 0;
    std::string outputA;
    std::string outputB;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int count = 15;
        {
            auto source = company("002", true);
            writeDocuments(*source, "ED", 200001 + documents, count, "001");
            events += count;
            if (round % 2 == 1) {
                // A change of every document right after: its two events
                // must not be copied by the two agents side by side.
                source->execute(
                    "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, RPEV_PREF, "
                    "RPEV_NUMERO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) SELECT '001', 11, ENTR_ID, "
                    "PREF_PRE, ENTR_NUMERO, CURRENT_DATE, CURRENT_TIME, 'U' FROM ENTRADAS WHERE "
                    "ENTR_ID >= " +
                    std::to_string(200001 + documents));
                events += count;
            }
            documents += count;
        }
        auto first = startAgent(a, agentArgs(true, 20, "001"));
        auto second = startAgent(b, agentArgs(true, 20, "002"));
        EXPECT_EQ(exitCode(first->wait(60s)), 0) << output(a);
        EXPECT_EQ(exitCode(second->wait(60s)), 0) << output(b);
        outputA += output(a);
        outputB += output(b);
        auto local = company("001", true);
        EXPECT_EQ(scalar(*local,
                         "select count(*) from (select ENTR_NUMERO from ENTRADAS where PREF_PRE = "
                         "'ED' group by ENTR_NUMERO having count(*) > 1)"),
                  0)
            << "headers copied twice";
        EXPECT_EQ(scalar(*local,
                         "select count(*) from ENTRADAS_DETALLE d where not exists (select 1 from "
                         "ENTRADAS e where e.ENTR_ID = d.ENTR_ID)"),
                  0)
            << "lines without their header";
        ++figures.otherFaults;
    }
    // What waited behind the other agent goes with the next runs.
    EXPECT_EQ(runAgent(a, agentArgs(true, 20, "001")), 0) << output(a);
    outputA += output(a);
    EXPECT_EQ(runAgent(b, agentArgs(true, 20, "002")), 0) << output(b);
    outputB += output(b);
    auto source = company("002", true);
    auto local = company("001", true);
    EXPECT_EQ(checkDocuments(*source, *local, "ED", "001", events), documents);
    const int byA = completed(outputA, "descarga de 002");
    const int byB = completed(outputB, "envío a 001");
    // Every event completed once, by one agent or the other.
    EXPECT_EQ(byA + byB, events) << output(a) << output(b);
    std::cout << "[ figures  ] " << events << " events of " << documents
              << " documents, completed by the download of 001: " << byA
              << ", by the upload of 002: " << byB << "\n";
}

// The local company's server stops answering in the middle of a run: the run
// is given up after the limit and the agent, closing every connection to
// that server, still ends within the limit, not when the server thaws.
TEST_F(NeverStalls, AgentEndsWithinTheLimitWhenTheServerFreezesUnderItsGoodbye) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(true, {{"002", false}});
    {
        auto local = company("001", true);
        writeDocuments(*local, "EN", 100001, 80, "002");
    }
    const std::string app = appDir("app");
    constexpr int kLimit = 3;
    auto agent = startAgent(app, agentArgs(true, kLimit));
    ASSERT_TRUE(waitForAudit(app, 10, *agent, 60s)) << output(app);
    server->freeze();
    ++figures.serverFreezes;
    const auto frozenAt = std::chrono::steady_clock::now();
    EXPECT_EQ(exitCode(agent->wait(90s)), 4) << output(app);
    // The run's call and each goodbye within the limit: not 90 seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - frozenAt, 40s);
    server->thaw();
    EXPECT_EQ(runAgent(app, agentArgs(true, kLimit)), 0) << output(app);
    auto local = company("001", true);
    auto destination = company("002", false);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 80);
}

// A destination its administrator shuts down (gfix -shut full -force 0) in
// the middle of the upload is an outage: logged like an unreachable server,
// the next company served, exit status 4. Back online, it gets every
// document exactly once.
TEST_F(NeverStalls, DestinationShutDownMidRunIsAnOutage) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(false, {{"002", true}, {"003", false}});
    {
        auto local = company("001", false);
        // Enough documents that the shutdown lands mid-run however fast
        // the agent copies.
        writeDocuments(*local, "EN", 100001, 400, "002");
        writeDocuments(*local, "ES", 300001, 20, "003");
    }
    const std::string app = appDir("app");
    std::vector<std::string> args = agentArgs(false);
    args.insert(args.end(), {"--upload-count", "1000"});
    auto agent = startAgent(app, args);
    ASSERT_TRUE(waitForAudit(app, 10, *agent, 60s)) << output(app);
    EXPECT_EQ(gfix({"-shut", "full", "-force", "0"}, databasePath("002")), 0)
        << slurp(dir.file("gfix.log"));
    ++figures.otherFaults;
    EXPECT_EQ(exitCode(agent->wait(60s)), 4) << output(app);
    EXPECT_NE(slurp(app + "/errorenvio.txt").find(kUnreachableLine), std::string::npos);
    EXPECT_NE(output(app).find("envío a 002 (el servidor dejó de responder)"), std::string::npos)
        << output(app);
    {
        auto local = company("001", false);
        auto other = company("003", false);
        EXPECT_EQ(checkDocuments(*local, *other, "ES", "003"), 20);
    }
    // Still shut down: the connection is refused as an outage too.
    EXPECT_EQ(runAgent(app, args), 4) << output(app);
    EXPECT_NE(output(app).find("envío a 002: sin conexión"), std::string::npos) << output(app);

    ASSERT_EQ(gfix({"-online"}, databasePath("002")), 0) << slurp(dir.file("gfix.log"));
    EXPECT_EQ(runAgent(app, args), 0) << output(app);
    auto local = company("001", false);
    auto destination = company("002", true);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 400);
}

// A destination whose file cannot grow (a full disk) refuses the writes
// with its own reason: that message is on the events and in errorenvio.txt,
// not a server "that cannot be reached", and the run ends with failed
// events, not an outage. With room again, every document goes through once.
TEST_F(NeverStalls, DestinationThatCannotGrowKeepsTheDatabasesReason) {
    if (!startServer()) {
        GTEST_SKIP() << server->why();
    }
    configureLocal(false, {{"002", true}});
    {
        auto local = company("001", false);
        writeDocuments(*local, "EN", 100001, 40, "002");
    }
    ASSERT_TRUE(server->limitFileSize(2 << 20));
    ++figures.otherFaults;
    const std::string app = appDir("app");
    std::vector<std::string> args = agentArgs(false);
    args.insert(args.end(), {"--upload-count", "1000"});
    EXPECT_EQ(runAgent(app, args), 1) << output(app);
    const std::string errors = slurp(app + "/errorenvio.txt");
    EXPECT_EQ(errors.find(kUnreachableLine), std::string::npos) << errors;
    EXPECT_NE(errors.find("File too large"), std::string::npos) << errors;
    std::cout << "[ figures  ] the destination's reason: " << errors.substr(0, errors.find('\n'))
              << "\n";
    {
        auto local = company("001", false);
        EXPECT_GE(scalar(*local,
                         "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null and "
                         "RPEV_ERROR containing 'File too large'"),
                  1);
    }
    ASSERT_TRUE(server->limitFileSize(0));
    EXPECT_EQ(runAgent(app, args), 0) << output(app);
    auto local = company("001", false);
    auto destination = company("002", true);
    EXPECT_EQ(checkDocuments(*local, *destination, "EN", "002"), 40);
}

}  // namespace
}  // namespace replica::test
