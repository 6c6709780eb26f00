// The console agent as outside scripts and service managers use it: the
// built program, its options, its exit status, its output and its files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/db/query.h"
#include "engine/sql.h"
#include "tests/support/erp.h"
#include "tests/support/program.h"
#include "tests/support/tempdir.h"

namespace replica {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPassword = "Cl4ve-Secreta-77";

// DIR/datos: GENERAL.FDB with companies 001 and 003; 001 uploads to 002
// (a company database) and to 003, whose "company database" is a copy of
// GENERAL.FDB, so that any run reaching 003 fails on its first query.
class Headless : public ::testing::Test {
  protected:
    test::TempDir dir;

    void SetUp() override {
        if (!fs::exists(test::programPath())) {
            GTEST_SKIP() << "program not built: " << test::programPath();
        }
        const std::string datos = dir.file("datos");
        for (const char* c : {"001", "002", "003"}) {
            fs::create_directories(datos + "/" + c);
        }
        auto general = test::createGeneral(datos + "/general.fdb");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('001', 'Norte')");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('003', 'Oeste')");
        auto local = test::createCompany(datos + "/001/norvale.fdb");
        test::configureReplication(*local, {{.code = "002", .server = dir.path(), .name = "Sur"}});
        local->close();
        test::createCompany(datos + "/002/norvale.fdb")->close();
        test::createGeneral(datos + "/003/norvale.fdb")->close();
        general->close();
    }

    static std::unique_ptr<db::Connection> open(const std::string& path) {
        auto c = std::make_unique<db::Connection>();
        c->setPath(path);
        c->setUserName("SYSDBA");
        c->open();
        return c;
    }
    std::unique_ptr<db::Connection> local() { return open(dir.file("datos/001/norvale.fdb")); }

    void addEvent(const std::string& company, int type) {
        local()->execute(
            "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_CODIGO, RPEV_FECREG, "
            "RPEV_HORAREG, RPEV_OPER) values ('" +
            company + "', " + std::to_string(type) + ", 'X', CURRENT_DATE, CURRENT_TIME, 'I')");
    }

    int pending() {
        auto c = local();
        db::Query q(*c);
        q.open("select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null");
        return static_cast<int>(q.asInt(0));
    }

    test::ProgramResult run(const std::string& args, const std::string& environment = {}) {
        return test::runProgram(dir.path(), args, dir.file("output.txt"), environment);
    }

    std::string start(const std::string& company) {
        return "--headless --once '" + dir.path() + "' sysdba masterkey " + company;
    }
    std::vector<std::string> agentArgs() const {
        return {"--headless", dir.path(), "sysdba", kPassword, "001"};
    }
    // What the agent leaves in its directory once it has started a run.
    bool leftATrail() const {
        return fs::exists(dir.file("replica-001.lock")) || fs::exists(dir.file("ENVIO.TXT")) ||
               fs::exists(dir.file("errorenvio.txt"));
    }
};

TEST_F(Headless, CompletedRunEndsWithZeroAndLeavesItsTrail) {
    addEvent("002", 999);  // no family: marked replicated, nothing copied
    const test::ProgramResult r = run(start("001"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pending(), 0);
    EXPECT_NE(r.output.find("Enviando información al servidor 002"), std::string::npos) << r.output;
    EXPECT_NE(test::slurp(dir.file("ENVIO.TXT")).find(",999,"), std::string::npos);
    // Every line after its date and time; the summary gives each phase and
    // the duration.
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(test::startsWithStamp(line)) << line;
    }
    const std::string summary =
        "Eventos: 1 manejados, 1 completados, 0 con error, 0 omitidos por el prefijo; descarga: "
        "sin servidor de descarga; envío a 002: 1 seleccionados, 1 manejados, 1 completados, 0 "
        "con error, 0 omitidos; duración ";
    const std::size_t at = r.output.find(summary);
    ASSERT_NE(at, std::string::npos) << r.output;
    const std::string rest = r.output.substr(at + summary.size());
    const std::size_t digits = rest.find_first_not_of("0123456789");
    EXPECT_GT(digits, 0u);
    EXPECT_EQ(rest.substr(digits), " ms\n") << r.output;
}

TEST_F(Headless, RunEndedByAnErrorEndsWithOne) {
    addEvent("002", 999);
    local()->execute(
        "insert into REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ACTIVA) "
        "values ('003', 'Oeste', '" +
        dir.path() + "', 'S')");
    addEvent("003", 999);
    const test::ProgramResult r = run(start("001"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_FALSE(test::slurp(dir.file("errorenvio.txt")).empty());
    EXPECT_NE(r.output.find("envío a 003 (interrumpido): 0 seleccionados"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("; el envío terminó por un error\n"), std::string::npos);
    // The database's message of several lines is one line of the log.
    const std::string joined = " Ultimo error: Dynamic SQL Error -SQL error code = -204 ";
    const std::size_t at = r.output.find(joined);
    ASSERT_NE(at, std::string::npos) << r.output;
    EXPECT_TRUE(test::startsWithStamp(r.output.substr(r.output.rfind('\n', at) + 1)));
}

// A run that cannot start ends with 2; what only the administrator can
// correct has a status of its own, 6, which the service unit does not
// retry (trying again would change nothing).
TEST_F(Headless, RunsThatCannotStartSayWhyWithTheirStatus) {
    addEvent("002", 999);
    const std::string noKey = dir.file("no-clave");
    struct Case {
        const char* what;
        std::string args;
        std::string says;
        int status;
    } cases[] = {
        {"company without database", start("003"), "", 2},
        {"no GENERAL.FDB", "--headless --once '" + dir.file("nowhere") + "' sysdba masterkey 001",
         "", 2},
        {"headless without a company", "--headless --once", "necesita el servidor y la compañía",
         2},
        {"unknown option", "--headless --once --fast '" + dir.path() + "' sysdba masterkey 001",
         "opción desconocida: --fast", 2},
        {"company not in GENERAL.FDB", start("009"), "La compañía 009 no existe\n", 6},
        {"branch the company lacks", start("001") + " --branch Nope",
         "La agencia Nope no existe en la compañía 001\n", 6},
        {"password file missing",
         "--headless --once --server '" + dir.path() + "' --user sysdba --company 001 " +
             "--password-file '" + noKey + "'",
         "No se pudo abrir el archivo de clave " + noKey, 6},
        {"status, password file missing",
         "status --server '" + dir.path() + "' --user sysdba --company 001 " + "--password-file '" +
             noKey + "'",
         "No se pudo abrir el archivo de clave " + noKey, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::ProgramResult r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("Borrando información procesada..."), std::string::npos)
            << r.output;
    }
    EXPECT_EQ(pending(), 1);  // nothing ran
}

// Without a display the command line is still read whole, and a mistake
// ends with its message and status 2 rather than the toolkit's abort; a
// mistyped short option never opens the login window.
TEST_F(Headless, OptionsAreCheckedBeforeAnyWindow) {
    const std::string noDisplay = "DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=xcb";
    struct Case {
        const char* args;
        const char* says;
    } cases[] = {
        {"--bogus", "opción desconocida: --bogus"},
        {"--json", "--json solo se usa con status"},
        {"--frequency abc", "\"Frecuencia:\""},
        {"-v", "opción desconocida: -v"},
        {"-platform xcb --bogus", "opción desconocida: --bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const test::ProgramResult r = run(c.args, noDisplay);
        EXPECT_EQ(r.status, 2) << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("display"), std::string::npos) << r.output;
    }
    for (const char* asked : {"-V", "help"}) {
        EXPECT_EQ(run(asked, noDisplay).status, 0) << asked;
    }
}

// A bad field value stops the program before it takes its lock or opens
// any database.
TEST_F(Headless, BadFieldValuesExitTwoBeforeAnything) {
    addEvent("002", 999);
    const struct {
        const char* option;
        const char* message;
    } cases[] = {
        {"--download-count 1e3",
         "--download-count '1e3': El valor de \"Operaciones a traer:\" debe ser un número "
         "entero."},
        {"--upload-count=-1",
         "--upload-count '-1': El valor de \"Operaciones a enviar:\" debe ser un número entero."},
        {"--frequency 99999",
         "--frequency '99999': El valor de \"Frecuencia:\" debe ser un número entero de minutos, "
         "de 0 a 35791."},
        {"--frequency ''", "--frequency necesita un valor"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        const test::ProgramResult r = run(start("001") + " " + c.option);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.output,
                  std::string("replica: ") + c.message + "\n(replica --help muestra el uso)\n");
        EXPECT_FALSE(leftATrail());
    }
    EXPECT_EQ(pending(), 1);
}

// Each field option changes the run as the screen's field does; the
// positional "1" and --no-retry agree.
TEST_F(Headless, FieldOptionsChangeWhatTheRunDoes) {
    // 002 is also the download source, with two events for 001.
    local()->execute("update REPLICA_COMPANIA set RPCO_ERRO = 'S'");
    auto reset = [&] {
        auto l = local();
        auto s = open(dir.file("datos/002/norvale.fdb"));
        l->execute("delete from REPLICA_EVENTOS");
        s->execute("delete from REPLICA_EVENTOS");
        auto add = [](db::Connection& c, const std::string& company, const std::string& code,
                      const std::string& pref, const std::string& time, const char* error) {
            c.execute(
                "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_CODIGO, "
                "RPEV_FECREG, RPEV_HORAREG, RPEV_OPER, RPEV_ERROR) values (" +
                Q(company) + ", 999, " + Q(pref) + ", " + Q(code) + ", CURRENT_DATE, " + Q(time) +
                ", 'I', " + (error ? Q(error) : std::string("null")) + ")");
        };
        add(*l, "002", "A", "FV", "08:00:00", nullptr);
        add(*l, "002", "B", "XX", "09:00:00", nullptr);
        add(*l, "002", "C", "FV", "10:00:00", "falló antes");
        add(*s, "001", "D1", "", "08:00:00", nullptr);
        add(*s, "001", "D2", "", "09:00:00", nullptr);
    };
    auto stillPending = [&] {
        std::set<std::string> codes;
        for (const std::string& path :
             {dir.file("datos/001/norvale.fdb"), dir.file("datos/002/norvale.fdb")}) {
            auto c = open(path);
            db::Query q(*c);
            q.open("select RPEV_CODIGO from REPLICA_EVENTOS where RPEV_FECREP is null");
            for (q.first(); !q.eof(); q.next()) {
                codes.insert(q.asText(0));
            }
        }
        return codes;
    };
    const std::string server = "'" + dir.path() + "'";
    const struct {
        std::string args;
        std::set<std::string> pending;
    } cases[] = {
        {start("001"), {}},
        // A count takes that many events without an error, and as many
        // failed ones for their retry.
        {start("001") + " --upload-count 1", {"B"}},
        {start("001") + " --upload-count=1 --newest-first", {"A"}},
        {start("001") + " --download-count 1", {"D2"}},
        {start("001") + " --download-count 1 --newest-first", {"D1"}},
        {start("001") + " --prefix FV", {"B"}},
        {start("001") + " --no-retry", {"C"}},
        {start("001") + " 1", {"C"}},
        {"--headless --once --server " + server +
             " --user sysdba --company 001 --no-retry "
             "--branch Todas",
         {"C"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        reset();
        const test::ProgramResult r = run(c.args);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(stillPending(), c.pending);
    }

    // "Frecuencia:" 0 leaves no timer: the agent ends after its run.
    reset();
    const test::ProgramResult r =
        run("--headless '" + dir.path() + "' sysdba masterkey 001 --frequency 0");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("El temporizador quedó detenido"), std::string::npos) << r.output;
}

// The password from the environment or a file logs in and shows nowhere.
TEST_F(Headless, PasswordOffTheCommandLineNeverShows) {
    { std::ofstream(dir.file("clave")) << kPassword << "\n"; }
    const std::string named =
        "--headless --once --server '" + dir.path() + "' --user sysdba --company 001";
    const struct {
        const char* what;
        std::string args;
        std::string environment;
    } cases[] = {
        {"environment", named, std::string("REPLICA_PASSWORD='") + kPassword + "'"},
        {"file", named + " --password-file '" + dir.file("clave") + "'", ""},
        {"argument", "--headless --once '" + dir.path() + "' sysdba " + kPassword + " 001", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        addEvent("002", 999);
        const test::ProgramResult r = run(c.args, c.environment);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(pending(), 0);
        EXPECT_EQ(r.output.find(kPassword), std::string::npos) << r.output;
    }
    for (const char* file : {"ENVIO.TXT", "errorenvio.txt", "replica-001.lock"}) {
        EXPECT_EQ(test::slurp(dir.file(file)).find(kPassword), std::string::npos) << file;
    }
}

// Two timers must never replicate the same company at once: the second
// agent refuses while the first runs, and starts once the first has ended,
// however it ended.
TEST_F(Headless, OneAgentPerCompanyAndDirectory) {
    addEvent("002", 999);
    {
        test::Agent first(dir.path(), agentArgs(), dir.file("first.txt"));
        ASSERT_TRUE(first.waitForOutput("Eventos: ", 30000ms)) << first.output();
        // The process list no longer shows the positional password.
        const std::string cmdline =
            test::slurp("/proc/" + std::to_string(first.pid()) + "/cmdline");
        EXPECT_EQ(cmdline.find(kPassword), std::string::npos);
        EXPECT_NE(cmdline.find(std::string(std::strlen(kPassword), 'x')), std::string::npos);

        addEvent("002", 999);
        const test::ProgramResult refused = run(start("001"));
        EXPECT_EQ(refused.status, 3) << refused.output;
        EXPECT_NE(refused.output.find("Ya hay un agente en marcha para la compañía 001 (" +
                                      dir.file("replica-001.lock") + ", proceso " +
                                      std::to_string(first.pid()) + "); este no se inicia."),
                  std::string::npos)
            << refused.output;
        EXPECT_EQ(refused.output.find("Borrando"), std::string::npos);
        EXPECT_EQ(pending(), 1);
        // The window started for the same company is an agent too.
        const test::ProgramResult window =
            run("--once '" + dir.path() + "' sysdba masterkey 001", "QT_QPA_PLATFORM=offscreen");
        EXPECT_EQ(window.status, 3) << window.output;
        EXPECT_NE(window.output.find("Ya hay un agente en marcha para la compañía 001"),
                  std::string::npos)
            << window.output;
        EXPECT_EQ(pending(), 1);

        const int status = first.stop(SIGTERM, 15000ms);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    addEvent("002", 999);
    EXPECT_EQ(run(start("001")).status, 0);
    EXPECT_EQ(pending(), 0);

    {
        test::Agent killed(dir.path(), agentArgs(), dir.file("killed.txt"));
        ASSERT_TRUE(killed.waitForOutput("Eventos: ", 30000ms)) << killed.output();
        const int status = killed.stop(SIGKILL, 15000ms);
        ASSERT_TRUE(WIFSIGNALED(status));
    }
    addEvent("002", 999);
    const test::ProgramResult after = run(start("001"));
    EXPECT_EQ(after.status, 0) << after.output;
    EXPECT_EQ(pending(), 0);
}

// The console program installed without the window's package: asked for
// the window it says which package is missing, with the status of a
// configuration to correct, and still does its console work.
TEST(ConsoleProgram, WithoutTheWindowSaysSoAndStillRuns) {
    if (!fs::exists(test::programPath())) {
        GTEST_SKIP() << "program not built: " << test::programPath();
    }
    test::TempDir alone;
    const std::string program = alone.file("replica");
    fs::copy_file(test::programPath(), program);
    const auto run = [&](const std::string& args) {
        const std::string command =
            "DISPLAY= '" + program + "' " + args + " >'" + alone.file("out") + "' 2>&1";
        const int raw = std::system(command.c_str());
        return std::make_pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
                              test::slurp(alone.file("out")));
    };
    const auto [status, output] = run("");
    EXPECT_EQ(status, 6) << output;
    EXPECT_NE(output.find("la ventana no está instalada (paquete replica-window)"),
              std::string::npos)
        << output;
    EXPECT_EQ(run("--version").first, 0);
    EXPECT_EQ(run("--bogus").first, 2);
}

TEST_F(Headless, HelpAndVersionNeedNoDatabase) {
    const test::ProgramResult help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"--headless", "--once", "REPLICA_APP_DIR", "REPLICA_PASSWORD", "server-override"}) {
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    }
    const test::ProgramResult version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "replica " REPLICA_VERSION "\n");
}

// The agent that keeps running on its timer is stopped by the service
// manager; it must end (between runs) rather than hang in the database
// client.
TEST_F(Headless, StopRequestEndsTheRunningAgent) {
    addEvent("002", 999);
    test::Agent agent(dir.path(), {"--headless", dir.path(), "sysdba", "masterkey", "001"},
                      dir.file("agent.txt"));
    const bool ran = agent.waitForOutput("Eventos: ", 30000ms);
    const int status = agent.stop(SIGTERM, 15000ms);
    EXPECT_TRUE(ran) << agent.output();
    ASSERT_NE(status, -1) << "the agent did not end after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(pending(), 0);
}

// The password given in the environment is not left there for other
// processes of the same user to read once the agent has taken it.
TEST_F(Headless, PasswordLeavesTheEnvironment) {
    test::Agent agent(
        dir.path(), {"--headless", "--server", dir.path(), "--user", "sysdba", "--company", "001"},
        dir.file("agent.txt"), {std::string("REPLICA_PASSWORD=") + kPassword});
    ASSERT_TRUE(agent.waitForOutput("Eventos: ", 30000ms)) << agent.output();
    std::ifstream file("/proc/" + std::to_string(agent.pid()) + "/environ");
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("REPLICA_APP_DIR="), std::string::npos);
    EXPECT_EQ(text.find(kPassword), std::string::npos);
}

// A stop request in the middle of a run does not wait for the whole run:
// the event in hand is finished, the rest stays pending for the next start,
// and the agent ends with 0.
TEST_F(Headless, StopRequestMidRunEndsAfterTheEventInHand) {
    // Many more events than the time between the request and the next
    // event can handle, however fast the machine.
    constexpr int kEvents = 2000;
    local()->execute(
        "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " + std::to_string(kEvents) +
        ") DO BEGIN INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_CODIGO, "
        "RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) VALUES ('002', 999, 'X', CURRENT_DATE, "
        "CURRENT_TIME, 'I'); I = I + 1; END END");
    test::Agent agent(dir.path(),
                      {"--headless", "--upload-count", std::to_string(kEvents), dir.path(),
                       "sysdba", "masterkey", "001"},
                      dir.file("agent.txt"));
    // The run has begun (its first caption): the request is taken at the
    // next event.
    ASSERT_TRUE(agent.waitForOutput("Borrando información procesada...", 30000ms))
        << agent.output();
    const int status = agent.stop(SIGTERM, 15000ms);
    ASSERT_NE(status, -1) << "the agent did not end after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(agent.output().find("Eventos: "), std::string::npos) << agent.output();
    EXPECT_GT(pending(), kEvents / 2) << agent.output().substr(agent.output().rfind("Eventos"));
}

}  // namespace
}  // namespace replica
