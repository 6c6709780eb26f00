// The console agent as outside scripts use it: the built program, its exit
// status and its files.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/db/query.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

namespace replica {
namespace {

namespace fs = std::filesystem;

// The program sits next to the test programs' folder in the build tree.
std::string programPath() {
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "replica")
        .string();
}

struct Result {
    int status = -1;
    std::string output;
};

// Runs the program with args (already quoted where needed) and the
// application directory set to appDir.
Result runProgram(const test::TempDir& dir, const std::string& args) {
    const std::string out = dir.file("output.txt");
    const std::string command = "REPLICA_APP_DIR='" + dir.path() + "' '" + programPath() + "' " +
                                args + " >'" + out + "' 2>&1 </dev/null";
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.output = test::slurp(out);
    return r;
}

// DIR/datos: GENERAL.FDB with companies 001 and 003; 001 uploads to 002
// (a company database) and to 003, whose "company database" is a copy of
// GENERAL.FDB, so that any run reaching 003 fails on its first query.
class Headless : public ::testing::Test {
  protected:
    test::TempDir dir;

    void SetUp() override {
        if (!fs::exists(programPath())) {
            GTEST_SKIP() << "program not built: " << programPath();
        }
        const std::string datos = dir.file("datos");
        for (const char* c : {"001", "002", "003"}) {
            fs::create_directories(datos + "/" + c);
        }
        auto general = test::createGeneral(datos + "/general.fdb");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('001', 'Norte')");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('003', 'Oeste')");
        auto local = test::createCompany(datos + "/001/norvale.fdb");
        for (const char* property : {"NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS",
                                     "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS"}) {
            local->execute(
                "insert into CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
                "CONF_VALOR) values ('INVENTARIO', 'ARTICULOS', '" +
                std::string(property) + "', 'SYSDBA')");
        }
        local->execute(
            "insert into REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ACTIVA) "
            "values ('002', 'Sur', '" +
            dir.path() + "', 'S')");
        local->close();
        test::createCompany(datos + "/002/norvale.fdb")->close();
        test::createGeneral(datos + "/003/norvale.fdb")->close();
        general->close();
    }

    void addEvent(const std::string& company, int type) {
        db::Connection c;
        c.setPath(dir.file("datos/001/norvale.fdb"));
        c.setUserName("SYSDBA");
        c.open();
        c.execute(
            "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_CODIGO, RPEV_FECREG, "
            "RPEV_HORAREG, RPEV_OPER) values ('" +
            company + "', " + std::to_string(type) + ", 'X', CURRENT_DATE, CURRENT_TIME, 'I')");
    }

    int pending() {
        db::Connection c;
        c.setPath(dir.file("datos/001/norvale.fdb"));
        c.setUserName("SYSDBA");
        c.open();
        db::Query q(c);
        q.open("select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null");
        return static_cast<int>(q.asInt(0));
    }

    std::string start(const std::string& company) {
        return "--headless --once '" + dir.path() + "' sysdba masterkey " + company;
    }
};

TEST_F(Headless, CompletedRunEndsWithZeroAndLeavesItsTrail) {
    addEvent("002", 999);  // no family: marked replicated, nothing copied
    const Result r = runProgram(dir, start("001"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pending(), 0);
    EXPECT_NE(r.output.find("Enviando información al servidor 002"), std::string::npos) << r.output;
    EXPECT_NE(test::slurp(dir.file("ENVIO.TXT")).find(",999,"), std::string::npos);
}

TEST_F(Headless, RunEndedByAnErrorEndsWithOne) {
    addEvent("002", 999);
    {
        db::Connection c;
        c.setPath(dir.file("datos/001/norvale.fdb"));
        c.setUserName("SYSDBA");
        c.open();
        c.execute(
            "insert into REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ACTIVA) "
            "values ('003', 'Oeste', '" +
            dir.path() + "', 'S')");
    }
    addEvent("003", 999);
    const Result r = runProgram(dir, start("001"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_FALSE(test::slurp(dir.file("errorenvio.txt")).empty());
}

TEST_F(Headless, RunThatCannotStartEndsWithTwo) {
    addEvent("002", 999);
    struct Case {
        const char* what;
        std::string args;
    } cases[] = {
        {"company not in GENERAL.FDB", start("009")},
        {"company without database", start("003")},
        {"no GENERAL.FDB", "--headless --once '" + dir.file("nowhere") + "' sysdba masterkey 001"},
        {"headless without a company", "--headless --once"},
        {"unknown option", "--headless --once --fast '" + dir.path() + "' sysdba masterkey 001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = runProgram(dir, c.args);
        EXPECT_EQ(r.status, 2) << r.output;
    }
    EXPECT_EQ(pending(), 1);  // nothing ran
    // The company-less run says why on standard output.
    EXPECT_NE(runProgram(dir, start("009")).output.find("Debe indicar la compañía de origen."),
              std::string::npos);
}

TEST_F(Headless, HelpAndVersionNeedNoDatabase) {
    const Result help = runProgram(dir, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--headless", "--once", "REPLICA_APP_DIR", "server-override"}) {
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    }
    const Result version = runProgram(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "replica " REPLICA_VERSION "\n");
}

// The agent that keeps running on its timer is stopped by the service
// manager; it must end (between runs) rather than hang in the database
// client.
TEST_F(Headless, StopRequestEndsTheRunningAgent) {
    addEvent("002", 999);
    const std::string out = dir.file("agent.txt");
    const std::string program = programPath();
    const std::string env = "REPLICA_APP_DIR=" + dir.path();
    const std::string server = dir.path();
    std::vector<char*> argv = {const_cast<char*>("replica"),
                               const_cast<char*>("--headless"),
                               const_cast<char*>(server.c_str()),
                               const_cast<char*>("sysdba"),
                               const_cast<char*>("masterkey"),
                               const_cast<char*>("001"),
                               nullptr};
    // The agent inherits this environment (the Firebird lock folder, the
    // sanitizers' options) with its application directory added.
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("REPLICA_APP_DIR=", 0) != 0) {
            envp.push_back(*e);
        }
    }
    envp.push_back(const_cast<char*>(env.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&files);

    using namespace std::chrono_literals;
    auto waitFor = [](auto done, std::chrono::milliseconds limit) {
        for (auto waited = 0ms; waited < limit; waited += 100ms) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        return done();
    };
    const bool ran =
        waitFor([&] { return test::slurp(out).find("Eventos: ") != std::string::npos; }, 30000ms);
    ::kill(pid, SIGTERM);
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 15000ms);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(ran) << test::slurp(out);
    ASSERT_TRUE(ended) << "the agent did not end after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(pending(), 0);
}

}  // namespace
}  // namespace replica
