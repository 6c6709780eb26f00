// Third parties, their customer and supplier roles, collectors,
// salespeople and customer branches, between two real company databases and
// through the agent's catalogue.

#include <gtest/gtest.h>

#include <optional>

#include "engine/eventloop.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

class Parties : public TwoCompanies {
  protected:
    static void insertParty(db::Connection& c, const std::string& nit, const std::string& name,
                            const std::string& employee) {
        c.execute("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_EMPL) VALUES (" + Q(nit) +
                  ", " + Q(name) + ", " + employee + ")");
    }
    static void insertBranch(db::Connection& c, const std::string& nit, const std::string& code,
                             const std::string& name) {
        c.execute("INSERT INTO CLIENTE_SUCURSALES (TERC_NIT, CLCU_COD, CLCU_NOMBRE) VALUES (" +
                  Q(nit) + ", " + Q(code) + ", " + Q(name) + ")");
    }
};

// A number-keyed code that is not a whole number would rewrite other
// records once it went into SQL unquoted: it is refused before anything is
// read, and the events after it are still handled.
TEST_F(Parties, CollectorAndSalespersonCodesThatAreNoWholeNumbersChangeNothingAndTheRunGoesOn) {
    for (db::Connection* c : {source.get(), destination.get()}) {
        const std::string who = c == source.get() ? "'fuente'" : "'destino'";
        for (const char* code : {"1", "2"}) {
            c->execute(std::string("INSERT INTO COBRADORES (COBR_COD, COBR_NOMBRE) VALUES (") +
                       code + ", " + who + ")");
            c->execute(std::string("INSERT INTO VENDEDORES (VEND_COD, VEND_NOMBRE) VALUES (") +
                       code + ", " + who + ")");
        }
    }
    const struct {
        int type;
        const char* code;
    } kEvents[] = {{105, "1 or 1=1"}, {105, "abc"}, {106, "1 or 1=1"}, {106, ""}, {105, " 2 "}};
    int id = 0;
    for (const auto& e : kEvents) {
        source->execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER, "
            "RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG) VALUES (" +
            sqlInt(++id) + ", '001', " + sqlInt(e.type) + ", 'U', " + Q(e.code) +
            ", '2026-01-01', '08:00:00')");
    }
    std::vector<std::string> sent;
    traceDestination(sent);
    const Catalogue catalogue = families::catalogue();
    EventLoop loop(op, logs, errors, catalogue);
    const PhaseSetup setup{Phase::Download, source.get(), destination.get(), &options, {}, ""};
    loop.select(setup, downloadEventsSql("10", "001", false, false));
    LoopCounts counts;

    loop.handleAll(setup, counts);
    db::Connection::setTraceHook({});

    EXPECT_EQ(counts.completed, 1);
    EXPECT_EQ(counts.failed, 4);
    std::erase_if(sent, [](const std::string& sql) {
        return sql.find("replica_eventos") != std::string::npos;
    });
    EXPECT_EQ(column(*source, "select RPEV_ERROR from REPLICA_EVENTOS order by RPEV_ID"),
              (std::vector<std::string>{"RPEV_CODIGO vacío o no numérico: '1 or 1=1'",
                                        "RPEV_CODIGO vacío o no numérico: 'abc'",
                                        "RPEV_CODIGO vacío o no numérico: '1 or 1=1'",
                                        "RPEV_CODIGO vacío o no numérico: ''", "<null>"}));
    EXPECT_EQ(sent, (std::vector<std::string>{"src: select * from cobradores where cobr_cod = 2",
                                              "dst: SELECT * FROM COBRADORES WHERE COBR_COD = 2"}));
    EXPECT_EQ(column(*destination, "select COBR_NOMBRE from COBRADORES order by COBR_COD"),
              (std::vector<std::string>{"destino", "fuente"}));
    EXPECT_EQ(column(*destination, "select VEND_NOMBRE from VENDEDORES order by VEND_COD"),
              (std::vector<std::string>{"destino", "destino"}));
}

// What a third-party event does to the destination's row, by phase and by
// the destination's employee flag (absent: no row).
struct EmployeeCase {
    const char* name;
    Phase phase;
    std::optional<const char*> destinationFlag;
    const char* expectedName;
};

const EmployeeCase kEmployeeCases[] = {
    {"UploadLeavesAnEmployee", Phase::Upload, "'S'", "nómina"},
    {"UploadOverwritesANonEmployee", Phase::Upload, "'N'", "fuente"},
    {"UploadOverwritesANullFlag", Phase::Upload, "NULL", "fuente"},
    {"UploadInsertsAnAbsentThirdParty", Phase::Upload, std::nullopt, "fuente"},
    {"DownloadOverwritesAnEmployee", Phase::Download, "'S'", "fuente"},
};

TEST_F(Parties, EmployeeRowsAreLeftOnlyByTheUploadPhase) {
    insertParty(*source, "80'1", "fuente", "'N'");
    for (const EmployeeCase& c : kEmployeeCases) {
        destination->execute("DELETE FROM TERCEROS");
        if (c.destinationFlag) {
            insertParty(*destination, "80'1", "nómina", *c.destinationFlag);
        }
        phase = c.phase;

        const EventState s = dispatch(event(102, "U", std::nullopt, "", "", "", "80'1"));

        EXPECT_FALSE(s.failed) << c.name << ": " << lastEventError();
        EXPECT_EQ(column(*destination, "select TERC_NOMBRE from TERCEROS"),
                  std::vector<std::string>{c.expectedName})
            << c.name;
    }
}

TEST_F(Parties, BranchesOtherThanTheMainOneAreWrittenAndTheDestinationsOwnStay) {
    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        for (db::Connection* c : {source.get(), destination.get()}) {
            c->execute("DELETE FROM CLIENTE_SUCURSALES");
        }
        for (const char* code : {"01", "02", "03"}) {
            insertBranch(*source, "C'1", code, std::string("fuente ") + code);
        }
        insertBranch(*source, "C2", "02", "otro cliente");
        insertBranch(*destination, "C'1", "01", "principal");
        insertBranch(*destination, "C'1", "03", "vieja");
        insertBranch(*destination, "C'1", "04", "solo destino");
        std::vector<std::string> sent;
        traceDestination(sent);

        const EventState s = dispatch(event(152, "I", std::nullopt, "", "", "", "C'1"));
        db::Connection::setTraceHook({});

        EXPECT_FALSE(s.failed) << lastEventError();
        EXPECT_EQ(column(*destination,
                         "select TERC_NIT || '/' || CLCU_COD || '=' || CLCU_NOMBRE from "
                         "CLIENTE_SUCURSALES order by 1"),
                  (std::vector<std::string>{"C'1/01=principal", "C'1/02=fuente 02",
                                            "C'1/03=fuente 03", "C'1/04=solo destino"}));
        const std::string order = p == Phase::Download ? " order by clcu_cod" : "";
        EXPECT_EQ(sent, (std::vector<std::string>{
                            "src: select * from cliente_sucursales where clcu_cod <> '01' and "
                            "terc_nit = 'C''1'",
                            "dst: SELECT * FROM CLIENTE_SUCURSALES WHERE CLCU_COD = '02' AND "
                            "TERC_NIT = 'C''1'" +
                                order,
                            "dst: SELECT * FROM CLIENTE_SUCURSALES WHERE CLCU_COD = '03' AND "
                            "TERC_NIT = 'C''1'" +
                                order}));
    }
    // A customer with no branch but its main one: nothing to write.
    insertBranch(*source, "C3", "01", "principal");
    EXPECT_FALSE(dispatch(event(152, "I", std::nullopt, "", "", "", "C3")).failed);
    EXPECT_EQ(count(*destination, "select count(*) from CLIENTE_SUCURSALES where TERC_NIT = 'C3'"),
              0);
}

}  // namespace
}  // namespace replica
