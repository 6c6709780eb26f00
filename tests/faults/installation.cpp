#include "tests/faults/installation.h"

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <thread>

#include "engine/db/query.h"
#include "engine/sql.h"
#include "tests/support/erp.h"

namespace replica::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int exitCode(int rawStatus) {
    return rawStatus >= 0 && WIFEXITED(rawStatus) ? WEXITSTATUS(rawStatus) : -1;
}

void Installation::SetUp() {
    if (!fs::exists(programPath())) {
        GTEST_SKIP() << "program not built: " << programPath();
    }
    const std::string datos = dir.file("datos");
    for (const char* c : {"001", "002", "003"}) {
        fs::create_directories(datos + "/" + c);
        createCompany(databasePath(c))->close();
    }
    auto general = createGeneral(datos + "/general.fdb");
    for (const char* row : {"('001', 'Norte')", "('002', 'Sur')", "('003', 'Oeste')"}) {
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values " + std::string(row));
    }
    general->close();
}

void Installation::TearDown() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::cout << "[ figures  ] " << info->name() << ": " << figures.documentsChecked
              << " documents checked, " << figures.agentKills << " agent kills, "
              << figures.serverKills << " server kills, " << figures.serverFreezes
              << " server freezes, " << figures.otherFaults << " other faults\n";
    server.reset();
}

bool Installation::startServer() {
    server = std::make_unique<FirebirdServer>(dir.file("fb"));
    return server->running();
}

std::string Installation::databasePath(const std::string& code) const {
    return dir.path() + "/datos/" + code + "/norvale.fdb";
}

std::string Installation::serverText(bool throughServer) const {
    return throughServer ? server->remote(dir.path()) : dir.path();
}

std::unique_ptr<db::Connection> Installation::company(const std::string& code,
                                                      bool throughServer) const {
    return test::openDatabase(throughServer ? server->remote(databasePath(code))
                                            : databasePath(code));
}

void Installation::configureCompany(const std::string& code, bool localThroughServer,
                                    const std::vector<Destination>& destinations,
                                    const std::string& password) {
    auto local = company(code, localThroughServer);
    for (const auto& [property, value] :
         {std::pair<std::string, std::string>{"NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS",
                                              "SYSDBA"},
          {"CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS", password}}) {
        local->execute(
            "insert into CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
            "CONF_VALOR) values ('INVENTARIO', 'ARTICULOS', " +
            Q(property) + ", " + Q(value) + ")");
    }
    for (const Destination& d : destinations) {
        local->execute(
            "insert into REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
            "RPCO_ACTIVA) values (" +
            Q(d.code) + ", 'Destino', " + Q(serverText(d.throughServer)) + ", " +
            Q(d.download ? "S" : "N") + ", 'S')");
    }
}

void Installation::writeDocuments(db::Connection& conn, const std::string& pref, int firstId,
                                  int count, const std::string& company) {
    for (int k = 0; k < count; ++k) {
        const std::string id = std::to_string(firstId + k);
        const std::string number = Q(pref + std::to_string(firstId + k));
        // One statement per document: header, lines and event together, as
        // the ERP commits them.
        conn.execute(
            "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN "
            "INSERT INTO ENTRADAS (ENTR_ID, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, ENTR_CONC, NUMOK) "
            "VALUES (" +
            id + ", " + Q(pref) + ", " + number + ", CURRENT_DATE, 'Entrada " + id +
            "', 'S'); "
            "WHILE (I <= " +
            std::to_string(kLinesPerDocument) +
            ") DO BEGIN "
            "INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM, ARTI_COD, ENDE_CANT, ENDE_DESC) "
            "VALUES (" +
            id + ", :I, 'A' || :I, " + id + " + :I / 4.0, 'Linea ' || :I || ' de " + id +
            "'); I = I + 1; END "
            "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) VALUES (" +
            Q(company) + ", 11, " + id + ", " + Q(pref) + ", " + number +
            ", CURRENT_DATE, CURRENT_TIME, 'I'); END");
    }
}

long long Installation::scalar(db::Connection& conn, const std::string& sql) {
    if (!conn.isOpen()) {
        conn.open();
    }
    db::Query q(conn);
    q.open(sql);
    return q.asInt(0);
}

namespace {

// "item|article|quantity|description" of every line of a header, by item.
std::vector<std::string> linesOf(db::Connection& conn, long long headerId) {
    db::Query q(conn);
    q.open(
        "select ENDE_ITEM, ARTI_COD, ENDE_CANT, ENDE_DESC from ENTRADAS_DETALLE where ENTR_ID "
        "= " +
        std::to_string(headerId) + " order by ENDE_ITEM");
    std::vector<std::string> lines;
    for (q.first(); !q.eof(); q.next()) {
        lines.push_back(q.asText(0) + "|" + q.asText(1) + "|" + q.asText(2) + "|" + q.asText(3));
    }
    return lines;
}

}  // namespace

int Installation::checkDocuments(db::Connection& source, db::Connection& destination,
                                 const std::string& pref, const std::string& company, int events) {
    for (db::Connection* c : {&source, &destination}) {
        if (!c->isOpen()) {
            c->open();
        }
    }
    EXPECT_EQ(scalar(destination,
                     "select count(*) from ENTRADAS_DETALLE d where not exists (select 1 from "
                     "ENTRADAS e where e.ENTR_ID = d.ENTR_ID)"),
              0)
        << "lines without their header";
    db::Query documents(source);
    documents.open("select ENTR_ID, ENTR_NUMERO, ENTR_CONC from ENTRADAS where PREF_PRE = " +
                   Q(pref) + " order by ENTR_ID");
    int checked = 0;
    for (documents.first(); !documents.eof(); documents.next()) {
        const std::string number = documents.asText(1);
        SCOPED_TRACE(pref + " " + number);
        db::Query copies(destination);
        copies.open("select ENTR_ID, ENTR_CONC, NUMOK from ENTRADAS where PREF_PRE = " + Q(pref) +
                    " and ENTR_NUMERO = " + Q(number));
        EXPECT_EQ(copies.rowCount(), 1) << "headers of the document";
        if (copies.rowCount() >= 1) {
            EXPECT_EQ(copies.asText(1), documents.asText(2));
            const std::vector<std::string> expected = linesOf(source, documents.asInt(0));
            EXPECT_EQ(expected.size(), static_cast<std::size_t>(kLinesPerDocument));
            EXPECT_EQ(linesOf(destination, copies.asInt(0)), expected);
        }
        ++checked;
    }
    EXPECT_EQ(scalar(source, "select count(*) from REPLICA_EVENTOS where RPEV_COMPANIA = " +
                                 Q(company) + " and RPEV_FECREP is null"),
              0)
        << "events still pending";
    EXPECT_EQ(scalar(source, "select count(*) from REPLICA_EVENTOS where RPEV_COMPANIA = " +
                                 Q(company) + " and RPEV_FECREP is not null"),
              events < 0 ? checked : events)
        << "events replicated";
    figures.documentsChecked += checked;
    return checked;
}

std::vector<std::string> Installation::agentArgs(bool throughServer, int timeoutSeconds,
                                                 const std::string& company) const {
    return {"--headless", "--once",
            "--timeout",  std::to_string(timeoutSeconds),
            "--server",   serverText(throughServer),
            "--user",     "sysdba",
            "--company",  company};
}

std::unique_ptr<Agent> Installation::startAgent(const std::string& app,
                                                const std::vector<std::string>& args,
                                                const std::string& password) {
    return std::make_unique<Agent>(app, args, app + ".out",
                                   std::vector<std::string>{"REPLICA_PASSWORD=" + password});
}

std::string Installation::appDir(const std::string& name) const {
    const std::string path = dir.file(name);
    fs::create_directories(path);
    return path;
}

int Installation::auditLines(const std::string& app) const {
    const std::string text = slurp(app + "/ENVIO.TXT");
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool Installation::waitForAudit(const std::string& app, int lines, Agent& agent,
                                std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (auditLines(app) >= lines) {
            return true;
        }
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(agent.pid()), &info, WEXITED | WNOHANG | WNOWAIT) ==
                0 &&
            info.si_pid == agent.pid()) {
            return false;  // ended (not reaped: wait() still gives its status)
        }
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

}  // namespace replica::test
